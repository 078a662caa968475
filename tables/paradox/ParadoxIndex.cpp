#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"

#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/paradox/PxCodec.h"
#include "tables/paradox/PxFiles.h"

#include <QDir>
#include <QFileInfo>

#include <ctime>
#include <functional>

namespace quillora {

using namespace px;

// Header of a .PX for `keyFields` leading fields of a table.
QByteArray buildPxHeader(const std::vector<std::pair<int, int>>& keyTypes, int keySize, int version, int sortByte,
                         int blockKiB, const QString& tableName)
{
    const int n = int(keyTypes.size());
    const int tableNameSize = version >= 0x0C ? 261 : 79;
    const int real = 0x58 + 2 * n + 4 + tableNameSize;
    const int headerSize = (real + 0x7FF) / 0x800 * 0x800;
    QByteArray h(headerSize, '\0');
    char* p = h.data();
    putLe16(p, quint16(keySize + 6));
    putLe16(p + 2, quint16(headerSize));
    p[4] = 1;
    p[5] = char(blockKiB);
    putLe16(p + 0x12, 1);
    putLe16(p + 0x1E, 1);
    putLe16(p + 0x21, quint16(n));
    p[0x29] = char(sortByte);
    p[0x39] = char(version);
    putLe16(p + 0x51, quint16(real));
    for (int i = 0; i < n; ++i) {
        p[0x58 + 2 * i] = char(keyTypes[size_t(i)].first);
        p[0x58 + 2 * i + 1] = char(keyTypes[size_t(i)].second);
    }
    const QByteArray name = QFileInfo(tableName).fileName().toLatin1().left(tableNameSize - 1);
    std::memcpy(p + 0x58 + 2 * n + 4, name.constData(), size_t(name.size()));
    return h;
}

// --- The .PX while writing ------------------------------------------------------------------
//
// The index is built from the data once, when writing starts (so that a stale or damaged .PX
// left by another program does not matter), and from then on only the entries of the blocks
// a write changed are updated: their .PX blocks and the ones above them are written, then the
// header. Blocks of every level sit in one chain, root first and then each level in key order
// (readers such as pxlib take the first chained block for the upper level). Emptied .PX
// blocks are filled with the last block of the file, so the file never holds free blocks.

void ParadoxTable::pxOpen()
{
    std::vector<std::pair<int, int>> keyTypes;
    for (int i = 0; i < hdr_.keyFields; ++i)
        keyTypes.emplace_back(hdr_.fields[size_t(i)].code, hdr_.fields[size_t(i)].sizeByte());
    const int entrySize = hdr_.keySize + 6;
    QString pxPath = familyFile(QStringLiteral("PX"));
    QByteArray hdr;
    if (!pxPath.isEmpty()) {
        io::File f;
        if (f.tryOpen(pxPath, io::OpenMode::Read) == 0) {
            const QByteArray start = readUpTo(f, 0, 0x58);
            if (start.size() == 0x58) {
                const int hs = le16(start.constData() + 2);
                const int bk = uchar(start[5]);
                if (start[4] == 1 && le16(start.constData()) == entrySize && le16(start.constData() + 0x21) == hdr_.keyFields &&
                    hs >= 0x58 && bk >= 1 && bk <= 32) {
                    hdr = readUpTo(f, 0, hs);
                    if (hdr.size() != hs)
                        hdr.clear();
                }
            }
        }
    } else {
        const QFileInfo fi(path_);
        pxPath = fi.dir().filePath(fi.completeBaseName() + (fi.suffix() == u"db" ? QStringLiteral(".px") : QStringLiteral(".PX")));
    }
    if (hdr.isEmpty())
        hdr = buildPxHeader(keyTypes, hdr_.keySize, hdr_.version, hdr_.sortByte, std::max(2, hdr_.blockSize / 1024), path_);
    pxPath_ = pxPath;
    pxHeader_ = hdr;
    pxBlockSize_ = uchar(hdr[5]) * 1024;
    pxKey_ = le32(hdr.constData() + 0x25);
    pxEntrySize_ = entrySize;
    pxCapacity_ = (pxBlockSize_ - 6) / entrySize;
    if (pxCapacity_ < 2)
        throw FileError(QStringLiteral("A chave da tabela %1 é grande demais para o índice primário (%2 bytes em blocos de %3)")
                            .arg(path_).arg(entrySize).arg(pxBlockSize_));
    const int perBlock = pxCapacity_ > 2 ? pxCapacity_ - 1 : pxCapacity_;  // as BDE leaves them: one entry short of full

    // Build the levels bottom-up, then number the blocks top-down as BDE does (root first).
    std::vector<std::vector<std::vector<PxEntry>>> levelBlocks;
    std::vector<PxEntry> level;
    level.reserve(chain_.size());
    for (size_t i = 0; i < chain_.size(); ++i)
        level.push_back({firstKey_[i].left(hdr_.keySize), chain_[i], count_[chain_[i]]});
    while (!level.empty()) {
        std::vector<std::vector<PxEntry>> groups;
        std::vector<PxEntry> up;
        for (size_t at = 0; at < level.size(); at += size_t(perBlock)) {
            const size_t end = std::min(level.size(), at + size_t(perBlock));
            std::vector<PxEntry> g(level.begin() + qsizetype(at), level.begin() + qsizetype(end));
            qint64 sum = 0;
            for (const PxEntry& e : g)
                sum += e.count;
            up.push_back({g.front().key, int(groups.size()), sum});
            groups.push_back(std::move(g));
        }
        levelBlocks.push_back(std::move(groups));
        if (up.size() == 1)
            break;
        level.swap(up);
    }
    const int levels = int(levelBlocks.size());
    std::vector<int> base(size_t(levels), 0);  // number of the first block of each level, minus one
    int numbered = 0;
    for (int k = levels - 1; k >= 0; --k) {
        base[size_t(k)] = numbered;
        numbered += int(levelBlocks[size_t(k)].size());
    }
    if (numbered > 0xFFFF)
        throw FileError(QStringLiteral("O índice primário de %1 ficou grande demais").arg(path_));
    pxNodes_.assign(size_t(numbered) + 1, PxNode());
    pxLeafOf_.assign(size_t(hdr_.fileBlocks) + 1, 0);
    for (int k = levels - 1; k >= 0; --k) {
        for (size_t g = 0; g < levelBlocks[size_t(k)].size(); ++g) {
            const int no = base[size_t(k)] + int(g) + 1;
            PxNode& n = pxNodes_[size_t(no)];
            n.live = true;
            n.level = k;
            n.entries = std::move(levelBlocks[size_t(k)][g]);
            n.next = no < numbered ? no + 1 : 0;
            n.prev = no - 1;
            for (PxEntry& e : n.entries)
                if (k > 0)
                    e.child = base[size_t(k) - 1] + e.child + 1;
        }
    }
    for (int no = 1; no <= numbered; ++no)
        for (size_t i = 0; i < pxNodes_[size_t(no)].entries.size(); ++i)
            pxAdopt(no, int(i));
    pxRoot_ = numbered ? 1 : 0;
    pxLevels_ = levels;
    pxHead_ = numbered ? 1 : 0;
    pxTail_ = numbered;
    pxTouched_.clear();
    pxChanged_.clear();
    pxWriteAll();
    pxActive_ = true;
}

namespace {
QString pxError(const QString& path, const QString& why)
{
    return QStringLiteral("Não foi possível gravar o índice primário %1: %2").arg(path, why);
}
}  // namespace

void ParadoxTable::pxWriteHeader(bool whole)
{
    qint64 entries = 0;
    const int blocks = int(pxNodes_.size()) - 1;
    for (int no = 1; no <= blocks; ++no)
        entries += qint64(pxNodes_[size_t(no)].entries.size());
    char* p = pxHeader_.data();
    putLe32(p + 0x06, quint32(entries));
    putLe16(p + 0x0A, quint16(blocks));
    putLe16(p + 0x0C, quint16(blocks));
    putLe16(p + 0x0E, quint16(pxHead_));
    putLe16(p + 0x10, quint16(pxTail_));
    putLe16(p + 0x1E, quint16(pxRoot_ ? pxRoot_ : 1));
    p[0x20] = char(pxLevels_);
    p[0x2C] = hdr_.bytes[0x2D];  // in step with the table (see the table's 0x2D)
    putLe16(p + 0x3A, quint16(blocks));
    putLe16(p + 0x4D, 0);
    if (whole)
        return;
    pxFile_.write(0, pxHeader_.constData(), 0x58);
}

namespace {
// Unsigned short in record encoding (big-endian, top bit flipped).
inline void putRecord16(char* p, int v)
{
    p[0] = char(((v >> 8) & 0xFF) ^ 0x80);
    p[1] = char(v & 0xFF);
}

void serializeNode(char* b, int blockSize, int entrySize, int keySize, int next, int prev,
                   const std::vector<ParadoxTable::PxEntry>& entries)
{
    putLe16(b, quint16(next));
    putLe16(b + 2, quint16(prev));
    putLe16(b + 4, quint16(qint16((int(entries.size()) - 1) * entrySize)));
    char* e = b + 6;
    for (const ParadoxTable::PxEntry& x : entries) {
        const qsizetype n = std::min<qsizetype>(keySize, x.key.size());
        std::memcpy(e, x.key.constData(), size_t(n));
        if (n < keySize)
            std::memset(e + n, 0, size_t(keySize - n));
        putRecord16(e + keySize, x.child);
        putRecord16(e + keySize + 2, int(std::min<qint64>(x.count, 65535)));
        putRecord16(e + keySize + 4, 0);
        e += entrySize;
    }
    std::memset(e, 0, size_t(b + blockSize - e));
}
}  // namespace

void ParadoxTable::pxWriteAll()
{
    pxWriteHeader(true);
    pxFile_.close();
    io::replaceFile(pxPath_, [&](io::File& out) {
        out.write(0, pxHeader_);
        qint64 at = pxHeader_.size();
        QByteArray b(pxBlockSize_, '\0');
        for (int no = 1; no < int(pxNodes_.size()); ++no) {
            PxNode& n = pxNodes_[size_t(no)];
            serializeNode(b.data(), pxBlockSize_, pxEntrySize_, hdr_.keySize, n.next, n.prev, n.entries);
            if (pxKey_)
                encryptBlock(b.data(), pxBlockSize_, pxKey_, no);
            out.write(at, b);
            at += b.size();
            n.dirty = false;
        }
    }, QStringLiteral("o índice primário"));
    if (const int err = pxFile_.tryOpen(pxPath_, io::OpenMode::ReadWrite); err < 0)
        throw FileError(pxError(pxPath_, io::errorText(err)));
    pxFileSize_ = pxFile_.size();
}

void ParadoxTable::pxWriteNode(int no)
{
    PxNode& n = pxNodes_[size_t(no)];
    QByteArray& b = pxScratch_;
    if (b.size() != pxBlockSize_)
        b.resize(pxBlockSize_);
    serializeNode(b.data(), pxBlockSize_, pxEntrySize_, hdr_.keySize, n.next, n.prev, n.entries);
    if (pxKey_)
        encryptBlock(b.data(), pxBlockSize_, pxKey_, no);
    const qint64 at = le16(pxHeader_.constData() + 2) + qint64(no - 1) * pxBlockSize_;
    pxFile_.write(at, b.constData(), pxBlockSize_);
    pxFileSize_ = std::max(pxFileSize_, at + pxBlockSize_);
    n.dirty = false;
}

void ParadoxTable::pxTouch(int dataBlock)
{
    if (pxActive_)
        pxTouched_.push_back(dataBlock);
}

void ParadoxTable::pxAdopt(int node, int pos)
{
    const PxNode& n = pxNodes_[size_t(node)];
    const int child = n.entries[size_t(pos)].child;
    if (n.level == 0) {
        if (child >= int(pxLeafOf_.size()))
            pxLeafOf_.resize(size_t(child) + 1, 0);
        pxLeafOf_[size_t(child)] = node;
    } else {
        pxNodes_[size_t(child)].parent = node;
    }
}

int ParadoxTable::pxIndexIn(int node, int child) const
{
    const std::vector<PxEntry>& es = pxNodes_[size_t(node)].entries;
    for (size_t i = 0; i < es.size(); ++i)
        if (es[i].child == child)
            return int(i);
    throw FileError(QStringLiteral("Índice primário de %1 inconsistente em memória (bloco %2 sem entrada %3)").arg(path_).arg(node).arg(child));
}

bool ParadoxTable::pxRightmost(int node) const
{
    while (node != pxRoot_) {
        const int p = pxNodes_[size_t(node)].parent;
        if (pxNodes_[size_t(p)].entries.back().child != node)
            return false;
        node = p;
    }
    return true;
}

int ParadoxTable::pxAllocNode(int level)
{
    int no = 0;
    for (size_t i = 1; i < pxNodes_.size() && !no; ++i)
        if (!pxNodes_[i].live)
            no = int(i);
    if (!no) {
        if (pxNodes_.size() > 0xFFFF)
            throw FileError(QStringLiteral("O índice primário de %1 ficou grande demais").arg(path_));
        no = int(pxNodes_.size());
        pxNodes_.emplace_back();
    }
    PxNode& n = pxNodes_[size_t(no)];
    n = PxNode();
    n.live = true;
    n.dirty = true;
    n.level = level;
    return no;
}

void ParadoxTable::pxFreeNode(int node)
{
    PxNode& n = pxNodes_[size_t(node)];
    n = PxNode();
}

void ParadoxTable::pxChainAfter(int node, int nn)
{
    PxNode& a = pxNodes_[size_t(node)];
    PxNode& b = pxNodes_[size_t(nn)];
    b.prev = node;
    b.next = a.next;
    if (a.next) {
        pxNodes_[size_t(a.next)].prev = nn;
        pxNodes_[size_t(a.next)].dirty = true;
    } else {
        pxTail_ = nn;
    }
    a.next = nn;
    a.dirty = b.dirty = true;
}

void ParadoxTable::pxChainRemove(int node)
{
    PxNode& n = pxNodes_[size_t(node)];
    if (n.prev) {
        pxNodes_[size_t(n.prev)].next = n.next;
        pxNodes_[size_t(n.prev)].dirty = true;
    } else {
        pxHead_ = n.next;
    }
    if (n.next) {
        pxNodes_[size_t(n.next)].prev = n.prev;
        pxNodes_[size_t(n.next)].dirty = true;
    } else {
        pxTail_ = n.prev;
    }
    n.next = n.prev = 0;
}

namespace {
qint64 sumOf(const std::vector<ParadoxTable::PxEntry>& es)
{
    qint64 s = 0;
    for (const auto& e : es)
        s += e.count;
    return s;
}
}  // namespace

void ParadoxTable::pxInsertEntry(int node, int pos, PxEntry e)
{
    {
        PxNode& n = pxNodes_[size_t(node)];
        n.entries.insert(n.entries.begin() + pos, std::move(e));
        n.dirty = true;
    }
    pxAdopt(node, pos);
    pxChanged_.push_back(node);
    const int size = int(pxNodes_[size_t(node)].entries.size());
    if (size <= pxCapacity_)
        return;
    // Full: split. Appending past the end of the index starts a new block (keys written in
    // order then fill every block); elsewhere the upper half moves out.
    const int level = pxNodes_[size_t(node)].level;
    const bool atEnd = pos == size - 1 && pxRightmost(node);
    const int keep = atEnd ? size - 1 : (size + 1) / 2;
    const int nn = pxAllocNode(level);
    {
        std::vector<PxEntry>& from = pxNodes_[size_t(node)].entries;
        std::vector<PxEntry>& to = pxNodes_[size_t(nn)].entries;
        to.assign(std::make_move_iterator(from.begin() + keep), std::make_move_iterator(from.end()));
        from.resize(size_t(keep));
    }
    for (size_t i = 0; i < pxNodes_[size_t(nn)].entries.size(); ++i)
        pxAdopt(nn, int(i));
    pxChainAfter(node, nn);
    pxChanged_.push_back(nn);
    PxEntry up{pxNodes_[size_t(nn)].entries.front().key, nn, sumOf(pxNodes_[size_t(nn)].entries)};
    if (node == pxRoot_) {
        const int r = pxAllocNode(level + 1);
        pxNodes_[size_t(r)].entries = {PxEntry{pxNodes_[size_t(node)].entries.front().key, node, sumOf(pxNodes_[size_t(node)].entries)}, std::move(up)};
        pxAdopt(r, 0);
        pxAdopt(r, 1);
        // The new root goes first in the chain.
        PxNode& rn = pxNodes_[size_t(r)];
        rn.next = pxHead_;
        rn.prev = 0;
        pxNodes_[size_t(pxHead_)].prev = r;
        pxNodes_[size_t(pxHead_)].dirty = true;
        pxHead_ = r;
        pxRoot_ = r;
        ++pxLevels_;
        return;
    }
    const int p = pxNodes_[size_t(node)].parent;
    pxInsertEntry(p, pxIndexIn(p, node) + 1, std::move(up));
}

void ParadoxTable::pxRemoveEntry(int node, int pos)
{
    {
        PxNode& n = pxNodes_[size_t(node)];
        n.entries.erase(n.entries.begin() + pos);
        n.dirty = true;
        if (!n.entries.empty()) {
            pxChanged_.push_back(node);
            pxMergeWithSibling(node);
            return;
        }
    }
    pxChainRemove(node);
    if (node == pxRoot_) {
        pxFreeNode(node);
        pxRoot_ = 0;
        pxLevels_ = 0;
        return;
    }
    const int p = pxNodes_[size_t(node)].parent;
    const int at = pxIndexIn(p, node);
    pxFreeNode(node);
    pxRemoveEntry(p, at);
}

void ParadoxTable::pxMergeWithSibling(int node)
{
    // Two neighbours under one parent that fit in one block become one, so that deletes shrink
    // the index (and its height) as inserts grew it.
    if (node == pxRoot_)
        return;
    const int p = pxNodes_[size_t(node)].parent;
    const int at = pxIndexIn(p, node);
    const std::vector<PxEntry>& siblings = pxNodes_[size_t(p)].entries;
    const size_t mine = pxNodes_[size_t(node)].entries.size();
    int left = 0, right = 0;
    if (at > 0 && mine + pxNodes_[size_t(siblings[size_t(at) - 1].child)].entries.size() <= size_t(pxCapacity_)) {
        left = siblings[size_t(at) - 1].child;
        right = node;
    } else if (at + 1 < int(siblings.size()) &&
               mine + pxNodes_[size_t(siblings[size_t(at) + 1].child)].entries.size() <= size_t(pxCapacity_)) {
        left = node;
        right = siblings[size_t(at) + 1].child;
    } else {
        return;
    }
    std::vector<PxEntry>& to = pxNodes_[size_t(left)].entries;
    const size_t from = to.size();
    std::vector<PxEntry>& moved = pxNodes_[size_t(right)].entries;
    to.insert(to.end(), std::make_move_iterator(moved.begin()), std::make_move_iterator(moved.end()));
    moved.clear();
    for (size_t i = from; i < to.size(); ++i)
        pxAdopt(left, int(i));
    pxNodes_[size_t(left)].dirty = true;
    pxChanged_.push_back(left);
    const int rightAt = pxIndexIn(p, right);
    pxChainRemove(right);
    pxFreeNode(right);
    pxRemoveEntry(p, rightAt);
}

void ParadoxTable::pxInsertFirst(int dataBlock)
{
    if (!pxActive_)
        return;
    const int no = pxAllocNode(0);
    pxNodes_[size_t(no)].entries.push_back({QByteArray(), dataBlock, 0});
    pxAdopt(no, 0);
    pxRoot_ = pxHead_ = pxTail_ = no;
    pxLevels_ = 1;
    pxChanged_.push_back(no);
    pxTouch(dataBlock);
}

void ParadoxTable::pxLinkAfter(int dataBlock, int newDataBlock)
{
    if (!pxActive_)
        return;
    const int node = pxLeafOf_[size_t(dataBlock)];
    pxInsertEntry(node, pxIndexIn(node, dataBlock) + 1, {pxNodes_[size_t(node)].entries.front().key, newDataBlock, 0});
    pxTouch(newDataBlock);
}

void ParadoxTable::pxUnlink(int dataBlock)
{
    if (!pxActive_)
        return;
    const int node = pxLeafOf_[size_t(dataBlock)];
    pxLeafOf_[size_t(dataBlock)] = 0;
    pxRemoveEntry(node, pxIndexIn(node, dataBlock));
}

void ParadoxTable::pxClear()
{
    if (!pxActive_)
        return;
    for (PxNode& n : pxNodes_)
        n = PxNode();
    std::fill(pxLeafOf_.begin(), pxLeafOf_.end(), 0);
    pxRoot_ = pxLevels_ = pxHead_ = pxTail_ = 0;
    pxTouched_.clear();
    pxChanged_.clear();
}

void ParadoxTable::pxCompact()
{
    int last = int(pxNodes_.size()) - 1;
    for (int hole = 1;; ++hole) {
        while (last > 0 && !pxNodes_[size_t(last)].live)
            --last;
        if (hole >= last)
            break;
        if (pxNodes_[size_t(hole)].live)
            continue;
        // The last block moves into the hole.
        pxNodes_[size_t(hole)] = std::move(pxNodes_[size_t(last)]);
        pxNodes_[size_t(last)] = PxNode();
        PxNode& n = pxNodes_[size_t(hole)];
        n.dirty = true;
        if (last == pxRoot_) {
            pxRoot_ = hole;
        } else {
            PxNode& p = pxNodes_[size_t(n.parent)];
            p.entries[size_t(pxIndexIn(n.parent, last))].child = hole;
            p.dirty = true;
        }
        if (n.prev) {
            pxNodes_[size_t(n.prev)].next = hole;
            pxNodes_[size_t(n.prev)].dirty = true;
        } else {
            pxHead_ = hole;
        }
        if (n.next) {
            pxNodes_[size_t(n.next)].prev = hole;
            pxNodes_[size_t(n.next)].dirty = true;
        } else {
            pxTail_ = hole;
        }
        for (size_t i = 0; i < pxNodes_[size_t(hole)].entries.size(); ++i)
            pxAdopt(hole, int(i));
        --last;
    }
    while (pxNodes_.size() > 1 && !pxNodes_.back().live)
        pxNodes_.pop_back();
}

void ParadoxTable::pxCommit()
{
    if (!pxActive_)
        return;
    // Entries of the data blocks this write touched.
    for (int b : pxTouched_) {
        if (b < 1 || b > hdr_.fileBlocks || chainIndex_[b] < 0 || b >= int(pxLeafOf_.size()) || !pxLeafOf_[size_t(b)])
            continue;
        const int node = pxLeafOf_[size_t(b)];
        PxEntry& e = pxNodes_[size_t(node)].entries[size_t(pxIndexIn(node, b))];
        const char* key = block(b).data.constData() + 6;
        if (e.count != count_[b] || e.key.size() != hdr_.keySize || std::memcmp(e.key.constData(), key, size_t(hdr_.keySize))) {
            e.count = count_[b];
            e.key = QByteArray(key, hdr_.keySize);
            pxNodes_[size_t(node)].dirty = true;
            pxChanged_.push_back(node);
        }
    }
    pxTouched_.clear();
    // A root left with one entry hands over to its child.
    while (pxLevels_ > 1 && pxNodes_[size_t(pxRoot_)].entries.size() == 1) {
        const int child = pxNodes_[size_t(pxRoot_)].entries.front().child;
        pxChainRemove(pxRoot_);
        pxFreeNode(pxRoot_);
        pxRoot_ = child;
        pxNodes_[size_t(child)].parent = 0;
        --pxLevels_;
    }
    // First keys and sums, level by level up to the root.
    for (int level = 0; level + 1 < pxLevels_; ++level) {
        std::sort(pxChanged_.begin(), pxChanged_.end());
        pxChanged_.erase(std::unique(pxChanged_.begin(), pxChanged_.end()), pxChanged_.end());
        const size_t n = pxChanged_.size();
        for (size_t i = 0; i < n; ++i) {
            const int node = pxChanged_[i];
            const PxNode& c = pxNodes_[size_t(node)];
            if (!c.live || c.level != level || node == pxRoot_)
                continue;
            const int p = c.parent;
            PxEntry& e = pxNodes_[size_t(p)].entries[size_t(pxIndexIn(p, node))];
            const qint64 sum = sumOf(c.entries);
            if (e.count != sum || e.key != c.entries.front().key) {
                e.count = sum;
                e.key = c.entries.front().key;
                pxNodes_[size_t(p)].dirty = true;
                pxChanged_.push_back(p);
            }
        }
    }
    pxChanged_.clear();
    pxCompact();
    for (int no = 1; no < int(pxNodes_.size()); ++no)
        if (pxNodes_[size_t(no)].dirty)
            pxWriteNode(no);
}

void ParadoxTable::pxFinish()
{
    if (!pxActive_)
        return;
    pxWriteHeader(false);
    const qint64 size = le16(pxHeader_.constData() + 2) + qint64(pxNodes_.size() - 1) * pxBlockSize_;
    if (pxFileSize_ > size) {
        pxFile_.resize(size);
        pxFileSize_ = size;
    }
}

std::vector<PxIndexEntry> readParadoxIndex(const QString& path, quint32 key)
{
    io::File f;
    if (const int err = f.tryOpen(path, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir o índice %1: %2").arg(path, io::errorText(err)));
    auto bad = [&](const QString& what) -> FileError {
        return FileError(QStringLiteral("Índice Paradox danificado: %1 (%2)").arg(path, what));
    };
    const qint64 size = f.size();
    const QByteArray h = readUpTo(f, 0, 0x58);
    if (h.size() < 0x58)
        throw bad(QStringLiteral("arquivo menor que o cabeçalho"));
    const char* p = h.constData();
    const int entrySize = le16(p);
    const int headerSize = le16(p + 2);
    const int type = uchar(p[4]);
    const int bs = uchar(p[5]) * 1024;
    const int fileBlocks = le16(p + 0x0C);
    const int root = le16(p + 0x1E);
    const int levels = uchar(p[0x20]);
    if (type != 1 && type != 4 && type != 7)
        throw bad(QStringLiteral("tipo de arquivo %1").arg(type));
    if (bs < 1024 || bs > 32768 || entrySize < 7 || entrySize > bs - 6 || headerSize < 0x58)
        throw bad(QStringLiteral("tamanhos do cabeçalho"));
    if (fileBlocks > 0 && qint64(headerSize) + qint64(fileBlocks - 1) * bs + 6 > size)
        throw bad(QStringLiteral("%1 blocos não cabem no arquivo").arg(fileBlocks));
    std::vector<PxIndexEntry> out;
    if (levels == 0)
        return out;
    if (levels > 16 || root < 1 || root > fileBlocks)
        throw bad(QStringLiteral("raiz %1 com %2 níveis").arg(root).arg(levels));
    const int keySize = entrySize - 6;
    std::vector<bool> seen(size_t(fileBlocks) + 1, false);
    std::function<void(int, int)> walk = [&](int blockNo, int depth) {
        if (blockNo < 1 || blockNo > fileBlocks)
            throw bad(QStringLiteral("bloco %1 fora do arquivo").arg(blockNo));
        if (seen[size_t(blockNo)])
            throw bad(QStringLiteral("bloco %1 aparece duas vezes na árvore").arg(blockNo));
        seen[size_t(blockNo)] = true;
        QByteArray b(bs, '\0');
        const qint64 at = headerSize + qint64(blockNo - 1) * bs;
        const qint64 avail = std::min<qint64>(bs, size - at);
        if (avail < 6 || f.readSome(at, b.data(), avail) != avail)
            throw bad(QStringLiteral("bloco %1 ilegível").arg(blockNo));
        if (key)
            decryptBlock(b.data(), bs, key, blockNo);
        const int add = qint16(le16(b.constData() + 4));
        if (add < -entrySize || (add + entrySize) % entrySize)
            throw bad(QStringLiteral("bloco %1 com deslocamento %2").arg(blockNo).arg(add));
        const int n = add / entrySize + 1;
        if (6 + qint64(n) * entrySize > avail)
            throw bad(QStringLiteral("bloco %1 com %2 entradas").arg(blockNo).arg(n));
        for (int i = 0; i < n; ++i) {
            const char* e = b.constData() + 6 + i * entrySize;
            // Block numbers and counts are unsigned shorts in record encoding (tables have up to
            // 65535 blocks).
            const int child = ((uchar(e[keySize]) ^ 0x80) << 8) | uchar(e[keySize + 1]);
            const int count = ((uchar(e[keySize + 2]) ^ 0x80) << 8) | uchar(e[keySize + 3]);
            if (depth + 1 < levels)
                walk(child, depth + 1);
            else
                out.push_back({QByteArray(e, keySize), child, count});
        }
    };
    walk(root, 0);
    return out;
}

}  // namespace quillora
