// dBase benchmarks: 1,000,000 appends, a full scan reading every value, and copying the records
// of one table into another against shapelib's dbfcat doing the same.
//   bench_dbase SCRATCH_DIR [RECORDS]
#include "tables/Error.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

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

void fresh(const QString& path)
{
    QFile::remove(path);
    createDbaseTable(path, benchFields(), DbaseLevel::III, QStringLiteral("IBM850"));
}

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_dbase SCRATCH_DIR [RECORDS]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const qint64 records = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1000000;
    const QString source = dir.filePath(QStringLiteral("bench_dbase_src.dbf"));
    const QString copy = dir.filePath(QStringLiteral("bench_dbase_copy.dbf"));
    const QString viaDbfcat = dir.filePath(QStringLiteral("bench_dbase_dbfcat.dbf"));
    try {
        static const char* const cities[] = {"São Paulo", "Recife", "Curitiba", "Belém", "Porto Alegre", "Goiânia"};
        fresh(source);
        QElapsedTimer t;
        {
            auto table = openDbaseTable(source);
            table->beginWrite();
            QList<Value> v(6);
            const QDate base(1950, 1, 1);
            t.start();
            for (qint64 i = 0; i < records; ++i) {
                v[0] = Value::text(QStringLiteral("Cliente %1").arg(i, 7, 10, QLatin1Char('0')));
                v[1] = Value::text(QString::fromUtf8(cities[i % 6]));
                v[2] = Value::floating(double(i % 100000) * 1.25 - 5000);
                v[3] = Value::integer(i % 1000);
                v[4] = Value::date(base.addDays(i % 20000));
                v[5] = Value::boolean(i % 3 == 0);
                table->insert(v, NoRecord);
            }
            table->flush();
        }
        const double appendSecs = seconds(t);
        std::printf("append %lld records (generated values): %.3f s (%.0f records/s)\n", (long long)records,
                    appendSecs, records / appendSecs);

        t.start();
        qint64 nonNull = 0, seen = 0;
        {
            auto table = openDbaseTable(source);
            QByteArray raw;
            const int n = int(table->fields().size());
            for (RecordId id = table->first(); id != NoRecord; id = table->next(id)) {
                table->read(id, raw);
                for (int f = 0; f < n; ++f)
                    nonNull += !table->value(raw, f).isNull();
                ++seen;
            }
        }
        const double scanSecs = seconds(t);
        std::printf("full scan of %lld records, every value: %.3f s (%lld values)\n", (long long)seen, scanSecs,
                    (long long)nonNull);

        // The same copy done by both: read every record of the source, append it to an empty table.
        fresh(copy);
        t.start();
        {
            auto from = openDbaseTable(source);
            auto to = openDbaseTable(copy);
            to->beginWrite();
            QByteArray raw;
            QList<Value> v(6);
            for (RecordId id = from->first(); id != NoRecord; id = from->next(id)) {
                from->read(id, raw);
                for (int f = 0; f < 6; ++f)
                    v[f] = from->value(raw, f);
                to->insert(v, NoRecord);
            }
            to->flush();
        }
        const double copySecs = seconds(t);
        std::printf("quillora copy (read + append) %lld records: %.3f s\n", (long long)records, copySecs);

        const QString dbfcat = QStandardPaths::findExecutable(QStringLiteral("dbfcat"));
        if (dbfcat.isEmpty()) {
            std::printf("dbfcat not found (Debian package shapelib): comparison skipped\n");
            return 0;
        }
        fresh(viaDbfcat);
        QProcess p;
        t.start();
        // dbfcat adds ".dbf" to the names it is given.
        p.start(dbfcat, {source.chopped(4), viaDbfcat.chopped(4)});
        p.waitForFinished(-1);
        const double dbfcatSecs = seconds(t);
        if (p.exitCode() != 0) {
            std::printf("dbfcat failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
        std::printf("shapelib dbfcat %lld records: %.3f s\n", (long long)records, dbfcatSecs);
        std::printf("ratio quillora/dbfcat: %.2f (goal: at most 0.5)\n", copySecs / dbfcatSecs);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
