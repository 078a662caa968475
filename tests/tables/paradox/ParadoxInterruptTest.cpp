// Writes that do not finish: a disk that fills up, and a process stopped after any write call.
// What is left on disk must read the same here as in pxlib, and the next write must put the
// family back in step.
#include "tables/Error.h"
#include "tables/Session.h"
#include "tables/io/Backend.h"
#include "tables/io/FaultyBackend.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/tables/paradox/ParadoxTestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class ParadoxInterrupt : public ::testing::Test {
protected:
    void SetUp() override { Session::clearPasswords(); }
    QString file(const char* name) { return QDir(dir.path()).filePath(QString::fromUtf8(name)); }

    // A keyed table of 1 KiB blocks (9 records each) holding keys 10, 20, ... 300, with a memo
    // when asked.
    QString keyedTable(const char* name, bool withMemo)
    {
        const QString db = file(name);
        QList<FieldDef> fields{FieldDef{QStringLiteral("Codigo"), ftInteger}, FieldDef{QStringLiteral("Nome"), ftString, 100}};
        if (withMemo)
            fields << FieldDef{QStringLiteral("Obs"), ftMemo, 10};
        createParadoxTable(db, fields, {7, 1, QStringLiteral("ascii"), 0, 1});
        ParadoxTable t(db);
        for (int k = 10; k <= 300; k += 10)
            t.insert(row({Value::integer(k), Value::text(QStringLiteral("nome %1").arg(k))}), NoRecord);
        t.flush();
        return db;
    }
    QTemporaryDir dir;
};

TEST_F(ParadoxInterrupt, aFullDiskSaysSo)
{
    const QString db = keyedTable("cheio.db", true);
    const QByteArray dbBefore = readFile(db), pxBefore = readFile(file("cheio.px"));
    io::FaultyBackend faulty(io::posixBackend());
    // Every write call of an insert in turn: data block, .PX, header, .MB.
    qint64 failed = 0;
    for (qint64 n = 1;; ++n) {
        SCOPED_TRACE(n);
        writeFile(db, dbBefore);
        writeFile(file("cheio.px"), pxBefore);
        QFile::remove(file("cheio.mb"));
        QString message;
        {
            io::ScopedBackend use(faulty);
            faulty.failAt(n, io::FaultyBackend::Write, ENOSPC);
            try {
                ParadoxTable t(db);
                t.insert(row({Value::integer(155), Value::text(QStringLiteral("novo")), Value::text(QString(3000, u'x'))}),
                         NoRecord);
                t.flush();
            } catch (const Error& e) {
                message = e.text();
            }
        }
        if (!faulty.fired()) {
            EXPECT_TRUE(message.isEmpty()) << message.toStdString();
            break;
        }
        ++failed;
        EXPECT_TRUE(message.contains(QStringLiteral("sem espaço em disco"))) << message.toStdString();
    }
    EXPECT_GE(failed, 4);
}

#ifdef Q_OS_UNIX
// Stops the process, as a power cut would, just before its Nth write call.
class StopAtWrite : public io::FaultyBackend {
public:
    StopAtWrite(qint64 n) : io::FaultyBackend(io::posixBackend()), stopAt_(n) {}
    qint64 pwrite(int handle, const char* buf, qint64 len, qint64 offset) override
    {
        if (++seen_ == stopAt_)
            stopHere();
        return io::FaultyBackend::pwrite(handle, buf, len, offset);
    }

private:
    qint64 stopAt_;
    qint64 seen_ = 0;
};

void writeSomeChanges(const QString& db)
{
    ParadoxTable t(db);
    // Appends that fill the last block and open new ones, an insert that splits a full block,
    // a delete, and an update that moves a record to another block.
    for (int k = 310; k <= 400; k += 10)
        t.insert(row({Value::integer(k), Value::text(QStringLiteral("fim %1").arg(k))}), NoRecord);
    t.insert(row({Value::integer(15), Value::text(QStringLiteral("meio"))}), NoRecord);
    t.remove(t.atPosition(5));
    t.update(t.atPosition(3), row({Value::integer(395), Value()}), {true, false});
    t.flush();
}

TEST_F(ParadoxInterrupt, aWriteStoppedAnywhereReadsTheSameHereAsInPxlib)
{
    QUILLORA_REQUIRE_PXLIB();
    const QString db = keyedTable("parada.db", false);
    const QString px = file("parada.px");
    const QByteArray dbBefore = readFile(db), pxBefore = readFile(px);
    int stops = 0;
    for (qint64 n = 1;; ++n) {
        SCOPED_TRACE(n);
        writeFile(db, dbBefore);
        writeFile(px, pxBefore);
        const ChildEnd ended = runInChild([&] {
            StopAtWrite stop(n);
            io::ScopedBackend use(stop);
            writeSomeChanges(db);
        });
        ASSERT_TRUE(ended == ChildEnd::Stopped || ended == ChildEnd::Finished);
        QStringList theirs;
        QString why;
        ASSERT_TRUE(pxlibDump(db, &theirs, &why)) << why.toStdString();
        {
            ParadoxTable t(db);
            EXPECT_EQ(dumpLikePxlib(t), theirs);
            EXPECT_EQ(t.count(), theirs.size());
        }
        // The next write puts the blocks, the header and the .PX back in step.
        {
            ParadoxTable t(db);
            t.insert(row({Value::integer(1), Value::text(QStringLiteral("depois"))}), NoRecord);
            t.flush();
        }
        EXPECT_EQ(checkParadoxTable(db), QStringList());
        ASSERT_TRUE(pxlibDump(db, &theirs, &why)) << why.toStdString();
        {
            ParadoxTable t(db);
            EXPECT_EQ(dumpLikePxlib(t), theirs);
        }
        if (ended == ChildEnd::Finished)
            break;
        ++stops;
    }
    EXPECT_GE(stops, 20);
}
#endif

}  // namespace
