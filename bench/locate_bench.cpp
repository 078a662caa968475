// Searching one record per source record, the way "Copiar", "Atualizar" and "Comparar" do:
// N Locate calls on a table of N records, on a key field without an index on disk and with an
// .ndx on it, against a plain scan that compares every record until it finds the key.
//   bench_locate SCRATCH_DIR [RECORDS]
#include "tables/Error.h"
#include "tables/Field.h"
#include "tables/Table.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseTable.h"
#include "tables/dbase/NdxWriter.h"
#include "tables/engine/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace quillora;

namespace {

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

QString keyOf(qint64 i)
{
    return QStringLiteral("C%1").arg(i, 9, 10, QLatin1Char('0'));
}

void makeTable(const QString& path, qint64 records)
{
    QFile::remove(path);
    FieldDef code;
    code.name = QStringLiteral("CODIGO");
    code.type = ftString;
    code.size = 10;
    FieldDef name;
    name.name = QStringLiteral("NOME");
    name.type = ftString;
    name.size = 30;
    createDbaseTable(path, {code, name}, DbaseLevel::III, QStringLiteral("IBM850"));
    auto table = openDbaseTable(path);
    table->beginWrite();
    QList<Value> v(2);
    // Keys in a shuffled physical order, so neither the scan nor the index gets a sorted file.
    std::vector<qint64> order(records);
    for (qint64 i = 0; i < records; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937_64(7));
    for (qint64 i : order) {
        v[0] = Value::text(keyOf(i));
        v[1] = Value::text(QStringLiteral("Cliente %1").arg(i));
        table->insert(v, NoRecord);
    }
    table->flush();
}

void writeIndex(const QString& tablePath, const QString& ndxPath, qint64 records)
{
    auto table = openDbaseTable(tablePath);
    std::vector<dbase::NdxEntry> entries;
    entries.reserve(records);
    quint32 recno = 0;
    QByteArray raw;
    for (RecordId id = table->first(); id != NoRecord; id = table->next(id)) {
        table->read(id, raw);
        entries.push_back({table->value(raw, 0).asText().toLatin1(), ++recno});
    }
    std::sort(entries.begin(), entries.end(),
              [](const dbase::NdxEntry& a, const dbase::NdxEntry& b) { return a.key < b.key; });
    dbase::DbaseTagInfo tag;
    tag.name = QStringLiteral("CODIGO");
    tag.expression = QStringLiteral("CODIGO");
    tag.keyType = 'C';
    tag.keyLength = 10;
    dbase::writeNdxFile(ndxPath, tag, entries);
}

std::vector<qint64> searchKeys(qint64 count, qint64 records)
{
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<qint64> pick(0, records - 1);
    std::vector<qint64> keys(count);
    for (qint64& k : keys)
        k = pick(rng);
    return keys;
}

// N searches through Table::Locate; returns the seconds and checks every search found its key.
double locateAll(const QString& path, qint64 records, int options)
{
    Table table(QStringLiteral("Table2"));
    table.Bind(path);
    table.Open();
    const std::vector<qint64> keys = searchKeys(records, records);
    QElapsedTimer t;
    t.start();
    qint64 found = 0;
    for (qint64 k : keys) {
        if (table.Locate(QStringLiteral("CODIGO"), Value::text(keyOf(k)), options))
            ++found;
    }
    const double s = seconds(t);
    table.Close();
    if (found != records)
        std::fprintf(stderr, "  (!) %lld of %lld keys found\n", (long long)found, (long long)records);
    return s;
}

// A few searches by walking the table from its first record; returns seconds per search.
double scanPerSearch(const QString& path, qint64 records, int samples)
{
    Table table(QStringLiteral("Table2"));
    table.Bind(path);
    table.Open();
    Field* code = table.FieldByName(QStringLiteral("CODIGO"));
    const std::vector<qint64> keys = searchKeys(samples, records);
    QElapsedTimer t;
    t.start();
    for (qint64 k : keys) {
        const QString wanted = keyOf(k);
        for (table.First(); !table.Eof(); table.Next()) {
            if (code->AsString() == wanted)
                break;
        }
    }
    const double s = seconds(t) / samples;
    table.Close();
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_locate SCRATCH_DIR [RECORDS]\n");
        return 2;
    }
    registerBuiltinFormats();
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const qint64 records = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1000000;
    const QString plain = dir.filePath(QStringLiteral("bench_locate.dbf"));
    const QString indexedDir = dir.filePath(QStringLiteral("bench_locate_ndx"));
    try {
        QElapsedTimer t;
        t.start();
        makeTable(plain, records);
        std::printf("table of %lld records made in %.2f s\n", (long long)records, seconds(t));

        QDir().mkpath(indexedDir);
        const QString indexed = QDir(indexedDir).filePath(QStringLiteral("bench_locate.dbf"));
        QFile::remove(indexed);
        QFile::copy(plain, indexed);
        writeIndex(indexed, QDir(indexedDir).filePath(QStringLiteral("CODIGO.ndx")), records);

        const double exact = locateAll(plain, records, 0);
        const double caseless = locateAll(plain, records, Table::loCaseInsensitive);
        const double withIndex = locateAll(indexed, records, 0);
        const int samples = records >= 100000 ? 20 : 200;
        const double scan = scanPerSearch(plain, records, samples);
        std::printf("%lld Locate, no index on disk:            %8.2f s (%.2f us each)\n", (long long)records, exact,
                    exact * 1e6 / records);
        std::printf("%lld Locate, no index, case-insensitive:  %8.2f s\n", (long long)records, caseless);
        std::printf("%lld Locate, .ndx on the key field:       %8.2f s\n", (long long)records, withIndex);
        std::printf("plain scan: %.3f s per search (mean of %d); %lld searches would take %.0f s\n", scan, samples,
                    (long long)records, scan * records);
        std::printf("ratio scan / Locate: %.0f\n", scan * records / exact);
    } catch (const Error& e) {
        std::fprintf(stderr, "bench_locate: %s\n", qPrintable(e.text()));
        return 1;
    }
    return 0;
}
