// Tables made by other programs (Perl XBase, npm dbffile) are edited by Quillora, and those
// programs then read back exactly what Quillora wrote.
#include "tables/Error.h"
#include "tables/dbase/DbaseFormat.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <QJsonArray>
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

}  // namespace

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
