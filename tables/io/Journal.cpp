#include "tables/io/Journal.h"

#include "tables/Error.h"
#include "tables/io/Backend.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"
#include "tables/io/FileOps.h"
#include "tables/io/JournalFormat.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace quillora::io {

namespace {

constexpr qint64 kPage = 4096;
// Originals are saved in runs of at most this many pages per record.
constexpr qint64 kRunPages = 256;

std::vector<Journal*>& active()
{
    static std::vector<Journal*> journals;
    return journals;
}
quint64 g_generation = 1;

std::map<QString, QString>& frozen()
{
    static std::map<QString, QString> families;
    return families;
}

std::function<void(const Recovery&)>& notifier()
{
    static std::function<void(const Recovery&)> n;
    return n;
}

QString folderOf(const QString& absPath)
{
    const int slash = absPath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : absPath.left(slash);
}

QString nameOf(const QString& absPath)
{
    return absPath.mid(absPath.lastIndexOf(QLatin1Char('/')) + 1);
}

// The table's name up to its extension, upper case: the family's stem.
QString stemOf(const QString& absPath)
{
    const QString name = nameOf(absPath);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? name.left(dot) : name).toUpper();
}

bool inFamily(const QString& tableAbs, const QString& absPath)
{
    if (folderOf(absPath) != folderOf(tableAbs))
        return false;
    const QString name = nameOf(absPath);
    if (name.endsWith(QLatin1String(kJournalSuffix)))
        return false;
    const QString stem = stemOf(tableAbs);
    return name.size() > stem.size() && name[stem.size()] == QLatin1Char('.') &&
           name.left(stem.size()).toUpper() == stem;
}

}  // namespace

QString journalBeside(const QString& tableAbs)
{
    return tableAbs + QLatin1String(kJournalSuffix);
}

QString journalInStateFolder(const QString& tableAbs)
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/state");
    const QByteArray hash = QCryptographicHash::hash(tableAbs.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return base + QStringLiteral("/quillora/journals/") + nameOf(tableAbs) + QLatin1Char('-') +
           QString::fromLatin1(hash) + QLatin1String(kJournalSuffix);
}

struct Journal::Entry {
    quint32 id = 0;
    QString path;
    bool existed = false;
    qint64 originalSize = 0;
    bool whole = false;
    std::vector<bool> saved;  // by page, for the pages of the original size
    int reader = -1;
};

Journal::Journal(const QString& tablePath, const QString& operation)
    : tablePath_(absolute(tablePath)), folder_(folderOf(tablePath_)), stem_(stemOf(tablePath_)), operation_(operation)
{
    active().push_back(this);
    ++g_generation;
}

Journal::~Journal()
{
    auto& a = active();
    a.erase(std::remove(a.begin(), a.end(), this), a.end());
    ++g_generation;
    for (auto& e : entries_)
        if (e->reader >= 0)
            backend().close(e->reader);
    if (handle_ >= 0) {
        backend().unlock(handle_);
        backend().close(handle_);
    }
}

bool Journal::covers(const QString& absPath) const
{
    return inFamily(tablePath_, absPath);
}

Journal* Journal::covering(const QString& absPath)
{
    for (Journal* j : active())
        if (!j->completed_ && j->covers(absPath))
            return j;
    return nullptr;
}

quint64 Journal::generation()
{
    return g_generation;
}

void Journal::open()
{
    if (handle_ >= 0)
        return;
    // Beside the table when its folder takes a new file; else in the user's state folder.
    const QString beside = journalBeside(tablePath_);
    const QString elsewhere = journalInStateFolder(tablePath_);
    // An interrupted operation of another program, left since this one opened the table, must be
    // rolled back before anything is written over it; its journal is never replaced.
    for (const QString& existing : {beside, elsewhere}) {
        if (!backend().stat(existing).exists)
            continue;
        const int old = backend().open(existing, OpenMode::ReadWrite);
        if (old < 0)
            continue;
        const bool busy = backend().lock(old, true) < 0;
        const bool hot = !busy && !journalSettled(old) && readJournal(old).hot();
        backend().unlock(old);
        backend().close(old);
        if (busy || hot) {
            failed_ = true;
            throw FileError(busy ? QStringLiteral("A tabela %1 está sendo gravada por outro programa").arg(tablePath_)
                                 : QStringLiteral("A tabela %1 tem uma operação interrompida; feche-a e abra-a de novo para "
                                                  "restaurá-la antes de gravar")
                                       .arg(tablePath_));
        }
    }
    int h = backend().open(beside, OpenMode::Replace);
    journalPath_ = beside;
    if (h < 0) {
        backend().makeFolders(folderOf(elsewhere));
        h = backend().open(elsewhere, OpenMode::Replace);
        journalPath_ = elsewhere;
        if (h < 0) {
            failed_ = true;
            throw FileError(QStringLiteral("Não foi possível criar o diário de recuperação da tabela %1: %2")
                                .arg(tablePath_, errorText(h)));
        }
    }
    // The undo record of an earlier operation is replaced by this one wherever it was.
    const QString other = journalPath_ == beside ? elsewhere : beside;
    if (backend().stat(other).exists)
        backend().remove(other);
    handle_ = h;
    backend().lock(handle_, true);
    journalSize_ = 0;
    buffer_ = journalHeader();
    QByteArray begin;
    putString(begin, tablePath_);
    putString(begin, operation_);
    putInt(begin, QDateTime::currentMSecsSinceEpoch());
    append(kRecordBegin, begin);
    writeBuffer();
    const int rc = backend().syncFolder(folderOf(journalPath_));
    if (rc < 0) {
        failed_ = true;
        throw FileError(QStringLiteral("Erro ao gravar o diário de recuperação %1: %2").arg(journalPath_, errorText(rc)));
    }
}

void Journal::append(int type, const QByteArray& payload)
{
    const qint64 start = buffer_.size();
    std::memcpy(beginJournalRecord(buffer_, type, payload.size()), payload.constData(), size_t(payload.size()));
    endJournalRecord(buffer_, start);
    recordAppended();
}

void Journal::recordAppended()
{
    needsSync_ = true;
    if (buffer_.size() >= (qint64(4) << 20))
        writeBuffer();
}

void Journal::writeBuffer()
{
    qint64 done = 0;
    while (done < buffer_.size()) {
        const qint64 n = backend().pwrite(handle_, buffer_.constData() + done, buffer_.size() - done, journalSize_ + done);
        if (n <= 0) {
            failed_ = true;
            throw FileError(QStringLiteral("Erro ao gravar o diário de recuperação %1: %2")
                                .arg(journalPath_, errorText(n < 0 ? int(-n) : EIO)));
        }
        done += n;
    }
    journalSize_ += buffer_.size();
    buffer_.resize(0);  // keeps its room for the next records
}

void Journal::sync()
{
    if (!needsSync_ || handle_ < 0)
        return;
    writeBuffer();
    const int rc = backend().sync(handle_);
    if (rc < 0) {
        failed_ = true;
        throw FileError(QStringLiteral("Erro ao gravar o diário de recuperação %1: %2").arg(journalPath_, errorText(rc)));
    }
    needsSync_ = false;
    synced_ = true;
}

bool Journal::needsSyncBefore(const QString& absPath, qint64 offset, qint64 len) const
{
    if (needsSync_ || handle_ < 0)
        return true;
    for (const auto& e : entries_) {
        if (e->path != absPath)
            continue;
        if (!e->existed || e->whole || offset >= e->originalSize || len <= 0)
            return false;
        const qint64 last = std::min(offset + len, e->originalSize) - 1;
        for (qint64 p = offset / kPage; p <= last / kPage; ++p)
            if (!e->saved[size_t(p)])
                return true;
        return false;
    }
    return true;  // a file the journal has not met yet
}

Journal::Entry& Journal::entry(const QString& absPath)
{
    for (auto& e : entries_)
        if (e->path == absPath)
            return *e;
    open();
    auto e = std::make_unique<Entry>();
    e->id = quint32(entries_.size());
    e->path = absPath;
    const FileStat s = backend().stat(absPath);
    e->existed = s.exists && !s.isDir;
    e->originalSize = e->existed ? s.size : 0;
    e->saved.assign(size_t((e->originalSize + kPage - 1) / kPage), false);
    QByteArray payload;
    putInt(payload, e->id);
    putString(payload, absPath);
    putInt(payload, e->existed ? 1 : 0);
    putInt(payload, e->originalSize);
    putInt(payload, s.mode);
    append(kRecordFile, payload);
    entries_.push_back(std::move(e));
    return *entries_.back();
}

void Journal::savePages(Entry& e, qint64 first, qint64 last)
{
    last = std::min<qint64>(last, qint64(e.saved.size()) - 1);
    qint64 p = first;
    while (p <= last) {
        if (e.saved[size_t(p)]) {
            ++p;
            continue;
        }
        qint64 q = p;
        while (q + 1 <= last && !e.saved[size_t(q + 1)] && q + 1 - p < kRunPages)
            ++q;
        if (e.reader < 0) {
            e.reader = backend().open(e.path, OpenMode::Read);
            if (e.reader < 0) {
                failed_ = true;
                throw FileError(QStringLiteral("Erro ao ler %1: %2").arg(e.path, errorText(e.reader)));
            }
        }
        const qint64 offset = p * kPage;
        const qint64 length = std::min((q + 1) * kPage, e.originalSize) - offset;
        // The original bytes go from the file straight into the record in the buffer.
        const qint64 start = buffer_.size();
        char* payload = beginJournalRecord(buffer_, kRecordPages, 16 + length);
        putLe64(payload, quint64(e.id));
        putLe64(payload + 8, quint64(offset));
        qint64 got = 0;
        while (got < length) {
            const qint64 n = backend().pread(e.reader, payload + 16 + got, length - got, offset + got);
            if (n <= 0) {
                buffer_.resize(start);
                failed_ = true;
                throw FileError(QStringLiteral("Erro ao ler %1: %2")
                                    .arg(e.path, n < 0 ? errorText(int(-n)) : QStringLiteral("fim inesperado do arquivo")));
            }
            got += n;
        }
        endJournalRecord(buffer_, start);
        recordAppended();
        for (qint64 i = p; i <= q; ++i)
            e.saved[size_t(i)] = true;
        p = q + 1;
    }
}

void Journal::beforeWrite(const QString& absPath, qint64 offset, qint64 len)
{
    Entry& e = entry(absPath);
    if (!e.existed || e.whole || offset >= e.originalSize || len <= 0)
        return;
    savePages(e, offset / kPage, (std::min(offset + len, e.originalSize) - 1) / kPage);
}

void Journal::beforeResize(const QString& absPath, qint64 newSize)
{
    Entry& e = entry(absPath);
    if (e.existed && !e.whole && newSize < e.originalSize)
        savePages(e, newSize / kPage, (e.originalSize - 1) / kPage);
}

void Journal::beforeWholeChange(const QString& absPath)
{
    Entry& e = entry(absPath);
    if (e.existed && !e.whole && e.originalSize > 0)
        savePages(e, 0, (e.originalSize - 1) / kPage);
    e.whole = true;
}

void Journal::flushHeld()
{
    while (!holders_.empty())
        (*holders_.begin())->flushHeld();
}

void Journal::complete()
{
    if (completed_)
        return;
    flushHeld();
    if (handle_ < 0) {
        completed_ = true;
        ++g_generation;
        return;
    }
    QByteArray payload;
    putInt(payload, qint64(entries_.size()));
    for (const auto& e : entries_) {
        const FileStat s = backend().stat(e->path);
        putInt(payload, e->id);
        putInt(payload, s.exists ? 1 : 0);
        putInt(payload, s.size);
        putInt(payload, s.mtimeNs);
    }
    append(kRecordComplete, payload);
    needsSync_ = true;
    sync();
    completed_ = true;
    ++g_generation;
}

void Journal::release()
{
    if (handle_ < 0)
        return;
    backend().unlock(handle_);
    backend().close(handle_);
    handle_ = -1;
}

void Journal::rollback()
{
    completed_ = true;  // nothing more is recorded; a completed journal is rolled back all the same
    ++g_generation;
    // Held overwrites reach the files first (journaled like any other), so that what is put
    // back afterwards is the last word on every byte.
    for (File* f : std::set<File*>(holders_))
        try {
            f->flushHeld();
        } catch (...) {
        }
    holders_.clear();
    if (handle_ < 0)
        return;
    try {
        writeBuffer();
    } catch (...) {
        // What could not be written describes changes that never reached the files.
    }
    backend().sync(handle_);
    const JournalContent content = readJournal(handle_);
    restoreFamily(content, handle_);
    backend().unlock(handle_);
    backend().close(handle_);
    handle_ = -1;
    backend().remove(journalPath_);
    backend().syncFolder(folderOf(journalPath_));
}

// --- Opening, undo ------------------------------------------------------------------------

namespace {

struct FoundJournal {
    QString path;
    int handle = -1;
    ~FoundJournal()
    {
        if (handle >= 0) {
            backend().unlock(handle);
            backend().close(handle);
        }
    }
};

// Opens the journal of a table, wherever it is, for writing and locked. Returns false when there
// is none; `busy` when another program holds it; `readOnly` when it can only be read.
bool findJournal(const QString& tableAbs, FoundJournal& found, bool* busy, bool* readOnly)
{
    *busy = *readOnly = false;
    for (const QString& path : {journalBeside(tableAbs), journalInStateFolder(tableAbs)}) {
        const FileStat s = backend().stat(path);
        if (!s.exists)
            continue;
        found.path = path;
        found.handle = backend().open(path, OpenMode::ReadWrite);
        if (found.handle < 0) {
            found.handle = backend().open(path, OpenMode::Read);
            *readOnly = true;
            if (found.handle < 0)
                return false;
        }
        if (!*readOnly && backend().lock(found.handle, true) < 0) {
            *busy = true;
            return true;
        }
        return true;
    }
    return false;
}

void finishRestore(FoundJournal& found)
{
    backend().unlock(found.handle);
    backend().close(found.handle);
    found.handle = -1;
    backend().remove(found.path);
    backend().syncFolder(folderOf(found.path));
}

}  // namespace

Recovery recoverFamily(const QString& tablePath)
{
    Recovery r;
    const QString tableAbs = absolute(tablePath);
    if (Journal* j = Journal::covering(tableAbs); j && j->started())
        return r;  // this program's own operation is running on it
    FoundJournal found;
    bool busy = false, readOnly = false;
    if (!findJournal(tableAbs, found, &busy, &readOnly) || busy || journalSettled(found.handle))
        return r;
    const JournalContent content = readJournal(found.handle);
    if (!content.valid || !content.hot())
        return r;
    const QString op = content.operation.isEmpty() ? QStringLiteral("?") : content.operation;
    if (readOnly) {
        r.kind = Recovery::ReadOnly;
        r.message = QStringLiteral("A tabela %1 tem uma operação interrompida (\"%2\") que não pode ser desfeita porque o disco "
                                   "não aceita gravação; ela será aberta somente para leitura e pode conter parte da operação")
                        .arg(tableAbs, op);
        frozen()[tableAbs] = r.message;
    } else {
        restoreFamily(content, found.handle);
        finishRestore(found);
        r.kind = Recovery::RolledBack;
        r.message = QStringLiteral("A operação \"%1\" na tabela %2 foi interrompida; a tabela foi restaurada como estava antes dela")
                        .arg(op, tableAbs);
    }
    if (notifier())
        notifier()(r);
    return r;
}

void setRecoveryNotifier(std::function<void(const Recovery&)> n)
{
    notifier() = std::move(n);
}

QString frozenReason(const QString& absPath)
{
    for (const auto& [table, reason] : frozen())
        if (inFamily(table, absPath) || table == absPath)
            return reason;
    return {};
}

QString undoableOperation(const QString& tablePath, QString* why)
{
    const QString tableAbs = absolute(tablePath);
    FoundJournal found;
    bool busy = false, readOnly = false;
    auto no = [&](const QString& text) {
        if (why)
            *why = text;
        return QString();
    };
    if (!findJournal(tableAbs, found, &busy, &readOnly))
        return no(QStringLiteral("Não há operação a desfazer na tabela %1").arg(tableAbs));
    if (busy)
        return no(QStringLiteral("A tabela %1 está em uso por outra operação").arg(tableAbs));
    const JournalContent content = readJournal(found.handle);
    if (!content.valid || !content.complete)
        return no(QStringLiteral("Não há operação a desfazer na tabela %1").arg(tableAbs));
    return content.operation;
}

void undo(const QString& tablePath)
{
    const QString tableAbs = absolute(tablePath);
    if (Journal::covering(tableAbs))
        throw FileError(QStringLiteral("A tabela %1 está em uso por uma operação").arg(tableAbs));
    FoundJournal found;
    bool busy = false, readOnly = false;
    if (!findJournal(tableAbs, found, &busy, &readOnly))
        throw FileError(QStringLiteral("Não há operação a desfazer na tabela %1").arg(tableAbs));
    if (busy)
        throw FileError(QStringLiteral("A tabela %1 está em uso por outra operação").arg(tableAbs));
    if (readOnly)
        throw FileError(QStringLiteral("Não é possível desfazer a operação na tabela %1: o disco não aceita gravação").arg(tableAbs));
    const JournalContent content = readJournal(found.handle);
    if (!content.valid)
        throw FileError(QStringLiteral("Não há operação a desfazer na tabela %1").arg(tableAbs));
    if (!content.undoing) {
        if (!content.complete)
            throw FileError(QStringLiteral("Não há operação a desfazer na tabela %1").arg(tableAbs));
        for (const JournalContent::Final& f : content.finals) {
            const JournalContent::FileInfo* info = content.file(f.id);
            if (!info)
                continue;
            const FileStat now = backend().stat(info->path);
            if (now.exists != f.exists || (f.exists && (now.size != f.size || now.mtimeNs != f.mtimeNs)))
                throw FileError(QStringLiteral("Não é possível desfazer \"%1\" na tabela %2: o arquivo %3 foi alterado "
                                               "depois da operação")
                                    .arg(content.operation, tableAbs, nameOf(info->path)));
        }
        // From here on the journal says an undo is under way: a killed undo is finished at the
        // next opening, whatever the files look like by then.
        const QByteArray mark = journalRecord(kRecordUndo, {});
        qint64 done = 0;
        while (done < mark.size()) {
            const qint64 n = backend().pwrite(found.handle, mark.constData() + done, mark.size() - done, content.validEnd + done);
            if (n <= 0)
                throw FileError(QStringLiteral("Erro ao gravar o diário de recuperação %1: %2")
                                    .arg(found.path, errorText(n < 0 ? int(-n) : EIO)));
            done += n;
        }
        const int rc = backend().sync(found.handle);
        if (rc < 0)
            throw FileError(QStringLiteral("Erro ao gravar o diário de recuperação %1: %2").arg(found.path, errorText(rc)));
    }
    restoreFamily(content, found.handle);
    finishRestore(found);
}

// --- Operation ----------------------------------------------------------------------------

QString rolledBackMessage(const QString& failure)
{
    return (failure.isEmpty() ? QStringLiteral("Erro de gravação") : failure) +
           QStringLiteral("\nA operação foi desfeita: as tabelas estão como antes dela.");
}

bool Operation::journalsEnabled()
{
    return qEnvironmentVariable("QUILLORA_NO_JOURNAL") != QLatin1String("1");
}

Operation::Operation(const QString& name, const QStringList& tablePaths, bool dryRun) : dryRun_(dryRun)
{
    if (!journalsEnabled() && !dryRun)
        return;
    for (const QString& path : tablePaths) {
        if (path.isEmpty())
            continue;
        const QString abs = absolute(path);
        bool seen = false;
        for (const auto& j : journals_)
            seen = seen || j->tablePath() == abs;
        if (!seen)
            journals_.push_back(std::make_unique<Journal>(abs, name));
    }
}

Operation::~Operation()
{
    if (!finished_) {
        try {
            finish();
        } catch (...) {
        }
    }
}

bool Operation::failed() const
{
    for (const auto& j : journals_)
        if (j->failed())
            return true;
    return false;
}

void Operation::closeAndFinish(const std::function<void()>& closeTables, const QString& failure)
{
    QString why = failure;
    std::exception_ptr other;
    try {
        closeTables();
    } catch (const std::exception& e) {
        if (!failed())
            other = std::current_exception();
        else if (why.isEmpty())
            why = dynamic_cast<const Error*>(&e) ? static_cast<const Error&>(e).text() : QString::fromUtf8(e.what());
    }
    const bool writeFailed = failed();
    if (!finish() && (writeFailed || !dryRun_))
        throw FileError(rolledBackMessage(why.isEmpty() ? failure_ : why));
    if (other)
        std::rethrow_exception(other);
}

bool Operation::finish()
{
    if (finished_)
        return kept_;
    finished_ = true;
    if (!dryRun_ && !failed()) {
        try {
            for (const auto& j : journals_)
                j->complete();
            for (const auto& j : journals_)
                j->release();
            kept_ = true;
            return true;
        } catch (const Error& e) {
            // The operation cannot be recorded as ended: it is undone, so that what is on disk
            // is never an operation that cannot be undone.
            failure_ = e.text();
        }
    }
    QString problem;
    for (auto it = journals_.rbegin(); it != journals_.rend(); ++it) {
        try {
            (*it)->rollback();
        } catch (const Error& e) {
            problem = e.text();
        }
    }
    if (!problem.isEmpty())
        throw FileError(problem);
    return false;
}

}  // namespace quillora::io
