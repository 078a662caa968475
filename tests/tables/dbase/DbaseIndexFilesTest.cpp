// The index files beside dBase tables, as other programs wrote them.
#include "tables/dbase/DbaseIndexFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace quillora::dbase;
using quillora::test::sample;

TEST(DbaseIndexFiles, ProductionIndexTagsOfRealFiles)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QList<DbaseTagInfo> dbase4 = readMdxTags(sample(QStringLiteral("dbase/idataconnect-jdbfdriver/TEST.MDX")));
    ASSERT_EQ(dbase4.size(), 2);
    EXPECT_EQ(dbase4[0].name, QStringLiteral("TEST1"));
    EXPECT_EQ(dbase4[0].expression, QStringLiteral("TEST1"));
    EXPECT_EQ(dbase4[0].keyType, 'C');
    EXPECT_EQ(dbase4[0].keyLength, 50);
    EXPECT_EQ(dbase4[1].name, QStringLiteral("TEST2"));
    EXPECT_EQ(dbase4[1].keyType, 'N');
    EXPECT_EQ(dbase4[1].keyLength, 12);
    EXPECT_FALSE(dbase4[1].descending);

    const QList<DbaseTagInfo> xsql = readMdxTags(sample(QStringLiteral("dbase/generated-xbase64-4.1.11/XSQL.MDX")));
    ASSERT_EQ(xsql.size(), 2);
    EXPECT_EQ(xsql[0].name, QStringLiteral("NAMETAG"));
    EXPECT_EQ(xsql[0].expression.toUpper(), QStringLiteral("NAME"));
    EXPECT_EQ(xsql[1].name, QStringLiteral("QTYTAG"));
    EXPECT_EQ(xsql[1].keyType, 'N');
}

TEST(DbaseIndexFiles, SingleIndexFilesOfRealFiles)
{
    QUILLORA_REQUIRE_SAMPLES();
    struct Case {
        const char* file;
        const char* expression;
        char type;
        int length;
    };
    for (const Case& c : {Case{"dbase/incubus-dbd-xbase/ndx-char.ndx", "v1", 'C', 78},
                          Case{"dbase/incubus-dbd-xbase/ndx-num.ndx", nullptr, 'N', 8},
                          Case{"dbase/incubus-dbd-xbase/ndx-date.ndx", nullptr, 'N', 8},
                          Case{"dbase/emelhu-ndbfreaderex/test_ix.NDX", nullptr, 'C', 99}}) {
        const DbaseTagInfo tag = readNdxHeader(sample(QString::fromLatin1(c.file)));
        if (c.expression) {
            EXPECT_EQ(tag.expression, QString::fromLatin1(c.expression)) << c.file;
        }
        EXPECT_FALSE(tag.expression.isEmpty()) << c.file;
        EXPECT_EQ(tag.keyType, c.type) << c.file;
        EXPECT_EQ(tag.keyLength, c.length) << c.file;
    }
}

TEST(DbaseIndexFiles, DamagedFilesGiveAClearError)
{
    QTemporaryDir dir;
    const QString mdx = dir.filePath(QStringLiteral("x.mdx"));
    QByteArray bytes(544, '\0');
    bytes[25] = 48;
    bytes[26] = 32;
    bytes[28] = 1;  // one tag, whose entry and header lie past the end of the file
    quillora::test::writeFile(mdx, bytes);
    EXPECT_TRUE(quillora::test::errorText([&] { readMdxTags(mdx); }).startsWith(QStringLiteral("Índice danificado: ")));
    const QString ndx = dir.filePath(QStringLiteral("x.ndx"));
    quillora::test::writeFile(ndx, QByteArray(100, 'x'));
    EXPECT_TRUE(quillora::test::errorText([&] { readNdxHeader(ndx); }).contains(ndx));
}
