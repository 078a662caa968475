// check and repair of a Paradox table as scripts see them: exit status and the lines printed.
#include "tests/support/TestSupport.h"

#include <QDir>
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

}  // namespace

// A loop in the block chain: check names it and exits 1, repair in place refuses and names
// --out, repair --out writes a sound copy with every record, and check finds nothing in it.
TEST(CliParadox, CheckNamesALoopAndRepairOutSavesEveryRecord)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    const QString path = copyInto(dir.path(), {sample(QStringLiteral("paradox/paradoxdriver/db/ORDERS.DB")),
                                               sample(QStringLiteral("paradox/paradoxdriver/db/ORDERS.PX"))});
    const CliRun sound = cli({QStringLiteral("check"), path});
    EXPECT_EQ(sound.status, 0) << sound.out.toStdString();
    EXPECT_TRUE(sound.out.isEmpty()) << sound.out.toStdString();

    QByteArray bytes = readFile(path);
    bytes[2048 + 7 * 2048] = 2;  // block 8 leads back to block 2
    writeFile(path, bytes);
    const CliRun checked = cli({QStringLiteral("check"), path});
    EXPECT_EQ(checked.status, 1);
    EXPECT_TRUE(checked.out.startsWith(path + QStringLiteral(": bloco 8: o encadeamento volta ao bloco 2 (laço)")))
        << checked.out.toStdString();

    const CliRun refused = cli({QStringLiteral("repair"), path});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--out"))) << refused.err.toStdString();
    EXPECT_EQ(readFile(path), bytes);

    const QString copy = QDir(dir.path()).filePath(QStringLiteral("SALVO.DB"));
    const CliRun saved = cli({QStringLiteral("repair"), path, QStringLiteral("--out"), copy});
    EXPECT_EQ(saved.status, 0) << saved.err.toStdString();
    EXPECT_TRUE(saved.out.contains(QStringLiteral("224 registros gravados"))) << saved.out.toStdString();
    EXPECT_EQ(cli({QStringLiteral("check"), copy}).status, 0);
    EXPECT_EQ(readFile(path), bytes);
    const CliRun again = cli({QStringLiteral("repair"), path, QStringLiteral("--out"), copy});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("já existe"))) << again.err.toStdString();
}
