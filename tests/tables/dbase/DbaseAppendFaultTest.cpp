// A disk that fills up in the middle of an append: whatever write fails, the .dbf must hold the
// records its header counts and nothing after them but the end mark, so that readers which go
// by the end mark (dbfread) see the same records as readers which go by the count.
#include "tables/Error.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/io/Endian.h"
#include "tables/io/FaultyBackend.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

using namespace quillora;
using namespace quillora::test;

namespace {

// Three batches (1,000 records each at most) and a few memos: a dozen writes in all.
constexpr int kRecords = 2100;

QList<Value> row(int i)
{
    return {Value::text(QStringLiteral("Cliente %1 ç").arg(i)), Value::floating(i * 0.5),
            Value::date(QDate(2001, 1, 1).addDays(i)),
            i % 700 == 0 ? Value::text(QStringLiteral("nota %1").arg(i)) : Value()};
}

struct Layout {
    qint64 headerLen = 0;
    qint64 recordLen = 0;
    qint64 count = 0;
};

Layout layoutOf(const QByteArray& bytes)
{
    if (bytes.size() < 12)
        return {};
    return {io::le16(bytes.constData() + 8), io::le16(bytes.constData() + 10), io::le32(bytes.constData() + 4)};
}

// The file on disk holds exactly the counted records, then the end mark; dbfread reads the same
// records, each the one that was appended.
void expectCountedRecordsOnly(const QString& path, const char* when)
{
    const QByteArray bytes = readFile(path);
    const Layout l = layoutOf(bytes);
    ASSERT_GT(l.recordLen, 0) << when;
    EXPECT_EQ(bytes.size(), l.headerLen + l.count * l.recordLen + 1) << when << ": count " << l.count;
    EXPECT_EQ(bytes.back(), '\x1A') << when;

    const QJsonObject theirs = dbfreadOracle(path, QStringLiteral("cp850"));
    ASSERT_FALSE(theirs.contains(QStringLiteral("error"))) << theirs[QStringLiteral("error")].toString().toStdString();
    const QJsonArray recs = theirs[QStringLiteral("records")].toArray();
    ASSERT_EQ(recs.size(), l.count) << when;
    for (qsizetype i : {qsizetype(0), recs.size() - 1}) {
        if (i < 0 || i >= recs.size())
            continue;
        QStringList ours;
        for (const Value& v : row(int(i)))
            ours << show(v);
        const QJsonArray r = recs[i].toArray();
        for (qsizetype f = 0; f < ours.size(); ++f)
            EXPECT_TRUE(sameShown(ours[f], r[f].toString())) << when << ": record " << i << " field " << f;
    }
}

}  // namespace

TEST(DbaseAppendFault, AFullDiskAtAnyWriteLeavesOnlyTheCountedRecords)
{
    qint64 failures = 0;
    for (qint64 n = 1;; ++n) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cheio.dbf"));
        createDbaseTable(path, {fieldDef("NOME", ftString, 20), fieldDef("VALOR", ftFloat, 10, 2), fieldDef("NASC", ftDate),
                                fieldDef("OBS", ftMemo)},
                         DbaseLevel::III, QStringLiteral("IBM850"));
        io::FaultyBackend fb(io::posixBackend());
        QString error;
        {
            io::ScopedBackend use(fb);
            fb.failAt(n, io::FaultyBackend::Write, ENOSPC);
            std::unique_ptr<TableFile> t = openDbaseTable(path);
            try {
                t->beginWrite();
                for (int i = 0; i < kRecords; ++i)
                    t->insert(row(i), NoRecord);
                t->flush();
            } catch (const Error& e) {
                error = e.text();
                // As the failed write left it, before the table is closed.
                expectCountedRecordsOnly(path, "after the failed write");
            }
        }
        if (!fb.fired()) {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(layoutOf(readFile(path)).count, kRecords);
            break;
        }
        ++failures;
        EXPECT_TRUE(error.contains(QStringLiteral("sem espaço em disco"))) << "write " << n << ": " << error.toStdString();
        // Closing tried the batch again (the disk had room by then).
        expectCountedRecordsOnly(path, "after close");
        ASSERT_LT(n, 200) << "the run never got past the failure";
    }
    EXPECT_GE(failures, 6);  // every batch, its header count, and the memos each failed once
}
