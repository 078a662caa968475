#include "tables/paradox/ParadoxTable.h"

#include "tables/Error.h"
#include "tables/Session.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"
#include "tables/paradox/PxBlob.h"
#include "tables/paradox/PxDisplayText.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace quillora {

using namespace px;

namespace {

RecordId makeId(int block, int slot) { return BlockChain::makeId(block, slot); }
int idBlock(RecordId id) { return BlockChain::blockOf(id); }
int idSlot(RecordId id) { return BlockChain::slotOf(id); }

}  // namespace

// --- Opening ----------------------------------------------------------------------------------

ParadoxTable::ParadoxTable(const QString& path)
    : path_(path), blocks_(file_, path, [this](int no) { return 6 + std::max(0, chain_.count(no)) * hdr_.recordSize; }),
      codec_(hdr_, path, [this](bool forWrite) -> MbFile& { return mb(forWrite); }),
      chain_(hdr_, blocks_, file_, path),
      px_(path, chain_.indexView()),
      secondary_(path, hdr_)
{
    if (const int err = file_.tryOpen(path, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir a tabela %1: %2").arg(path, io::errorText(err)));
    openHeader();
    findPassword();
    chain_.attach(&px_);
    chain_.walk();
    hdr_.readValidity(familyFile(QStringLiteral("VAL")));
    secondary_.open();
}

ParadoxTable::~ParadoxTable()
{
    try {
        flush();
    } catch (...) {
        // A destructor cannot report; flush() is called explicitly by everything that writes.
    }
    unlock();
}

void ParadoxTable::openHeader()
{
    const qint64 fileSize = file_.size();
    blocks_.setFileSize(fileSize);
    hdr_ = TableHeader::read(file_, fileSize, path_);
    blocks_.setLayout(hdr_.headerSize, hdr_.blockSize, hdr_.key);
    blocks_.setBlockCount(hdr_.fileBlocks);
}

void ParadoxTable::findPassword()
{
    if (hdr_.key == 0)
        return;
    auto matches = [&](const QString& pw) {
        QByteArray bytes;
        if (!hdr_.cp->encode(pw, &bytes))
            bytes = pw.toLatin1();
        return passwordKey(bytes) == hdr_.key;
    };
    for (const QString& pw : Session::knownPasswords())
        if (matches(pw))
            return;
    const Session::PasswordPrompt& prompt = Session::passwordPrompt();
    if (!prompt) {
        // Nobody to ask: say whether the passwords given were wrong or none was given.
        if (!Session::knownPasswords().isEmpty())
            throw FileError(QStringLiteral("Senha incorreta para a tabela %1").arg(path_));
        throw FileError(QStringLiteral("A tabela %1 é protegida por senha; informe a senha.").arg(path_));
    }
    bool retry = false;
    QString pw;
    while (prompt(path_, retry, &pw)) {
        if (matches(pw)) {
            Session::addPassword(pw);
            return;
        }
        retry = true;
        pw.clear();
    }
    // The user gave up asking, also after a wrong password: the opening was cancelled.
    throw FileError(QStringLiteral("Abertura da tabela %1 cancelada: senha não informada").arg(path_));
}

QString ParadoxTable::familyFile(const QString& ext) const
{
    const QFileInfo fi(path_);
    const QString wanted = fi.completeBaseName() + QLatin1Char('.') + ext;
    // The name as written first: a folder may hold both cases on a case-sensitive disk.
    const QString direct = fi.dir().filePath(wanted);
    if (io::exists(direct))
        return io::absolute(direct);
    return io::siblingNoCase(path_, wanted);
}

QString ParadoxTable::formatName() const
{
    switch (hdr_.version) {
    case 3: return QStringLiteral("Paradox 3.0");
    case 4: return QStringLiteral("Paradox 3.5");
    case 5: case 6: case 7: case 8: case 9: return QStringLiteral("Paradox 4");
    case 0x0A: case 0x0B: return QStringLiteral("Paradox 5");
    default: return QStringLiteral("Paradox 7");
    }
}

QString ParadoxTable::codePageName() const
{
    const QString so = hdr_.sortOrderId.isEmpty() ? QStringLiteral("ordem %1").arg(hdr_.sortByte, 2, 16, QLatin1Char('0'))
                                              : hdr_.sortOrderId;
    return QStringLiteral("%1 (%2)").arg(hdr_.cp->name(), so);
}

QByteArray ParadoxTable::sortKey(int field, const Value& value)
{
    // Numbers, dates and times are stored so that their order is their value's, which is what
    // the default key gives; only text depends on the language driver. A blank Alpha and a
    // null one are the same to Paradox, so both get the empty key.
    if (value.isNull() || value.kind() != Value::Kind::Text || !hdr_.collation)
        return TableFile::sortKey(field, value);
    return codec_.alphaSortKey(value.asText());
}

QList<IndexDef> ParadoxTable::indexes() const
{
    QList<IndexDef> out;
    if (hdr_.keyFields > 0) {
        IndexDef d;
        d.options = ixPrimary | ixUnique;
        for (int i = 0; i < hdr_.keyFields; ++i)
            d.fields << hdr_.fields[size_t(i)].name;
        const QString pxPath = familyFile(QStringLiteral("PX"));
        d.fileName = QFileInfo(pxPath).fileName();
        // The table's change counter one past the .PX's: a write moved it and the index was
        // not written after it (the counters are equal, or the .PX ahead, in real files).
        io::File px;
        char pxStamp = 0;
        if (px.tryOpen(pxPath, io::OpenMode::Read) == 0 && px.readSome(0x2C, &pxStamp, 1) == 1
            && uchar(hdr_.bytes[0x2D]) == (uchar(pxStamp) + 1) % 256)
            d.options |= ixOutOfDate;
        out << d;
    }
    out << secondary_.definitions();
    return out;
}

// --- Navigation -------------------------------------------------------------------------------

// Walking the table's order needs the batched records in the chain.
RecordId ParadoxTable::first()
{
    mergeBatch();
    return chain_.first();
}

RecordId ParadoxTable::last()
{
    mergeBatch();
    return chain_.last();
}

RecordId ParadoxTable::next(RecordId id) { return chain_.next(settle(id)); }
RecordId ParadoxTable::prior(RecordId id) { return chain_.prior(settle(id)); }
qint64 ParadoxTable::recordNumber(RecordId id) { return chain_.recordNumber(settle(id)); }

RecordId ParadoxTable::atPosition(qint64 position)
{
    mergeBatch();
    return chain_.atPosition(position);
}

qint64 ParadoxTable::position(RecordId id)
{
    const qint64 n = chain_.recordNumber(settle(id));
    return n > 0 ? n : -1;
}

bool ParadoxTable::precedes(RecordId a, RecordId b)
{
    auto held = [this](RecordId id) { return batch_.holds(id) || chain_.holds(id); };
    if (batch_.empty() || !held(a) || !held(b))
        return TableFile::precedes(a, b);
    QByteArray ra, rb;
    read(a, ra);
    read(b, rb);
    return compareKeys(ra.constData(), rb.constData()) < 0;
}

// --- Reading ----------------------------------------------------------------------------------

void ParadoxTable::read(RecordId id, QByteArray& raw)
{
    const bool batched = batch_.holds(id);
    if (!batched && !chain_.holds(id))
        throw FileError(QStringLiteral("Registro inexistente na tabela %1").arg(path_));
    const char* p = batched ? batch_.record(id) : chain_.records(idBlock(id)) + idSlot(id) * hdr_.recordSize;
    if (raw.size() != hdr_.recordSize)
        raw.resize(hdr_.recordSize);
    std::memcpy(raw.data(), p, size_t(hdr_.recordSize));
}

MbFile& ParadoxTable::mb(bool forWrite)
{
    if (!mb_) {
        QString mbPath = familyFile(QStringLiteral("MB"));
        if (mbPath.isEmpty()) {
            if (!forWrite)
                throw FileError(QStringLiteral("O arquivo de blobs (.MB) da tabela %1 não existe; os memorandos e imagens não podem ser lidos").arg(path_));
            const QFileInfo fi(path_);
            mbPath = fi.dir().filePath(fi.completeBaseName() + (fi.suffix() == u"db" ? QStringLiteral(".mb") : QStringLiteral(".MB")));
            MbFile::create(mbPath, hdr_.key);
        }
        mb_ = std::make_unique<MbFile>(mbPath, hdr_.key);
    }
    if (forWrite)
        mb_->beginWrite();
    return *mb_;
}

Value ParadoxTable::value(const QByteArray& raw, int field)
{
    return codec_.decode(raw, field);
}

bool ParadoxTable::appendDisplayUtf8(const QByteArray& raw, int field, const Regional& regional, std::string& out)
{
    return px::appendDisplayText(hdr_, raw, field, regional, out);
}

// --- Writing ----------------------------------------------------------------------------------

void ParadoxTable::unlock()
{
    if (writable_ && file_.isOpen())
        file_.unlock();
}

void ParadoxTable::beginWrite()
{
    if (writable_)
        return;
    if (hdr_.bytes[0x38])
        throw FileError(QStringLiteral("A tabela %1 está protegida contra gravação").arg(path_));
    if (!chain_.freeListProblem().isEmpty())
        throw FileError(QStringLiteral("A tabela %1 não pode ser gravada: %2").arg(path_, chain_.freeListProblem()));
    if (uchar(hdr_.bytes[0x14]) || uchar(hdr_.bytes[0x2A]))
        throw FileError(QStringLiteral("A tabela %1 está marcada como precisando de reparo; recupere-a com o Paradox antes de gravar").arg(path_));
    if (hdr_.keyFields > 0 && hdr_.hasAlphaKey && !hdr_.collationKnown)
        throw FileError(QStringLiteral("A tabela %1 tem chave alfanumérica com a ordem de classificação '%2', que não é conhecida; gravar nela deixaria os registros numa ordem que outros programas leriam errado")
                            .arg(path_, hdr_.sortOrderId.isEmpty() ? QString::number(hdr_.sortByte) : hdr_.sortOrderId));
    // Paradox and the BDE keep their .LCK files locked while they run; one left behind by a
    // crash is not, and does not stop writing.
    const QFileInfo fi(path_);
    const QStringList names = io::siblings(path_);
    for (const QString& lockName : {QStringLiteral("PDOXUSRS.LCK"), QStringLiteral("PARADOX.LCK"), fi.completeBaseName() + QStringLiteral(".LCK")}) {
        for (const QString& name : names) {
            if (name.compare(lockName, Qt::CaseInsensitive) == 0 && io::backend().lockedElsewhere(io::absolute(fi.dir().filePath(name))))
                throw FileError(QStringLiteral("A pasta da tabela %1 está em uso pelo Paradox ou pelo BDE (arquivo de bloqueio %2 ativo); feche o outro programa antes de gravar")
                                    .arg(path_, name));
        }
    }
    // Reopen for writing and take the advisory lock; on failure the table stays open for reading.
    io::File writer;
    if (const int err = writer.tryOpen(path_, io::OpenMode::ReadWrite); err < 0)
        throw FileError(QStringLiteral("A tabela %1 não pode ser gravada: %2").arg(path_, io::errorText(err)));
    if (!writer.tryLock(true))
        throw FileError(QStringLiteral("A tabela %1 está em uso por outro programa").arg(path_));
    file_ = std::move(writer);
    writable_ = true;
    if (chain_.putInStep()) {
        dirty_ = true;
        commitWrite();
    }
    // Inside an operation a crash or a failed write rolls the whole family back, so the files
    // need not describe each other after every write: blocks stay in a larger set of buffers
    // until they are reused, and the .PX and the header are brought up to date now and then
    // and when the table is flushed. Outside one, every write is complete when it returns.
    deferred_ = io::Journal::covering(io::absolute(path_)) != nullptr;
    if (deferred_)
        blocks_.setCapacity(std::max(16, deferredCacheBytes / hdr_.blockSize));
    if (hdr_.keyFields > 0) {
        chain_.loadFirstKeys();
        px_.open(familyFile(QStringLiteral("PX")));
    }
    if (batching())
        batch_.configure(hdr_.recordSize, std::max(64, insertBatchBytes / (hdr_.recordSize + InsertBatch::kBytesPerRecord)),
                         [this](const char* a, const char* b) { return compareKeys(a, b); },
                         [this](const char* rec) { return keyHash(rec); });
}

int ParadoxTable::compareKeys(const char* a, const char* b) const
{
    for (int i = 0; i < hdr_.keyFields; ++i) {
        const Field& f = hdr_.fields[size_t(i)];
        int r;
        if (f.code == kAlpha)
            r = hdr_.collation->compare(a + f.offset, f.size, b + f.offset, f.size);
        else
            r = std::memcmp(a + f.offset, b + f.offset, size_t(f.size));
        if (r)
            return r < 0 ? -1 : 1;
    }
    return 0;
}

void ParadoxTable::locate(const char* rec, int* chainIndex, int* slot, bool* equal)
{
    *equal = false;
    if (chain_.empty()) {
        *chainIndex = -1;
        *slot = 0;
        return;
    }
    const int rs = hdr_.recordSize;
    const int lastCi = chain_.size() - 1;
    const int lastB = chain_.blockAt(lastCi);
    if (chain_.count(lastB) > 0 && compareKeys(rec, chain_.records(lastB) + (chain_.count(lastB) - 1) * rs) > 0) {
        *chainIndex = lastCi;
        *slot = chain_.count(lastB);
        return;
    }
    // Last block whose first key is not above the new key.
    auto notAbove = [&](int ci) {
        const QByteArray& k = chain_.firstKey(ci);
        return !k.isEmpty() && compareKeys(k.constData(), rec) <= 0;
    };
    int lo = 0, hi = lastCi;
    if (locateHint_ > 0 && locateHint_ <= lastCi) {
        // From the hint onwards in doubling steps when the key is not below the hint's block;
        // below it otherwise.
        if (notAbove(locateHint_)) {
            int step = 1;
            lo = locateHint_;
            while (lo + step <= lastCi && notAbove(lo + step)) {
                lo += step;
                step *= 2;
            }
            hi = std::min(lastCi, lo + step - 1);
        } else {
            hi = locateHint_ - 1;
        }
    }
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (notAbove(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    const int b = chain_.blockAt(lo);
    const char* data = chain_.records(b);
    int l = 0, h = chain_.count(b);
    while (l < h) {
        const int m = (l + h) / 2;
        if (compareKeys(data + m * rs, rec) < 0)
            l = m + 1;
        else
            h = m;
    }
    *chainIndex = lo;
    locateHint_ = lo;
    *slot = l;
    *equal = l < chain_.count(b) && compareKeys(data + l * rs, rec) == 0;
}

bool ParadoxTable::findPrimaryKey(const QList<Value>& key, RecordId* id)
{
    if (hdr_.keyFields == 0 || key.size() != hdr_.keyFields)
        return false;
    if (!chain_.firstKeysLoaded())
        chain_.loadFirstKeys();
    QList<Value> values = codec_.defaultValues();
    for (int i = 0; i < hdr_.keyFields; ++i)
        values[i] = key[i];
    QByteArray rec(hdr_.recordSize, '\0');
    codec_.encodeFields(values, nullptr, rec, nullptr);
    *id = batch_.find(rec.constData());
    if (*id != NoRecord)
        return true;
    int ci, slot;
    bool equal;
    locate(rec.constData(), &ci, &slot, &equal);
    *id = equal ? makeId(chain_.blockAt(ci), slot) : NoRecord;
    return true;
}

// --- The batch of keyed inserts ---------------------------------------------------------------

quint64 ParadoxTable::keyHash(const char* rec) const
{
    // Over what compareKeys() compares: an Alpha key by its collation key, so that keys the
    // table's order takes as equal hash alike.
    quint64 h = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < hdr_.keyFields; ++i) {
        const Field& f = hdr_.fields[size_t(i)];
        if (f.code == kAlpha) {
            const QByteArray k = hdr_.collation->sortKey(QByteArrayView(rec + f.offset, f.size));
            h = qHashBits(k.constData(), size_t(k.size()), size_t(h));
        } else {
            h = qHashBits(rec + f.offset, size_t(f.size), size_t(h));
        }
        h += quint64(i + 1) * 0xBF58476D1CE4E5B9ull;
    }
    // A final mix, so that every bit of the result depends on every bit of the key.
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 29;
    return h;
}

bool ParadoxTable::beyondChainEnd(const char* rec)
{
    if (chain_.empty())
        return true;
    const int lastB = chain_.blockAt(chain_.size() - 1);
    return chain_.count(lastB) > 0 && compareKeys(rec, chain_.records(lastB) + (chain_.count(lastB) - 1) * hdr_.recordSize) > 0;
}

bool ParadoxTable::chainHoldsKey(const char* rec)
{
    if (beyondChainEnd(rec))
        return false;
    if (keyFilter_.active() && !keyFilter_.mayHold(keyHash(rec)))
        return false;
    int ci, slot;
    bool equal;
    locate(rec, &ci, &slot, &equal);
    return equal;
}

RecordId ParadoxTable::chainInsert(int ci, int slot, const char* rec)
{
    const RecordId id = chain_.insertAt(ci, slot, rec);
    if (keyFilter_.active())
        keyFilter_.add(keyHash(rec));
    return id;
}

void ParadoxTable::rebuildKeyFilter()
{
    keyFilter_.reset(chain_.total() + batch_.capacity());
    const int rs = hdr_.recordSize;
    for (int b : chain_.order()) {
        const char* data = chain_.records(b);
        for (int s = 0; s < chain_.count(b); ++s)
            keyFilter_.add(keyHash(data + s * rs));
    }
}

void ParadoxTable::mergeBatch()
{
    if (batch_.empty())
        return;
    // In key order each block is read and changed once for all the batch's records it gets.
    batch_.drain([this](const char* rec) {
        int ci, slot;
        bool equal;
        locate(rec, &ci, &slot, &equal);
        chainInsert(ci, slot, rec);
        dirty_ = true;  // a commit part way through the merge cleared it
        writeDone();
    });
    ++merges_;
    // The filter is built from the chain the first time a batch fills, when the run has shown
    // that it adds many records, and again when it no longer has room.
    if (!keyFilter_.active() || keyFilter_.crowded())
        rebuildKeyFilter();
}

RecordId ParadoxTable::settle(RecordId id)
{
    if (batch_.empty())
        return id;
    // Keys are unique: the record is found again by its key once the batch has merged.
    QByteArray rec;
    if (batch_.holds(id))
        rec = QByteArray(batch_.record(id), hdr_.recordSize);
    else if (chain_.holds(id))
        read(id, rec);
    mergeBatch();
    if (rec.isEmpty())
        return id;
    int ci, slot;
    bool equal;
    locate(rec.constData(), &ci, &slot, &equal);
    return equal ? makeId(chain_.blockAt(ci), slot) : NoRecord;
}

Value ParadoxTable::normalize(int field, const Value& v)
{
    return codec_.normalize(field, v);
}

QList<Value> ParadoxTable::newRecordValues()
{
    return codec_.defaultValues();
}

void ParadoxTable::prepareNew(char* rec, const QList<Value>& values)
{
    for (int i = 0; i < int(hdr_.fields.size()); ++i) {
        const Field& f = hdr_.fields[size_t(i)];
        char* p = rec + f.offset;
        if (f.code == kAutoInc) {
            qint64 v;
            if (!readInt(p, 4, &v)) {
                if (hdr_.autoInc >= 2147483647u)
                    throw Error(QStringLiteral("O campo autoincremento '%1' esgotou seus valores").arg(f.name));
                writeInt(p, 4, qint64(hdr_.autoInc + 1));
                hdr_.autoInc += 1;
            } else if (v > 0 && quint32(v) > hdr_.autoInc) {
                hdr_.autoInc = quint32(v);
            }
        }
        codec_.checkRequired(i, p, values);
        codec_.checkRange(i, p);
    }
}

RecordId ParadoxTable::insert(const QList<Value>& values, RecordId before)
{
    beginWrite();
    QByteArray rec(hdr_.recordSize, '\0');
    codec_.encodeFields(values, nullptr, rec, nullptr);
    return insertRecord(rec, values, before);
}

RecordId ParadoxTable::insertImage(const QByteArray& image, const QList<Value>& values)
{
    if (image.size() != hdr_.recordSize)
        throw Error(QStringLiteral("Registro de %1 bytes para a tabela %2, de registros de %3").arg(image.size()).arg(path_).arg(hdr_.recordSize));
    beginWrite();
    return insertRecord(image, values, NoRecord);
}

RecordId ParadoxTable::insertRecord(QByteArray rec, const QList<Value>& values, RecordId before)
{
    secondary_.markStale();
    const quint32 savedAutoInc = hdr_.autoInc;
    try {
        prepareNew(rec.data(), values);
    } catch (...) {
        hdr_.autoInc = savedAutoInc;
        throw;
    }
    int ci, slot;
    bool equal = false;
    if (batching()) {
        // A key past every other one goes straight to the end of the chain; any other waits
        // in the batch, and only a key the filter may have seen costs a block read.
        const bool last = beyondChainEnd(rec.constData());
        const char* highest = batch_.highest();
        if (batch_.find(rec.constData()) != NoRecord || (!last && chainHoldsKey(rec.constData()))) {
            hdr_.autoInc = savedAutoInc;
            throw KeyViolation(QStringLiteral("Violação de chave"));
        }
        codec_.encodeBlobs(values, nullptr, rec, nullptr);
        dirty_ = true;
        if (last && (!highest || compareKeys(rec.constData(), highest) > 0)) {
            const int lastCi = chain_.size() - 1;
            const RecordId id = chainInsert(lastCi, lastCi < 0 ? 0 : chain_.count(chain_.blockAt(lastCi)), rec.constData());
            writeDone();
            return id;
        }
        if (batch_.full())
            mergeBatch();
        return batch_.add(rec.constData());
    }
    if (hdr_.keyFields > 0) {
        locate(rec.constData(), &ci, &slot, &equal);
        if (equal) {
            hdr_.autoInc = savedAutoInc;
            throw KeyViolation(QStringLiteral("Violação de chave"));
        }
    } else if (chain_.holds(before)) {
        ci = chain_.indexOf(idBlock(before));
        slot = idSlot(before);
    } else {
        ci = chain_.size() - 1;
        slot = ci >= 0 ? chain_.count(chain_.blockAt(ci)) : 0;
    }
    codec_.encodeBlobs(values, nullptr, rec, nullptr);
    const RecordId id = chainInsert(ci, slot, rec.constData());
    dirty_ = true;
    writeDone();
    return id;
}

RecordId ParadoxTable::update(RecordId id, const QList<Value>& values, const QList<bool>& changed)
{
    beginWrite();
    secondary_.markStale();
    QByteArray old;
    read(id, old);
    QByteArray rec = old;
    codec_.encodeFields(values, &changed, rec, &old);
    for (int i = 0; i < int(hdr_.fields.size()); ++i) {
        const Field& f = hdr_.fields[size_t(i)];
        if (i >= changed.size() || !changed[i])
            continue;
        char* p = rec.data() + f.offset;
        codec_.checkRequired(i, p, values);
        codec_.checkRange(i, p);
        if (f.code == kAutoInc) {
            qint64 v;
            if (readInt(p, 4, &v) && v > 0 && quint32(v) > hdr_.autoInc) {
                hdr_.autoInc = quint32(v);
                dirty_ = true;
            }
        }
    }
    const bool keyMoved = hdr_.keyFields > 0 && compareKeys(rec.constData(), old.constData()) != 0;
    if (keyMoved && (batch_.find(rec.constData()) != NoRecord || chainHoldsKey(rec.constData())))
        throw KeyViolation(QStringLiteral("Violação de chave"));
    codec_.encodeBlobs(values, &changed, rec, &old);
    dirty_ = true;
    if (batch_.holds(id)) {
        batch_.replace(id, rec.constData());
        return id;
    }
    if (!keyMoved) {
        chain_.overwrite(id, rec.constData());
        writeDone();
        return id;
    }
    const int b = idBlock(id);
    chain_.removeAt(chain_.indexOf(b), idSlot(id));
    int ci, slot;
    bool equal;
    locate(rec.constData(), &ci, &slot, &equal);
    const RecordId moved = chainInsert(ci, slot, rec.constData());
    writeDone();
    return moved;
}

RecordId ParadoxTable::remove(RecordId id)
{
    beginWrite();
    secondary_.markStale();
    id = settle(id);
    QByteArray old;
    read(id, old);
    codec_.releaseBlobs(old);
    const int b = idBlock(id), s = idSlot(id);
    const int ci = chain_.indexOf(b);
    const int chainBefore = chain_.size();
    chain_.removeAt(ci, s);
    dirty_ = true;
    writeDone();
    if (chain_.empty())
        return NoRecord;
    if (chain_.size() < chainBefore && (ci >= chain_.size() || chain_.blockAt(ci) != b))
        return ci < chain_.size() ? makeId(chain_.blockAt(ci), 0) : NoRecord;
    if (s < chain_.count(b))
        return makeId(b, s);
    return ci + 1 < chain_.size() ? makeId(chain_.blockAt(ci + 1), 0) : NoRecord;
}

void ParadoxTable::writeDone()
{
    if (!deferred_ || ++writesSinceCommit_ >= writesPerDeferredCommit) {
        writesSinceCommit_ = 0;
        commitWrite();
    }
}

void ParadoxTable::writeHeader()
{
    const std::vector<int>& order = chain_.order();
    hdr_.writeCounters(file_, {chain_.total(), chain_.size(), order.empty() ? 0 : order.front(), order.empty() ? 0 : order.back()});
}

void ParadoxTable::commitWrite()
{
    if (!writable_ || !dirty_)
        return;
    if (mb_)
        mb_->flush();  // blobs before the records that point at them
    // The change counter moves first, alone: until the .PX carries the same value at the very
    // end, the family reads as out of step, whatever step an interruption stops at.
    hdr_.bytes[0x2D] = char(uchar(hdr_.bytes[0x2D]) + 1);
    // Records leave the header's count before they leave the blocks (readers stop at the
    // count), and join it only after the blocks hold them (writeHeader() below).
    const qint64 counted = le32(hdr_.bytes.constData() + 6);
    const qint64 least = std::max<qint64>(0, counted - chain_.takeRemoved());
    if (least < counted) {
        putLe32(hdr_.bytes.data() + 6, quint32(least));
        file_.write(6, hdr_.bytes.constData() + 6, 4);
    }
    if (px_.active()) {
        file_.write(0x2D, hdr_.bytes.constData() + 0x2D, 1);
        if (writeStepHook)
            writeStepHook(0);
    }
    // Blocks new to the file first: nothing on disk points at them yet. Then the chained ones,
    // which unlink freed blocks before those are overwritten as free.
    for (int nb : chain_.takeNewBlocks())
        for (BlockStore::Block& c : blocks_.buffers())
            if (c.no == nb && c.dirty)
                blocks_.write(c);
    // The header counts the new blocks before the chain points at them.
    if (hdr_.fileBlocks > le16(hdr_.bytes.constData() + 0x0C)) {
        putLe16(hdr_.bytes.data() + 0x0C, quint16(hdr_.fileBlocks));
        file_.write(0x0C, hdr_.bytes.constData() + 0x0C, 2);
    }
    for (BlockStore::Block& c : blocks_.buffers())
        if (c.no && c.dirty && chain_.indexOf(c.no) >= 0)
            blocks_.write(c);
    for (BlockStore::Block& c : blocks_.buffers())
        if (c.no && c.dirty)
            blocks_.write(c);
    if (writeStepHook)
        writeStepHook(1);
    px_.commit();
    if (writeStepHook)
        writeStepHook(2);
    writeHeader();
    const qint64 expected = hdr_.headerSize + qint64(hdr_.fileBlocks) * hdr_.blockSize;
    if (blocks_.fileSize() != expected) {
        file_.resize(expected);
        blocks_.setFileSize(expected);
    }
    if (writeStepHook)
        writeStepHook(3);
    px_.finish();
    dirty_ = false;
}

void ParadoxTable::flush()
{
    if (!writable_)
        return;
    mergeBatch();
    commitWrite();
    if (mb_)
        mb_->flush();
    secondary_.rebuild({chain_.order(), chain_.counts(), chain_.total(), [this](int b) { return chain_.records(b); }});
}

void ParadoxTable::rebuildFromData()
{
    beginWrite();
    secondary_.markStale();
    dirty_ = true;
    flush();
}

}  // namespace quillora
