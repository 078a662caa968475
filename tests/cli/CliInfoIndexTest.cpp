// `quillora-cli info` on tables whose indexes are marked out of date: those indexes say so, and
// everything else reads exactly as for the same table with its indexes current.
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace quillora::test;

namespace {

QString info(const QString& table)
{
    QString out, err;
    const int rc = runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"), {QStringLiteral("info"), table},
                              &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    // The first line names the table's own path, which differs between the two copies.
    return out.section(QLatin1Char('\n'), 1);
}

void patchByte(const QString& path, qsizetype at, char value)
{
    QByteArray b = readFile(path);
    b[at] = value;
    writeFile(path, b);
}

char byteAt(const QString& path, qsizetype at)
{
    return readFile(path)[at];
}

}  // namespace

TEST(CliInfo, indexesMarkedOutOfDateAreListedAsSuch)
{
    QUILLORA_REQUIRE_SAMPLES();
    struct Case {
        const char* name;
        QStringList files;  // the family, table first
        std::function<void(const QDir&)> markOutOfDate;
        QStringList staleLines;  // index lines (name and key) that read as out of date
    };
    const Case cases[] = {
        {"ndx renamed", {QStringLiteral("dbase/incubus-dbd-xbase/ndx-char.dbf"), QStringLiteral("dbase/incubus-dbd-xbase/ndx-char.ndx")},
         [](const QDir& d) {
             ASSERT_TRUE(QFile::rename(d.filePath(QStringLiteral("ndx-char.ndx")), d.filePath(QStringLiteral("ndx-char.ndx.desatualizado"))));
         },
         {QStringLiteral("  ndx-char\tV1")}},
        {"mdx no longer flagged by the table",
         {QStringLiteral("dbase/generated-xbase64-4.1.11/XSQL.DBF"), QStringLiteral("dbase/generated-xbase64-4.1.11/XSQL.MDX")},
         [](const QDir& d) { patchByte(d.filePath(QStringLiteral("XSQL.DBF")), 28, 0); },
         {QStringLiteral("  NAMETAG\tNAME"), QStringLiteral("  QTYTAG\tQTY")}},
        {"Paradox table counter past its .PX",
         {QStringLiteral("paradox/paradoxdriver/joins/fk1.db"), QStringLiteral("paradox/paradoxdriver/joins/fk1.px"),
          QStringLiteral("paradox/paradoxdriver/joins/fk1.x02"), QStringLiteral("paradox/paradoxdriver/joins/fk1.y02"),
          QStringLiteral("paradox/paradoxdriver/joins/fk1.val")},
         [](const QDir& d) { patchByte(d.filePath(QStringLiteral("fk1.db")), 0x2D, char(byteAt(d.filePath(QStringLiteral("fk1.px")), 0x2C) + 1)); },
         {QStringLiteral("  (primário)\t")}},
        {"Paradox .X one past its .Y",
         {QStringLiteral("paradox/paradoxdriver/joins/fk1.db"), QStringLiteral("paradox/paradoxdriver/joins/fk1.px"),
          QStringLiteral("paradox/paradoxdriver/joins/fk1.x02"), QStringLiteral("paradox/paradoxdriver/joins/fk1.y02"),
          QStringLiteral("paradox/paradoxdriver/joins/fk1.val")},
         [](const QDir& d) { patchByte(d.filePath(QStringLiteral("fk1.x02")), 0x2D, char(byteAt(d.filePath(QStringLiteral("fk1.y02")), 0x2C) + 1)); },
         {QStringLiteral("  ")}},  // the one secondary index; see below
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir current, stale;
        QStringList sources;
        for (const QString& f : c.files)
            sources << sample(f);
        const QString currentTable = copyInto(current.path(), sources);
        const QString staleTable = copyInto(stale.path(), sources);
        for (const QString& f : QDir(stale.path()).entryList(QDir::Files))
            QFile::setPermissions(QDir(stale.path()).filePath(f), QFile::ReadOwner | QFile::WriteOwner);
        c.markOutOfDate(QDir(stale.path()));

        const QStringList before = info(currentTable).split(QLatin1Char('\n'));
        const QStringList after = info(staleTable).split(QLatin1Char('\n'));
        ASSERT_EQ(after.size(), before.size());
        const qsizetype indexes = before.indexOf(QStringLiteral("Índices:"));
        ASSERT_GT(indexes, 0);
        int marked = 0;
        for (qsizetype i = 0; i < before.size(); ++i) {
            bool stale = false;
            if (i > indexes && !before[i].isEmpty()) {
                EXPECT_FALSE(before[i].contains(QStringLiteral("desatualizado"))) << before[i].toStdString();
                for (const QString& line : c.staleLines)
                    stale = stale || before[i].startsWith(line);
                // The secondary case: every index but the primary.
                if (c.staleLines == QStringList{QStringLiteral("  ")})
                    stale = !before[i].startsWith(QStringLiteral("  (primário)"));
            }
            if (!stale) {
                EXPECT_EQ(after[i], before[i]);
                continue;
            }
            ++marked;
            // The word joins the index's options, or starts them.
            const bool hasOptions = before[i].count(QLatin1Char('\t')) >= 2;
            EXPECT_EQ(after[i], before[i] + (hasOptions ? QStringLiteral(", desatualizado") : QStringLiteral("\tdesatualizado")));
        }
        EXPECT_EQ(marked, c.staleLines == QStringList{QStringLiteral("  ")} ? 1 : int(c.staleLines.size()));
    }
}
