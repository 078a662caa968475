// The file handle: whole-range reads and writes, errors in Portuguese, and overwrites held
// under a journal that reads see at once.
#include "tables/Error.h"
#include "tables/io/FaultyBackend.h"
#include "tables/io/File.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"
#include "tables/io/MemoryBackend.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;

namespace {

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

}  // namespace

TEST(File, ReadsWritesAndReportsTheEndOfTheFile)
{
    io::MemoryBackend mem;
    io::ScopedBackend use(mem);
    mem.put(QStringLiteral("/m/T.dbf"), QByteArray("0123456789"));
    io::File f(QStringLiteral("/m/T.dbf"), io::OpenMode::ReadWrite);
    f.write(8, "abcd", 4);
    EXPECT_EQ(f.readAll(), QByteArray("01234567abcd"));
    char buf[4];
    EXPECT_EQ(f.readSome(10, buf, 4), 2);
    EXPECT_EQ(errorOf([&] { f.read(10, buf, 4); }), QStringLiteral("Erro ao ler /m/T.dbf: fim inesperado do arquivo"));
    f.resize(3);
    EXPECT_EQ(f.readAll(), QByteArray("012"));
    EXPECT_EQ(errorOf([] { io::File(QStringLiteral("/m/nada.dbf"), io::OpenMode::Read); }),
              QStringLiteral("Arquivo não encontrado: /m/nada.dbf"));
}

TEST(File, AFullDiskIsNamedAsSuch)
{
    io::MemoryBackend mem;
    io::FaultyBackend faulty(mem);
    io::ScopedBackend use(faulty);
    mem.put(QStringLiteral("/m/T.db"), QByteArray(10, 'x'));
    io::File f(QStringLiteral("/m/T.db"), io::OpenMode::ReadWrite);
    faulty.failAt(1, io::FaultyBackend::Write, ENOSPC);
    EXPECT_EQ(errorOf([&] { f.write(0, "y", 1); }), QStringLiteral("Erro ao gravar /m/T.db: sem espaço em disco"));
    faulty.failAt(1, io::FaultyBackend::Sync, EIO);
    EXPECT_EQ(errorOf([&] { f.sync(); }), QStringLiteral("Erro ao gravar /m/T.db no disco: erro de entrada e saída no disco"));
}

TEST(File, HeldOverwritesAreSeenByReadsAndReachTheDisk)
{
    // Random overlapping writes under a journal against a plain model of the file.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("T.dbf"));
    QByteArray model(50000, '\0');
    for (int i = 0; i < model.size(); ++i)
        model[i] = char('a' + i % 26);
    {
        io::File f(path, io::OpenMode::Replace);
        f.write(0, model);
    }
    QRandomGenerator rng(7);
    {
        io::Operation op(QStringLiteral("Teste"), {path});
        io::File f(path, io::OpenMode::ReadWrite);
        for (int i = 0; i < 2000; ++i) {
            const qint64 at = rng.bounded(60000);
            const qint64 len = 1 + rng.bounded(300);
            QByteArray bytes(len, char('A' + i % 26));
            f.write(at, bytes);
            if (at + len > model.size())
                model.resize(at + len, '\0');
            std::memcpy(model.data() + at, bytes.constData(), size_t(len));
            if (i % 97 == 0) {
                const qint64 from = rng.bounded(model.size());
                const qint64 n = std::min<qint64>(500, model.size() - from);
                ASSERT_EQ(f.read(from, n), model.mid(from, n)) << "read " << from << " after write " << i;
            }
        }
        EXPECT_EQ(f.readAll(), model);
        f.close();
        ASSERT_TRUE(op.finish());
    }
    io::File again(path, io::OpenMode::Read);
    EXPECT_EQ(again.readAll(), model);
}
