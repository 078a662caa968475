#include "tables/dbase/DbaseTable.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseCodec.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/io/Endian.h"
#include "tables/io/FileOps.h"

#include <QDate>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillora::dbase {

namespace {

using io::le16;
using io::le32;
using io::putLe32;

}  // namespace

DbaseTable::DbaseTable(const QString& path, const QString& codePage)
    : path_(path), overrideCodePage_(codePage)
{
    openFile();
    head_ = readDbaseHeader(records_.file(), path_, overrideCodePage_);
    records_.setLayout(head_.headerLen, head_.recordLen);
    records_.setCount(std::min(head_.count, head_.available));
    // Read what is there; writing is refused until the file is repaired.
    truncated_ = head_.available < head_.count;
    // One codec per column, for every read and write of its bytes.
    rules_ = std::make_unique<DbaseTextRules>(path_, head_, memo_);
    bool memoFields = false;
    for (size_t i = 0; i < head_.columns.size(); ++i) {
        codecs_.push_back(makeDbaseCodec(*rules_, head_.columns[i], head_.fields[int(i)]));
        memoFields = memoFields || codecs_.back()->keepsMemo();
    }
    if (memoFields) {
        const bool iv = head_.version == 0x8B || head_.version == 0x7B || head_.version == 0x8C || head_.level7 || head_.version == 0x05;
        memo_.open(path_, iv ? DbaseMemo::Style::IV : DbaseMemo::Style::III);
    }
    builder_ = std::make_unique<DbaseRecordBuilder>(path_, head_, codecs_, memo_);
    keys_ = std::make_unique<DbaseKeys>(path_, head_, *rules_, codecs_);
    // Whether writes can keep every index is settled here, once.
    upkeep_ = std::make_unique<DbaseIndexUpkeep>(
        path_, head_, records_, [this](const QString& text) { return keys_->parse(text); },
        [this](const DbaseExpression& e, RecordId id, const QByteArray& raw) { return keys_->evaluate(e, id, raw); });
    upkeep_->plan();
}

DbaseTable::~DbaseTable()
{
    try {
        flush();
    } catch (...) {
    }
    // Closing the files (the members) also releases the write lock.
}

void DbaseTable::openFile()
{
    const int err = records_.file().tryOpen(path_, io::OpenMode::Read);
    if (err == -ENOENT)
        throw FileError(QStringLiteral("Tabela não encontrada: %1").arg(path_));
    if (err == -EISDIR)
        throw FileError(QStringLiteral("%1 é uma pasta, não uma tabela dBase").arg(path_));
    if (err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir a tabela %1: %2").arg(path_, io::errorText(err)));
}

QString DbaseTable::formatName() const
{
    const bool memo = memo_.style() != DbaseMemo::Style::None;
    if (head_.level7)
        return memo ? QStringLiteral("dBase 7 com memo") : QStringLiteral("dBase 7");
    switch (head_.version) {
    case 0x83: return QStringLiteral("dBase III+ com memo");
    case 0x8B: case 0x7B: return QStringLiteral("dBase IV com memo");
    case 0x05: return QStringLiteral("dBase 5");
    default: return QStringLiteral("dBase III/IV");
    }
}

QString DbaseTable::codePageName() const
{
    return head_.codePageLabel;
}

QList<IndexDef> DbaseTable::indexes() const
{
    QStringList filtered;
    const QList<IndexDef> out = upkeep_->listed(&filtered);
    for (const QString& expression : filtered)
        keys_->noteFiltered(expression);
    return out;
}

QByteArray DbaseTable::expressionKey(const IndexDef& index, RecordId id, const QByteArray& raw)
{
    return keys_->expressionKey(index, id, raw);
}

ExprValue DbaseTable::evaluate(const DbaseExpression& expression, RecordId id, const QByteArray& raw)
{
    return keys_->evaluate(expression, id, raw);
}

QByteArray DbaseTable::sortKey(int field, const Value& value)
{
    if (field >= 0 && field < int(codecs_.size()))
        if (std::optional<QByteArray> key = codecs_[size_t(field)]->sortKey(value))
            return *key;
    return TableFile::sortKey(field, value);
}

// --- Navigation -----------------------------------------------------------------------------

bool DbaseTable::isDeleted(RecordId id)
{
    checkId(id);
    return flagOf(id - 1) == '*';
}

RecordId DbaseTable::first()
{
    return next(0);
}

RecordId DbaseTable::last()
{
    return prior(records_.count() + 1);
}

RecordId DbaseTable::next(RecordId id)
{
    for (qint64 rec = std::max<qint64>(id, 0); rec < records_.count(); ++rec)
        if (flagOf(rec) != '*')
            return rec + 1;
    return NoRecord;
}

RecordId DbaseTable::prior(RecordId id)
{
    for (qint64 rec = std::min(id, records_.count() + 1) - 2; rec >= 0; --rec)
        if (flagOf(rec, true) != '*')
            return rec + 1;
    return NoRecord;
}

qint64 DbaseTable::count()
{
    if (visible_ < 0) {
        qint64 n = 0;
        for (qint64 rec = 0; rec < records_.count(); ++rec)
            n += flagOf(rec) != '*';
        visible_ = n;
    }
    return visible_;
}

RecordId DbaseTable::atPosition(qint64 position)
{
    if (count() != records_.count())
        return TableFile::atPosition(position);
    return position >= 1 && position <= records_.count() ? position : NoRecord;
}

qint64 DbaseTable::position(RecordId id)
{
    if (count() != records_.count())
        return TableFile::position(id);
    return id >= 1 && id <= records_.count() ? id : -1;
}

void DbaseTable::checkId(RecordId id) const
{
    if (id < 1 || id > records_.count())
        throw FileError(QStringLiteral("Registro %1 não existe na tabela %2").arg(id).arg(path_));
}

// --- Reading --------------------------------------------------------------------------------

void DbaseTable::read(RecordId id, QByteArray& raw)
{
    checkId(id);
    const char* src = records_.record(id - 1);
    raw.resize(head_.recordLen);
    std::memcpy(raw.data(), src, size_t(head_.recordLen));
}

bool DbaseTable::appendDisplayUtf8(const QByteArray& raw, int field, const Regional& regional, std::string& out)
{
    if (field < 0 || field >= int(codecs_.size()) || raw.size() != head_.recordLen)
        return false;
    return codecs_[size_t(field)]->appendDisplayUtf8(raw.constData() + 1 + head_.columns[size_t(field)].offset,
                                                     regional, out);
}

Value DbaseTable::value(const QByteArray& raw, int field)
{
    if (field < 0 || field >= int(codecs_.size()) || raw.size() != head_.recordLen)
        return {};
    return codecs_[size_t(field)]->decode(raw.constData() + 1 + head_.columns[size_t(field)].offset);
}

// --- Writing --------------------------------------------------------------------------------

void DbaseTable::requireWritable() const
{
    if (!writable_)
        throw Error(QStringLiteral("A tabela %1 não foi aberta para gravação").arg(path_));
}

void DbaseTable::beginWrite()
{
    if (writable_)
        return;
    auto refuse = [&](const QString& why) {
        throw FileError(QStringLiteral("Não é possível gravar na tabela %1: %2").arg(path_, why));
    };
    // A damaged structure is named with the way out: the check and the repair of the table.
    auto refuseDamaged = [&](const QString& why) {
        refuse(why + QStringLiteral("; use \"Verificar tabela...\" (ou quillora-cli check e quillora-cli repair) "
                                    "para verificar e reparar a tabela"));
    };
    if (truncated_)
        refuseDamaged(QStringLiteral("o cabeçalho diz %1 registros, mas o arquivo só contém %2 (arquivo truncado)")
                          .arg(head_.count)
                          .arg(records_.count()));
    upkeep_->requireKeepable();

    if (memo_.style() != DbaseMemo::Style::None && !memo_.isOpen())
        refuse(rules_->missingMemoText());

    io::File file;
    if (const int err = file.tryOpen(path_, io::OpenMode::ReadWrite); err < 0)
        refuse(io::errorText(err));
    if (!file.tryLock(true))
        throw FileError(QStringLiteral("Tabela %1 em uso por outro programa (bloqueada para gravação)").arg(path_));
    io::File memo;
    if (memo_.isOpen())
        memo = memo_.openForWriting();
    // Another program may have appended before we held the lock: take the count again.
    char h[32];
    file.read(0, h, 32);
    if (le16(h + 8) != head_.headerLen || le16(h + 10) != head_.recordLen || uchar(h[0]) != head_.version)
        refuse(QStringLiteral("a estrutura mudou desde que foi aberta"));
    records_.useFile(std::move(file));
    if (memo.isOpen())
        memo_.useForWriting(std::move(memo));
    std::memcpy(head_.bytes.data(), h, 32);
    head_.count = le32(h + 4);
    // What a session that did not finish left behind: indexes still marked out of date are
    // written anew at the end of this one.
    upkeep_->resumeSession();
    const qint64 available = (records_.file().size() - head_.headerLen) / head_.recordLen;
    records_.setCount(std::min(head_.count, available));
    visible_ = -1;
    writable_ = true;
    if (records_.count() < head_.count) {
        truncated_ = true;
        writable_ = false;
        refuseDamaged(QStringLiteral("o arquivo está truncado"));
    }
    // Whole records past the count (a writer that stopped before updating it): an append would
    // overwrite them.
    if (available > head_.count) {
        writable_ = false;
        refuseDamaged(QStringLiteral("o cabeçalho diz %1 registros, mas o arquivo contém %2; gravar apagaria os "
                                     "registros além da contagem")
                          .arg(head_.count)
                          .arg(available));
    }

    rules_->prepareWriting();

    // Auto-increment: the next value sits in the descriptor (bytes 42-45 in the files seen);
    // never hand out a value already present.
    for (size_t i = 0; i < head_.columns.size(); ++i) {
        const Column& c = head_.columns[i];
        if (c.type != '+')
            continue;
        qint64 next = le32(head_.bytes.constData() + c.descriptor + 42);
        QByteArray raw;
        for (RecordId id = 1; id <= records_.count(); ++id) {
            read(id, raw);
            const Value v = value(raw, int(i));
            if (!v.isNull())
                next = std::max(next, v.asInteger() + 1);
        }
        nextAutoInc_ = std::max<qint64>(next, 1);
    }
}

Value DbaseTable::normalize(int field, const Value& v)
{
    return builder_->normalize(field, v);
}

void DbaseTable::writeHeaderDate()
{
    // Asked once per writing session: the clock costs a time zone lookup.
    if (!today_.isValid())
        today_ = QDate::currentDate();
    const QDate today = today_;
    head_.bytes[1] = char(today.year() - 1900);
    head_.bytes[2] = char(today.month());
    head_.bytes[3] = char(today.day());
}

void DbaseTable::stampDate()
{
    if (dateWritten_)
        return;
    writeHeaderDate();
    records_.file().write(1, head_.bytes.constData() + 1, 3);
    dateWritten_ = true;
}

void DbaseTable::writeHeaderCount()
{
    writeHeaderDate();
    putLe32(head_.bytes.data() + 4, quint32(head_.count));
    records_.file().write(1, head_.bytes.constData() + 1, 7);
    dateWritten_ = true;
}

RecordId DbaseTable::insert(const QList<Value>& values, RecordId)
{
    requireWritable();
    if (records_.count() >= 0xFFFFFFFFLL)
        throw FileError(QStringLiteral("A tabela %1 chegou ao número máximo de registros").arg(path_));
    // Built in place at the end of the batch; a value refused leaves the batch as it was.
    char* const rec = records_.startAppend(builder_->blank());
    try {
        builder_->build(rec, values, nullptr, nextAutoInc_);
    } catch (...) {
        records_.cancelAppend();
        throw;
    }
    if (nextAutoInc_ > 0) {
        ++nextAutoInc_;
        autoIncDirty_ = true;
    }
    const bool batchFull = records_.finishAppend();
    if (visible_ >= 0)
        ++visible_;
    if (batchFull)
        writePending();
    return records_.count();
}

void DbaseTable::writePending()
{
    if (records_.pendingCount() == 0)
        return;
    upkeep_->markStale();
    if (autoIncDirty_) {
        // The counter goes first: a crash then costs numbers, never a duplicate.
        for (const Column& c : head_.columns) {
            if (c.type != '+')
                continue;
            putLe32(head_.bytes.data() + c.descriptor + 42, quint32(nextAutoInc_));
            records_.file().write(c.descriptor + 42, head_.bytes.constData() + c.descriptor + 42, 4);
        }
        autoIncDirty_ = false;
    }
    const qint64 counted = head_.count;
    try {
        records_.writePending(counted, [&] {
            head_.count = records_.count();
            writeHeaderCount();
        });
    } catch (...) {
        head_.count = counted;
        putLe32(head_.bytes.data() + 4, quint32(counted));
        throw;
    }
}

RecordId DbaseTable::update(RecordId id, const QList<Value>& values, const QList<bool>& changed)
{
    requireWritable();
    checkId(id);
    if (changed.size() != head_.fields.size())
        throw Error(QStringLiteral("Lista de campos alterados com tamanho errado para a tabela %1").arg(path_));
    writePending();
    // The record was almost always just read (the caller edited it): take it from the cache
    // instead of reading it again.
    QByteArray rec(records_.record(id - 1), head_.recordLen);
    builder_->build(rec.data(), values, &changed, nextAutoInc_);
    // A record that comes out byte for byte as it was needs no write (nor a journal copy of
    // what it replaces): runs that update many records leave most of them as they were. The
    // indexes need writing anew only when a key they hold changes.
    if (std::memcmp(rec.constData(), records_.record(id - 1), size_t(head_.recordLen)) != 0) {
        upkeep_->markStaleIfKeysChange(id, QByteArray(records_.record(id - 1), head_.recordLen), rec);
        records_.rewrite(id - 1, rec.constData());
    }
    stampDate();
    return id;
}

RecordId DbaseTable::remove(RecordId id)
{
    requireWritable();
    checkId(id);
    writePending();
    if (!isDeleted(id)) {
        upkeep_->markStale();
        records_.markDeleted(id - 1);
        if (visible_ >= 0)
            --visible_;
        stampDate();
    }
    return next(id);
}

void DbaseTable::flush()
{
    if (!writable_)
        return;
    writePending();
    records_.file().sync();
    memo_.sync();
    upkeep_->rebuildIfStale();
}

void DbaseTable::rebuildIndexes()
{
    beginWrite();
    upkeep_->markStale();
    flush();
}

}  // namespace quillora::dbase
