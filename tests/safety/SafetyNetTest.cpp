// quillora-cli's record runs and column runs under failing writes and kills: after a write that
// fails at any point, and after a kill at any point followed by the next opening, every file of
// both table families is byte for byte what it was before the run.
#include "cli/Commands.h"
#include "tests/safety/FamilySnapshot.h"
#include "tests/support/TestSupport.h"
#include "tables/io/FaultyBackend.h"
#include "tables/io/Journal.h"
#include "tables/io/JournalFormat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillora;
using namespace quillora::test;

namespace {

struct RunCase {
    const char* name;
    const char* sampleFolder;         // under the samples folder
    QStringList sampleFiles;          // copied into src/ and dst/
    const char* map;                  // the mapping list
    QStringList args;                 // {src} and {dst} stand for the two tables, {map} for the list
    const char* table;                // the table's file name
    bool ndx = false;                 // an .ndx on ID beside the dBase table with a memo
};

// An .ndx on ID beside the memo table: the samples' numeric .ndx, its key expression set to the
// table's numeric field. Its keys are another table's, so the first write marks it out of date
// and the end of the run writes it anew from the data.
void addIdIndex(const QString& folder)
{
    QByteArray ndx = readFile(sample(QStringLiteral("dbase/incubus-dbd-xbase/ndx-num.ndx")));
    ASSERT_GT(ndx.size(), 32);
    const QByteArray expression("ID\0\0\0\0\0", 7);
    ndx.replace(24, expression.size(), expression);
    writeFile(folder + QStringLiteral("/test.ndx"), ndx);
}

std::vector<RunCase> cases()
{
    const QStringList memo = {QStringLiteral("test.dbf"), QStringLiteral("test.dbt")};
    const QStringList mdx = {QStringLiteral("XSQL.DBF"), QStringLiteral("XSQL.MDX")};
    const QStringList px = {QStringLiteral("CUSTOMER.DB"), QStringLiteral("CUSTOMER.MB"), QStringLiteral("CUSTOMER.PX"),
                            QStringLiteral("CUSTOMER.X06"), QStringLiteral("CUSTOMER.Y06")};
    const char* memoMap = "ID=ID\nMSG=MSG\nNOTE=NOTE\nBOOLEAN=BOOLEAN\nDATES=DATES\n";
    const char* memoSwapMap = "ID=ID\nMSG=NOTE\nNOTE=MSG\nBOOLEAN=BOOLEAN\nDATES=DATES\n";
    const char* mdxMap = "NAME=NAME\nBORN=BORN\nQTY=QTY\nOK=OK\n";
    const char* pxMap = "FirstName=FirstName\nLastName=LastName\nCity=City\nComments=Comments\nDateEntered=DateEntered\n";
    const QStringList add = {QStringLiteral("process"), QStringLiteral("--source"), QStringLiteral("{src}"),
                             QStringLiteral("--dest"), QStringLiteral("{dst}"), QStringLiteral("--map"),
                             QStringLiteral("{map}"), QStringLiteral("--operation"), QStringLiteral("Adicionar")};
    auto update = [](const char* key) {
        return QStringList{QStringLiteral("update"), QStringLiteral("--source"), QStringLiteral("{src}"),
                           QStringLiteral("--dest"), QStringLiteral("{dst}"), QStringLiteral("--map"),
                           QStringLiteral("{map}"), QStringLiteral("--source-key"), QString::fromLatin1(key),
                           QStringLiteral("--dest-key"), QString::fromLatin1(key)};
    };
    auto fill = [](const char* column) {
        return QStringList{QStringLiteral("column"), QStringLiteral("{dst}"), QStringLiteral("--column"),
                           QString::fromLatin1(column), QStringLiteral("--operation"), QStringLiteral("fill"),
                           QStringLiteral("--value"), QStringLiteral("Recife")};
    };
    return {
        {"dBase with memo and .ndx, Adicionar", "dbase/incubus-dbd-xbase", memo, memoMap, add, "test.dbf", true},
        // Source and destination are the same table: the update swaps the text and the memo, so
        // that every record and its memo is written (values written as they are change nothing).
        {"dBase with memo and .ndx, Atualizar", "dbase/incubus-dbd-xbase", memo, memoSwapMap, update("ID"), "test.dbf",
         true},
        {"dBase with memo and .ndx, column run", "dbase/incubus-dbd-xbase", memo, memoMap, fill("MSG"), "test.dbf", true},
        {"dBase with .mdx, Adicionar", "dbase/generated-xbase64-4.1.11", mdx, mdxMap, add, "XSQL.DBF"},
        // Keyed on OK, which two records share: the third source record rewrites the first
        // destination record, so the tags' keys change and the .mdx is written anew.
        {"dBase with .mdx, Atualizar", "dbase/generated-xbase64-4.1.11", mdx, mdxMap, update("OK"), "XSQL.DBF"},
        {"dBase with .mdx, column run", "dbase/generated-xbase64-4.1.11", mdx, mdxMap, fill("NAME"), "XSQL.DBF"},
        {"keyed Paradox with memo and secondary index, Adicionar", "paradox/paradoxdriver/db", px, pxMap, add, "CUSTOMER.DB"},
        {"keyed Paradox with memo and secondary index, Atualizar", "paradox/paradoxdriver/db", px, pxMap, update("CustNo"),
         "CUSTOMER.DB"},
        {"keyed Paradox with memo and secondary index, column run", "paradox/paradoxdriver/db", px, pxMap, fill("City"),
         "CUSTOMER.DB"},
    };
}

// A fresh copy of a case's tables: src/ and dst/ in a scratch folder, and the mapping list.
struct Scratch {
    QTemporaryDir dir;
    QStringList args;

    explicit Scratch(const RunCase& c)
    {
        for (const char* side : {"src", "dst"}) {
            QDir(dir.path()).mkdir(QString::fromLatin1(side));
            for (const QString& f : c.sampleFiles) {
                const QString to = dir.filePath(QStringLiteral("%1/%2").arg(QString::fromLatin1(side), f));
                QFile::copy(sample(QStringLiteral("%1/%2").arg(QString::fromLatin1(c.sampleFolder), f)), to);
                QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
            }
            if (c.ndx)
                addIdIndex(dir.filePath(QString::fromLatin1(side)));
        }
        writeFile(dir.filePath(QStringLiteral("map.txt")), c.map);
        for (QString a : c.args) {
            a.replace(QStringLiteral("{src}"), dir.filePath(QStringLiteral("src/")) + QString::fromLatin1(c.table));
            a.replace(QStringLiteral("{dst}"), dir.filePath(QStringLiteral("dst/")) + QString::fromLatin1(c.table));
            a.replace(QStringLiteral("{map}"), dir.filePath(QStringLiteral("map.txt")));
            args << a;
        }
    }
    QString destination() const { return args.contains(QStringLiteral("column")) ? args[1] : args[args.indexOf(QStringLiteral("--dest")) + 1]; }
    FolderSnapshot src() const { return snapshotFolder(dir.filePath(QStringLiteral("src"))); }
    FolderSnapshot dst() const { return snapshotFolder(dir.filePath(QStringLiteral("dst"))); }
};

// Standard output and error silenced while a loop runs the command hundreds of times.
class QuietStderr {
public:
    QuietStderr() : out_(::dup(1)), err_(::dup(2))
    {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr()
    {
        ::dup2(out_, 1);
        ::dup2(err_, 2);
        ::close(out_);
        ::close(err_);
    }

private:
    int out_;
    int err_;
};


class SafetyNet : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        QUILLORA_REQUIRE_SAMPLES();
        // Journals that could not go beside a table stay in this test's own state folder.
        qputenv("XDG_STATE_HOME", state_.path().toUtf8());
    }
    void TearDown() override { qunsetenv("XDG_STATE_HOME"); }
    const RunCase& runCase() const
    {
        static const std::vector<RunCase> all = cases();
        return all[size_t(GetParam())];
    }
    QTemporaryDir state_;
};

}  // namespace

TEST_P(SafetyNet, AWriteThatFailsAnywhereLeavesBothFamiliesAsTheyWere)
{
    const RunCase& c = runCase();
    // What a run that nothing disturbs leaves behind.
    FolderSnapshot cleanDst;
    {
        Scratch s(c);
        QuietStderr quiet;
        ASSERT_EQ(cli::cliMain(s.args), 0) << c.name;
        cleanDst = s.dst();
    }
    int n = 1;
    for (;; ++n) {
        Scratch s(c);
        const FolderSnapshot src = s.src();
        const FolderSnapshot dst = s.dst();
        io::FaultyBackend faulty(io::posixBackend());
        int rc;
        {
            QuietStderr quiet;
            io::ScopedBackend use(faulty);
            faulty.failAt(n, io::FaultyBackend::All, ENOSPC);
            rc = cli::cliMain(s.args);
        }
        if (!faulty.fired()) {
            EXPECT_EQ(rc, 0);
            break;
        }
        ASSERT_EQ(folderDifferences(s.src(), src).toStdString(), "") << c.name << ", failure " << n;
        if (rc == 0) {
            // A failure the run could live with (a journal that went to the state folder): the
            // run is whole, with the files of a run nothing disturbed (Paradox stamps the time
            // of the write in its headers, so the bytes are compared by size), and it can be
            // undone to the last byte.
            const FolderSnapshot now = s.dst();
            ASSERT_EQ(now.size(), cleanDst.size()) << c.name << ", failure " << n;
            for (const auto& [name, bytes] : now)
                ASSERT_EQ(bytes.size(), cleanDst.at(name).size()) << c.name << ", failure " << n << ", " << name.toStdString();
            QuietStderr quiet;
            ASSERT_EQ(cli::cliMain({QStringLiteral("undo"), s.destination()}), 0) << c.name << ", failure " << n;
            ASSERT_EQ(folderDifferences(s.dst(), dst).toStdString(), "") << c.name << ", failure " << n;
        } else {
            ASSERT_EQ(rc, 1) << c.name << ", failure " << n;
            ASSERT_EQ(folderDifferences(s.dst(), dst).toStdString(), "") << c.name << ", failure " << n;
        }
        // And the table opens as usual afterwards.
        QuietStderr quiet;
        ASSERT_EQ(cli::cliMain({QStringLiteral("info"), s.destination()}), 0) << c.name << ", failure " << n;
        ASSERT_LT(n, 5000);
    }
    EXPECT_GT(n, 10) << c.name;
}

TEST_P(SafetyNet, ARunKilledAnywhereIsRolledBackWhenTheTableIsNextOpened)
{
    const RunCase& c = runCase();
    int n = 1;
    for (;; ++n) {
        Scratch s(c);
        const FolderSnapshot src = s.src();
        const FolderSnapshot dst = s.dst();
        const pid_t pid = ::fork();
        if (pid == 0) {
            QuietStderr quiet;
            io::FaultyBackend killer(io::posixBackend());
            killer.killAt(n);
            io::ScopedBackend use(killer);
            ::_exit(cli::cliMain(s.args));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFSIGNALED(status)) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name;
            break;
        }
        {
            QuietStderr quiet;
            ASSERT_EQ(cli::cliMain({QStringLiteral("info"), s.destination()}), 0) << c.name << ", killed at " << n;
            cli::cliMain({QStringLiteral("info"), s.args.contains(QStringLiteral("--source"))
                                                     ? s.args[s.args.indexOf(QStringLiteral("--source")) + 1]
                                                     : s.destination()});
        }
        ASSERT_EQ(folderDifferences(s.src(), src).toStdString(), "") << c.name << ", killed at " << n;
        const QString changed = folderDifferences(s.dst(), dst);
        if (!changed.isEmpty()) {
            // Killed once the journal was marked complete: the run ended and can be undone.
            QuietStderr quiet;
            ASSERT_EQ(cli::cliMain({QStringLiteral("undo"), s.destination()}), 0) << c.name << ", killed at " << n << ": "
                                                                                    << changed.toStdString();
            ASSERT_EQ(folderDifferences(s.dst(), dst).toStdString(), "") << c.name << ", killed at " << n;
        }
        ASSERT_LT(n, 5000);
    }
    EXPECT_GT(n, 10) << c.name;
}

TEST_P(SafetyNet, UndoAfterACompleteRunGivesTheTablesBack)
{
    const RunCase& c = runCase();
    Scratch s(c);
    const FolderSnapshot dst = s.dst();
    QuietStderr quiet;
    ASSERT_EQ(cli::cliMain(s.args), 0);
    ASSERT_NE(folderDifferences(s.dst(), dst).toStdString(), "") << c.name << ": the run changed nothing";
    ASSERT_EQ(cli::cliMain({QStringLiteral("undo"), s.destination()}), 0);
    EXPECT_EQ(folderDifferences(s.dst(), dst).toStdString(), "") << c.name;
    EXPECT_EQ(cli::cliMain({QStringLiteral("undo"), s.destination()}), 1) << "nothing left to undo";
}

TEST_P(SafetyNet, ADryRunChangesNothing)
{
    const RunCase& c = runCase();
    Scratch s(c);
    const FolderSnapshot src = s.src();
    const FolderSnapshot dst = s.dst();
    QuietStderr quiet;
    ASSERT_EQ(cli::cliMain(QStringList(s.args) << QStringLiteral("--dry-run")), 0);
    EXPECT_EQ(folderDifferences(s.dst(), dst).toStdString(), "") << c.name;
    EXPECT_EQ(folderDifferences(s.src(), src).toStdString(), "") << c.name;
    EXPECT_FALSE(QFile::exists(s.destination() + QStringLiteral(".quillora-journal")));
}

namespace {
std::string caseName(const ::testing::TestParamInfo<int>& info)
{
    static const char* names[] = {"DbaseMemoNdxAdicionar", "DbaseMemoNdxAtualizar", "DbaseMemoNdxColumn",
                                  "DbaseMdxAdicionar",  "DbaseMdxAtualizar",  "DbaseMdxColumn",
                                  "ParadoxAdicionar",   "ParadoxAtualizar",   "ParadoxColumn"};
    return names[info.param];
}
}  // namespace

INSTANTIATE_TEST_SUITE_P(Runs, SafetyNet, ::testing::Range(0, 9), caseName);

// Journals written by earlier versions must still verify: the checksum is the standard CRC-32,
// whatever the length and alignment of the bytes, and runs on across calls.
TEST(JournalChecksum, IsTheStandardCrc32AtAnyLengthAndAlignment)
{
    EXPECT_EQ(quillora::io::crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(quillora::io::crc32("", 0), 0u);
    auto bitwise = [](const char* d, qint64 n, quint32 crc) {
        crc = ~crc;
        for (qint64 i = 0; i < n; ++i) {
            crc ^= uchar(d[i]);
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        return ~crc;
    };
    QByteArray bytes(200, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919 + 13) & 0xFF);
    for (qint64 offset = 0; offset < 9; ++offset)
        for (qint64 n = 0; n + offset <= 150; n += 7)
            ASSERT_EQ(quillora::io::crc32(bytes.constData() + offset, n, 0x1234u),
                      bitwise(bytes.constData() + offset, n, 0x1234u))
                << "offset " << offset << ", length " << n;
    const quint32 whole = quillora::io::crc32(bytes.constData(), 100);
    EXPECT_EQ(quillora::io::crc32(bytes.constData() + 37, 63, quillora::io::crc32(bytes.constData(), 37)), whole);
}
