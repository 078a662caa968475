// The rollback journal: a trial, a failure at any write, a kill at any point and an undo each
// leave every file of the family byte for byte as it was before the operation.
#include "tables/Error.h"
#include "tables/io/FaultyBackend.h"
#include "tables/io/File.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <map>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace quillora;

namespace {

using Snapshot = std::map<QString, QByteArray>;

// The names of the files that differ between two snapshots (empty when they are equal), so that
// a failure says which file went wrong instead of printing megabytes.
QStringList differences(const Snapshot& a, const Snapshot& b)
{
    QStringList names;
    for (const auto& [name, bytes] : a)
        if (!b.count(name) || b.at(name) != bytes)
            names << name + (b.count(name) ? QStringLiteral(" (%1 -> %2 bytes)").arg(bytes.size()).arg(b.at(name).size())
                                           : QStringLiteral(" (only after)"));
    for (const auto& [name, bytes] : b)
        if (!a.count(name))
            names << name + QStringLiteral(" (only before)");
    return names;
}

QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (char& c : b)
        c = char(rng.bounded(256));
    return b;
}

// Every file of a folder but the journals.
Snapshot snapshot(const QString& folder)
{
    Snapshot s;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        if (name.endsWith(QLatin1String(".quillora-journal")))
            continue;
        QFile f(QDir(folder).filePath(name));
        f.open(QIODevice::ReadOnly);
        s[name] = f.readAll();
    }
    return s;
}

// A dBase-like family beside an unrelated table, in a fresh folder.
struct Family {
    QTemporaryDir dir;
    QString table;
    Snapshot before;

    Family()
    {
        table = dir.filePath(QStringLiteral("T.dbf"));
        write(QStringLiteral("T.dbf"), noise(20000, 1));
        write(QStringLiteral("T.dbt"), noise(9000, 2));
        write(QStringLiteral("T.mdx"), noise(5000, 3));
        write(QStringLiteral("T.ndx"), noise(1000, 4));
        write(QStringLiteral("OUTRA.dbf"), noise(3000, 5));
        before = snapshot(dir.path());
    }
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    // What an operation does to a family: overwrites, growth, truncation, a replaced index, a
    // renamed one and a new file.
    void change()
    {
        io::File dbf(path("T.dbf"), io::OpenMode::ReadWrite);
        dbf.write(1, "\x7e\x0c\x0a", 3);
        for (int i = 0; i < 40; ++i)
            dbf.write(300 + i * 411, noise(97, 10 + i));
        dbf.write(20000, noise(30000, 60));
        dbf.write(4, "\x10\x27\x00\x00", 4);
        io::File dbt(path("T.dbt"), io::OpenMode::ReadWrite);
        dbt.write(8192, noise(2000, 61));
        dbt.resize(4096);
        dbt.write(0, "\x09\x00\x00\x00", 4);
        io::replaceFile(path("T.mdx"), noise(7000, 62), QStringLiteral("o índice"));
        io::rename(path("T.ndx"), path("T.ndx.desatualizado"));
        io::File x(path("T.X02"), io::OpenMode::Replace);
        x.write(0, noise(5000, 63));
        dbf.sync();
        dbt.sync();
    }
};

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}


// Runs `work` in a child killed at its Nth call; true when the kill happened.
bool killedAt(qint64 n, const std::function<void()>& work)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        io::FaultyBackend killer(io::posixBackend());
        killer.killAt(n);
        io::ScopedBackend use(killer);
        try {
            work();
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace

TEST(Journal, ADryRunLeavesEveryFileAsItWas)
{
    Family fam;
    io::Operation op(QStringLiteral("Adicionar"), {fam.table}, true);
    fam.change();
    EXPECT_NE(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
    EXPECT_FALSE(op.finish());
    EXPECT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
    EXPECT_FALSE(QFile::exists(fam.table + QStringLiteral(".quillora-journal")));
}

TEST(Journal, UndoRestoresTheFamilyOnceAndOnlyWhileNothingChangedSince)
{
    Family fam;
    {
        io::Operation op(QStringLiteral("Atualizar"), {fam.table});
        fam.change();
        EXPECT_TRUE(op.finish());
    }
    const Snapshot after = snapshot(fam.dir.path());
    EXPECT_NE(after, fam.before);
    EXPECT_EQ(io::undoableOperation(fam.table), QStringLiteral("Atualizar"));
    EXPECT_EQ(io::recoverFamily(fam.table).kind, io::Recovery::None) << "a complete journal is not rolled back on opening";
    EXPECT_EQ(snapshot(fam.dir.path()), after);

    io::undo(fam.table);
    EXPECT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
    EXPECT_EQ(errorOf([&] { io::undo(fam.table); }),
              QStringLiteral("Não há operação a desfazer na tabela %1").arg(fam.table));
}

TEST(Journal, UndoIsRefusedWhenAnotherProgramWroteAFileSince)
{
    Family fam;
    {
        io::Operation op(QStringLiteral("Adicionar"), {fam.table});
        fam.change();
        op.finish();
    }
    ::usleep(20000);
    fam.write(QStringLiteral("T.dbt"), QByteArray("outro programa"));
    const Snapshot changed = snapshot(fam.dir.path());
    EXPECT_EQ(errorOf([&] { io::undo(fam.table); }),
              QStringLiteral("Não é possível desfazer \"Adicionar\" na tabela %1: o arquivo T.dbt foi alterado depois da "
                             "operação")
                  .arg(fam.table));
    EXPECT_EQ(snapshot(fam.dir.path()), changed);
}

// What a whole operation leaves behind when nothing fails.
Snapshot changedFamily()
{
    Family fam;
    io::Operation op(QStringLiteral("Adicionar"), {fam.table});
    fam.change();
    op.finish();
    return snapshot(fam.dir.path());
}

TEST(Journal, AFailedWriteAtAnyPointRollsTheWholeOperationBack)
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    const Snapshot after = changedFamily();
    for (unsigned kinds : {unsigned(io::FaultyBackend::Write), unsigned(io::FaultyBackend::Sync | io::FaultyBackend::Grow |
                                                                         io::FaultyBackend::Rename | io::FaultyBackend::Open)}) {
        for (int n = 1;; ++n) {
            Family fam;
            io::FaultyBackend faulty(io::posixBackend());
            bool fired = false;
            bool kept = false;
            QString error;
            {
                io::ScopedBackend use(faulty);
                faulty.failAt(n, kinds, ENOSPC);
                io::Operation op(QStringLiteral("Adicionar"), {fam.table});
                error = errorOf([&] { fam.change(); });
                fired = faulty.fired();
                const QString finishing = errorOf([&] { kept = op.finish(); });
                if (finishing != QLatin1String("<no error>"))
                    error = finishing;
            }
            if (!fired)
                break;
            const QStringList changed = differences(snapshot(fam.dir.path()), fam.before);
            if (kept && error == QLatin1String("<no error>")) {
                // The one failure that is no failure: a journal that could not be created
                // beside the table goes to the state folder instead.
                ASSERT_EQ(differences(snapshot(fam.dir.path()), after).join(", ").toStdString(), "")
                    << "failure " << n << " of kinds " << kinds;
                continue;
            }
            EXPECT_TRUE(error.contains(QStringLiteral("sem espaço em disco"))) << qPrintable(error);
            // Kept or not, a failure leaves the family as it was before the operation.
            ASSERT_EQ(changed.join(", ").toStdString(), "") << "failure " << n << " of kinds " << kinds;
            ASSERT_LT(n, 1000);
        }
    }
    qunsetenv("XDG_STATE_HOME");
}

TEST(Journal, AnOperationKilledAtAnyPointIsRolledBackWhenTheTableIsOpened)
{
    const Snapshot after = changedFamily();
    for (qint64 n = 1;; ++n) {
        Family fam;
        const bool killed = killedAt(n, [&] {
            io::Operation op(QStringLiteral("Adicionar"), {fam.table});
            fam.change();
            op.finish();
        });
        if (!killed) {
            EXPECT_GT(n, 10);
            break;
        }
        io::recoverFamily(fam.table);
        const QStringList changed = differences(snapshot(fam.dir.path()), fam.before);
        if (!changed.isEmpty()) {
            // Killed after the completion mark reached the journal: the operation ended, and
            // it is the undo record now.
            ASSERT_EQ(differences(snapshot(fam.dir.path()), after).join(", ").toStdString(), "") << "killed at call " << n;
            ASSERT_EQ(io::undoableOperation(fam.table), QStringLiteral("Adicionar")) << "killed at call " << n;
        }
        ASSERT_LT(n, 1000);
    }
}

// A long run reaches the disk in several batches: appends go early, while overwrites of the
// original wait for the journal to hold what they replace. Killed anywhere, it is rolled back.
TEST(Journal, ALongRunWrittenInBatchesIsRolledBackWhereverItIsKilled)
{
    auto longRun = [](const QString& table) {
        io::File dbf(table, io::OpenMode::ReadWrite);
        const int chunk = 64 * 1024;
        for (int i = 0; i < 24; ++i)  // 1.5 MB past the end
            dbf.write(3000000 + qint64(i) * chunk, noise(chunk, 100 + i));
        for (int i = 0; i < 40; ++i)  // 2.5 MB over the original
            dbf.write(qint64(i) * chunk + 7, noise(chunk, 200 + i));
        for (int i = 24; i < 48; ++i)  // 1.5 MB more past the end
            dbf.write(3000000 + qint64(i) * chunk, noise(chunk, 100 + i));
        dbf.write(4, "\x10\x27\x00\x00", 4);
    };
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("T.dbf"));
    auto reset = [&] {
        QFile f(table);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(noise(3000000, 7));
    };
    reset();
    const Snapshot before = snapshot(dir.path());
    {
        io::Operation op(QStringLiteral("Adicionar"), {table});
        longRun(table);
        op.finish();
    }
    const Snapshot after = snapshot(dir.path());
    ASSERT_FALSE(differences(after, before).isEmpty());
    int rolledBack = 0;
    for (qint64 n = 1;; ++n) {
        reset();
        const bool killed = killedAt(n, [&] {
            io::Operation op(QStringLiteral("Adicionar"), {table});
            longRun(table);
            op.finish();
        });
        if (!killed)
            break;
        io::recoverFamily(table);
        const Snapshot now = snapshot(dir.path());
        if (differences(now, before).isEmpty())
            ++rolledBack;
        else
            ASSERT_EQ(differences(now, after).join(", ").toStdString(), "") << "killed at call " << n;
        ASSERT_LT(n, 1000);
    }
    EXPECT_GT(rolledBack, 3);
}

TEST(Journal, AnUndoKilledAtAnyPointIsFinishedByTheNextOne)
{
    for (qint64 n = 1;; ++n) {
        Family fam;
        {
            io::Operation op(QStringLiteral("Adicionar"), {fam.table});
            fam.change();
            op.finish();
        }
        const Snapshot after = snapshot(fam.dir.path());
        const bool killed = killedAt(n, [&] { io::undo(fam.table); });
        if (!killed) {
            EXPECT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
            break;
        }
        const Snapshot between = snapshot(fam.dir.path());
        if (between == after) {
            // Killed before the undo marked its start: still an ordinary undo record.
            io::undo(fam.table);
        } else {
            // An undo under way is finished when the table is next opened (unless it was
            // killed after removing its journal, with nothing left to do).
            const bool journalLeft = QFile::exists(fam.table + QStringLiteral(".quillora-journal"));
            const io::Recovery::Kind kind = io::recoverFamily(fam.table).kind;
            if (journalLeft)
                EXPECT_EQ(kind, io::Recovery::RolledBack) << "killed at call " << n;
        }
        ASSERT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "") << "killed at call " << n;
        ASSERT_LT(n, 1000);
    }
}

TEST(Journal, AJournalWithADamagedEndCountsAsInterrupted)
{
    Family fam;
    {
        io::Operation op(QStringLiteral("Adicionar"), {fam.table});
        fam.change();
        op.finish();
    }
    // The last record (the completion mark) torn: the operation did not end as far as anyone
    // can tell, so it is rolled back.
    const QString journal = fam.table + QStringLiteral(".quillora-journal");
    QFile j(journal);
    ASSERT_TRUE(j.open(QIODevice::ReadWrite));
    j.resize(j.size() - 3);
    j.close();
    const io::Recovery r = io::recoverFamily(fam.table);
    EXPECT_EQ(r.kind, io::Recovery::RolledBack);
    EXPECT_EQ(r.message, QStringLiteral("A operação \"Adicionar\" na tabela %1 foi interrompida; a tabela foi restaurada "
                                        "como estava antes dela")
                             .arg(fam.table));
    EXPECT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
}

TEST(Journal, AnOperationStillRunningElsewhereIsLeftAlone)
{
    Family fam;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        io::Operation op(QStringLiteral("Adicionar"), {fam.table});
        io::File dbf(fam.path("T.dbf"), io::OpenMode::ReadWrite);
        dbf.write(0, QByteArray(5000, 'z'));
        dbf.sync();
        (void)!::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(io::recoverFamily(fam.table).kind, io::Recovery::None);
    EXPECT_NE(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(io::recoverFamily(fam.table).kind, io::Recovery::RolledBack);
    EXPECT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
    ::close(ready[0]);
    ::close(ready[1]);
}

namespace {
// A table folder that takes no new journal file (the table itself stays writable).
class NoJournalBesideBackend : public io::FaultyBackend {
public:
    NoJournalBesideBackend(const QString& folder) : FaultyBackend(io::posixBackend()), folder_(folder) {}
    int open(const QString& path, io::OpenMode mode) override
    {
        if (path.startsWith(folder_ + QLatin1Char('/')) && path.endsWith(QLatin1String(".quillora-journal")) &&
            mode != io::OpenMode::Read && mode != io::OpenMode::ReadWrite)
            return -EACCES;
        return FaultyBackend::open(path, mode);
    }

private:
    QString folder_;
};
}  // namespace

TEST(Journal, GoesToTheUsersStateFolderWhenTheTablesFolderTakesNoNewFile)
{
    Family fam;
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    NoJournalBesideBackend backend(fam.dir.path());
    io::ScopedBackend use(backend);
    {
        io::Operation op(QStringLiteral("Adicionar"), {fam.table});
        fam.change();
        EXPECT_TRUE(op.finish());
    }
    EXPECT_FALSE(QFile::exists(fam.table + QStringLiteral(".quillora-journal")));
    const QStringList kept = QDir(state.filePath(QStringLiteral("quillora/journals"))).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(kept.first().startsWith(QStringLiteral("T.dbf-"))) << qPrintable(kept.first());
    io::undo(fam.table);
    EXPECT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
    EXPECT_TRUE(QDir(state.filePath(QStringLiteral("quillora/journals"))).entryList(QDir::Files).isEmpty());
    qunsetenv("XDG_STATE_HOME");
}

namespace {
// Read-only media: nothing opens for writing.
class ReadOnlyMedia : public io::FaultyBackend {
public:
    ReadOnlyMedia() : FaultyBackend(io::posixBackend()) {}
    int open(const QString& path, io::OpenMode mode) override
    {
        return mode == io::OpenMode::Read ? FaultyBackend::open(path, mode) : -EROFS;
    }
};
}  // namespace

TEST(Journal, AnInterruptedOperationOnReadOnlyMediaOpensReadOnlyWithAWarning)
{
    Family fam;
    const pid_t pid = ::fork();
    if (pid == 0) {
        io::Operation op(QStringLiteral("Atualizar"), {fam.table});
        io::File dbf(fam.path("T.dbf"), io::OpenMode::ReadWrite);
        dbf.write(0, QByteArray(100, 'z'));
        dbf.sync();
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    const Snapshot interrupted = snapshot(fam.dir.path());
    {
        ReadOnlyMedia media;
        io::ScopedBackend use(media);
        const io::Recovery r = io::recoverFamily(fam.table);
        EXPECT_EQ(r.kind, io::Recovery::ReadOnly);
        EXPECT_EQ(r.message, QStringLiteral("A tabela %1 tem uma operação interrompida (\"Atualizar\") que não pode ser desfeita "
                                            "porque o disco não aceita gravação; ela será aberta somente para leitura e pode "
                                            "conter parte da operação")
                                 .arg(fam.table));
        // Reading goes on; writing is refused with the same words.
        EXPECT_NO_THROW(io::File(fam.path("T.dbf"), io::OpenMode::Read));
        EXPECT_EQ(errorOf([&] { io::File(fam.path("T.dbt"), io::OpenMode::ReadWrite); }), r.message);
    }
    EXPECT_EQ(differences(snapshot(fam.dir.path()), interrupted).join(", ").toStdString(), "");
}

TEST(Journal, AWriteThatFailsInADryRunIsReportedNotTakenForTheTrialsRollback)
{
    Family fam;
    io::FaultyBackend faulty(io::posixBackend());
    io::ScopedBackend use(faulty);
    io::Operation op(QStringLiteral("Adicionar"), {fam.table}, true);
    faulty.failAt(3, io::FaultyBackend::Write, ENOSPC);
    const QString failure = errorOf([&] { fam.change(); });
    ASSERT_TRUE(faulty.fired());
    EXPECT_EQ(errorOf([&] { op.closeAndFinish([] {}, failure); }),
              failure + QStringLiteral("\nA operação foi desfeita: as tabelas estão como antes dela."));
    EXPECT_EQ(differences(snapshot(fam.dir.path()), fam.before).join(", ").toStdString(), "");
}
