// Reading real Paradox tables made by Paradox, the BDE and other programs.
#include "tables/Error.h"
#include "tables/FieldConvert.h"
#include "tables/Regional.h"
#include "tables/Session.h"
#include "tables/TableFormats.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxCodec.h"
#include "tables/paradox/PxDisplayText.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tests/tables/paradox/ParadoxTestSupport.h"

using namespace quillora;
using namespace quillora::test;
using quillora::px::le16;
using quillora::px::putLe32;

namespace {

QString px(const char* relative) { return sample(QStringLiteral("paradox/") + QString::fromUtf8(relative)); }

QString rowText(const QList<Value>& r)
{
    QStringList s;
    for (const Value& v : r)
        s << v.debugString();
    return s.join(QStringLiteral(" | "));
}

class PasswordFree : public ::testing::Test {
protected:
    void SetUp() override
    {
        Session::clearPasswords();
        Session::setPasswordPrompt({});
    }
    void TearDown() override
    {
        Session::clearPasswords();
        Session::setPasswordPrompt({});
    }
};

struct SampleCase {
    const char* path;
    const char* format;
    qint64 count;
    int rowIndex;        // which record to check (from 0; -1 = the last)
    const char* row;     // its values, debugString joined by " | "
};

class ParadoxSamples : public PasswordFree, public ::testing::WithParamInterface<SampleCase> {};

TEST_P(ParadoxSamples, readsTheKnownValues)
{
    QUILLORA_REQUIRE_SAMPLES();
    const SampleCase& c = GetParam();
    Session::addPassword(QStringLiteral("123"));
    auto t = TableFormats::open(px(c.path));
    EXPECT_EQ(t->formatName(), QString::fromUtf8(c.format));
    ASSERT_EQ(t->count(), c.count);
    const auto rows = readAll(*t);
    ASSERT_EQ(rows.size(), c.count);
    if (c.count == 0)
        return;
    const int i = c.rowIndex < 0 ? int(rows.size()) - 1 : c.rowIndex;
    EXPECT_EQ(rowText(rows[i]), QString::fromUtf8(c.row));
}

INSTANTIATE_TEST_SUITE_P(
    Every, ParadoxSamples,
    ::testing::Values(
        // Every level-5 type, with negative values and a row of empty values.
        SampleCase{"paradox-reader/testtabnoindex.DB", "Paradox 5", 5, 1,
                   "2 | BBB | -222.22 | -222.22 | -222 | -222 | -222.2200 | 2022-12-22 | 22:22:22.000 | 2022-12-22T22:22:22.000 | false"},
        SampleCase{"paradox-reader/testtabnoindex.DB", "Paradox 5", 5, 3,
                   "4 | DDD | <null> | <null> | <null> | <null> | <null> | <null> | <null> | <null> | <null>"},
        SampleCase{"paradox-reader/testtab.DB", "Paradox 5", 5, 4,
                   "5 | EEE | 555.54999999999995 | 555.54999999999995 | 555 | 555 | 555.5500 | 5055-05-05 | 05:55:55.000 | 5055-05-05T05:55:55.000 | true | 3132330000 | <null> | 555"},
        SampleCase{"paradox-reader/zakazky.db", "Paradox 5", 3988, 0,
                   "1 | 2005 | 9 | 11 | 4 | Trnovec | 50,0l-7,2x1575/229 | 229 | 6.3 | 1580 | NZ | <null> | 7 | 6 | 1 | 1 | 0 | 0 | <null> | 2005-09-15T17:57:51.000"},
        SampleCase{"paradoxdriver/encrypt/encrypted.db", "Paradox 5", 4, -1, "4 | Last one"},
        SampleCase{"paradoxdriver/encrypt/encrypted35.db", "Paradox 3.5", 2, 0, "1 | Test 1"},
        SampleCase{"paradoxdriver/fields/bcd.db", "Paradox 5", 3, 1, "-1.2300 | -1.0000 | -0.1230"},
        SampleCase{"paradoxdriver/fields/bcd.db", "Paradox 5", 3, 2, "0.0000 | <null> | 0.9999"},
        SampleCase{"paradoxdriver/fields/date35.db", "Paradox 3.5", 3, 2, "2018-01-02"},
        SampleCase{"paradoxdriver/fields/date4.db", "Paradox 4", 3, 1, "2018-02-01"},
        SampleCase{"paradoxdriver/fields/date5.db", "Paradox 5", 3, 2, "2018-01-02 | 09:25:25.000"},
        SampleCase{"paradoxdriver/fields/time.db", "Paradox 5", 3, 1, "<null>"},
        SampleCase{"paradoxdriver/fields/time.db", "Paradox 5", 3, 0, "01:00:01.000"},
        SampleCase{"paradoxdriver/fields/timestamp.db", "Paradox 5", 2, 1, "2020-02-01T01:00:01.000"},
        SampleCase{"paradoxdriver/fields/long.db", "Paradox 5", 3, 2, "3 | <null>"},
        SampleCase{"paradoxdriver/fields/logical.db", "Paradox 5", 4, 1, "false"},
        SampleCase{"paradoxdriver/db/DECIMAL.DB", "Paradox 7", 9, 2, "-1"},
        SampleCase{"paradoxdriver/db/ORDERS.DB", "Paradox 7", 224, 0,
                   "1001 | 1221 | 1988-04-03 | 1988-04-05 | UPS | 7320 | 7320 | 0 | FOB | Credit | Apr"},
        SampleCase{"paradoxdriver/db/SERVER.DB", "Paradox 7", 4, 2, "P | /NEWCUST | HERCULES | ENTER_NEW_CUSTOMER"},
        SampleCase{"paradoxdriver/db/GENERAL.DB", "Paradox 5", 3, 2, "333333333 | Elizabet | 75"},
        SampleCase{"paradoxdriver/areas/ZIPCODES.DB", "Paradox 4", 43185, 0, "00401 | NY | Pleasantville"},
        SampleCase{"paradoxdriver/areas/STATES.DB", "Paradox 3.0", 53, 0, "AK | Alaska | 995 | 999"},
        SampleCase{"paradoxdriver/geog/tblsttes.DB", "Paradox 7", 58, 0,
                   "AK | <null> | Alaska | Juneau | 1784 | 1959-01-03 | 49 | <null> | 3810 | 570374 | 86050 | 656424 | 1"},
        SampleCase{"paradoxdriver/joins/primary.db", "Paradox 5", 0, 0, ""},
        SampleCase{"teverett-paradoxReader/PCL.DB", "Paradox 3.0", 161, 0,
                   "Cursor Positioning | <null> | Sub/Superscript | Begin Subscript | Ec(s-1U | <null> | <null> | X | <null> | <null> | X | <null> | <null> | <null> | <null> | 3? | 2"}),
    [](const auto& info) { return QString::number(info.index).toStdString(); });

// pxlib reads the same values from every sample without blobs (it follows the block chain too).
TEST_F(PasswordFree, everySampleWithoutBlobsReadsLikePxlib)
{
    QUILLORA_REQUIRE_SAMPLES();
    QUILLORA_REQUIRE_PXLIB();
    Session::addPassword(QStringLiteral("123"));
    int compared = 0;
    QDirIterator it(sample(QStringLiteral("paradox")), {QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        ParadoxTable t(path);
        bool blobs = false;
        for (const FieldDef& f : t.fields())
            blobs = blobs || isBlobType(f.type);
        // bcd.db holds non-digit nibbles in a 32-decimal field that pxlib prints raw.
        if (blobs || path.endsWith(QStringLiteral("bcd.db")))
            continue;
        QStringList theirs;
        QString why;
        ASSERT_TRUE(pxlibDump(path, &theirs, &why)) << path.toStdString() << ": " << why.toStdString();
        EXPECT_EQ(dumpLikePxlib(t), theirs) << path.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

// Dumps write a field's text straight from the record where they can: in every sample, and for
// dates over the whole calendar, it is the text of the value read.
TEST_F(PasswordFree, textShownStraightFromTheRecordIsTheTextOfTheValue)
{
    QUILLORA_REQUIRE_SAMPLES();
    Session::addPassword(QStringLiteral("123"));
    const Regional& regional = Regional::current();
    int direct = 0;
    QDirIterator it(sample(QStringLiteral("paradox")), {QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        std::unique_ptr<ParadoxTable> t;
        try {
            t = std::make_unique<ParadoxTable>(path);
        } catch (const Error&) {
            continue;  // the damaged samples
        }
        QByteArray raw;
        for (RecordId id = t->first(); id != NoRecord; id = t->next(id)) {
            t->read(id, raw);
            for (int i = 0; i < t->fields().size(); ++i) {
                std::string fast = "|";
                if (!t->appendDisplayUtf8(raw, i, regional, fast)) {
                    ASSERT_EQ(fast, "|");
                    continue;
                }
                std::string viaValue = "|";
                appendDisplayUtf8(t->fields()[i], t->value(raw, i), viaValue);
                ASSERT_EQ(fast, viaValue) << path.toStdString() << " record " << id << " field " << i;
                ++direct;
            }
        }
    }
    EXPECT_GT(direct, 100000);

    px::TableHeader h;
    px::FieldDesc date;
    date.code = px::kDate;
    date.size = 4;
    h.fields.push_back(date);
    h.recordSize = 4;
    QByteArray raw(4, '\0');
    std::vector<qint64> days = {1, 2, 59, 60, 366, 584388, 693596, 719163, 730179, 3652059, 3652060};
    for (qint64 n = 1; n < 3652059; n += 997)
        days.push_back(n);
    for (qint64 n : days) {
        px::writeInt(raw.data(), 4, n);
        std::string fast;
        if (!px::appendDisplayText(h, raw, 0, regional, fast))
            continue;  // past 9999
        std::string viaValue;
        FieldDef def;
        def.type = ftDate;
        appendDisplayUtf8(def, Value::date(px::fromDayNumber(n)), viaValue);
        ASSERT_EQ(fast, viaValue) << "day " << n;
    }
}

TEST_F(PasswordFree, blobsComeFromTheLeaderOrTheMbFile)
{
    QUILLORA_REQUIRE_SAMPLES();
    Session::addPassword(QStringLiteral("123"));
    struct Case {
        const char* path;
        int field;
        QList<int> sizes;
        QByteArray start;
    } cases[] = {
        {"paradoxdriver/fields/memo.db", 1, {555, 12}, "0123456789"},
        {"paradoxdriver/fields/graphic.db", 1, {20078, 9618, 2074678}, "BM"},
        {"paradoxdriver/fields/graphic240.db", 1, {20078}, "BM"},
        {"paradoxdriver/fields/ole.db", 1, {365920}, ""},
        {"paradoxdriver/encrypt/encryptedmemo.db", 0, {55855, 494832}, ""},
        {"paradoxdriver/db/CUSTOMER.DB", 8, {32, 518, 318}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto t = TableFormats::open(px(c.path));
        const auto rows = readAll(*t);
        for (int i = 0; i < c.sizes.size(); ++i) {
            const Value v = rows[i][c.field];
            const qsizetype size = v.kind() == Value::Kind::Text ? v.asText().size() : v.asBytes().size();
            EXPECT_EQ(size, c.sizes[i]) << "record " << i + 1;
            if (!c.start.isEmpty()) {
                EXPECT_TRUE(v.kind() == Value::Kind::Text ? v.asText().startsWith(QString::fromLatin1(c.start))
                                                          : v.asBytes().startsWith(c.start));
            }
        }
    }
    auto memo = TableFormats::open(px("paradoxdriver/fields/memo.db"));
    EXPECT_EQ(readAll(*memo)[1][1], Value::text(QStringLiteral("01234567890\n")));
    auto enc = TableFormats::open(px("paradoxdriver/encrypt/encryptedmemo.db"));
    EXPECT_TRUE(readAll(*enc)[0][0].asText().contains(QStringLiteral("The PARADOX File Structure")));
}

TEST_F(PasswordFree, missingMbFileIsAClearErrorOnlyWhenABlobIsRead)
{
    QUILLORA_REQUIRE_SAMPLES();
    auto t = TableFormats::open(px("teverett-paradoxReader/MEMBRE.DB"));
    ASSERT_EQ(t->fields().size(), 92);
    EXPECT_EQ(t->codePageName(), QStringLiteral("IBM437 (intl)"));
    QByteArray raw;
    t->read(t->first(), raw);
    EXPECT_FALSE(t->value(raw, 3).isNull());  // Nom
    const int memo = 52;
    ASSERT_EQ(t->fields()[memo].type, ftMemo);
    try {
        (void)t->value(raw, memo);
        // A record whose memo is short enough lives in the leader and needs no .MB.
        for (RecordId id = t->first(); id != NoRecord; id = t->next(id)) {
            t->read(id, raw);
            (void)t->value(raw, memo);
            (void)t->value(raw, memo + 1);
        }
        FAIL() << "no error for a blob of a missing .MB";
    } catch (const FileError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral(".MB"))) << e.text().toStdString();
        EXPECT_TRUE(e.text().contains(QStringLiteral("MEMBRE.DB")));
    }
}

TEST_F(PasswordFree, passwordIsAskedKeptAndRetried)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QString path = px("paradoxdriver/encrypt/encrypted.db");
    QList<bool> retries;
    QStringList answers{QStringLiteral("errada"), QStringLiteral("123")};
    Session::setPasswordPrompt([&](const QString& table, bool retry, QString* pw) {
        EXPECT_EQ(table, path);
        retries << retry;
        if (answers.isEmpty())
            return false;
        *pw = answers.takeFirst();
        return true;
    });
    auto t = TableFormats::open(path);
    EXPECT_EQ(retries, (QList<bool>{false, true}));
    EXPECT_EQ(readAll(*t).size(), 4);
    // Kept for the rest of the run: no second question.
    auto again = TableFormats::open(path);
    EXPECT_EQ(retries.size(), 2);

    Session::clearPasswords();
    Session::setPasswordPrompt([](const QString&, bool, QString*) { return false; });
    try {
        TableFormats::open(path);
        FAIL() << "opened without a password";
    } catch (const FileError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("cancelada"))) << e.text().toStdString();
    }
    Session::setPasswordPrompt({});
    EXPECT_THROW(TableFormats::open(path), FileError);
}

TEST(ParadoxCipher, keyFromPasswordMatchesTheBde)
{
    EXPECT_EQ(px::passwordKey("123"), 0x0A25E09Au);
    EXPECT_EQ(px::passwordKey("test"), 0x20E26198u);
    EXPECT_EQ(px::passwordKey(""), 0u);
    QByteArray block(2048, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 7);
    QByteArray copy = block;
    px::encryptBlock(copy.data(), copy.size(), 0x0A25E09A, 300);
    EXPECT_NE(copy, block);
    px::decryptBlock(copy.data(), copy.size(), 0x0A25E09A, 300);
    EXPECT_EQ(copy, block);
}

TEST_F(PasswordFree, validityChecksGiveRequiredAndDefaults)
{
    QUILLORA_REQUIRE_SAMPLES();
    auto t = TableFormats::open(px("paradoxdriver/fields/logical.db"));
    EXPECT_TRUE(t->fields()[0].required);
    EXPECT_EQ(t->newRecordValues(), (QList<Value>{Value::boolean(true)}));
    auto c = TableFormats::open(px("paradoxdriver/joins/C.DB"));
    EXPECT_TRUE(c->fields()[0].required);
    EXPECT_TRUE(c->fields()[1].required);
    EXPECT_FALSE(c->fields()[2].required);
}

TEST_F(PasswordFree, indexesAreListedFromTheFamilyFiles)
{
    QUILLORA_REQUIRE_SAMPLES();
    auto describe = [](const QString& path) {
        QStringList out;
        for (const IndexDef& d : TableFormats::open(path)->indexes())
            out << QStringLiteral("%1[%2]%3%4%5").arg(d.name, d.fields.join(u','),
                                                       d.has(ixPrimary) ? QStringLiteral(" primária") : QString(),
                                                       d.has(ixDescending) ? QStringLiteral(" desc") : QString(),
                                                       d.has(ixNonMaintained) ? QStringLiteral(" não mantido") : QString());
        return out;
    };
    EXPECT_EQ(describe(px("paradoxdriver/db/CUSTOMER.DB")), (QStringList{"[CustNo] primária", "City[City]"}));
    EXPECT_EQ(describe(px("paradox-reader/zakazky.db")),
              (QStringList{"[CisloMereni] primária", "ISKUPINA[ROK,MESIC,DEN,SMENA,TYPL,TAVBA]"}));
    EXPECT_EQ(describe(px("paradoxdriver/joins/fk4.db")), (QStringList{"[ID] primária", "reference[FK1,FK]"}));
    EXPECT_EQ(describe(px("paradoxdriver/joins/indexed.db")), (QStringList{"Descending[Indexed] desc não mantido"}));
    EXPECT_EQ(describe(px("paradoxdriver/joins/case.db")), (QStringList{"C[C] não mantido"}));
    EXPECT_EQ(describe(px("paradoxdriver/joins/C.DB")), (QStringList{"[C] primária", "A[A]", "B[B]"}));
}

TEST_F(PasswordFree, positionsFollowTheBlockChain)
{
    QUILLORA_REQUIRE_SAMPLES();
    ParadoxTable t(px("paradoxdriver/areas/ZIPCODES.DB"));
    QByteArray raw;
    qint64 n = 0;
    QString previous;
    for (RecordId id = t.first(); id != NoRecord; id = t.next(id)) {
        ++n;
        if (n % 997 == 1 || n == t.count()) {
            ASSERT_EQ(t.recordNumber(id), n);
            ASSERT_EQ(t.atPosition(n), id);
        }
        t.read(id, raw);
        const QString zip = t.value(raw, 0).asText();
        ASSERT_LT(previous, zip) << "record " << n;  // a keyed table read in key order
        previous = zip;
    }
    EXPECT_EQ(n, 43185);
    EXPECT_EQ(t.atPosition(n + 1), NoRecord);
    EXPECT_EQ(t.prior(t.first()), NoRecord);
    EXPECT_EQ(t.prior(t.atPosition(1000)), t.atPosition(999));
}

// Damaged and hostile files: a clear error naming the file, never a crash or a hang.
TEST(ParadoxDamage, hostileHeadersAndChainsAreRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dano.db"));
    createParadoxTable(path, {FieldDef{QStringLiteral("Nome"), ftString, 20}, FieldDef{QStringLiteral("N"), ftInteger}});
    {
        ParadoxTable t(path);
        for (int i = 0; i < 200; ++i)
            t.insert(row({Value::text(QStringLiteral("nome %1").arg(i)), Value::integer(i)}), NoRecord);
        t.flush();
    }
    const QByteArray good = readFile(path);
    ASSERT_GT(le16(good.constData() + 0x0C), 2);
    auto patched = [&](int at, QByteArray bytes) {
        QByteArray b = good;
        b.replace(at, bytes.size(), bytes);
        return b;
    };
    auto le = [](quint16 v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char(v >> 8)); };
    const int hs = le16(good.constData() + 2);
    struct Case {
        const char* what;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"first block out of range", patched(0x0E, le(900)), "fora do arquivo"},
        {"chain loop", patched(hs + 2048, le(1)), "laço"},
        {"records beyond the blocks", patched(0x06, QByteArray("\xff\xff\xff\x00", 4)), "não cabem"},
        {"record size not the sum of the fields", patched(0x00, le(30)), "somam"},
        {"block count past the end", patched(0x0C, le(4000)), "blocos"},
        {"records in a block beyond its size", patched(hs + 4, le(30000)), "registros"},
        {"unknown field type", patched(0x78, QByteArray(1, '\x33')), "tipo de campo"},
        {"truncated header", good.left(100), "cabeçalho"},
        {"no file body", QByteArray(10, '\0'), "cabeçalho"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path, c.bytes);
        try {
            ParadoxTable t(path);
            for (RecordId id = t.first(); id != NoRecord; id = t.next(id)) {
                QByteArray raw;
                t.read(id, raw);
            }
            FAIL() << "accepted";
        } catch (const FileError& e) {
            EXPECT_TRUE(e.text().contains(QString::fromUtf8(c.message))) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(QStringLiteral("dano.db"))) << e.text().toStdString();
        }
    }
}

TEST(ParadoxDamage, blobPointersPastTheEndAreRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("blob.db"));
    createParadoxTable(path, {FieldDef{QStringLiteral("Texto"), ftMemo, 10}});
    {
        ParadoxTable t(path);
        t.insert(row({Value::text(QString(5000, QLatin1Char('x')))}), NoRecord);
        t.insert(row({Value::text(QString(100, QLatin1Char('y')))}), NoRecord);
    }
    const QByteArray good = readFile(path);
    const int hs = le16(good.constData() + 2);
    for (int record = 0; record < 2; ++record) {
        const int desc = hs + 6 + record * 20 + 10;
        for (quint32 bad : {0x7FFFFF00u | (record ? 0x3Fu : 0xFFu), 0x00001000u | 0x20u}) {
            QByteArray b = good;
            putLe32(b.data() + desc, bad);
            writeFile(path, b);
            ParadoxTable t(path);
            QByteArray raw;
            t.read(t.atPosition(record + 1), raw);
            EXPECT_THROW(t.value(raw, 0), FileError);
        }
        QByteArray b = good;
        putLe32(b.data() + desc + 4, 0x7FFFFFFF);  // a length far beyond the blob
        writeFile(path, b);
        ParadoxTable t(path);
        QByteArray raw;
        t.read(t.atPosition(record + 1), raw);
        EXPECT_THROW(t.value(raw, 0), FileError);
    }
}

}  // namespace
