// Cost of the secondary indexes of a keyed Paradox table: RECORDS appends (1,000,000 unless
// given) to a table keyed on Id without secondary indexes, then to the same table with a
// maintained single-field index (.X03 on Cidade) and a maintained composite one (.XG0 on
// Nome + Valor, case-insensitive), which are rebuilt when the table is closed.
//   bench_paradox_index SCRATCH_DIR [RECORDS]
// Each phase runs in a process of its own, so the peak memory printed is that phase's.
#include "tables/Error.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxCodec.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

#include <cstdio>

using namespace quillora;
using namespace quillora::px;

namespace {

long maxRssKiB()
{
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

FieldDef field(const char* name, FieldType type, int size = 0)
{
    FieldDef d;
    d.name = QString::fromLatin1(name);
    d.type = type;
    d.size = size;
    return d;
}

QList<FieldDef> benchFields()
{
    return {field("Id", ftInteger), field("Nome", ftString, 30), field("Cidade", ftString, 20), field("Valor", ftFloat),
            field("Qtd", ftInteger), field("Nasc", ftDate)};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw Error(QStringLiteral("não foi possível gravar %1").arg(path));
}

// An empty maintained index the way Paradox lays it out: a keyed table of the indexed fields,
// the table's key and Blk Num, made by the engine and then given the index's header marks.
void createIndex(const QString& table, const QString& ext, const QList<FieldDef>& indexed, const QList<int>& fieldNumbers,
                 const QByteArray& name)
{
    const QFileInfo fi(table);
    const QString scratch = fi.absoluteDir().filePath(QStringLiteral("indextmp.db"));
    QList<FieldDef> fields = indexed;
    fields << field("Id", ftInteger) << field("Blk Num", ftSmallint);
    createParadoxTable(scratch, fields, ParadoxCreateOptions(7, int(fields.size()) - 1, QStringLiteral("ANSIINTL")));
    QByteArray x = readAll(scratch), y = readAll(fi.absoluteDir().filePath(QStringLiteral("indextmp.px")));
    const QByteArray t = readAll(table);
    char* p = x.data();
    const bool composite = !name.isEmpty();
    p[4] = char(composite ? 8 : 5);
    p[0x15] = char(fieldNumbers.first());
    p[0x2C] = char(0xFF);
    p[0x2E] = t[0x2E];
    p[0x55] = char(composite ? 1 : 0);
    const int numbersAt = 0x58 + le16(p + 0x66);
    for (int i = 0; i < fieldNumbers.size(); ++i)
        putLe16(p + numbersAt + 2 * i, quint16(fieldNumbers[i]));
    if (composite) {
        const int at = le16(p + 0x51);
        std::memcpy(p + at, name.constData(), size_t(name.size()) + 1);
        putLe16(p + 0x68, quint16(at - 0x58));
        putLe16(p + 0x51, quint16(at + name.size() + 1));
    }
    y[4] = char(composite ? 7 : 4);
    y[0x2C] = p[0x2D];
    const QString base = fi.absoluteDir().filePath(fi.completeBaseName());
    writeAll(base + QStringLiteral(".X") + ext, x);
    writeAll(base + QStringLiteral(".Y") + ext, y);
    QFile::remove(scratch);
    QFile::remove(fi.absoluteDir().filePath(QStringLiteral("indextmp.px")));
}

// One phase, in this process: prints "seconds S close S maxrss_kib M records R".
int phase(const QString& mode, const QString& path, qint64 n)
{
    if (mode == u"check") {
        const QStringList problems = checkParadoxTable(path);
        std::printf("problems %lld %s\n", static_cast<long long>(problems.size()),
                    problems.isEmpty() ? "" : qPrintable(problems.first()));
        return problems.isEmpty() ? 0 : 1;
    }
    const QFileInfo fi(path);
    for (const QString& old : fi.absoluteDir().entryList({fi.completeBaseName() + QStringLiteral(".*")}, QDir::Files))
        QFile::remove(fi.absoluteDir().filePath(old));
    createParadoxTable(path, benchFields(), ParadoxCreateOptions(7, 1, QStringLiteral("ANSIINTL")));
    if (mode == u"indexed") {
        createIndex(path, QStringLiteral("03"), {field("Cidade", ftString, 20)}, {3}, {});
        createIndex(path, QStringLiteral("G0"), {field("Nome", ftString, 30), field("Valor", ftFloat)}, {2, 4}, "NomeValor");
    } else if (mode != u"plain") {
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    ParadoxTable t(path);
    QList<Value> r(6);
    const QDate base(1991, 1, 1);
    for (qint64 i = 0; i < n; ++i) {
        r[0] = Value::integer(i + 1);
        r[1] = Value::text(QStringLiteral("Cliente numero %1").arg((i * 7919) % n));
        r[2] = Value::text(QStringLiteral("Cidade %1").arg(i % 5000));
        r[3] = Value::floating(double(i % 100000) / 100.0);
        r[4] = Value::integer(i % 1000);
        r[5] = Value::date(base.addDays(i % 10000));
        t.insert(r, NoRecord);
    }
    const qint64 appended = timer.nsecsElapsed();
    t.flush();
    std::printf("seconds %.3f close %.3f maxrss_kib %ld records %lld\n", double(timer.nsecsElapsed()) / 1e9,
                double(timer.nsecsElapsed() - appended) / 1e9, maxRssKiB(), static_cast<long long>(t.count()));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() >= 4 && args[1].startsWith(QStringLiteral("--")))
            return phase(args[1].mid(2), args[2], args[3].toLongLong());
        if (args.size() < 2) {
            std::fprintf(stderr, "usage: bench_paradox_index SCRATCH_DIR [RECORDS]\n");
            return 2;
        }
        const QString dir = args[1];
        const qint64 n = args.size() > 2 ? args[2].toLongLong() : 1000000;
        QDir().mkpath(dir);
        const QString path = QDir(dir).filePath(QStringLiteral("indices.db"));
        std::printf("%lld appends to a table keyed on Id (ANSIINTL):\n", static_cast<long long>(n));
        for (const char* mode : {"plain", "indexed"}) {
            QProcess p;
            p.start(app.applicationFilePath(), {QStringLiteral("--%1").arg(QString::fromLatin1(mode)), path, QString::number(n)});
            p.waitForFinished(-1);
            std::printf("  %-8s %s\n", mode, qPrintable(QString::fromUtf8(p.readAllStandardOutput()).trimmed()));
        }
        QProcess check;
        check.start(app.applicationFilePath(), {QStringLiteral("--check"), path, QStringLiteral("0")});
        check.waitForFinished(-1);
        std::printf("  check of the indexed table (.PX, .X03/.Y03, .XG0/.YG0): %s\n",
                    qPrintable(QString::fromUtf8(check.readAllStandardOutput()).trimmed()));
        return check.exitCode();
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
}
