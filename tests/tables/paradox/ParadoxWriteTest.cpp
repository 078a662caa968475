// Writing Paradox tables in place: what we write must read back the same here, in pxlib, and
// keep the family's structure (block chain, free list, counters, .PX, .MB) consistent.
#include "tables/Error.h"
#include "tables/Field.h"
#include "tables/Session.h"
#include "tables/Table.h"
#include "tables/TableFormats.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include <map>
#include <optional>

#include "tables/io/Journal.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/paradox/ParadoxTestSupport.h"

using namespace quillora;
using namespace quillora::test;
using quillora::px::le16;
using quillora::px::le32;

namespace {

QString px(const char* relative) { return sample(QStringLiteral("paradox/") + QString::fromUtf8(relative)); }

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return {};
}

void expectConsistent(const QString& path)
{
    EXPECT_EQ(checkParadoxTable(path), QStringList()) << path.toStdString();
}

void expectPxlibAgrees(const QString& path)
{
    if (QStringLiteral(QUILLORA_PX_DUMP).isEmpty())
        return;
    QStringList theirs;
    QString why;
    ASSERT_TRUE(pxlibDump(path, &theirs, &why)) << why.toStdString();
    ParadoxTable t(path);
    EXPECT_EQ(dumpLikePxlib(t), theirs) << path.toStdString();
}

QList<FieldDef> everyPlainType()
{
    return {
        FieldDef{QStringLiteral("Nome"), ftString, 24},
        FieldDef{QStringLiteral("Curto"), ftSmallint},
        FieldDef{QStringLiteral("Longo"), ftInteger},
        FieldDef{QStringLiteral("Número"), ftFloat},
        FieldDef{QStringLiteral("Valor"), ftCurrency},
        FieldDef{QStringLiteral("Decimal"), ftBCD, 32, 2},
        FieldDef{QStringLiteral("Dia"), ftDate},
        FieldDef{QStringLiteral("Hora"), ftTime},
        FieldDef{QStringLiteral("Momento"), ftDateTime},
        FieldDef{QStringLiteral("Ativo"), ftBoolean},
        FieldDef{QStringLiteral("Bytes"), ftBytes, 6},
    };
}

QList<Value> plainRow(int i)
{
    QRandomGenerator rng(quint32(i) * 7919u + 1);
    auto maybe = [&](Value v) { return (i % 11 == 5) ? Value() : v; };
    const QDate day = QDate(1, 1, 1).addDays(rng.bounded(3652058));
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(rng.bounded(86400000)));
    const qint64 cents = qint64(rng.bounded(2000000000)) - 1000000000;
    return {
        maybe(Value::text(QStringLiteral("Ação nº %1 – çé").arg(i))),
        maybe(Value::integer(i % 3 == 0 ? -32767 : i % 3 == 1 ? 32767 : i - 500)),
        maybe(Value::integer(i % 2 ? -2147483647 : (qint64(i) * 1000003) % 2000000000)),
        maybe(Value::floating(i % 4 == 0 ? -0.1 * i : 1e300 / (i + 1))),
        maybe(Value::floating(double(cents) / 100.0)),
        maybe(Value::fixed(Fixed{cents * 100})),
        maybe(Value::date(day)),
        maybe(Value::time(time)),
        maybe(Value::dateTime(QDateTime(day, time))),
        maybe(Value::boolean(i % 2 == 0)),
        maybe(Value::bytes(QByteArray::fromHex("00ff10") + QByteArray(1, char(i)) + QByteArray(2, '\x01'))),
    };
}

class ParadoxWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        Session::clearPasswords();
        Session::setPasswordPrompt({});
    }
    void TearDown() override { Session::clearPasswords(); }
    QString file(const char* name) { return dir.filePath(QString::fromUtf8(name)); }
    QTemporaryDir dir;
};

TEST_F(ParadoxWrite, unkeyedTableOfEveryTypeRoundTripsAndPxlibAgrees)
{
    const QString path = file("tipos.db");
    createParadoxTable(path, everyPlainType(), {7, 0, QStringLiteral("ANSIINTL")});
    QList<QList<Value>> model;
    {
        ParadoxTable t(path);
        for (int i = 0; i < 400; ++i) {
            t.insert(plainRow(i), NoRecord);
            model << plainRow(i);
        }
        // Edit some records, delete others (emptying whole blocks), insert before a record.
        for (int pos : {1, 17, 200, 399}) {
            QList<Value> v = plainRow(1000 + pos);
            QList<bool> changed(v.size(), false);
            changed[0] = changed[3] = changed[6] = true;
            t.update(t.atPosition(pos), v, changed);
            model[pos - 1][0] = v[0];
            model[pos - 1][3] = v[3];
            model[pos - 1][6] = v[6];
        }
        for (int k = 0; k < 120; ++k) {
            t.remove(t.atPosition(101));
            model.removeAt(100);
        }
        const RecordId id = t.insert(plainRow(5000), t.atPosition(3));
        model.insert(2, plainRow(5000));
        EXPECT_EQ(t.recordNumber(id), 3);
        t.flush();
    }
    ParadoxTable t(path);
    ASSERT_EQ(t.count(), model.size());
    const auto rows = readAll(t);
    for (int i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i], model[i]) << "record " << i + 1;
    expectConsistent(path);
    expectPxlibAgrees(path);
}

TEST_F(ParadoxWrite, normalizeKeepsWhatTheFieldCanHold)
{
    const QString path = file("limites.db");
    createParadoxTable(path, everyPlainType(), {7, 0, QStringLiteral("ascii")});
    ParadoxTable t(path);
    EXPECT_EQ(t.normalize(0, Value::text(QString(30, QLatin1Char('a')))), Value::text(QString(24, QLatin1Char('a'))));
    EXPECT_TRUE(errorOf([&] { t.normalize(0, Value::text(QStringLiteral("€"))); }).contains(QStringLiteral("código de página")));
    EXPECT_TRUE(errorOf([&] { t.normalize(1, Value::integer(32768)); }).contains(QStringLiteral("Curto")));
    EXPECT_TRUE(errorOf([&] { t.normalize(1, Value::integer(-32768)); }).contains(QStringLiteral("-32767")));
    EXPECT_TRUE(errorOf([&] { t.normalize(2, Value::integer(qint64(1) << 31)); }).contains(QStringLiteral("Longo")));
    EXPECT_EQ(t.normalize(5, Value::fixed(Fixed{12345})), Value::fixed(Fixed{12300}));  // 2 decimals
    EXPECT_TRUE(errorOf([&] { t.normalize(10, Value::bytes("1234567")); }).contains(QStringLiteral("cabem 6")));
    EXPECT_EQ(t.normalize(10, Value::bytes("12")), Value::bytes(QByteArray("12\0\0\0\0", 6)));
    EXPECT_TRUE(t.normalize(0, Value::text(QString())).isNull());
}

TEST_F(ParadoxWrite, keyedTableKeepsKeyOrderAcrossSplitsAndFrees)
{
    const QString path = file("chave.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Id"), ftInteger}, FieldDef{QStringLiteral("Nome"), ftString, 60}},
                       {5, 1, QStringLiteral("ascii"), 0, 1});
    std::map<int, QString> model;
    QRandomGenerator rng(42);
    qint64 size = 0;
    // Record numbers and walking follow the chain after splits and frees moved blocks in it.
    auto expectNumberedInChainOrder = [](ParadoxTable& t) {
        qint64 n = 0;
        for (RecordId id = t.first(); id != NoRecord; id = t.next(id))
            ASSERT_EQ(t.recordNumber(id), ++n);
        EXPECT_EQ(n, t.count());
        for (RecordId id = t.last(); id != NoRecord; id = t.prior(id))
            ASSERT_EQ(t.recordNumber(id), n--);
    };
    {
        ParadoxTable t(path);
        while (model.size() < 1500) {
            const int id = int(rng.bounded(100000)) - 50000;
            if (model.count(id))
                continue;
            model[id] = QStringLiteral("n%1").arg(id);
            t.insert(row({Value::integer(id), Value::text(model[id])}), NoRecord);
        }
        expectNumberedInChainOrder(t);
        // A duplicate key is refused and leaves the table as it was.
        const qint64 before = t.count();
        const int taken = model.begin()->first;
        EXPECT_EQ(errorOf([&] { t.insert(row({Value::integer(taken), Value::text(QStringLiteral("x"))}), NoRecord); }),
                  QStringLiteral("Violação de chave"));
        EXPECT_THROW(t.insert(row({Value::integer(taken), Value()}), NoRecord), KeyViolation);
        EXPECT_EQ(t.count(), before);
        // Change keys: the record moves; onto a taken key it is refused.
        QList<bool> keyOnly{true, false};
        const int from = std::next(model.begin(), 10)->first;
        const int taken2 = std::next(model.begin(), 20)->first;
        RecordId at = t.first();
        for (int k = 0; k < 10; ++k)
            at = t.next(at);
        EXPECT_THROW(t.update(at, row({Value::integer(taken2), Value()}), keyOnly), KeyViolation);
        const RecordId moved = t.update(at, row({Value::integer(60000), Value()}), keyOnly);
        EXPECT_EQ(t.recordNumber(moved), t.count());
        model[60000] = model[from];
        model.erase(from);
        // Delete most records, from everywhere.
        for (int k = 0; k < 1300; ++k) {
            const qint64 pos = 1 + qint64(rng.bounded(quint32(t.count())));
            QByteArray raw;
            const RecordId id = t.atPosition(pos);
            t.read(id, raw);
            model.erase(int(t.value(raw, 0).asInteger()));
            t.remove(id);
        }
        expectNumberedInChainOrder(t);
        t.flush();
        expectConsistent(path);
        // Emptied blocks went to the free list and are taken again before the file grows.
        size = QFileInfo(path).size();
        EXPECT_NE(le16(readFile(path).constData() + 0x4D), 0);
        for (int k = 0; k < 300; ++k) {
            const int id = int(rng.bounded(100000)) - 50000;
            if (model.count(id))
                continue;
            model[id] = QStringLiteral("m%1").arg(id);
            t.insert(row({Value::integer(id), Value::text(model[id])}), NoRecord);
        }
    }
    EXPECT_EQ(QFileInfo(path).size(), size);
    ParadoxTable t(path);
    QList<QList<Value>> expected;
    for (const auto& [k, v] : model)
        expected << row({Value::integer(k), Value::text(v)});
    EXPECT_EQ(readAll(t), expected);
    expectConsistent(path);
    expectPxlibAgrees(path);
    // The .PX tree has more than one level by now (1 KiB blocks).
    const QByteArray pxHeader = readFile(file("chave.px")).left(0x30);
    EXPECT_GE(int(pxHeader[0x20]), 1);
}

TEST_F(ParadoxWrite, keyedWritesInsideAnOperationGiveTheSameTableAsWritesOutsideOne)
{
    // Inside an operation the table writes its blocks when their buffers are reused and brings
    // the .PX and the header up to date at the end; with few buffers, blocks go out and come
    // back many times in a run of inserts, moves and deletes in random key order.
    const int savedCache = ParadoxTable::deferredCacheBytes;
    ParadoxTable::deferredCacheBytes = 1;
    auto build = [&](const QString& path, bool inOperation) {
        createParadoxTable(path, {FieldDef{QStringLiteral("Id"), ftInteger}, FieldDef{QStringLiteral("Nome"), ftString, 60}},
                           {5, 1, QStringLiteral("ascii"), 0, 1});
        std::optional<io::Operation> operation;
        if (inOperation)
            operation.emplace(QStringLiteral("Adicionar"), QStringList{path});
        {
            ParadoxTable t(path);
            QRandomGenerator rng(11);
            for (int k = 0; k < 2500; ++k) {
                const int id = int(rng.bounded(100000));
                try {
                    t.insert(row({Value::integer(id), Value::text(QStringLiteral("n%1").arg(id))}), NoRecord);
                } catch (const KeyViolation&) {
                }
            }
            const QList<bool> both{true, true};
            for (int k = 0; k < 300; ++k) {
                const RecordId at = t.atPosition(1 + qint64(rng.bounded(quint32(t.count()))));
                const int id = 100000 + k;
                t.update(at, row({Value::integer(id), Value::text(QStringLiteral("m%1").arg(id))}), both);
            }
            for (int k = 0; k < 1500; ++k)
                t.remove(t.atPosition(1 + qint64(rng.bounded(quint32(t.count())))));
            t.flush();
        }
        if (operation)
            EXPECT_TRUE(operation->finish());
    };
    build(file("fora.db"), false);
    build(file("dentro.db"), true);
    ParadoxTable::deferredCacheBytes = savedCache;

    ParadoxTable outside(file("fora.db"));
    ParadoxTable inside(file("dentro.db"));
    const QList<QList<Value>> expected = readAll(outside);
    EXPECT_GT(expected.size(), 900);
    EXPECT_EQ(readAll(inside), expected);
    expectConsistent(file("dentro.db"));
    expectPxlibAgrees(file("dentro.db"));
}

TEST_F(ParadoxWrite, deletingEverythingLeavesAnEmptyTable)
{
    const QString path = file("vazia.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Id"), ftAutoInc}, FieldDef{QStringLiteral("T"), ftString, 10}},
                       {7, 1});
    {
        ParadoxTable t(path);
        for (int i = 0; i < 300; ++i)
            t.insert(row({Value(), Value::text(QStringLiteral("x"))}), NoRecord);
        while (t.count() > 0)
            t.remove(t.first());
        t.flush();
    }
    const QByteArray b = readFile(path);
    EXPECT_EQ(b.size(), le16(b.constData() + 2));  // header only, like an empty BDE table
    EXPECT_EQ(le32(b.constData() + 0x49), 300u);  // the auto-increment is not handed out twice
    expectConsistent(path);
    ParadoxTable t(path);
    const RecordId id = t.insert(row({Value(), Value::text(QStringLiteral("y"))}), NoRecord);
    QByteArray raw;
    t.read(id, raw);
    EXPECT_EQ(t.value(raw, 0), Value::integer(301));
}

TEST_F(ParadoxWrite, alphaKeysFollowTheLanguageDriver)
{
    // The order of Portuguese words under ANSIINTL and byte order (cp1252).
    const QStringList words{"Ação", "acao", "ACAO", "Água", "agua", "Zé", "ze", "éter", "Éden", "Ñandu", "über",
                            "ÇA", "ca", "1abc", " abc", "abc "};
    struct Case {
        const char* sortOrder;
        QStringList order;
    } cases[] = {
        {"ANSIINTL", {" abc", "1abc", "abc ", "acao", "Ação", "ACAO", "agua", "Água", "ca", "ÇA", "Éden", "éter", "Ñandu", "über", "ze", "Zé"}},
        {"DBWINUS0", {" abc", "1abc", "ACAO", "Ação", "Zé", "abc ", "acao", "agua", "ca", "ze", "Água", "ÇA", "Éden", "Ñandu", "éter", "über"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sortOrder);
        const QString path = file("palavras.db");
        createParadoxTable(path, {FieldDef{QStringLiteral("Palavra"), ftString, 20}}, {7, 1, QString::fromUtf8(c.sortOrder)});
        {
            ParadoxTable t(path);
            for (const QString& w : words)
                t.insert(row({Value::text(w)}), NoRecord);
            EXPECT_THROW(t.insert(row({Value::text(QStringLiteral("abc"))}), NoRecord), KeyViolation);  // = "abc "
        }
        ParadoxTable t(path);
        QStringList got;
        for (const auto& r : readAll(t))
            got << r[0].asText();
        EXPECT_EQ(got, c.order);
        expectConsistent(path);
    }
    // Expansions of the international orders.
    bool known = false;
    const px::Collation* intl = px::Collation::forSortOrder(QStringLiteral("ANSIINTL"), 0x62, &known);
    ASSERT_TRUE(known);
    auto less = [&](const char* a, const char* b) {
        const QByteArray x = QByteArray::fromPercentEncoding(a), y = QByteArray::fromPercentEncoding(b);
        return intl->compare(x.constData(), int(x.size()), y.constData(), int(y.size())) < 0;
    };
    EXPECT_TRUE(less("ae", "%E4"));   // ae < ä
    EXPECT_TRUE(less("%E4", "af"));   // ä < af
    EXPECT_TRUE(less("ss", "%DF"));   // ss < ß
    EXPECT_TRUE(less("%DF", "st"));   // ß < st
    EXPECT_TRUE(less("%C1", "ab"));   // Á < ab: length beats accents
    const px::Collation* i850 = px::Collation::forSortOrder(QStringLiteral("ANSII850"), 0x11, &known);
    const QByteArray a1 = QByteArray::fromPercentEncoding("%E1"), a2 = QByteArray::fromPercentEncoding("%C3");
    EXPECT_LT(i850->compare(a1.constData(), 1, a2.constData(), 1), 0);  // á < Ã with the full weights
}

TEST_F(ParadoxWrite, unknownSortOrderOnAnAlphaKeyRefusesWriting)
{
    const QString path = file("ordem.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Nome"), ftString, 20}}, {7, 1, QStringLiteral("ANSIINTL")});
    QByteArray b = readFile(path);
    const int at = 0x58 + le16(b.constData() + 0x6E);
    ASSERT_EQ(b.mid(at, 8), QByteArray("ANSIINTL"));
    b.replace(at, 8, "DBWINWE0");
    b[0x29] = 0x40;
    writeFile(path, b);
    ParadoxTable t(path);
    const QString e = errorOf([&] { t.beginWrite(); });
    EXPECT_TRUE(e.contains(QStringLiteral("DBWINWE0"))) << e.toStdString();
    EXPECT_EQ(readFile(path), b);
    // The same order on an unkeyed table is no obstacle (no order to keep).
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir other;
    const QString copy = copyInto(other.path(), {px("paradoxdriver/joins/joina.db")});
    ParadoxTable u(copy);
    u.insert(row({Value::integer(9)}), NoRecord);
    u.flush();
    EXPECT_EQ(readAll(u).last(), row({Value::integer(9)}));
}

TEST_F(ParadoxWrite, editedSamplesKeepTheirHeaderAndStayReadable)
{
    QUILLORA_REQUIRE_SAMPLES();
    // ORDERS: keyed on a Number; ZIPCODES: 686 blocks and a two-level .PX.
    const QString orders = copyInto(dir.path(), {px("paradoxdriver/db/ORDERS.DB"), px("paradoxdriver/db/ORDERS.PX")});
    const QByteArray before = readFile(orders);
    {
        ParadoxTable t(orders);
        QList<Value> r = t.newRecordValues();
        r[0] = Value::floating(1000.5);
        r[4] = Value::text(QStringLiteral("Pé"));
        EXPECT_EQ(t.recordNumber(t.insert(r, NoRecord)), 1);
        t.remove(t.atPosition(100));
    }
    const QByteArray after = readFile(orders);
    const int real = le16(before.constData() + 0x51);
    // Only counters and the time stamp change; the rest (sort order, names, code page) is kept.
    for (int i = 0x58; i < real; ++i)
        if (i < 0x60 || i >= 0x64) {
            ASSERT_EQ(before[i], after[i]) << "header byte " << i;
        }
    // The change counter moves once per write (an insert and a delete), and the .PX follows it.
    EXPECT_EQ(uchar(after[0x2D]), uchar(uchar(before[0x2D]) + 2));
    expectConsistent(orders);
    expectPxlibAgrees(orders);

    QUILLORA_REQUIRE_SAMPLES();
    const QString zips = copyInto(dir.path(), {px("paradoxdriver/areas/ZIPCODES.DB"), px("paradoxdriver/areas/ZIPCODES.PX"),
                                               px("paradoxdriver/areas/ZIPCODES.VAL")});
    {
        ParadoxTable t(zips);
        for (int i = 0; i < 100; ++i)
            t.insert(row({Value::text(QStringLiteral("5%1x").arg(i, 3, 10, QLatin1Char('0'))), Value::text(QStringLiteral("SP")),
                          Value::text(QStringLiteral("Sao Paulo"))}),
                     NoRecord);
    }
    ParadoxTable t(zips);
    EXPECT_EQ(t.count(), 43285);
    expectConsistent(zips);
    EXPECT_EQ(readParadoxIndex(QFileInfo(zips).absoluteDir().filePath(QStringLiteral("ZIPCODES.PX"))).size(),
              size_t(le16(readFile(zips).constData() + 0x0A)));
}

TEST_F(ParadoxWrite, blobsAreAllocatedReusedAndReadBack)
{
    const QString path = file("blobs.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Id"), ftAutoInc}, FieldDef{QStringLiteral("Memo"), ftMemo, 20},
                              FieldDef{QStringLiteral("Imagem"), ftGraphic, 0}, FieldDef{QStringLiteral("Dados"), ftBlob, 10},
                              FieldDef{QStringLiteral("Fmt"), ftFmtMemo, 1}},
                       {7, 1});
    auto text = [](int n, QChar c) { return QString(n, c); };
    auto bytes = [](int n) {
        QByteArray b(n, '\0');
        for (int i = 0; i < n; ++i)
            b[i] = char(i * 31 + 7);
        return b;
    };
    QList<QList<Value>> model;
    {
        ParadoxTable t(path);
        int i = 0;
        for (int size : {5, 20, 21, 100, 2048, 2049, 5000, 100000}) {
            ++i;
            const QList<Value> r{Value::integer(i), Value::text(text(size, QChar(u'á'))), Value::bytes(bytes(size)),
                                 Value::bytes(bytes(size / 2 + 1)), Value::text(text(size / 3 + 1, QLatin1Char('{')))};
            t.insert(r, NoRecord);
            model << r;
        }
        t.flush();
        expectConsistent(path);
        // Replace big values by big values: freed space is reused, so the .MB stops growing.
        const qint64 mbSize = QFileInfo(file("blobs.mb")).size();
        for (int round = 0; round < 5; ++round) {
            for (int k = 0; k < model.size(); ++k) {
                QList<Value> r = model[k];
                r[1] = Value::text(text(r[1].asText().size(), QChar(u'a' + round)));
                r[2] = Value::bytes(bytes(r[2].asBytes().size()).toUpper());
                t.update(t.atPosition(k + 1), r, {false, true, true, false, false});
                model[k] = r;
            }
        }
        t.flush();
        EXPECT_LE(QFileInfo(file("blobs.mb")).size(), mbSize * 2);
        t.remove(t.atPosition(2));
        model.removeAt(1);
        QList<Value> cleared = model[0];
        cleared[1] = Value();
        t.update(t.atPosition(1), cleared, {false, true, false, false, false});
        model[0] = cleared;
    }
    ParadoxTable t(path);
    EXPECT_EQ(readAll(t), model);
    expectConsistent(path);
}

TEST_F(ParadoxWrite, encryptedTablesAreWrittenEncrypted)
{
    const QString path = file("secreta.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Id"), ftInteger}, FieldDef{QStringLiteral("Texto"), ftString, 40},
                              FieldDef{QStringLiteral("Memo"), ftMemo, 10}},
                       {7, 1, QStringLiteral("ascii"), 0, 2, QStringLiteral("segredo")});
    Session::addPassword(QStringLiteral("segredo"));
    {
        ParadoxTable t(path);
        EXPECT_TRUE(t.isEncrypted());
        for (int i = 0; i < 200; ++i)
            t.insert(row({Value::integer(i), Value::text(QStringLiteral("linha secreta %1").arg(i)),
                          Value::text(QString(3000 + i, QLatin1Char('m')))}),
                     NoRecord);
    }
    EXPECT_FALSE(readFile(path).contains("linha secreta"));
    EXPECT_FALSE(readFile(file("secreta.mb")).contains("mmmmmmmm"));
    expectConsistent(path);
    Session::clearPasswords();
    EXPECT_THROW(ParadoxTable{path}, FileError);
    Session::addPassword(QStringLiteral("segredo"));
    ParadoxTable t(path);
    const auto rows = readAll(t);
    ASSERT_EQ(rows.size(), 200);
    EXPECT_EQ(rows[123][1], Value::text(QStringLiteral("linha secreta 123")));
    EXPECT_EQ(rows[123][2].asText().size(), 3123);
    expectPxlibAgrees(path);  // pxlib decrypts the blocks with the same key

    QUILLORA_REQUIRE_SAMPLES();
    Session::addPassword(QStringLiteral("123"));
    const QString memo = copyInto(dir.path(), {px("paradoxdriver/encrypt/encryptedmemo.db"), px("paradoxdriver/encrypt/encryptedmemo.mb")});
    const QString enc = copyInto(dir.path(), {px("paradoxdriver/encrypt/encrypted.db")});
    {
        ParadoxTable m(memo);
        m.insert(row({Value::text(QStringLiteral("novo memorando cifrado ") + QString(5000, QLatin1Char('z')))}), NoRecord);
        ParadoxTable e(enc);
        e.insert(row({Value(), Value::text(QStringLiteral("Value 5"))}), NoRecord);
    }
    ParadoxTable m(memo);
    const auto memos = readAll(m);
    EXPECT_EQ(memos[0][0].asText().size(), 55855);
    EXPECT_TRUE(memos[2][0].asText().startsWith(QStringLiteral("novo memorando cifrado")));
    ParadoxTable e(enc);
    EXPECT_EQ(readAll(e).last(), row({Value::integer(5), Value::text(QStringLiteral("Value 5"))}));
    expectPxlibAgrees(enc);
}

TEST_F(ParadoxWrite, validityChecksAreEnforced)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QString logical = copyInto(dir.path(), {px("paradoxdriver/fields/logical.db"), px("paradoxdriver/fields/logical.val")});
    const QByteArray val = readFile(QFileInfo(logical).absoluteDir().filePath(QStringLiteral("logical.val")));
    {
        ParadoxTable t(logical);
        EXPECT_EQ(errorOf([&] { t.insert(row({Value()}), NoRecord); }), QStringLiteral("Campo 'BOOL' deve ter um valor"));
        t.insert(t.newRecordValues(), NoRecord);
        EXPECT_EQ(readAll(t).last(), row({Value::boolean(true)}));
    }
    EXPECT_EQ(readFile(QFileInfo(logical).absoluteDir().filePath(QStringLiteral("logical.val"))), val);

    // Minimum and maximum of a Short field, in the layout Paradox 5 writes.
    const QString path = file("faixa.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Ano"), ftSmallint}}, {5});
    QByteArray v(0x35, '\0');
    v[0] = readFile(path)[0x2E];
    v[1] = 0x0B;
    v[2] = 1;
    QByteArray entry(28, '\0');
    entry[0] = 0;
    px::putLe32(entry.data() + 12, 1);
    px::putLe32(entry.data() + 16, 1);
    v += entry;
    char bound[2];
    px::writeInt(bound, 2, 1900);
    v += QByteArray(bound, 2);
    px::writeInt(bound, 2, 1999);
    v += QByteArray(bound, 2);
    px::putLe32(v.data() + 9, quint32(v.size()));
    v += QByteArray(16, '\0');
    writeFile(file("faixa.val"), v);
    ParadoxTable t(path);
    EXPECT_TRUE(errorOf([&] { t.insert(row({Value::integer(1899)}), NoRecord); }).contains(QStringLiteral("mínimo permitido (1900)")));
    EXPECT_TRUE(errorOf([&] { t.insert(row({Value::integer(2000)}), NoRecord); }).contains(QStringLiteral("máximo permitido (1999)")));
    t.insert(row({Value::integer(1950)}), NoRecord);
    EXPECT_TRUE(errorOf([&] { t.update(t.first(), row({Value::integer(2024)}), {true}); }).contains(QStringLiteral("máximo")));
    EXPECT_EQ(readAll(t), (QList<QList<Value>>{row({Value::integer(1950)})}));
}

TEST_F(ParadoxWrite, writingIsRefusedWhileAnotherProgramHoldsTheTable)
{
    const QString path = file("uso.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("N"), ftInteger}});
    ParadoxTable first(path);
    first.beginWrite();
    ParadoxTable second(path);
    EXPECT_TRUE(errorOf([&] { second.beginWrite(); }).contains(QStringLiteral("em uso por outro programa")));
    first.flush();

#ifdef Q_OS_UNIX
    // A live lock file of the BDE: the directory is in use elsewhere.
    const QString other = file("outra.db");
    createParadoxTable(other, {FieldDef{QStringLiteral("N"), ftInteger}});
    writeFile(file("PDOXUSRS.LCK"), QByteArray(128, '\0'));
    const int fd = ::open(QFile::encodeName(file("PDOXUSRS.LCK")).constData(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    {
        ParadoxTable t(other);
        const QString e = errorOf([&] { t.beginWrite(); });
        EXPECT_TRUE(e.contains(QStringLiteral("PDOXUSRS.LCK"))) << e.toStdString();
    }
    ::close(fd);  // left behind by a program that ended: no longer an obstacle
    ParadoxTable t(other);
    t.insert(row({Value::integer(1)}), NoRecord);
#endif
}

TEST_F(ParadoxWrite, maintainedSecondaryIndexesNoLongerBlockWriting)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QString path = copyInto(dir.path(), {px("paradoxdriver/db/CUSTOMER.DB"), px("paradoxdriver/db/CUSTOMER.PX"),
                                               px("paradoxdriver/db/CUSTOMER.MB"), px("paradoxdriver/db/CUSTOMER.X06"),
                                               px("paradoxdriver/db/CUSTOMER.Y06")});
    {
        ParadoxTable t(path);
        EXPECT_EQ(errorOf([&] { t.insert(t.newRecordValues(), NoRecord); }), QString());
        t.flush();
    }
    // The index now lists 21 records (pxlib reads the .X as a table of its own).
    QByteArray x = readFile(file("CUSTOMER.X06"));
    EXPECT_EQ(le32(x.constData() + 6), 21u);
    expectConsistent(path);
}

TEST_F(ParadoxWrite, creationRefusesWhatParadoxCannotHold)
{
    const QString path = file("nova.db");
    EXPECT_TRUE(errorOf([&] { createParadoxTable(path, {FieldDef{QStringLiteral("L"), ftInteger}}, {4}); }).contains(QStringLiteral("nível 5")));
    EXPECT_TRUE(errorOf([&] { createParadoxTable(path, {FieldDef{QStringLiteral("A"), ftString, 300}}); }).contains(QStringLiteral("largura")));
    EXPECT_TRUE(errorOf([&] { createParadoxTable(path, {FieldDef{QStringLiteral("A"), ftString, 3}, FieldDef{QStringLiteral("a"), ftString, 3}}); })
                    .contains(QStringLiteral("repetido")));
    EXPECT_TRUE(errorOf([&] { createParadoxTable(path, {FieldDef{QStringLiteral("A"), ftString, 3}}, {7, 0, QStringLiteral("china")}); })
                    .contains(QStringLiteral("china")));
    EXPECT_FALSE(QFileInfo::exists(path));
}

// Through the dataset, as the program uses it: a duplicate key fails Post and stays pending.
TEST_F(ParadoxWrite, datasetPostOfADuplicateKeyStaysPending)
{
    const QString path = file("dataset.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Id"), ftInteger}, FieldDef{QStringLiteral("Nome"), ftString, 20}}, {7, 1});
    {
        Table t(QStringLiteral("tabela"));
        t.Bind(path);
        t.Open();
        t.Append();
        t.Fields(0)->SetAsString(QStringLiteral("1"));
        t.Fields(1)->SetAsString(QStringLiteral("Ana"));
        t.Post();
        t.Append();
        t.Fields(0)->SetAsString(QStringLiteral("1"));
        t.Fields(1)->SetAsString(QStringLiteral("Bia"));
        EXPECT_EQ(errorOf([&] { t.Post(); }), QStringLiteral("Violação de chave"));
        EXPECT_EQ(t.state(), Table::State::Insert);
        t.Fields(0)->SetAsString(QStringLiteral("0"));
        t.Post();
        EXPECT_EQ(t.RecNo(), 1);
        t.Close();
    }
    ParadoxTable t(path);
    EXPECT_EQ(readAll(t), (QList<QList<Value>>{row({Value::integer(0), Value::text(QStringLiteral("Bia"))}),
                                                 row({Value::integer(1), Value::text(QStringLiteral("Ana"))})}));
    expectConsistent(path);
    expectPxlibAgrees(path);
}

// Paradox 3.0 and 3.5 tables (no header extension, key at 0x25 when encrypted) take writes too.
TEST_F(ParadoxWrite, oldLevelsAreWrittenInPlace)
{
    QUILLORA_REQUIRE_SAMPLES();
    Session::addPassword(QStringLiteral("123"));
    struct Case {
        const char* sample;
        QList<Value> added;
    } cases[] = {
        {"paradoxdriver/areas/STATES.DB", row({Value::text(QStringLiteral("BR")), Value::text(QStringLiteral("Brasil")),
                                                Value::text(QStringLiteral("010")), Value::text(QStringLiteral("999"))})},
        {"teverett-paradoxReader/SYMBOLS.DB", {}},
        {"paradoxdriver/encrypt/encrypted35.db", row({Value::floating(3), Value::text(QStringLiteral("Test 3"))})},
        {"paradoxdriver/fields/date35.db", row({Value::date(QDate(1999, 12, 31))})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        const QString path = copyInto(dir.path(), {px(c.sample)});
        QList<QList<Value>> expected;
        {
            ParadoxTable t(path);
            expected = readAll(t);
            QList<Value> added = c.added.isEmpty() ? expected.first() : c.added;
            t.remove(t.first());
            expected.removeFirst();
            t.insert(added, NoRecord);
            if (t.keyFieldCount() == 0) {
                expected << added;
            } else {
                expected << added;
                std::sort(expected.begin(), expected.end(), [](const QList<Value>& a, const QList<Value>& b) {
                    return a[0].asText() < b[0].asText();
                });
            }
        }
        ParadoxTable t(path);
        EXPECT_EQ(readAll(t), expected);
        expectConsistent(path);
        expectPxlibAgrees(path);
    }
}

// The .MB layout other programs expect: small values in 16-byte chunks of a shared block, slots
// taken from 63 down; larger ones in a block of their own; the record keeps leader and descriptor.
TEST_F(ParadoxWrite, blobFileLayoutIsTheOneParadoxWrites)
{
    const QString path = file("layout.db");
    createParadoxTable(path, {FieldDef{QStringLiteral("Memo"), ftMemo, 4}}, {5});
    {
        ParadoxTable t(path);
        t.insert(row({Value::text(QString(100, QLatin1Char('a')))}), NoRecord);
        t.insert(row({Value::text(QString(5000, QLatin1Char('b')))}), NoRecord);
        t.insert(row({Value::text(QStringLiteral("cd"))}), NoRecord);
    }
    const QByteArray mb = readFile(file("layout.mb"));
    ASSERT_EQ(mb.size(), 4096 * 4);
    EXPECT_EQ(le16(mb.constData() + 3), 3);  // modification counter: two blobs written after creation
    // Unit 1: shared block, slot 63 = 100 bytes at 0x150 (7 chunks, 4 in the last), mod 2.
    EXPECT_EQ(mb[4096], char(3));
    const char* slot = mb.constData() + 4096 + 12 + 5 * 63;
    EXPECT_EQ(QByteArray(slot, 5).toHex(), QByteArray("1507020004"));
    EXPECT_EQ(mb.mid(4096 + 0x150, 100), QByteArray(100, 'a'));
    // Units 2-3: a single blob of 5000 bytes, mod 3.
    EXPECT_EQ(QByteArray(mb.constData() + 8192, 9).toHex(), QByteArray("0202008813000003") + QByteArray("00"));
    EXPECT_EQ(mb.mid(8192 + 9, 5000), QByteArray(5000, 'b'));
    // Record descriptors: leader, offset|index, length, modification number.
    const QByteArray db = readFile(path);
    const char* rec = db.constData() + le16(db.constData() + 2) + 6;
    EXPECT_EQ(QByteArray(rec, 14).toHex(), QByteArray("61616161") + "3f100000" + "64000000" + "0200");
    EXPECT_EQ(QByteArray(rec + 14, 14).toHex(), QByteArray("62626262") + "ff200000" + "88130000" + "0300");
    EXPECT_EQ(QByteArray(rec + 28, 14).toHex(), QByteArray("63640000") + "00000000" + "02000000" + "0000");
}

}  // namespace
