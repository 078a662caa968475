#include "tables/check/ParadoxRepair.h"

#include "tables/Error.h"
#include "tables/check/ParadoxRecordCheck.h"
#include "tables/io/Endian.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxRecordCodec.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxBlob.h"
#include "tables/paradox/PxCodec.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace quillora::check {

using namespace px;

namespace {

// The copy's header: the original's, every byte of its structure kept (fields, names, sort order,
// code page, version, block size, the autoincrement counter), with no block and no record yet.
QByteArray emptyHeader(const TableHeader& h)
{
    QByteArray head = h.bytes;
    char* p = head.data();
    for (int at : {0x06, 0x08, 0x0A, 0x0C, 0x0E, 0x10, 0x3A, 0x4D})
        p[at] = p[at + 1] = 0;
    p[0x14] = p[0x2A] = p[0x38] = 0;  // no rebuild asked for; write protection comes back at the end
    return head;
}

// The files of a table's family (same folder, same name up to the extension).
QStringList familyOf(const QString& path)
{
    const QString base = QFileInfo(path).completeBaseName() + QLatin1Char('.');
    const QDir dir = QFileInfo(path).absoluteDir();
    QStringList out;
    for (const QString& name : io::siblings(path))
        if (name.startsWith(base, Qt::CaseInsensitive))
            out << dir.filePath(name);
    return out;
}

// The secondary index files beside a table (.Xnn/.Ynn, .XGn/.YGn).
bool isIndexSuffix(const QString& suffix)
{
    return suffix.size() == 3 && (suffix[0].toUpper() == u'X' || suffix[0].toUpper() == u'Y');
}

}  // namespace

QStringList repairParadoxInPlace(const QString& path)
{
    QStringList done;
    {
        PxTableFile t;
        t.open(path);
        CheckReport scratch;
        FaultSink sink(scratch);
        qint64 maxAutoInc = 0;
        bool hasAutoInc = false;
        for (const FieldDesc& f : t.h.fields)
            hasAutoInc = hasAutoInc || f.code == kAutoInc;
        const PxChainScan scan = scanParadoxChain(
            t, sink,
            [&](int, const char* recs, int count) {
                for (const FieldDesc& f : t.h.fields) {
                    if (f.code != kAutoInc)
                        continue;
                    for (int i = 0; i < count; ++i) {
                        qint64 v = 0;
                        if (readInt(recs + qint64(i) * t.h.recordSize + f.offset, 4, &v) && v > maxAutoInc)
                            maxAutoInc = v;
                    }
                }
            },
            {});
        if (scan.broken)
            throw FileError(QStringLiteral("O encadeamento de blocos de %1 está danificado; nada foi alterado").arg(path));
        t.file.close();
        io::File w(path, io::OpenMode::ReadWrite);
        const char* p = t.h.bytes.constData();
        char buf[4];
        if (qint64(le32(p + 6)) != scan.records) {
            io::putLe32(buf, quint32(scan.records));
            w.write(6, buf, 4);
            done << QStringLiteral("contagem de registros do cabeçalho corrigida de %1 para %2").arg(le32(p + 6)).arg(scan.records);
        }
        if (p[0x14] || p[0x2A]) {
            w.write(0x14, "\0", 1);
            w.write(0x2A, "\0", 1);
            done << QStringLiteral("marca de reconstrução necessária retirada");
        }
        if (scan.freeListBad) {
            w.write(0x4D, "\0\0", 2);
            done << QStringLiteral("lista de blocos livres refeita");
        }
        if (hasAutoInc && maxAutoInc > qint64(le32(p + 0x49))) {
            io::putLe32(buf, quint32(maxAutoInc));
            w.write(0x49, buf, 4);
            done << QStringLiteral("contador de autoincremento corrigido de %1 para %2").arg(le32(p + 0x49)).arg(maxAutoInc);
        }
        w.close();
    }
    ParadoxTable table(path);
    table.rebuildFromData();
    done << (table.keyFieldCount() > 0
                 ? QStringLiteral("índice primário, índices secundários e contadores do cabeçalho refeitos a partir dos registros")
                 : QStringLiteral("índices secundários e contadores do cabeçalho refeitos a partir dos registros"));
    return done;
}

RepairOutcome repairParadoxToCopy(const QString& path, const QString& out, const CheckProgress& progress)
{
    if (QFileInfo(out).suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) != 0)
        throw FileError(QStringLiteral("A cópia reparada de %1 deve ser uma tabela .db; nada foi gravado").arg(path));
    if (io::exists(out) || !familyOf(out).isEmpty())
        throw FileError(QStringLiteral("%1 já existe (ou arquivos da sua família); escolha outro nome. Nada foi gravado").arg(out));
    PxTableFile t;
    t.open(path);
    const TableHeader& h = t.h;
    if (h.key)
        throw FileError(QStringLiteral("A cópia reparada de uma tabela protegida por senha (%1) não está disponível; nada foi gravado").arg(path));

    // The chain first (its order is the table's), then every other block that holds records
    // and is not on the free list.
    CheckReport scratch;
    FaultSink sink(scratch);
    const PxChainScan scan = scanParadoxChain(t, sink, {}, {});
    const int inFile = std::max(t.blocksInFile(), h.fileBlocks);
    std::vector<int> order = scan.order;
    for (int b = 1; b <= inFile; ++b)
        if (b >= int(scan.state.size()) || scan.state[size_t(b)] == 0)
            order.push_back(b);
    std::vector<char> chained(size_t(inFile) + 1, 0);
    for (int b : scan.order)
        chained[size_t(b)] = 1;

    std::unique_ptr<MbFile> mb;
    RecordCodec codec(h, path, [&](bool) -> MbFile& {
        if (!mb) {
            const QString mbPath = io::siblingNoCase(path, QFileInfo(path).completeBaseName() + QStringLiteral(".mb"));
            if (mbPath.isEmpty())
                throw FileError(QStringLiteral("falta o arquivo de blobs (.MB)"));
            mb = std::make_unique<MbFile>(mbPath, 0);
        }
        return *mb;
    });

    RepairOutcome outcome;
    qint64 saved = 0;
    try {
        io::Operation operation(QStringLiteral("Reparar"), {out});
        std::unique_ptr<ParadoxTable> dst;
        try {
            io::replaceFile(out, emptyHeader(h));
            // The secondary indexes go along and are rebuilt from the new table's records.
            const QFileInfo outInfo(out);
            for (const QString& member : familyOf(path)) {
                const QString suffix = QFileInfo(member).suffix();
                if (!isIndexSuffix(suffix))
                    continue;
                io::File src(member, io::OpenMode::Read);
                io::replaceFile(outInfo.absoluteDir().filePath(outInfo.completeBaseName() + QLatin1Char('.') + suffix), src.readAll());
            }
            dst = std::make_unique<ParadoxTable>(out);
            QByteArray buf, raw;
            qint64 visited = 0;
            for (int b : order) {
                ++visited;
                if (progress && !progress(visited, qint64(order.size())))
                    throw FileError(QStringLiteral("cópia interrompida"));
                const bool inChain = b < int(chained.size()) && chained[size_t(b)];
                const int got = readDataBlock(t, b, buf);
                const int cnt = got >= 6 ? declaredRecords(h, buf.constData()) : -1;
                if (cnt < 0 || cnt > h.capacity) {
                    if (inChain)
                        outcome.lost << QStringLiteral("bloco %1: o cabeçalho do bloco não pode ser lido; os registros dele se perderam").arg(b);
                    continue;
                }
                const int present = std::min(cnt, std::max(0, (got - 6) / h.recordSize));
                if (present < cnt)
                    outcome.lost << QStringLiteral("bloco %1: %2 registros cortados pelo fim do arquivo").arg(b).arg(cnt - present);
                if (present > 0 && !inChain)
                    outcome.done << QStringLiteral("bloco %1, fora do encadeamento: %2 registros recuperados").arg(b).arg(present);
                for (int i = 0; i < present; ++i) {
                    raw = QByteArray(buf.constData() + 6 + qint64(i) * h.recordSize, h.recordSize);
                    const QString where = QStringLiteral("registro %1 do bloco %2").arg(i + 1).arg(b);
                    // The bytes are kept as they are; only blobs are read, to be written anew.
                    QList<Value> values;
                    for (int f = 0; f < int(h.fields.size()); ++f) {
                        const FieldDesc& fd = h.fields[size_t(f)];
                        const QString why = unreadableValue(fd, raw.constData() + fd.offset);
                        if (!why.isEmpty()) {
                            outcome.lost << QStringLiteral("%1: %2; gravado vazio").arg(where, why);
                            std::memset(raw.data() + fd.offset, 0, size_t(fd.size));
                        }
                        if (!isBlobCode(fd.code)) {
                            values << Value();
                            continue;
                        }
                        try {
                            values << codec.decode(raw, f);
                        } catch (const Error& e) {
                            outcome.lost << QStringLiteral("%1: o valor do campo '%2' não pode ser lido (%3); gravado vazio")
                                                .arg(where, h.fields[size_t(f)].name, e.text());
                            values << Value();
                        }
                    }
                    try {
                        dst->insertImage(raw, values);
                        ++saved;
                    } catch (const KeyViolation&) {
                        outcome.lost << QStringLiteral("%1: chave repetida; ficou o primeiro registro com essa chave").arg(where);
                    } catch (const FileError&) {
                        throw;
                    } catch (const Error& e) {
                        outcome.lost << QStringLiteral("%1: %2").arg(where, e.text());
                    }
                }
            }
            dst->rebuildFromData();
        } catch (const Error& e) {
            dst.reset();
            operation.closeAndFinish([] {}, e.text());
            throw;
        }
        operation.closeAndFinish([&] {
            dst.reset();
            if (h.bytes[0x38]) {
                io::File w(out, io::OpenMode::ReadWrite);
                w.write(0x38, h.bytes.constData() + 0x38, 1);
                w.close();
            }
        });
    } catch (...) {
        for (const QString& file : familyOf(out))
            io::remove(file);
        throw;
    }
    outcome.done.prepend(QStringLiteral("%1 registros gravados em %2").arg(saved).arg(out));
    return outcome;
}

}  // namespace quillora::check
