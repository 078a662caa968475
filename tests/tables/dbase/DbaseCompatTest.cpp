// Tables made by other programs (Perl XBase, npm dbffile) are edited by Quillora, and those
// programs then read back exactly what Quillora wrote.
#include "tables/Error.h"
#include "tables/dbase/DbaseFormat.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::test;

namespace {

const QString kXbase = QStringLiteral(QUILLORA_SOURCE_DIR "/tests/tables/dbase/xbase_oracle.pl");

QStringList xbaseDump(const QString& path)
{
    QString out, err;
    EXPECT_EQ(runProgram(QStringLiteral("perl"), {kXbase, QStringLiteral("dump"), path}, &out, &err), 0)
        << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Edits a table laid out as NOME C20, QTD N8.2, NASC D, OBS M: appends a record, changes the
// first one's number and memo, removes the second.
void editFourFieldTable(const QString& path)
{
    auto t = openDbaseTable(path, QStringLiteral("IBM850"));
    t->beginWrite();
    t->insert({Value::text(QStringLiteral("Terceiro ç")), Value::floating(1234.567), Value::date(QDate(2025, 6, 30)),
               Value::text(QStringLiteral("memo do Quillora"))},
              NoRecord);
    t->update(1, {Value(), Value::floating(-0.5), Value(), Value::text(QStringLiteral("memo trocado"))},
              {false, true, false, true});
    t->remove(2);
    t->flush();
}

const QString kDbffile = QStringLiteral(QUILLORA_SOURCE_DIR "/tests/tables/dbase/dbffile_oracle.js");

// Runs dbffile_oracle.js with the npm folder the test command installed dbffile into; the lines
// it prints. Empty (and a test failure) when node fails.
QStringList dbffile(const QString& npmDir, const QString& mode, const QString& path)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NODE_PATH"), QDir(npmDir).filePath(QStringLiteral("node_modules")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("node"), {kDbffile, mode, path});
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "node dbffile_oracle.js " << mode.toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

TEST(DbaseCompat, DbffileTableEditedByQuilloraReadsBackInDbffile)
{
    const QString npmDir = qEnvironmentVariable("QUILLORA_NPM_DIR");
    if (npmDir.isEmpty())
        GTEST_SKIP() << "QUILLORA_NPM_DIR not set (npm install dbffile@1.13.0 there); dbffile test skipped";
    if (!QFileInfo::exists(QDir(npmDir).filePath(QStringLiteral("node_modules/dbffile/package.json"))))
        GTEST_SKIP() << "dbffile is not installed in " << npmDir.toStdString() << "/node_modules; test skipped";
    if (!haveProgram(QStringLiteral("node")))
        GTEST_SKIP() << "node not installed; dbffile test skipped";

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("npm.dbf"));
    ASSERT_EQ(dbffile(npmDir, QStringLiteral("create"), path).size(), 0);
    {
        // dbffile leaves the language driver empty and writes ISO-8859-1.
        auto t = openDbaseTable(path, QStringLiteral("ISO-8859-1"));
        EXPECT_EQ(readVisible(*t), (QList<QStringList>{
                                       {"s:Conceição", "n:1.5", "n:10", "d:1980-02-29", "b:true"},
                                       {"s:Pedro", "n:-20.25", "n:-3", "d:2001-12-31", "b:false"},
                                       {"s:Vazio", "null", "null", "null", "null"},
                                   }));
        t->beginWrite();
        t->insert({Value::text(QStringLiteral("Ação final")), Value::floating(1234.5), Value::integer(99999),
                   Value::date(QDate(2024, 1, 31)), Value::boolean(true)},
                  NoRecord);
        t->insert({Value::text(QStringLiteral("Nulos")), Value(), Value(), Value(), Value()}, NoRecord);
        t->update(1, {Value(), Value::integer(7), Value(), Value::date(QDate(1999, 1, 1)), Value::boolean(false)},
                  {false, true, false, true, true});
        t->update(3, {Value(), Value(), Value::integer(42), Value(), Value()}, {false, false, true, false, false});
        t->remove(2);
        // No flush(): closing the table finishes the writes.
    }
    const QStringList lines = dbffile(npmDir, QStringLiteral("dump"), path);
    EXPECT_EQ(lines, (QStringList{
                         "5",
                         "ok\tConceição\t7\t10\t1999-01-01\tfalse",
                         "DEL\tPedro\t-20.25\t-3\t2001-12-31\tfalse",
                         "ok\tVazio\t<null>\t42\t<null>\t<null>",
                         "ok\tAção final\t1234.5\t99999\t2024-01-31\ttrue",
                         "ok\tNulos\t<null>\t<null>\t<null>\t<null>",
                     }));
}

TEST(DbaseCompat, PerlXBaseTablesEditedByQuilloraReadBackInPerlAndDbfread)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl not installed";
    for (const char* version : {"0x83", "0x8B"}) {
        SCOPED_TRACE(version);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("perl.dbf"));
        QString err;
        ASSERT_EQ(runProgram(QStringLiteral("perl"), {kXbase, QStringLiteral("create"), path, QLatin1String(version)},
                             nullptr, &err),
                  0)
            << err.toStdString();
        editFourFieldTable(path);
        const QStringList lines = xbaseDump(path);
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[0], QStringLiteral("ok\tPrimeiro\t-0.5\t20240131\tmemo trocado"));
        EXPECT_TRUE(lines[1].startsWith(QLatin1String("DEL\tSegundo"))) << lines[1].toStdString();
        // XBase.pm hands back raw bytes: 'ç' is 0x87 in code page 850.
        EXPECT_EQ(lines[2], QStringLiteral("ok\tTerceiro \\x87\t1234.57\t20250630\tmemo do Quillora"));

        const QJsonObject theirs = dbfreadOracle(path, QStringLiteral("cp850"));
        ASSERT_FALSE(theirs.contains(QStringLiteral("error"))) << theirs[QStringLiteral("error")].toString().toStdString();
        EXPECT_EQ(theirs[QStringLiteral("deleted")].toInt(), 1);
        const QJsonArray recs = theirs[QStringLiteral("records")].toArray();
        ASSERT_EQ(recs.size(), 2);
        EXPECT_EQ(recs[1].toArray()[0].toString(), QStringLiteral("s:Terceiro ç"));
        EXPECT_EQ(recs[1].toArray()[3].toString(), QStringLiteral("s:memo do Quillora"));
    }
}
