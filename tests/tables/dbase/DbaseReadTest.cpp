// Reading real dBase files made by other programs, checked against python3-dbfread and against
// values published with the files; refusals and damaged files.
#include "tables/Error.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseTable.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QSet>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::test;

namespace {

struct SampleCase {
    const char* file;
    const char* refusal;   // part of the message when the file must be refused
    const char* codePage;  // overrides the file's driver (files that name none or the wrong one)
    const char* oracle;    // "dbfread", or why another check is used
};

// Every dBase sample, with what must happen to it.
const SampleCase kSamples[] = {
    {"emelhu-ndbfreaderex/BDE_TEST_3_512.dbf", nullptr, nullptr, "dbfread"},
    {"emelhu-ndbfreaderex/BDE_TEST_4_512.dbf", nullptr, nullptr, "dbfread"},
    {"emelhu-ndbfreaderex/BDE_TEST_4_64.dbf", nullptr, nullptr, "dbfread"},
    {"emelhu-ndbfreaderex/BDE_TEST_7_64.dbf", nullptr, nullptr, "level 7: same data as BDE_TEST_4_512"},
    {"emelhu-ndbfreaderex/BDE_TEST_7_1024.dbf", nullptr, nullptr, "level 7: same data as BDE_TEST_4_512"},
    {"emelhu-ndbfreaderex/BDE_TEST_7_2048.dbf", nullptr, nullptr, "level 7: same data as BDE_TEST_4_512"},
    {"emelhu-ndbfreaderex/Seged7.dbf", nullptr, nullptr, "level 7: spot values"},
    {"emelhu-ndbfreaderex/TEST1.DBF", nullptr, nullptr, "dbfread"},
    {"emelhu-ndbfreaderex/TEST1C.DBF", nullptr, nullptr, "dbfread"},
    {"emelhu-ndbfreaderex/TEST4D.DBF", nullptr, nullptr, "dbfread"},
    {"emelhu-ndbfreaderex/test_ix.DBF", nullptr, nullptr, "dbfread"},
    {"generated-xbase64-4.1.11/XSQL.DBF", nullptr, nullptr, "dbfread"},
    {"idataconnect-jdbfdriver/TEST.DBF", nullptr, nullptr, "dbfread"},
    {"incubus-dbd-xbase/ndx-char.dbf", nullptr, nullptr, "dbfread"},
    {"incubus-dbd-xbase/ndx-date.dbf", nullptr, nullptr, "dbfread"},
    {"incubus-dbd-xbase/ndx-num.dbf", nullptr, nullptr, "dbfread"},
    {"incubus-dbd-xbase/test.dbf", nullptr, nullptr, "dbfread"},
    {"incubus-dbd-xbase/types.dbf", "não existe no dBase", nullptr, nullptr},
    {"infused-dbf/cp1251.dbf", "Visual FoxPro", nullptr, nullptr},
    {"infused-dbf/dbase_02.dbf", "dBase II", nullptr, nullptr},
    {"infused-dbf/dbase_03.dbf", nullptr, nullptr, "dbfread"},
    {"infused-dbf/dbase_03_cyrillic.dbf", nullptr, "IBM866", "dbfread"},
    {"infused-dbf/dbase_30.dbf", "Visual FoxPro", nullptr, nullptr},
    {"infused-dbf/dbase_31.dbf", "Visual FoxPro", nullptr, nullptr},
    {"infused-dbf/dbase_32.dbf", "Visual FoxPro", nullptr, nullptr},
    {"infused-dbf/dbase_83.dbf", nullptr, nullptr, "dbfread"},
    {"infused-dbf/dbase_83_missing_memo.dbf", nullptr, nullptr, "memo file missing: checked below"},
    {"infused-dbf/dbase_8b.dbf", nullptr, nullptr, "dbfread"},
    {"infused-dbf/dbase_8c.dbf", nullptr, nullptr, "level 7: spot values"},
    {"infused-dbf/dbase_f5.dbf", "FoxPro", nullptr, nullptr},
    {"infused-dbf/mazovia.dbf", "Visual FoxPro", nullptr, nullptr},
    {"infused-dbf/polygon.dbf", "nenhum campo", nullptr, nullptr},
    {"luads-php-xbase/Foxpro2.dbf", "FoxPro", nullptr, nullptr},
    {"luads-php-xbase/cbrf_122019N1.dbf", nullptr, "IBM866", "dbfread"},
    {"luads-php-xbase/dBaseIII.dbf", nullptr, nullptr, "dbfread"},
    {"luads-php-xbase/dBaseIII_nomemo.dbf", nullptr, nullptr, "dbfread"},
    // Says Windows 1252 but holds bytes 1252 lacks: compared byte for byte through Latin-1.
    {"luads-php-xbase/dBaseIV.dbf", nullptr, "ISO-8859-1", "dbfread"},
    {"luads-php-xbase/dBaseVII.dbf", nullptr, nullptr, "level 7: spot values"},
    {"luads-php-xbase/dBaseVII_double.dbf", nullptr, nullptr, "level 7: spot values"},
    {"luads-php-xbase/dBaseVII_int.dbf", nullptr, nullptr, "level 7: spot values"},
    {"luads-php-xbase/dBaseVII_ts.dbf", nullptr, nullptr, "level 7: spot values"},
    {"olemb-dbfread/people.dbf", nullptr, nullptr, "dbfread"},
    {"tmontaigu-dbase-rs/KUNDEN-schema-only.DBF", nullptr, nullptr, "dbfread"},
    {"tmontaigu-dbase-rs/contain_none_float.dbf", nullptr, nullptr, "dbfread"},
    {"tmontaigu-dbase-rs/contain_null_padded_numeric.dbf", nullptr, nullptr, "dbfread cannot parse NUL padding: spot value"},
    {"tmontaigu-dbase-rs/cp936.dbf", nullptr, nullptr, "dbfread"},
    {"yortus-dbffile/PYACFL.DBF", nullptr, nullptr, "dbfread"},
    {"yortus-dbffile/WSPMST.DBF", nullptr, nullptr, "dbfread"},
    {"yortus-dbffile/dbase_currency.dbf", "Visual FoxPro", nullptr, nullptr},
    {"yortus-dbffile/dbase_not_latin1.dbf", nullptr, "Big5", "dbfread"},
    {"yortus-dbffile/vfp9_30.dbf", "Visual FoxPro", nullptr, nullptr},
};

std::unique_ptr<TableFile> openSample(const QString& rel, const char* codePage = nullptr)
{
    return openDbaseTable(sample(rel), codePage ? QString::fromLatin1(codePage) : QString());
}

QString refusalOf(const QString& path)
{
    try {
        openDbaseTable(path);
    } catch (const FileError& e) {
        return e.text();
    }
    return {};
}

}  // namespace

TEST(DbaseSamples, EverySampleIsListed)
{
    QUILLORA_REQUIRE_SAMPLES();
    QSet<QString> listed;
    for (const SampleCase& c : kSamples)
        listed.insert(QString::fromLatin1(c.file));
    const QString root = sample(QStringLiteral("dbase"));
    QDirIterator it(root, {QStringLiteral("*.dbf"), QStringLiteral("*.DBF")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = QDir(root).relativeFilePath(it.next());
        EXPECT_TRUE(listed.contains(rel)) << "sample not covered: " << rel.toStdString();
    }
}

TEST(DbaseSamples, OpenWithTheValuesOtherReadersSeeOrAreRefusedWithAReason)
{
    QUILLORA_REQUIRE_SAMPLES();
    for (const SampleCase& c : kSamples) {
        const QString rel = QStringLiteral("dbase/") + QString::fromLatin1(c.file);
        SCOPED_TRACE(rel.toStdString());
        if (c.refusal) {
            const QString msg = refusalOf(sample(rel));
            EXPECT_TRUE(msg.contains(QString::fromUtf8(c.refusal))) << msg.toStdString();
            EXPECT_TRUE(msg.contains(sample(rel))) << "message must name the file: " << msg.toStdString();
            continue;
        }
        std::unique_ptr<TableFile> table;
        try {
            table = openSample(rel, c.codePage);
        } catch (const Error& e) {
            ADD_FAILURE() << "refused: " << e.text().toStdString();
            continue;
        }
        // Positions in the natural order, deleted records left out, both ways.
        qint64 pos = 0;
        for (RecordId id = table->first(); id != NoRecord; id = table->next(id)) {
            ++pos;
            ASSERT_EQ(table->position(id), pos);
            ASSERT_EQ(table->atPosition(pos), id);
        }
        EXPECT_EQ(table->atPosition(pos + 1), NoRecord);
        const QString oracle = QString::fromLatin1(c.oracle);
        if (!oracle.startsWith(QLatin1String("dbfread")) || oracle.contains(QLatin1String("cannot")))
            continue;
        const QJsonObject theirs = dbfreadOracle(sample(rel), codePageOf(*table).toLower());
        ASSERT_FALSE(theirs.contains(QStringLiteral("error"))) << theirs[QStringLiteral("error")].toString().toStdString();
        const QList<QStringList> ours = readVisible(*table);
        const QJsonArray records = theirs[QStringLiteral("records")].toArray();
        ASSERT_EQ(ours.size(), records.size());
        EXPECT_EQ(table->count(), ours.size());
        EXPECT_EQ(static_cast<dbase::DbaseTable&>(*table).physicalCount() - ours.size(),
                  theirs[QStringLiteral("deleted")].toInt());
        const QJsonArray names = theirs[QStringLiteral("fields")].toArray();
        for (int f = 0; f < names.size(); ++f)
            EXPECT_EQ(table->fields()[f].name, names[f].toString());
        int mismatches = 0;
        for (int r = 0; r < ours.size() && mismatches < 5; ++r) {
            const QJsonArray row = records[r].toArray();
            for (int f = 0; f < row.size(); ++f) {
                if (!sameShown(ours[r][f], row[f].toString())) {
                    ADD_FAILURE() << "record " << r + 1 << " field " << names[f].toString().toStdString()
                                  << ": ours " << ours[r][f].toStdString() << ", dbfread "
                                  << row[f].toString().toStdString();
                    ++mismatches;
                }
            }
        }
    }
}

TEST(DbaseSamples, Level7ValuesPublishedWithTheFiles)
{
    QUILLORA_REQUIRE_SAMPLES();
    auto ints = openSample(QStringLiteral("dbase/luads-php-xbase/dBaseVII_int.dbf"));
    EXPECT_EQ(ints->fields()[0].type, ftInteger);
    EXPECT_EQ(column(*ints, ints->fields()[0].name),
              (QStringList{"n:1", "n:-1", "n:5000000", "n:-5000000", "n:2147483647", "n:-2147483647"}));

    auto doubles = openSample(QStringLiteral("dbase/luads-php-xbase/dBaseVII_double.dbf"));
    EXPECT_EQ(doubles->fields()[0].type, ftFloat);
    EXPECT_EQ(column(*doubles, doubles->fields()[0].name),
              (QStringList{"n:-199.99000000000001", "n:-74.620000000000005", "n:43.649999999999999",
                           "n:150.47999999999999", "n:0"}));

    auto ts = openSample(QStringLiteral("dbase/luads-php-xbase/dBaseVII_ts.dbf"));
    EXPECT_EQ(ts->fields()[0].type, ftDateTime);
    EXPECT_EQ(ts->count(), 9);  // 6 of 15 are deleted
    EXPECT_EQ(column(*ts, ts->fields()[0].name).value(0), QStringLiteral("t:1900-01-01T00:00:00.000"));

    auto all = openSample(QStringLiteral("dbase/luads-php-xbase/dBaseVII.dbf"));
    EXPECT_TRUE(all->codePageName().startsWith(QLatin1String("IBM866"))) << all->codePageName().toStdString();
    EXPECT_EQ(column(*all, QStringLiteral("DATETIME")),
              (QStringList{"t:1800-01-01T01:01:01.000", "t:1970-01-01T00:00:00.000", "t:2020-02-20T20:20:20.000"}));
    EXPECT_EQ(column(*all, QStringLiteral("AUTO_INC")), (QStringList{"n:0", "n:1", "n:2"}));
    EXPECT_EQ(column(*all, QStringLiteral("NAME")).value(0), QStringLiteral("s:Groot"));
}

TEST(DbaseSamples, SameTableWrittenByTheBdeInEveryLevelReadsTheSame)
{
    QUILLORA_REQUIRE_SAMPLES();
    auto reference = openSample(QStringLiteral("dbase/emelhu-ndbfreaderex/BDE_TEST_4_512.dbf"));
    for (const char* f : {"BDE_TEST_3_512.dbf", "BDE_TEST_4_64.dbf", "BDE_TEST_7_64.dbf",
                          "BDE_TEST_7_1024.dbf", "BDE_TEST_7_2048.dbf"}) {
        SCOPED_TRACE(f);
        auto other = openSample(QStringLiteral("dbase/emelhu-ndbfreaderex/") + QLatin1String(f));
        for (const FieldDef& def : reference->fields()) {
            QStringList a = column(*reference, def.name);
            QStringList b = column(*other, def.name);
            EXPECT_EQ(a, b) << def.name.toStdString();
        }
    }
}

TEST(DbaseSamples, SpotValuesOtherReadersGetWrong)
{
    QUILLORA_REQUIRE_SAMPLES();
    // NUL bytes pad this number where dBase writes spaces.
    auto padded = openSample(QStringLiteral("dbase/tmontaigu-dbase-rs/contain_null_padded_numeric.dbf"));
    EXPECT_NE(column(*padded, padded->fields()[0].name).value(0), QStringLiteral("null"));
}

TEST(DbaseSamples, MissingMemoFileIsNamedWhenAMemoIsRead)
{
    QUILLORA_REQUIRE_SAMPLES();
    auto table = openSample(QStringLiteral("dbase/infused-dbf/dbase_83_missing_memo.dbf"));
    EXPECT_EQ(table->count(), 67);
    QByteArray raw;
    table->read(table->first(), raw);
    int memo = -1;
    for (int f = 0; f < table->fields().size(); ++f)
        if (table->fields()[f].type == ftMemo)
            memo = f;
    ASSERT_GE(memo, 0);
    bool threw = false;
    for (RecordId id = table->first(); id != NoRecord && !threw; id = table->next(id)) {
        table->read(id, raw);
        try {
            table->value(raw, memo);
        } catch (const FileError& e) {
            threw = true;
            EXPECT_TRUE(e.text().contains(QLatin1String(".dbt"))) << e.text().toStdString();
        }
    }
    EXPECT_TRUE(threw);
    try {
        table->beginWrite();
        ADD_FAILURE() << "writing without the memo file must be refused";
    } catch (const FileError& e) {
        EXPECT_TRUE(e.text().contains(QLatin1String("memo"))) << e.text().toStdString();
    }
}
