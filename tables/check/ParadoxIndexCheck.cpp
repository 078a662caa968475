#include "tables/check/ParadoxIndexCheck.h"

#include "tables/io/FileOps.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/PxCodec.h"
#include "tables/paradox/PxFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace quillora::check {

using namespace px;

namespace {

// Index faults are named as slips (Fault::minor): the records read as they are, a repair in place
// rebuilds every index, and reading a table is not refused for them.

// The engine's index checks name the place inside their text ("bloco 3 ...", "entrada 2 ...").
QString placeIn(const QString& text)
{
    static const QRegularExpression where(QStringLiteral("\\b(bloco|entrada) (\\d+)"));
    const QRegularExpressionMatch m = where.match(text);
    return m.hasMatch() ? m.captured(0) : QString();
}

QString cleaned(QString text)
{
    if (text.startsWith(QLatin1String(".PX: ")))
        text.remove(0, 5);
    return text;
}

}  // namespace

void checkPrimaryIndexPresent(const PxTableFile& t, FaultSink& sink, QString* pxPath)
{
    pxPath->clear();
    if (t.h.keyFields == 0)
        return;
    const QString base = QFileInfo(t.path).completeBaseName();
    const QString found = io::siblingNoCase(t.path, base + QStringLiteral(".px"));
    if (found.isEmpty()) {
        sink.add(familyMember(t.path, QStringLiteral("PX")), QString(),
                 QStringLiteral("falta o índice primário (.PX) desta tabela com chave"), false, true);
        return;
    }
    io::File f;
    if (const int err = f.tryOpen(found, io::OpenMode::Read); err < 0) {
        sink.add(found, QString(), QStringLiteral("o índice primário não abre: %1").arg(io::errorText(err)), false, true);
        return;
    }
    const QByteArray h = readUpTo(f, 0, 0x58);
    if (h.size() < 0x58) {
        sink.add(found, QStringLiteral("cabeçalho"), QStringLiteral("o arquivo é menor que um cabeçalho de índice"), false, true);
        return;
    }
    const char* p = h.constData();
    if (p[4] != 1) {
        sink.add(found, QStringLiteral("cabeçalho"),
                 QStringLiteral("o arquivo não é um índice primário (tipo %1)").arg(int(uchar(p[4]))), false, true);
        return;
    }
    if (le16(p) != t.h.keySize + 6 || le16(p + 0x21) != t.h.keyFields) {
        sink.add(found, QStringLiteral("cabeçalho"),
                 QStringLiteral("o índice é de outra tabela: chave de %1 campos e %2 bytes, esta tabela tem %3 campos e %4 bytes")
                     .arg(le16(p + 0x21)).arg(le16(p) - 6).arg(t.h.keyFields).arg(t.h.keySize), false, true);
        return;
    }
    *pxPath = found;
}

void checkParadoxIndexes(const PxTableFile& t, const PxChainScan& scan, const ParadoxRecordCheck& records,
                         FaultSink& sink)
{
    if (t.h.keyFields == 0)
        return;
    QString pxPath;
    checkPrimaryIndexPresent(t, sink, &pxPath);
    if (!pxPath.isEmpty()) {
        std::vector<PxIndexEntry> chain;
        chain.reserve(scan.order.size());
        for (int b : scan.order)
            chain.push_back({records.firstKey(b), b, scan.count[size_t(b)]});
        const TableHeader& h = t.h;
        auto compare = [&h](const char* a, const char* b) {
            // Entries hold the key fields one after another, as the record starts.
            return compareParadoxKeys(h, a, b);
        };
        if (keyOrderKnown(h)) {
            for (const QString& problem : checkPrimaryIndex(pxPath, chain, compare, -1))
                sink.add(pxPath, placeIn(problem), cleaned(problem), false, true);
        }
    }
    // The secondary indexes, read through the table as the engine opens it: only when the header
    // counts the records the chain holds (the engine would read another set), and only when there
    // are any. Each problem names its own file first.
    if (qint64(le32(t.h.bytes.constData() + 6)) != scan.records)
        return;
    bool anyIndex = false;
    for (const QString& name : io::siblings(t.path)) {
        const QFileInfo fi(name);
        anyIndex = anyIndex || (fi.completeBaseName().compare(QFileInfo(t.path).completeBaseName(), Qt::CaseInsensitive) == 0 &&
                                fi.suffix().size() == 3 && fi.suffix().startsWith(u'X', Qt::CaseInsensitive));
    }
    if (!anyIndex)
        return;
    for (const QString& problem : checkSecondaryIndexes(t.path, false)) {
        const int colon = problem.indexOf(QLatin1String(": "));
        QString name = colon > 0 ? problem.left(colon) : QString();
        if (!name.isEmpty() && io::siblingNoCase(t.path, name).isEmpty())
            name.clear();
        const QString text = name.isEmpty() ? problem : problem.mid(colon + 2);
        sink.add(name.isEmpty() ? t.path : t.path.left(t.path.lastIndexOf(u'/') + 1) + name, placeIn(text), text, false, true);
    }
}

}  // namespace quillora::check
