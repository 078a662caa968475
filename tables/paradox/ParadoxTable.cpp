#include "tables/paradox/ParadoxTable.h"

#include "tables/Error.h"
#include "tables/Session.h"
#include "tables/io/FileOps.h"
#include "tables/paradox/PxBlob.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace quillora {

using namespace px;

namespace {

inline RecordId makeId(int block, int slot) { return (RecordId(block) << 16) | RecordId(slot); }
inline int idBlock(RecordId id) { return int(id >> 16); }
inline int idSlot(RecordId id) { return int(id & 0xFFFF); }

}  // namespace

// --- Opening ----------------------------------------------------------------------------------

ParadoxTable::ParadoxTable(const QString& path)
    : path_(path), blocks_(file_, path, [this](int no) { return 6 + std::max(0, count_[size_t(no)]) * hdr_.recordSize; }),
      codec_(hdr_, path, [this](bool forWrite) -> MbFile& { return mb(forWrite); }),
      px_(path, {hdr_, chain_, chainIndex_, count_, firstKey_, [this](int b) { return blockRecords(b); }}),
      secondary_(path, hdr_)
{
    if (const int err = file_.tryOpen(path, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir a tabela %1: %2").arg(path, io::errorText(err)));
    openHeader();
    findPassword();
    walkChain();
    walkFreeList();
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

void ParadoxTable::damaged(const QString& what) const
{
    px::damaged(path_, what);
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

void ParadoxTable::walkChain()
{
    const int n = hdr_.fileBlocks;
    next_.assign(size_t(n) + 1, 0);
    prev_.assign(size_t(n) + 1, 0);
    count_.assign(size_t(n) + 1, -1);
    chainIndex_.assign(size_t(n) + 1, -1);
    chain_.clear();
    totalRecords_ = 0;
    int b = le16(hdr_.bytes.constData() + 0x0E);
    char hdr[6];
    while (b != 0) {
        if (b < 1 || b > n)
            damaged(QStringLiteral("bloco %1 fora do arquivo (%2 blocos)").arg(b).arg(n));
        if (chainIndex_[b] >= 0)
            damaged(QStringLiteral("encadeamento de blocos em laço no bloco %1").arg(b));
        const char* bp;
        if (hdr_.key) {
            bp = block(b).data.constData();
        } else {
            if (file_.readSome(hdr_.headerSize + qint64(b - 1) * hdr_.blockSize, hdr, 6) != 6)
                damaged(QStringLiteral("bloco %1 ilegível").arg(b));
            bp = hdr;
        }
        const int nx = le16(bp);
        const int pv = le16(bp + 2);
        const int add = qint16(le16(bp + 4));
        if (add < -hdr_.recordSize || (add + hdr_.recordSize) % hdr_.recordSize != 0)
            damaged(QStringLiteral("bloco %1 com deslocamento de dados %2").arg(b).arg(add));
        const int cnt = add / hdr_.recordSize + 1;
        if (cnt > hdr_.capacity)
            damaged(QStringLiteral("bloco %1 diz ter %2 registros, cabem %3").arg(b).arg(cnt).arg(hdr_.capacity));
        if (hdr_.headerSize + qint64(b - 1) * hdr_.blockSize + 6 + qint64(cnt) * hdr_.recordSize > blocks_.fileSize())
            damaged(QStringLiteral("bloco %1 cortado no fim do arquivo").arg(b));
        // A write stopped before it reached this block leaves its back pointer behind.
        const int chainPrev = chain_.empty() ? 0 : chain_.back();
        if (pv != chainPrev)
            outOfStepBlocks_.push_back(b);
        next_[b] = nx;
        prev_[b] = chainPrev;
        count_[b] = cnt;
        chainIndex_[b] = int(chain_.size());
        chain_.push_back(b);
        totalRecords_ += cnt;
        b = nx;
    }
    prefix_.assign(chain_.size() + 1, 0);
    prefixValid_ = 0;
    hideUncountedRecords();
}

void ParadoxTable::hideUncountedRecords()
{
    // Data blocks are written before the header that counts their records, so a write that
    // stopped in between leaves records in the blocks that the header does not count. Other
    // readers (pxlib, the BDE) take the header's count of records in chain order; so does this
    // one, and the first write puts the blocks in step (putBlocksInStep()).
    const qint64 counted = le32(hdr_.bytes.constData() + 6);
    if (counted >= totalRecords_)
        return;
    qint64 left = counted;
    for (int b : chain_) {
        if (count_[b] > left) {
            count_[b] = int(left);
            outOfStepBlocks_.push_back(b);
        }
        left -= count_[b];
    }
    while (!chain_.empty() && count_[chain_.back()] == 0) {
        const int b = chain_.back();
        chain_.pop_back();
        chainIndex_[b] = -1;
        orphanBlocks_.push_back(b);
        if (!chain_.empty())
            next_[chain_.back()] = 0;
    }
    totalRecords_ = counted;
    prefix_.assign(chain_.size() + 1, 0);
    prefixValid_ = 0;
}

void ParadoxTable::putBlocksInStep()
{
    // Blocks a stopped write added to the file but did not link yet go to the free list.
    if (freeListProblem_.isEmpty()) {
        std::vector<bool> known(size_t(hdr_.fileBlocks) + 1, false);
        for (int b = hdr_.firstFree; b != 0; b = next_[b])
            known[size_t(b)] = true;
        for (int b : orphanBlocks_)
            known[size_t(b)] = true;
        for (int b = 1; b <= hdr_.fileBlocks; ++b)
            if (!known[size_t(b)] && chainIndex_[b] < 0)
                orphanBlocks_.push_back(b);
    }
    if (outOfStepBlocks_.empty() && orphanBlocks_.empty())
        return;
    for (int b : outOfStepBlocks_)
        if (chainIndex_[b] >= 0)
            setBlockHeader(b);
    if (!chain_.empty())
        setBlockHeader(chain_.back());
    for (int b : orphanBlocks_)
        freeBlock(b);
    outOfStepBlocks_.clear();
    orphanBlocks_.clear();
    dirty_ = true;
    commitWrite();
}

void ParadoxTable::walkFreeList()
{
    freeListProblem_.clear();
    std::vector<bool> seen(size_t(hdr_.fileBlocks) + 1, false);
    int b = hdr_.firstFree;
    char hdr[6];
    while (b != 0) {
        if (b < 1 || b > hdr_.fileBlocks || seen[b] || chainIndex_[b] >= 0) {
            freeListProblem_ = QStringLiteral("lista de blocos livres inválida no bloco %1").arg(b);
            return;
        }
        seen[b] = true;
        if (hdr_.key) {
            next_[b] = le16(block(b).data.constData());
        } else {
            if (file_.readSome(hdr_.headerSize + qint64(b - 1) * hdr_.blockSize, hdr, 6) != 6) {
                freeListProblem_ = QStringLiteral("bloco livre %1 ilegível").arg(b);
                return;
            }
            next_[b] = le16(hdr);
        }
        count_[b] = 0;
        b = next_[b];
    }
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
        d.fileName = QFileInfo(familyFile(QStringLiteral("PX"))).fileName();
        out << d;
    }
    out << secondary_.definitions();
    return out;
}

// --- Blocks -----------------------------------------------------------------------------------

void ParadoxTable::setBlockHeader(int no)
{
    BlockStore::Block& c = block(no);
    char* p = c.data.data();
    putLe16(p, quint16(next_[no]));
    putLe16(p + 2, quint16(prev_[no]));
    putLe16(p + 4, quint16(qint16((count_[no] - 1) * hdr_.recordSize)));
    c.dirty = true;
    px_.touch(no);
}

void ParadoxTable::ensurePrefix(int chainIndex)
{
    if (prefix_.size() != chain_.size() + 1)
        prefix_.resize(chain_.size() + 1);
    for (int k = prefixValid_; k < chainIndex && k < int(chain_.size()); ++k)
        prefix_[size_t(k) + 1] = prefix_[size_t(k)] + count_[chain_[size_t(k)]];
    prefixValid_ = std::max(prefixValid_, std::min(chainIndex, int(chain_.size())));
}

void ParadoxTable::chainChanged(int fromIndex)
{
    prefixValid_ = std::max(0, std::min(prefixValid_, fromIndex));
    if (prefix_.size() != chain_.size() + 1)
        prefix_.resize(chain_.size() + 1);
}

// --- Navigation -------------------------------------------------------------------------------

RecordId ParadoxTable::first()
{
    for (int b : chain_)
        if (count_[b] > 0)
            return makeId(b, 0);
    return NoRecord;
}

RecordId ParadoxTable::last()
{
    for (auto it = chain_.rbegin(); it != chain_.rend(); ++it)
        if (count_[*it] > 0)
            return makeId(*it, count_[*it] - 1);
    return NoRecord;
}

RecordId ParadoxTable::next(RecordId id)
{
    const int b = idBlock(id), s = idSlot(id);
    if (id < 0 || b < 1 || b > hdr_.fileBlocks || chainIndex_[b] < 0)
        return NoRecord;
    if (s + 1 < count_[b])
        return makeId(b, s + 1);
    for (size_t i = size_t(chainIndex_[b]) + 1; i < chain_.size(); ++i)
        if (count_[chain_[i]] > 0)
            return makeId(chain_[i], 0);
    return NoRecord;
}

RecordId ParadoxTable::prior(RecordId id)
{
    const int b = idBlock(id), s = idSlot(id);
    if (id < 0 || b < 1 || b > hdr_.fileBlocks || chainIndex_[b] < 0)
        return NoRecord;
    if (s > 0)
        return makeId(b, s - 1);
    for (int i = chainIndex_[b] - 1; i >= 0; --i)
        if (count_[chain_[size_t(i)]] > 0)
            return makeId(chain_[size_t(i)], count_[chain_[size_t(i)]] - 1);
    return NoRecord;
}

qint64 ParadoxTable::position(RecordId id)
{
    const qint64 n = recordNumber(id);
    return n > 0 ? n : -1;
}

qint64 ParadoxTable::recordNumber(RecordId id)
{
    const int b = idBlock(id);
    if (id < 0 || b < 1 || b > hdr_.fileBlocks || chainIndex_[b] < 0)
        return 0;
    ensurePrefix(chainIndex_[b]);
    return prefix_[size_t(chainIndex_[b])] + idSlot(id) + 1;
}

RecordId ParadoxTable::atPosition(qint64 position)
{
    if (position < 1 || position > totalRecords_)
        return NoRecord;
    ensurePrefix(int(chain_.size()));
    // Last chain index whose first record is at or before the position.
    auto it = std::upper_bound(prefix_.begin(), prefix_.end() - 1, position - 1);
    int ci = int(it - prefix_.begin()) - 1;
    while (ci < int(chain_.size()) && prefix_[size_t(ci)] + count_[chain_[size_t(ci)]] < position)
        ++ci;
    if (ci < 0 || ci >= int(chain_.size()))
        return NoRecord;
    return makeId(chain_[size_t(ci)], int(position - 1 - prefix_[size_t(ci)]));
}

// --- Reading ----------------------------------------------------------------------------------

void ParadoxTable::read(RecordId id, QByteArray& raw)
{
    const int b = idBlock(id), s = idSlot(id);
    if (id < 0 || b < 1 || b > hdr_.fileBlocks || chainIndex_[b] < 0 || s >= count_[b])
        throw FileError(QStringLiteral("Registro inexistente na tabela %1").arg(path_));
    const char* p = block(b).data.constData() + 6 + s * hdr_.recordSize;
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
    if (!freeListProblem_.isEmpty())
        throw FileError(QStringLiteral("A tabela %1 não pode ser gravada: %2").arg(path_, freeListProblem_));
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
    putBlocksInStep();
    if (hdr_.keyFields > 0) {
        loadFirstKeys();
        px_.open(familyFile(QStringLiteral("PX")));
    }
}

void ParadoxTable::loadFirstKeys()
{
    firstKey_.assign(chain_.size(), QByteArray());
    for (size_t i = 0; i < chain_.size(); ++i)
        refreshFirstKey(int(i));
    firstKeysLoaded_ = true;
}

void ParadoxTable::refreshFirstKey(int ci)
{
    if (hdr_.keyFields == 0 || ci < 0 || ci >= int(chain_.size()))
        return;
    if (firstKey_.size() != chain_.size())
        firstKey_.resize(chain_.size());
    const int b = chain_[size_t(ci)];
    px_.touch(b);
    if (count_[b] > 0)
        firstKey_[size_t(ci)] = QByteArray(block(b).data.constData() + 6, hdr_.keySize);
    else
        firstKey_[size_t(ci)] = ci > 0 ? firstKey_[size_t(ci) - 1] : QByteArray();
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
    const int lastCi = int(chain_.size()) - 1;
    const int lastB = chain_[size_t(lastCi)];
    if (count_[lastB] > 0) {
        const int c = compareKeys(rec, block(lastB).data.constData() + 6 + (count_[lastB] - 1) * hdr_.recordSize);
        if (c > 0) {
            *chainIndex = lastCi;
            *slot = count_[lastB];
            return;
        }
    }
    // Last block whose first key is not above the new key.
    int lo = 0, hi = lastCi;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        const QByteArray& k = firstKey_[size_t(mid)];
        if (!k.isEmpty() && compareKeys(k.constData(), rec) <= 0)
            lo = mid;
        else
            hi = mid - 1;
    }
    const int b = chain_[size_t(lo)];
    const char* data = block(b).data.constData() + 6;
    int l = 0, h = count_[b];
    while (l < h) {
        const int m = (l + h) / 2;
        if (compareKeys(data + m * hdr_.recordSize, rec) < 0)
            l = m + 1;
        else
            h = m;
    }
    *chainIndex = lo;
    *slot = l;
    *equal = l < count_[b] && compareKeys(data + l * hdr_.recordSize, rec) == 0;
}

int ParadoxTable::allocBlock()
{
    int nb;
    if (hdr_.firstFree > 0) {
        nb = hdr_.firstFree;
        hdr_.firstFree = next_[nb];
        BlockStore::Block& c = block(nb);
        c.data.fill('\0');
        c.dirty = true;
    } else {
        if (hdr_.fileBlocks >= 0xFFFF)
            throw FileError(QStringLiteral("A tabela %1 atingiu o número máximo de blocos").arg(path_));
        nb = ++hdr_.fileBlocks;
        blocks_.setBlockCount(hdr_.fileBlocks);
        next_.push_back(0);
        prev_.push_back(0);
        count_.push_back(0);
        chainIndex_.push_back(-1);
        BlockStore::Block& c = block(nb);
        c.data.fill('\0');
        c.dirty = true;
    }
    next_[nb] = prev_[nb] = 0;
    count_[nb] = 0;
    newBlocks_.push_back(nb);
    return nb;
}

void ParadoxTable::freeBlock(int no)
{
    chainIndex_[no] = -1;
    count_[no] = 0;
    next_[no] = hdr_.firstFree;
    hdr_.firstFree = no;
    BlockStore::Block& c = block(no);
    std::memset(c.data.data() + 6, 0, size_t(hdr_.blockSize - 6));
    putLe16(c.data.data(), quint16(next_[no]));
    putLe16(c.data.data() + 4, quint16(qint16(-hdr_.recordSize)));
    c.dirty = true;
}

RecordId ParadoxTable::insertAt(int ci, int slot, const char* rec)
{
    if (ci < 0) {
        const int nb = allocBlock();
        chain_.push_back(nb);
        chainIndex_[nb] = 0;
        if (hdr_.keyFields)
            firstKey_.assign(1, QByteArray());
        px_.insertFirst(nb);
        ci = 0;
        slot = 0;
        chainChanged(0);
    }
    int b = chain_[size_t(ci)];
    if (slot < count_[b])
        ++idGeneration_;  // later records of the block shift (or move out in a split)
    auto linkAfter = [&](int at, int nb) {
        const int ob = chain_[size_t(at)];
        next_[nb] = next_[ob];
        prev_[nb] = ob;
        if (next_[ob]) {
            prev_[next_[ob]] = nb;
            setBlockHeader(next_[ob]);
        }
        next_[ob] = nb;
        chain_.insert(chain_.begin() + at + 1, nb);
        for (size_t k = size_t(at) + 1; k < chain_.size(); ++k)
            chainIndex_[chain_[k]] = int(k);
        if (hdr_.keyFields)
            firstKey_.insert(firstKey_.begin() + at + 1, QByteArray());
        px_.linkAfter(ob, nb);
        chainChanged(at);
        setBlockHeader(ob);
    };
    if (count_[b] >= hdr_.capacity) {
        if (slot == count_[b] && ci == int(chain_.size()) - 1) {
            const int nb = allocBlock();
            linkAfter(ci, nb);
            ci += 1;
            slot = 0;
            b = nb;
        } else {
            const int nb = allocBlock();
            linkAfter(ci, nb);
            ++idGeneration_;  // the upper half moves to the new block
            const int keep = (count_[b] + 1) / 2;
            const int move = count_[b] - keep;
            {
                const BlockStore::Pin from = blocks_.pin(b);
                BlockStore::Block& to = block(nb);
                std::memcpy(to.data.data() + 6, from->data.constData() + 6 + keep * hdr_.recordSize, size_t(move) * hdr_.recordSize);
                to.dirty = true;
            }
            std::memset(block(b).data.data() + 6 + keep * hdr_.recordSize, 0, size_t(move) * hdr_.recordSize);
            count_[b] = keep;
            count_[nb] = move;
            setBlockHeader(b);
            setBlockHeader(nb);
            refreshFirstKey(ci + 1);
            if (slot > keep) {
                ci += 1;
                slot -= keep;
                b = nb;
            }
        }
    }
    BlockStore::Block& c = block(b);
    char* base = c.data.data() + 6;
    std::memmove(base + (slot + 1) * hdr_.recordSize, base + slot * hdr_.recordSize, size_t(count_[b] - slot) * hdr_.recordSize);
    std::memcpy(base + slot * hdr_.recordSize, rec, size_t(hdr_.recordSize));
    c.dirty = true;
    count_[b] += 1;
    setBlockHeader(b);
    if (slot == 0)
        refreshFirstKey(ci);
    chainChanged(ci);
    ++totalRecords_;
    dirty_ = true;
    return makeId(b, slot);
}

void ParadoxTable::truncateToHeader()
{
    blocks_.forget();
    hdr_.fileBlocks = 0;
    blocks_.setBlockCount(0);
    hdr_.firstFree = 0;
    chain_.clear();
    firstKey_.clear();
    next_.assign(1, 0);
    prev_.assign(1, 0);
    count_.assign(1, 0);
    chainIndex_.assign(1, -1);
    prefix_.assign(1, 0);
    prefixValid_ = 0;
    newBlocks_.clear();
    px_.clear();
    // The file is cut once the header says it has no blocks (commitWrite).
}

Value ParadoxTable::normalize(int field, const Value& v)
{
    return codec_.normalize(field, v);
}

QList<Value> ParadoxTable::newRecordValues()
{
    return codec_.defaultValues();
}

void ParadoxTable::removeAt(int ci, int slot)
{
    const int b = chain_[size_t(ci)];
    if (slot + 1 < count_[b] || (count_[b] == 1 && ci == 0))
        ++idGeneration_;  // later records shift up, or the next block moves into the first
    {
        BlockStore::Block& c = block(b);
        char* base = c.data.data() + 6;
        std::memmove(base + slot * hdr_.recordSize, base + (slot + 1) * hdr_.recordSize, size_t(count_[b] - slot - 1) * hdr_.recordSize);
        std::memset(base + (count_[b] - 1) * hdr_.recordSize, 0, size_t(hdr_.recordSize));
        c.dirty = true;
    }
    count_[b] -= 1;
    --totalRecords_;
    ++removedSinceCommit_;
    dirty_ = true;
    if (count_[b] > 0) {
        setBlockHeader(b);
        if (slot == 0)
            refreshFirstKey(ci);
        chainChanged(ci);
        return;
    }
    if (chain_.size() == 1) {
        truncateToHeader();
        return;
    }
    if (ci == 0) {
        // The first block stays where it is; the next block's records move into it.
        const int nb = chain_[1];
        {
            const BlockStore::Pin from = blocks_.pin(nb);
            BlockStore::Block& to = block(b);
            std::memcpy(to.data.data() + 6, from->data.constData() + 6, size_t(count_[nb]) * hdr_.recordSize);
            to.dirty = true;
        }
        count_[b] = count_[nb];
        next_[b] = next_[nb];
        if (next_[nb]) {
            prev_[next_[nb]] = b;
            setBlockHeader(next_[nb]);
        }
        setBlockHeader(b);
        chain_.erase(chain_.begin() + 1);
        if (hdr_.keyFields)
            firstKey_.erase(firstKey_.begin() + 1);
        for (size_t k = 1; k < chain_.size(); ++k)
            chainIndex_[chain_[k]] = int(k);
        px_.unlink(nb);
        freeBlock(nb);
        refreshFirstKey(0);
        chainChanged(0);
        return;
    }
    const int pv = prev_[b], nx = next_[b];
    if (pv) {
        next_[pv] = nx;
        setBlockHeader(pv);
    }
    if (nx) {
        prev_[nx] = pv;
        setBlockHeader(nx);
    }
    chain_.erase(chain_.begin() + ci);
    if (hdr_.keyFields)
        firstKey_.erase(firstKey_.begin() + ci);
    for (size_t k = size_t(ci); k < chain_.size(); ++k)
        chainIndex_[chain_[k]] = int(k);
    px_.unlink(b);
    freeBlock(b);
    chainChanged(ci);
}

RecordId ParadoxTable::insert(const QList<Value>& values, RecordId before)
{
    beginWrite();
    secondary_.markStale();
    QByteArray rec(hdr_.recordSize, '\0');
    codec_.encodeFields(values, nullptr, rec, nullptr);
    const quint32 savedAutoInc = hdr_.autoInc;
    for (int i = 0; i < int(hdr_.fields.size()); ++i) {
        const Field& f = hdr_.fields[size_t(i)];
        char* p = rec.data() + f.offset;
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
    int ci, slot;
    bool equal = false;
    if (hdr_.keyFields > 0) {
        locate(rec.constData(), &ci, &slot, &equal);
        if (equal) {
            hdr_.autoInc = savedAutoInc;
            throw KeyViolation(QStringLiteral("Violação de chave"));
        }
    } else if (before != NoRecord && idBlock(before) >= 1 && idBlock(before) <= hdr_.fileBlocks &&
               chainIndex_[idBlock(before)] >= 0 && idSlot(before) < count_[idBlock(before)]) {
        ci = chainIndex_[idBlock(before)];
        slot = idSlot(before);
    } else {
        ci = int(chain_.size()) - 1;
        slot = ci >= 0 ? count_[chain_[size_t(ci)]] : 0;
    }
    codec_.encodeBlobs(values, nullptr, rec, nullptr);
    if (hdr_.autoInc != savedAutoInc)
        dirty_ = true;
    const RecordId id = insertAt(ci, slot, rec.constData());
    commitWrite();
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
    if (keyMoved) {
        int ci, slot;
        bool equal;
        locate(rec.constData(), &ci, &slot, &equal);
        if (equal)
            throw KeyViolation(QStringLiteral("Violação de chave"));
    }
    codec_.encodeBlobs(values, &changed, rec, &old);
    const int b = idBlock(id), s = idSlot(id);
    if (!keyMoved) {
        BlockStore::Block& c = block(b);
        std::memcpy(c.data.data() + 6 + s * hdr_.recordSize, rec.constData(), size_t(hdr_.recordSize));
        c.dirty = true;
        dirty_ = true;
        if (s == 0 && hdr_.keyFields > 0)
            refreshFirstKey(chainIndex_[b]);  // the first key of a block may change in its bytes only
        commitWrite();
        return id;
    }
    removeAt(chainIndex_[b], s);
    int ci, slot;
    bool equal;
    locate(rec.constData(), &ci, &slot, &equal);
    const RecordId moved = insertAt(ci, slot, rec.constData());
    commitWrite();
    return moved;
}

RecordId ParadoxTable::remove(RecordId id)
{
    beginWrite();
    secondary_.markStale();
    QByteArray old;
    read(id, old);
    codec_.releaseBlobs(old);
    const int b = idBlock(id), s = idSlot(id);
    const int ci = chainIndex_[b];
    const size_t chainBefore = chain_.size();
    removeAt(ci, s);
    commitWrite();
    if (chain_.empty())
        return NoRecord;
    if (chain_.size() < chainBefore && (ci >= int(chain_.size()) || chain_[size_t(ci)] != b))
        return ci < int(chain_.size()) ? makeId(chain_[size_t(ci)], 0) : NoRecord;
    if (s < count_[b])
        return makeId(b, s);
    return ci + 1 < int(chain_.size()) ? makeId(chain_[size_t(ci) + 1], 0) : NoRecord;
}

void ParadoxTable::writeHeader()
{
    hdr_.writeCounters(file_, {totalRecords_, int(chain_.size()), chain_.empty() ? 0 : chain_.front(),
                               chain_.empty() ? 0 : chain_.back()});
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
    const qint64 least = std::max<qint64>(0, counted - removedSinceCommit_);
    removedSinceCommit_ = 0;
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
    for (int nb : newBlocks_)
        for (BlockStore::Block& c : blocks_.buffers())
            if (c.no == nb && c.dirty)
                blocks_.write(c);
    newBlocks_.clear();
    // The header counts the new blocks before the chain points at them.
    if (hdr_.fileBlocks > le16(hdr_.bytes.constData() + 0x0C)) {
        putLe16(hdr_.bytes.data() + 0x0C, quint16(hdr_.fileBlocks));
        file_.write(0x0C, hdr_.bytes.constData() + 0x0C, 2);
    }
    for (BlockStore::Block& c : blocks_.buffers())
        if (c.no && c.dirty && chainIndex_[c.no] >= 0)
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
    commitWrite();
    if (mb_)
        mb_->flush();
    secondary_.rebuild({chain_, count_, totalRecords_, [this](int b) { return blockRecords(b); }});
}

}  // namespace quillora
