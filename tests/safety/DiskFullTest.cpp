// A real disk that fills up, and a file-size limit, under a destination table: quillora-cli
// says why in Portuguese, exits 1, and leaves every file of the table as it was.
#include "tests/safety/FamilySnapshot.h"
#include "tests/support/TestSupport.h"
#include "tables/Field.h"
#include "tables/Table.h"
#include "tables/Value.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>

using namespace quillora;
using namespace quillora::test;

namespace {

const QString cli = QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli");

// A source of `count` records with long texts and memos, made from the sample's structure.
QString bigSource(const QString& folder, int count)
{
    QDir(folder).mkpath(QStringLiteral("."));
    const QString path = copyInto(folder, {sample(QStringLiteral("dbase/incubus-dbd-xbase/test.dbf")),
                                           sample(QStringLiteral("dbase/incubus-dbd-xbase/test.dbt"))});
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(folder + QStringLiteral("/test.dbt"), QFile::ReadOwner | QFile::WriteOwner);
    Table t(QStringLiteral("Table1"));
    t.Bind(path);
    t.Open();
    for (int i = 0; i < count; ++i) {
        t.Append();
        t.FieldByName(QStringLiteral("ID"))->SetAsString(QString::number(1000 + i));
        t.FieldByName(QStringLiteral("MSG"))->SetAsString(QString(250, QLatin1Char('a' + i % 26)));
        t.FieldByName(QStringLiteral("NOTE"))->SetAsString(QString(600, QLatin1Char('n')));
        t.Post();
    }
    t.Close();
    return path;
}

// A 1 MB tmpfs mounted for the test's lifetime; empty path where this machine cannot mount one.
class SmallDisk {
public:
    SmallDisk()
    {
        mountPoint_ = dir_.filePath(QStringLiteral("disco"));
        QDir().mkpath(mountPoint_);
        if (::mount("tmpfs", QFile::encodeName(mountPoint_).constData(), "tmpfs", 0, "size=1m") == 0)
            mounted_ = true;
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(mountPoint_).constData(), MNT_DETACH);
    }
    QString path() const { return mounted_ ? mountPoint_ : QString(); }

private:
    QTemporaryDir dir_;
    QString mountPoint_;
    bool mounted_ = false;
};

}  // namespace

TEST(DiskFull, AFullDiskUnderTheDestinationIsAClearErrorAndNothingChanges)
{
    QUILLORA_REQUIRE_SAMPLES();
    SmallDisk disk;
    if (disk.path().isEmpty())
        GTEST_SKIP() << "no tmpfs could be mounted here (needs root); the full-disk test is skipped";
    QTemporaryDir work;
    QTemporaryDir state;
    const QString source = bigSource(work.filePath(QStringLiteral("fonte")), 3000);
    const QString dest = copyInto(disk.path(), {sample(QStringLiteral("dbase/incubus-dbd-xbase/test.dbf")),
                                                sample(QStringLiteral("dbase/incubus-dbd-xbase/test.dbt"))});
    writeFile(work.filePath(QStringLiteral("map.txt")), "ID=ID\nMSG=MSG\nNOTE=NOTE\n");
    const FolderSnapshot before = snapshotFolder(disk.path());

    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QString out, err;
    const int rc = runProgram(cli, {QStringLiteral("process"), QStringLiteral("--source"), source, QStringLiteral("--dest"), dest,
                                    QStringLiteral("--map"), work.filePath(QStringLiteral("map.txt")), QStringLiteral("--operation"),
                                    QStringLiteral("Adicionar")},
                              &out, &err);
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(rc, 1) << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("sem espaço em disco"))) << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("A operação foi desfeita"))) << qPrintable(err);
    EXPECT_EQ(folderDifferences(snapshotFolder(disk.path()), before).toStdString(), "");
    // The table reads as before in a reader we did not write.
    if (haveProgram(QStringLiteral("python3"))) {
        QString count;
        runProgram(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), QStringLiteral("import dbfread,sys; print(len(list(dbfread.DBF(sys.argv[1]))))"), dest},
                   &count);
        EXPECT_EQ(count.trimmed(), QStringLiteral("2"));
    }
}

TEST(DiskFull, AFileSizeLimitIsAClearErrorNotASignal)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir work;
    QTemporaryDir state;
    const QString source = bigSource(work.filePath(QStringLiteral("fonte")), 3000);
    const QString folder = work.filePath(QStringLiteral("destino"));
    QDir().mkpath(folder);
    const QString dest = copyInto(folder, {sample(QStringLiteral("dbase/incubus-dbd-xbase/test.dbf")),
                                           sample(QStringLiteral("dbase/incubus-dbd-xbase/test.dbt"))});
    writeFile(work.filePath(QStringLiteral("map.txt")), "ID=ID\nMSG=MSG\nNOTE=NOTE\n");
    const FolderSnapshot before = snapshotFolder(folder);
    QString out, err;
    // 300 KB at most per file: the table grows past it long before 3,000 records.
    const QString errors = work.filePath(QStringLiteral("erros.csv"));
    const QString script = QStringLiteral("ulimit -f 300; XDG_STATE_HOME='%1' exec '%2' process --source '%3' --dest '%4' "
                                          "--map '%5' --operation Adicionar --errors '%6'")
                               .arg(state.path(), cli, source, dest, work.filePath(QStringLiteral("map.txt")), errors);
    const int rc = runProgram(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), script}, &out, &err);
    EXPECT_EQ(rc, 1) << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("o arquivo passou do tamanho máximo permitido"))) << qPrintable(err);
    EXPECT_EQ(folderDifferences(snapshotFolder(folder), before).toStdString(), "");
    // The run that was rolled back still says how far it got, its failure counted and listed.
    const QStringList summary = err.split(QLatin1Char('\n')).filter(QStringLiteral("Resumo: "));
    ASSERT_EQ(summary.size(), 1) << qPrintable(err);
    EXPECT_TRUE(summary.first().contains(QStringLiteral("; com erro 1; "))) << qPrintable(summary.first());
    const QList<QByteArray> listed = readFile(errors).split('\n');
    ASSERT_GE(listed.size(), 2);
    EXPECT_EQ(listed[0], "registro,chave,erro\r");
    EXPECT_TRUE(listed[1].contains("o arquivo passou do tamanho máximo permitido")) << listed[1].constData();
}

// A column run whose journal outgrows the limit is rolled back whole, and its summary line
// still comes, with the failure counted.
TEST(DiskFull, AColumnRunRolledBackStillPrintsItsSummary)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir work;
    QTemporaryDir state;
    const QString folder = work.filePath(QStringLiteral("tabela"));
    const QString table = bigSource(folder, 3000);
    const FolderSnapshot before = snapshotFolder(folder);
    QString out, err;
    const QString script = QStringLiteral("ulimit -f 300; XDG_STATE_HOME='%1' exec '%2' column '%3' --column MSG "
                                          "--operation fill --value x")
                               .arg(state.path(), cli, table);
    const int rc = runProgram(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), script}, &out, &err);
    EXPECT_EQ(rc, 1) << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("A operação foi desfeita"))) << qPrintable(err);
    EXPECT_EQ(folderDifferences(snapshotFolder(folder), before).toStdString(), "");
    const QStringList summary = err.split(QLatin1Char('\n')).filter(QStringLiteral("Resumo: "));
    ASSERT_EQ(summary.size(), 1) << qPrintable(err);
    EXPECT_TRUE(summary.first().contains(QStringLiteral("; com erro 1; "))) << qPrintable(summary.first());
}
