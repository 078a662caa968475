// Appends are written in batches with one header update each: other readers must see every
// record once the table is closed, the records of a batch not yet written must read back, and
// the file on disk must stay a valid table at every moment.
#include "tables/Table.h"
#include "tables/Field.h"
#include "tables/dbase/DbaseFormat.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::test;

namespace {

FieldDef field(const char* name, FieldType type, int size = 0, int decimals = 0)
{
    FieldDef f;
    f.name = QString::fromLatin1(name);
    f.type = type;
    f.size = size;
    f.decimals = decimals;
    return f;
}

// NOME C20, VALOR N10.2, QTD N4, NASC D, ATIVO L, OBS M (a memo every 7th record).
QList<FieldDef> appendFields()
{
    return {field("NOME", ftString, 20), field("VALOR", ftFloat, 10, 2), field("QTD", ftSmallint),
            field("NASC", ftDate),       field("ATIVO", ftBoolean),      field("OBS", ftMemo)};
}

QList<Value> appendRow(int i)
{
    return {Value::text(QStringLiteral("Registro %1 ç").arg(i)),
            Value::floating(i * 0.25 - 100),
            Value::integer(i % 1000),
            Value::date(QDate(2000, 1, 1).addDays(i)),
            Value::boolean(i % 2 == 0),
            i % 7 == 0 ? Value::text(QStringLiteral("memo %1").arg(i)) : Value()};
}

QStringList shownRow(int i)
{
    QStringList out;
    for (const Value& v : appendRow(i))
        out << show(v);
    return out;
}

// Whether a record as dbf_oracle.py shows it holds the values appendRow(i) wrote.
bool sameAsRow(const QJsonArray& theirs, int i)
{
    const QStringList ours = shownRow(i);
    if (theirs.size() != ours.size())
        return false;
    for (qsizetype f = 0; f < ours.size(); ++f)
        if (!sameShown(ours[f], theirs[f].toString()))
            return false;
    return true;
}

// The record count in bytes 4-7 of the header, as every other reader takes it.
quint32 headerCountOnDisk(const QString& path)
{
    const QByteArray h = readFile(path).left(8);
    if (h.size() < 8)
        return 0xFFFFFFFF;
    return quint32(uchar(h[4])) | quint32(uchar(h[5])) << 8 | quint32(uchar(h[6])) << 16 | quint32(uchar(h[7])) << 24;
}

// Header length 32 + 6 * 32 + 1; record 1 + 20 + 10 + 4 + 8 + 1 + 10.
constexpr qint64 kHeaderLen = 225;
constexpr qint64 kRecordLen = 54;

}  // namespace

TEST(DbaseAppend, ManyAppendsReadBackAtOnceAndInDbfreadAndPerlXBaseAfterClose)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("muitos.dbf"));
    createDbaseTable(path, appendFields(), DbaseLevel::III, QStringLiteral("IBM850"));
    // Several full batches and a partial one.
    const int total = 2537;
    {
        auto t = openDbaseTable(path);
        t->beginWrite();
        for (int i = 0; i < total; ++i) {
            const RecordId id = t->insert(appendRow(i), NoRecord);
            ASSERT_EQ(id, i + 1);
            if (i % 401 == 0 || i == total - 1) {
                // The record just written may still be in the batch; it reads back all the same.
                QByteArray raw;
                t->read(id, raw);
                QStringList shown;
                for (int f = 0; f < 6; ++f)
                    shown << show(t->value(raw, f));
                ASSERT_EQ(shown, shownRow(i));
                ASSERT_EQ(t->count(), i + 1);
                ASSERT_EQ(t->last(), id);
            }
            if (i == 1500) {
                // A crash now: the file as it is on disk must be a valid table holding a prefix
                // of the records, each complete.
                const QString snapshot = dir.filePath(QStringLiteral("queda.dbf"));
                writeFile(snapshot, readFile(path));
                QFile::copy(dir.filePath(QStringLiteral("muitos.dbt")), dir.filePath(QStringLiteral("queda.dbt")));
                const quint32 seen = headerCountOnDisk(snapshot);
                EXPECT_GT(seen, 0u);
                EXPECT_LE(seen, quint32(i + 1));
                const QJsonObject theirs = dbfreadOracle(snapshot, QStringLiteral("cp850"));
                ASSERT_FALSE(theirs.contains(QStringLiteral("error")))
                    << theirs[QStringLiteral("error")].toString().toStdString();
                const QJsonArray recs = theirs[QStringLiteral("records")].toArray();
                ASSERT_EQ(recs.size(), qsizetype(seen));
                for (int k : {0, int(seen) - 1})
                    EXPECT_TRUE(sameAsRow(recs[k].toArray(), k)) << "record " << k;
            }
        }
        // Closed without flush(): the destructor finishes the last batch.
    }

    EXPECT_EQ(headerCountOnDisk(path), quint32(total));
    const QByteArray bytes = readFile(path);
    EXPECT_EQ(bytes.size(), kHeaderLen + total * kRecordLen + 1);
    EXPECT_EQ(bytes.back(), '\x1A');

    const QJsonObject theirs = dbfreadOracle(path, QStringLiteral("cp850"));
    ASSERT_FALSE(theirs.contains(QStringLiteral("error"))) << theirs[QStringLiteral("error")].toString().toStdString();
    const QJsonArray recs = theirs[QStringLiteral("records")].toArray();
    ASSERT_EQ(recs.size(), total);
    for (int i = 0; i < total; ++i)
        ASSERT_TRUE(sameAsRow(recs[i].toArray(), i))
            << "record " << i << ": " << QJsonDocument(recs[i].toArray()).toJson().toStdString();

    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl not installed; Perl XBase check skipped";
    QString out, err;
    ASSERT_EQ(runProgram(QStringLiteral("perl"),
                         {QStringLiteral(QUILLORA_SOURCE_DIR "/tests/tables/dbase/xbase_oracle.pl"),
                          QStringLiteral("dump"), path},
                         &out, &err),
              0)
        << err.toStdString();
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), total);
    // XBase.pm hands back raw bytes: 'ç' is 0x87 in code page 850.
    EXPECT_EQ(lines[0], QStringLiteral("ok\tRegistro 0 \\x87\t-100\t0\t20000101\t1\tmemo 0"));
    EXPECT_EQ(lines[total - 1], QStringLiteral("ok\tRegistro 2536 \\x87\t534\t536\t20061211\t1\t<null>"));
}

TEST(DbaseAppend, HeaderCountIsRightOnDiskAfterTheTableIsClosed)
{
    registerDbaseFormat();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fechar.dbf"));
    createDbaseTable(path, appendFields(), DbaseLevel::IV, QStringLiteral("IBM850"));
    Table table(QStringLiteral("Table1"));
    table.Bind(path);
    table.Open();
    for (int i = 0; i < 1234; ++i) {
        table.Append();
        const QList<Value> v = appendRow(i);
        for (int f = 0; f < 6; ++f)
            table.Fields(f)->SetValue(v[f]);
        table.Post();
    }
    EXPECT_EQ(table.RecordCount(), 1234);
    table.Close();
    EXPECT_EQ(headerCountOnDisk(path), 1234u);
    EXPECT_EQ(readFile(path).size(), kHeaderLen + 1234 * kRecordLen + 1);

    // Appends after a delete and an edit: the count is right again after the next close.
    table.Open();
    table.First();
    table.Delete();
    table.Edit();
    table.Fields(0)->SetValue(Value::text(QStringLiteral("Editado")));
    table.Post();
    table.Append();
    table.Fields(0)->SetValue(Value::text(QStringLiteral("Último")));
    table.Post();
    table.Close();
    EXPECT_EQ(headerCountOnDisk(path), 1235u);
    const QJsonObject theirs = dbfreadOracle(path, QStringLiteral("cp850"));
    EXPECT_EQ(theirs[QStringLiteral("deleted")].toInt(), 1);
    const QJsonArray recs = theirs[QStringLiteral("records")].toArray();
    ASSERT_EQ(recs.size(), 1234);
    EXPECT_EQ(recs[0].toArray()[0].toString(), QStringLiteral("s:Editado"));
    EXPECT_EQ(recs[1233].toArray()[0].toString(), QStringLiteral("s:Último"));
}

TEST(DbaseAppend, NumbersAreWrittenRoundedHalfAwayFromZero)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("numeros.dbf"));
    createDbaseTable(path, {field("INTEIRO", ftFloat, 5, 0), field("VALOR", ftFloat, 8, 2)}, DbaseLevel::III);
    struct Case {
        Value value;
        const char* inteiro;  // as written in N(5)
        const char* valor;    // as written in N(8,2)
    };
    const QList<Case> cases = {
        {Value::floating(2.5), "    3", "    2.50"},
        {Value::floating(-2.5), "   -3", "   -2.50"},
        {Value::floating(9.5), "   10", "    9.50"},
        {Value::floating(0.125), "    0", "    0.13"},
        {Value::floating(-0.125), "    0", "   -0.13"},
        {Value::floating(99.875), "  100", "   99.88"},
        {Value::floating(1.005), "    1", "    1.00"},  // just below 1.005 in binary: not a half
        {Value::floating(-0.001), "    0", "    0.00"},  // no "-0.00"
        {Value::floating(999.995), " 1000", " 1000.00"},  // 999.99500000000000045...: just above the half
        {Value::integer(7), "    7", "    7.00"},
    };
    {
        auto t = openDbaseTable(path);
        t->beginWrite();
        for (const Case& c : cases)
            t->insert({c.value, c.value}, NoRecord);
    }
    const QByteArray bytes = readFile(path);
    const qint64 headerLen = 32 + 2 * 32 + 1;
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const QByteArray rec = bytes.mid(headerLen + i * 14, 14);
        EXPECT_EQ(rec.mid(1, 5), QByteArray(cases[i].inteiro)) << "case " << i;
        EXPECT_EQ(rec.mid(6, 8), QByteArray(cases[i].valor)) << "case " << i;
    }
}
