// Cost of keeping dBase indexes on 1,000,000 appends: the same appends to a table without
// indexes, to one with a production .mdx of three tags (two fields and an expression), and to
// one with an .ndx. The indexes are written anew when the table is flushed.
//   bench_dbase_index SCRATCH_DIR [RECORDS]
#include "tables/Error.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseTable.h"
#include "tables/dbase/NdxWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstring>

#include <sys/resource.h>

using namespace quillora;

namespace {

QList<FieldDef> benchFields()
{
    auto f = [](const char* name, FieldType type, int size, int decimals) {
        FieldDef d;
        d.name = QString::fromLatin1(name);
        d.type = type;
        d.size = size;
        d.decimals = decimals;
        return d;
    };
    return {f("NOME", ftString, 30, 0), f("CIDADE", ftString, 20, 0), f("VALOR", ftFloat, 12, 2),
            f("QTD", ftInteger, 6, 0), f("NASC", ftDate, 0, 0), f("ATIVO", ftBoolean, 0, 0)};
}

void put16(QByteArray& b, qsizetype at, int v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void put32(QByteArray& b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

struct Tag {
    const char* name;
    const char* expression;
    char type;
    int keyLength;
};

// A dBase IV production .mdx with the given tags and no keys (the engine fills it).
QByteArray emptyMdx(const QByteArray& base, const std::vector<Tag>& tags)
{
    const int pagesPerTag = 4;  // header block and one leaf block
    QByteArray f((4 + qsizetype(tags.size()) * pagesPerTag) * 512, '\0');
    f[0] = 2;
    f[1] = 26;
    f[2] = 1;
    f[3] = 1;
    std::memcpy(f.data() + 4, base.constData(), size_t(std::min<qsizetype>(base.size(), 15)));
    put16(f, 20, 2);
    put16(f, 22, 1024);
    f[24] = 1;
    f[25] = 0x30;
    f[26] = 0x20;
    put16(f, 28, int(tags.size()));
    f[31] = 0x1B;
    put32(f, 32, quint32(f.size() / 512));
    f[529] = 1;
    for (size_t i = 0; i < tags.size(); ++i) {
        const Tag& t = tags[i];
        const quint32 header = quint32(4 + i * pagesPerTag);
        const qsizetype e = 544 + qsizetype(i) * 32;
        put32(f, e, header);
        std::memcpy(f.data() + e + 4, t.name, std::strlen(t.name));
        f[e + 15] = std::strchr(t.expression, '(') ? 0x00 : 0x10;
        f[e + 17] = char(i + 1 < tags.size() ? i + 2 : 0);
        f[e + 18] = char(i);
        f[e + 19] = 2;
        f[e + 20] = t.type;
        const qsizetype h = qsizetype(header) * 512;
        const int item = 4 + (t.keyLength + 3) / 4 * 4;
        put32(f, h, header + 2);
        put32(f, h + 4, 2);
        f[h + 8] = 0x10;
        f[h + 9] = t.type;
        f[h + 11] = 0x1B;
        put16(f, h + 12, t.keyLength);
        put16(f, h + 14, (1024 - 8) / item);
        put16(f, h + 16, t.type == 'D' ? 1 : 0);
        put16(f, h + 18, item);
        std::memcpy(f.data() + h + 24, t.expression, std::strlen(t.expression));
        put32(f, h + 248, header + 2);
        put32(f, h + 252, header + 2);
    }
    return f;
}

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

// CPU time of this process (user + system), which the machine's load does not inflate.
double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakKiB()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Appends `records` records and flushes; prints the time of both.
void appendRun(const char* label, const QString& path, qint64 records)
{
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    double appendTime = 0, appendCpu = 0;
    {
        dbase::DbaseTable t(path);
        t.beginWrite();
        const QDate day(1990, 1, 1);
        for (qint64 i = 0; i < records; ++i) {
            const int n = int(i % 100000);
            t.insert({Value::text(QStringLiteral("Cliente %1").arg((i * 7919) % records)), Value::text(QStringLiteral("Cidade %1").arg(n % 500)),
                      Value::floating(double(i % 100000) / 100), Value::integer(n % 1000), Value::date(day.addDays(n % 12000)),
                      Value::boolean(i % 2)},
                     NoRecord);
        }
        appendTime = seconds(timer);
        appendCpu = cpuSeconds() - cpuStart;
        t.flush();
    }
    const double total = seconds(timer);
    const double cpu = cpuSeconds() - cpuStart;
    std::printf("%-30s appends %6.2f s (cpu %5.2f), flush with indexes %6.2f s (cpu %5.2f), total %6.2f s, "
                "peak memory so far %ld KiB\n",
                label, appendTime, appendCpu, total - appendTime, cpu - appendCpu, total, peakKiB());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_dbase_index SCRATCH_DIR [RECORDS]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const qint64 records = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1000000;
    try {
        std::printf("%lld appends of 6 fields (dBase IV, DB437US0)\n", static_cast<long long>(records));
        auto fresh = [&](const char* name) {
            const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".dbf"));
            for (const char* ext : {".dbf", ".mdx", ".ndx", ".ndx.desatualizado"})
                QFile::remove(dir.filePath(QString::fromLatin1(name) + QString::fromLatin1(ext)));
            createDbaseTable(path, benchFields(), DbaseLevel::IV, QStringLiteral("IBM437"));
            QFile f(path);
            f.open(QIODevice::ReadWrite);
            f.seek(29);
            f.write("\x1B", 1);  // DB437US0
            return path;
        };

        appendRun("no index", fresh("bench_idx_none"), records);

        const QString mdxTable = fresh("bench_idx_mdx");
        {
            QFile f(mdxTable);
            f.open(QIODevice::ReadWrite);
            f.seek(28);
            f.write("\x01", 1);
            QFile m(dir.filePath(QStringLiteral("bench_idx_mdx.mdx")));
            m.open(QIODevice::WriteOnly);
            m.write(emptyMdx("bench_idx_mdx", {{"NOME", "NOME", 'C', 30},
                                               {"VALOR", "VALOR", 'N', 12},
                                               {"CIDNASC", "UPPER(CIDADE)+DTOS(NASC)", 'C', 28}}));
        }
        appendRun(".mdx, 3 tags (1 expression)", mdxTable, records);

        const QString ndxTable = fresh("bench_idx_ndx");
        dbase::DbaseTagInfo tag;
        tag.expression = QStringLiteral("NOME");
        tag.keyType = 'C';
        tag.keyLength = 30;
        dbase::writeNdxFile(dir.filePath(QStringLiteral("bench_idx_ndx.ndx")), tag, {});
        appendRun(".ndx on NOME", ndxTable, records);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    return 0;
}
