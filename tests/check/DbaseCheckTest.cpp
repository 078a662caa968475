// The dBase check against tables that Perl's XBase module wrote, damaged one way each.
#include "tables/check/DbaseCheck.h"
#include "tables/check/TableRepair.h"
#include "tests/tables/dbase/DbaseTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace quillora;
using namespace quillora::test;

namespace {

// Five records, a memo each, written by XBase (dBase III with a .dbt).
bool makeTable(const QString& path)
{
    const QString script = QStringLiteral(
        "use XBase; my $t = XBase->create(name => $ARGV[0], field_names => ['NOME','VALOR','DATA','ATIVO','OBS'],"
        "field_types => ['C','N','D','L','M'], field_lengths => [10,8,8,1,10], field_decimals => [0,2,0,0,0])"
        " or die XBase->errstr;"
        "for my $n (0..4) { $t->set_record($n, \"nome$n\", $n * 1.5, '2020010' . ($n + 1), 'T', \"memo $n\")"
        " or die $t->errstr; } $t->close;");
    QString err;
    const int rc = runProgram(QStringLiteral("perl"), {QStringLiteral("-e"), script, path}, nullptr, &err);
    if (rc != 0)
        ADD_FAILURE() << "perl: " << err.toStdString();
    return rc == 0;
}

void putLe32(QByteArray& b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

QStringList faultLines(const QString& path)
{
    QStringList lines;
    for (const check::Fault& f : check::checkDbaseTable(path).faults)
        lines << check::formatFault(f);
    return lines;
}

struct Damage {
    const char* name;
    std::function<void(QByteArray& dbf, QByteArray& dbt)> apply;
    const char* expected;  // a piece of the one fault line expected
};

}  // namespace

TEST(DbaseCheck, ATableXBaseWroteIsSound)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/T.dbf");
    ASSERT_TRUE(makeTable(path));
    EXPECT_EQ(faultLines(path), QStringList());
}

TEST(DbaseCheck, NamesEachFaultWithItsFileAndPlace)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    const QString base = dir.path() + QStringLiteral("/base/T.dbf");
    QDir().mkpath(dir.path() + QStringLiteral("/base"));
    ASSERT_TRUE(makeTable(base));
    const QByteArray dbf0 = readFile(base);
    const QByteArray dbt0 = readFile(dir.path() + QStringLiteral("/base/T.dbt"));
    const int headerLen = uchar(dbf0[8]) | (uchar(dbf0[9]) << 8);
    const int recordLen = uchar(dbf0[10]) | (uchar(dbf0[11]) << 8);
    const int memoAt = 1 + 10 + 8 + 8 + 1;  // OBS in the record image
    auto record = [&](int n) { return headerLen + n * recordLen; };

    const Damage cases[] = {
        {"truncated", [&](QByteArray& b, QByteArray&) { b.truncate(record(3) + 7); },
         "cabeçalho: o cabeçalho conta 5 registros, mas o arquivo só tem 3 completos"},
        {"count_high", [&](QByteArray& b, QByteArray&) { putLe32(b, 4, 7); },
         "o cabeçalho conta 7 registros, mas o arquivo só tem 5 completos"},
        {"count_low", [&](QByteArray& b, QByteArray&) { putLe32(b, 4, 4); },
         "o cabeçalho conta 4 registros, mas o arquivo tem 5"},
        {"no_end_mark", [&](QByteArray& b, QByteArray&) { b.truncate(record(5)); },
         "falta a marca de fim de arquivo (0x1A)"},
        {"deleted_flag", [&](QByteArray& b, QByteArray&) { b[record(1)] = 'X'; },
         "registro 2: marca de apagado 0x58 não é espaço nem '*'"},
        {"bad_date", [&](QByteArray& b, QByteArray&) { b.replace(record(2) + 19, 8, "20201399"); },
         "registro 3: campo DATA: data ilegível \"20201399\""},
        {"bad_number", [&](QByteArray& b, QByteArray&) { b.replace(record(0) + 11, 8, "  12x.50"); },
         "registro 1: campo VALOR: número ilegível"},
        {"memo_out_of_range", [&](QByteArray& b, QByteArray&) { b.replace(record(4) + memoAt, 10, "      9999"); },
         "registro 5: campo OBS: o memo aponta para o bloco 9999, além do fim do arquivo de memo"},
        {"memo_shared",
         [&](QByteArray& b, QByteArray&) { b.replace(record(3) + memoAt, 10, b.mid(record(1) + memoAt, 10)); },
         "registro 4: campo OBS: o bloco de memo 2 também é usado pelo registro 2"},
        {"memo_free", [&](QByteArray&, QByteArray& m) { putLe32(m, 0, 3); },
         "registro 3: campo OBS: o memo aponta para o bloco livre 3"},
        {"record_length", [&](QByteArray& b, QByteArray&) { b[10] = char(recordLen + 2); },
         "o tamanho do registro"},
    };
    for (const Damage& d : cases) {
        const QString folder = dir.path() + QLatin1Char('/') + QLatin1String(d.name);
        QDir().mkpath(folder);
        QByteArray dbf = dbf0, dbt = dbt0;
        d.apply(dbf, dbt);
        writeFile(folder + QStringLiteral("/T.dbf"), dbf);
        writeFile(folder + QStringLiteral("/T.dbt"), dbt);
        const QStringList lines = faultLines(folder + QStringLiteral("/T.dbf"));
        ASSERT_FALSE(lines.isEmpty()) << d.name;
        EXPECT_TRUE(lines.join('\n').contains(QString::fromUtf8(d.expected)))
            << d.name << ":\n" << lines.join('\n').toStdString();
    }
}

TEST(DbaseCheck, AHostileHeaderIsAFaultNotACrash)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/H.dbf");
    QByteArray b(64, '\0');
    b[0] = 0x03;
    putLe32(b, 4, 0x7FFFFFFF);
    b[8] = char(0xFF);
    b[9] = char(0xFF);  // a header longer than the file
    writeFile(path, b);
    const QStringList lines = faultLines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().contains(QStringLiteral("cabeçalho"))) << lines.first().toStdString();
}

namespace {

// The records Perl XBase reads: one line each, deleted flag first, values tab separated.
QStringList perlRecords(const QString& table)
{
    QString out, err;
    const int rc = runProgram(QStringLiteral("perl"),
                              {QStringLiteral(QUILLORA_SOURCE_DIR "/tests/tables/dbase/xbase_oracle.pl"),
                               QStringLiteral("dump"), table},
                              &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

struct CopyCase {
    const char* name;
    std::function<void(QByteArray& dbf)> damage;
    std::function<void(QStringList& records)> expect;  // what the copy holds, from the sound table's
    const char* report;  // a piece of the repair's report
};

}  // namespace

// A table damaged in its records is saved into a new table: every record that can be read,
// what could not be named; the original stays as it was, Perl XBase and dbfread read the copy
// and the check finds nothing in it.
TEST(DbaseCheck, RepairedCopySavesEveryReadableRecord)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    const QString base = dir.path() + QStringLiteral("/base/T.dbf");
    QDir().mkpath(dir.path() + QStringLiteral("/base"));
    ASSERT_TRUE(makeTable(base));
    const QByteArray dbf0 = readFile(base);
    const QByteArray dbt0 = readFile(dir.path() + QStringLiteral("/base/T.dbt"));
    const QStringList sound = perlRecords(base);
    ASSERT_EQ(sound.size(), 5);
    const int headerLen = uchar(dbf0[8]) | (uchar(dbf0[9]) << 8);
    const int recordLen = uchar(dbf0[10]) | (uchar(dbf0[11]) << 8);
    const int memoAt = 1 + 10 + 8 + 8 + 1;
    auto record = [&](int n) { return headerLen + n * recordLen; };
    auto setField = [](QStringList& records, int rec, int field, const QString& v) {
        QStringList parts = records[rec].split(QLatin1Char('\t'));
        parts[field + 1] = v;
        records[rec] = parts.join(QLatin1Char('\t'));
    };

    const CopyCase cases[] = {
        {"truncated", [&](QByteArray& b) { b.truncate(record(3) + 7); },
         [](QStringList& r) { r = r.mid(0, 3); },
         "não salvo: registro 4: incompleto (7 de"},
        {"deleted_flag", [&](QByteArray& b) { b[record(1)] = 'X'; }, [](QStringList&) {},
         "registro 2: marca de apagado 0x58 inválida; gravado como não apagado"},
        {"memo_shared", [&](QByteArray& b) { b.replace(record(3) + memoAt, 10, b.mid(record(1) + memoAt, 10)); },
         [&](QStringList& r) { setField(r, 3, 4, QStringLiteral("memo 1")); }, "5 registros gravados"},
        {"memo_out_of_range", [&](QByteArray& b) { b.replace(record(4) + memoAt, 10, "      9999"); },
         [&](QStringList& r) { setField(r, 4, 4, QStringLiteral("<null>")); },
         "não salvo: registro 5: campo OBS: memo ilegível"},
        {"bad_date", [&](QByteArray& b) { b.replace(record(2) + 19, 8, "20201399"); },
         [&](QStringList& r) { setField(r, 2, 2, QStringLiteral("<null>")); },
         "não salvo: registro 3: campo DATA: valor ilegível \"20201399\", gravado vazio"},
    };
    for (const CopyCase& c : cases) {
        const QString folder = dir.path() + QLatin1Char('/') + QLatin1String(c.name);
        QDir().mkpath(folder);
        QByteArray dbf = dbf0;
        c.damage(dbf);
        const QString path = folder + QStringLiteral("/T.dbf");
        writeFile(path, dbf);
        writeFile(folder + QStringLiteral("/T.dbt"), dbt0);
        const QString out = folder + QStringLiteral("/NOVA.dbf");

        const check::RepairOutcome outcome = check::repairToCopy(path, out);
        QStringList report = outcome.done;
        for (const QString& line : outcome.lost)
            report << QStringLiteral("não salvo: ") + line;
        EXPECT_TRUE(report.join('\n').contains(QString::fromUtf8(c.report))) << c.name << ":\n"
                                                                                << report.join('\n').toStdString();
        EXPECT_EQ(readFile(path), dbf) << c.name;  // the original untouched
        EXPECT_EQ(faultLines(out), QStringList()) << c.name;
        QStringList expected = sound;
        c.expect(expected);
        EXPECT_EQ(perlRecords(out), expected) << c.name;
        const QJsonObject theirs = dbfreadOracle(out, QStringLiteral("cp850"));
        EXPECT_FALSE(theirs.contains(QStringLiteral("error"))) << c.name;
        EXPECT_EQ(theirs.value(QStringLiteral("records")).toArray().size(), expected.size()) << c.name;
    }
}

TEST(DbaseCheck, RepairedCopyRefusesAnExistingTable)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/T.dbf");
    ASSERT_TRUE(makeTable(path));
    const QString out = dir.path() + QStringLiteral("/NOVA.dbf");
    writeFile(out, "not a table");
    const QString error = errorText([&] { check::repairToCopy(path, out); });
    EXPECT_TRUE(error.contains(QStringLiteral("já existe"))) << error.toStdString();
    EXPECT_EQ(readFile(out), QByteArray("not a table"));
    // A memo file of that name is not overwritten either, and nothing else is left behind.
    QFile::remove(out);
    writeFile(dir.path() + QStringLiteral("/NOVA.dbt"), "memo");
    EXPECT_TRUE(errorText([&] { check::repairToCopy(path, out); }).contains(QStringLiteral("já existe")));
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(readFile(dir.path() + QStringLiteral("/NOVA.dbt")), QByteArray("memo"));
}
