// quillora-cli as scripts see it: exit status, standard output and standard error.
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora::test;

namespace {

struct CliRun {
    int status = -1;
    QString out, err;
};

CliRun cli(const QStringList& args)
{
    CliRun r;
    r.status = runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"), args, &r.out, &r.err);
    return r;
}

// Makes a dBase III table with Perl's XBase module, a writer we did not write.
bool perlCreate(const QString& path, const QString& fieldsPerl, const QString& recordsPerl)
{
    const QString script = QStringLiteral(
        "use XBase; my $t = XBase->create(name => $ARGV[0], %1) or die XBase->errstr;"
        "my $n = 0; for my $r (%2) { $t->set_record($n++, @$r) or die $t->errstr; } $t->close;")
                               .arg(fieldsPerl, recordsPerl);
    QString err;
    const int rc = runProgram(QStringLiteral("perl"), {QStringLiteral("-e"), script, path}, nullptr, &err);
    if (rc != 0)
        ADD_FAILURE() << "perl: " << err.toStdString();
    return rc == 0;
}

}  // namespace

TEST(Cli, BadUsageExitsTwoWithAUsageLine)
{
    for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("frobnicate")},
                                    QStringList{QStringLiteral("dump")},
                                    QStringList{QStringLiteral("dump"), QStringLiteral("--nada"), QStringLiteral("x.dbf")},
                                    QStringList{QStringLiteral("info"), QStringLiteral("--locale")}}) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("uso: quillora-cli"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST(Cli, MissingTableFailsWithItsNameOnStandardError)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/nao_existe.dbf");
    const CliRun r = cli({QStringLiteral("dump"), path});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(path)) << r.err.toStdString();
}

TEST(Cli, DumpWritesCsvInTheLocalesNotationWithoutDeletedRecords)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QString table = sample(QStringLiteral("dbase/olemb-dbfread/people.dbf"));
    CliRun r = cli({QStringLiteral("dump"), QStringLiteral("--locale"), QStringLiteral("pt_BR"), table});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("NAME,BIRTHDATE\r\nAlice,01/03/1987\r\nBob,12/11/1980\r\n"));
    r = cli({QStringLiteral("dump"), QStringLiteral("--locale=en_US"), table});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("NAME,BIRTHDATE\r\nAlice,3/1/1987\r\nBob,11/12/1980\r\n"));
}

TEST(Cli, DumpQuotesWhatCsvNeedsAndShowsNumbersLogicalsAndMemos)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl is not installed";
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/csv.dbf");
    ASSERT_TRUE(perlCreate(path,
                           QStringLiteral("field_names => ['TXT','VAL','OK','NOTA'], field_types => ['C','N','L','M'],"
                                          "field_lengths => [20,8,1,10], field_decimals => [0,2,0,0]"),
                           QStringLiteral("['a,b', 12.5, 1, \"linha 1\\r\\nlinha 2\"], ['diz \"oi\"', -3, 0, ''],"
                                          "['', undef, undef, undef]")));
    const CliRun r = cli({QStringLiteral("dump"), QStringLiteral("--locale"), QStringLiteral("pt_BR"), path});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("TXT,VAL,OK,NOTA\r\n"
                                    "\"a,b\",\"12,5\",Verdadeiro,\"linha 1\r\nlinha 2\"\r\n"
                                    "\"diz \"\"oi\"\"\",-3,Falso,\r\n"
                                    ",,,\r\n"));
}

TEST(Cli, InfoDescribesTheTable)
{
    QUILLORA_REQUIRE_SAMPLES();
    const CliRun r = cli({QStringLiteral("info"), sample(QStringLiteral("dbase/incubus-dbd-xbase/test.dbf"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Registros: 2"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("MSG\tftString\t254"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("NOTE\tftMemo"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("DATES\tftDate"))) << r.out.toStdString();
}

// A protected Paradox table: a wrong --password says so; none at all says that the table needs
// one and how to give it.
TEST(Cli, ProtectedTableTellsAWrongPasswordFromNone)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QString table = sample(QStringLiteral("paradox/paradoxdriver/encrypt/encrypted.db"));
    CliRun r = cli({QStringLiteral("info"), table});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("protegida por senha"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("--password"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("incorreta"))) << r.err.toStdString();

    r = cli({QStringLiteral("info"), QStringLiteral("--password"), QStringLiteral("999"), table});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Senha incorreta"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("encrypted.db"))) << r.err.toStdString();

    r = cli({QStringLiteral("info"), QStringLiteral("--password"), QStringLiteral("999"), QStringLiteral("--password"),
             QStringLiteral("123"), table});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
}

// A table cut short reads as damaged everywhere: check names the fault, info and dump print it on
// standard error and exit 1, dump still writing the records it could read.
TEST(Cli, ATruncatedTableIsReportedNotReadAsShorter)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/T.dbf");
    ASSERT_TRUE(perlCreate(path, QStringLiteral("field_names => ['N'], field_types => ['C'], field_lengths => [4], field_decimals => [0]"),
                           QStringLiteral("['a'], ['b'], ['c'], ['d'], ['e']")));

    const CliRun sound = cli({QStringLiteral("check"), path});
    EXPECT_EQ(sound.status, 0) << sound.out.toStdString();
    EXPECT_TRUE(sound.out.isEmpty());

    QByteArray bytes = readFile(path);
    const int headerLen = uchar(bytes[8]) | (uchar(bytes[9]) << 8);
    bytes.truncate(headerLen + 3 * 5 + 2);
    writeFile(path, bytes);
    const QString fault = QStringLiteral("o cabeçalho conta 5 registros, mas o arquivo só tem 3 completos");

    const CliRun checked = cli({QStringLiteral("check"), path});
    EXPECT_EQ(checked.status, 1);
    EXPECT_TRUE(checked.out.startsWith(path + QStringLiteral(": cabeçalho: ") + fault)) << checked.out.toStdString();

    const CliRun info = cli({QStringLiteral("info"), path});
    EXPECT_EQ(info.status, 1);
    EXPECT_TRUE(info.err.contains(fault)) << info.err.toStdString();
    EXPECT_TRUE(info.err.contains(QStringLiteral("Verificar tabela...")));

    const CliRun dump = cli({QStringLiteral("dump"), path});
    EXPECT_EQ(dump.status, 1);
    EXPECT_EQ(dump.out, QStringLiteral("N\r\na\r\nb\r\nc\r\n"));
    EXPECT_TRUE(dump.err.contains(fault)) << dump.err.toStdString();

    EXPECT_EQ(cli({QStringLiteral("check")}).status, 2);
}

// Repair in place mends a count too low and a missing end mark, check then finds nothing, and
// undo gives the damaged bytes back; a table cut short is refused untouched, naming --out.
TEST(Cli, RepairMendsTheHeaderUndoablyAndRefusesLostRecords)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/T.dbf");
    ASSERT_TRUE(perlCreate(path,
                           QStringLiteral("field_names => ['N'], field_types => ['C'], field_lengths => [4], "
                                          "field_decimals => [0]"),
                           QStringLiteral("['a'], ['b'], ['c'], ['d'], ['e']")));
    const QByteArray sound = readFile(path);
    QByteArray damaged = sound;
    damaged[4] = 3;
    damaged.chop(1);  // the end mark
    writeFile(path, damaged);

    const CliRun repaired = cli({QStringLiteral("repair"), path});
    EXPECT_EQ(repaired.status, 0) << repaired.err.toStdString();
    EXPECT_EQ(readFile(path), sound);
    EXPECT_EQ(cli({QStringLiteral("check"), path}).status, 0);
    EXPECT_EQ(cli({QStringLiteral("undo"), path}).status, 0);
    EXPECT_EQ(readFile(path), damaged);

    QByteArray cut = sound;
    cut.truncate(cut.size() - 1 - 5 - 2);
    writeFile(path, cut);
    const CliRun refused = cli({QStringLiteral("repair"), path});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--out"))) << refused.err.toStdString();
    EXPECT_EQ(readFile(path), cut);

    // With --out the readable records go to a new table, the lost ones are listed on standard
    // error, as every record that failed is (exit 1).
    const QString copy = dir.path() + QStringLiteral("/NOVA.dbf");
    const CliRun saved = cli({QStringLiteral("repair"), path, QStringLiteral("--out"), copy});
    EXPECT_EQ(saved.status, 1) << saved.err.toStdString();
    EXPECT_EQ(saved.out, path + QStringLiteral(": 3 registros gravados em ") + copy + QStringLiteral("\n"));
    EXPECT_EQ(saved.err, path + QStringLiteral(": não salvo: registro 4: incompleto (3 de 5 bytes no arquivo), não pôde ser "
                                               "salvo\n")
                             + path + QStringLiteral(": não salvo: registro 5: além do fim do arquivo (truncado), perdido\n"));
    EXPECT_EQ(readFile(path), cut);
    EXPECT_EQ(cli({QStringLiteral("check"), copy}).status, 0);
    EXPECT_EQ(cli({QStringLiteral("dump"), copy}).out, QStringLiteral("N\r\na\r\nb\r\nc\r\n"));
    EXPECT_EQ(cli({QStringLiteral("repair"), path, QStringLiteral("--out"), copy}).status, 1);  // exists
}

// Records that a writer put in the file without counting them (it stopped before the header)
// become visible when repair corrects the count, so the indexes must list them afterwards:
// Perl's XBase::Index walks the rebuilt .ndx of a real table and finds the added record.
TEST(Cli, RepairThatShowsUncountedRecordsRebuildsTheIndexes)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ndx-char.dbf"));
    const QString ndx = dir.filePath(QStringLiteral("ndx-char.ndx"));
    ASSERT_TRUE(QFile::copy(sample(QStringLiteral("dbase/incubus-dbd-xbase/ndx-char.dbf")), path));
    ASSERT_TRUE(QFile::copy(sample(QStringLiteral("dbase/incubus-dbd-xbase/ndx-char.ndx")), ndx));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(ndx, QFile::ReadOwner | QFile::WriteOwner);
    QByteArray bytes = readFile(path);
    const int headerLen = uchar(bytes[8]) | uchar(bytes[9]) << 8;
    const int recordLen = uchar(bytes[10]) | uchar(bytes[11]) << 8;
    const int counted = uchar(bytes[4]) | uchar(bytes[5]) << 8;
    // One more record after the counted ones, a copy of the last with its text changed.
    QByteArray added = bytes.mid(headerLen + (counted - 1) * recordLen, recordLen);
    for (int i = 1; i < recordLen; ++i)
        if (added[i] >= 'A' && added[i] <= 'z')
            added[i] = 'Z';
    bytes.truncate(headerLen + counted * recordLen);
    bytes += added;
    bytes += '\x1A';
    writeFile(path, bytes);

    auto walk = [&] {
        QString out, err;
        EXPECT_EQ(runProgram(QStringLiteral("perl"),
                             {QStringLiteral("-MXBase::Index"), QStringLiteral("-e"),
                              QStringLiteral("my $i = XBase::Index->new($ARGV[0]) or die XBase::Index->errstr;"
                                             "$i->prepare_select; while (my ($k, $r) = $i->fetch) { print \"$r\\n\" }"),
                              ndx},
                             &out, &err),
                  0)
            << err.toStdString();
        QStringList records = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        records.sort();
        return records;
    };
    EXPECT_FALSE(walk().contains(QString::number(counted + 1)));

    const CliRun repaired = cli({QStringLiteral("repair"), path});
    EXPECT_EQ(repaired.status, 0) << repaired.err.toStdString();
    EXPECT_TRUE(repaired.out.contains(QStringLiteral("índices reconstruídos"))) << repaired.out.toStdString();
    const QStringList after = walk();
    EXPECT_EQ(after.size(), counted + 1);
    EXPECT_TRUE(after.contains(QString::number(counted + 1)));
    EXPECT_EQ(cli({QStringLiteral("check"), path}).status, 0);
}
