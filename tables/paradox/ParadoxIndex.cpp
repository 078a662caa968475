#include "tables/paradox/ParadoxIndex.h"

#include "tables/paradox/ParadoxFormat.h"

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

void px::PrimaryIndex::open(const QString& existingPath)
{
    std::vector<std::pair<int, int>> keyTypes;
    for (int i = 0; i < t_.header.keyFields; ++i)
        keyTypes.emplace_back(t_.header.fields[size_t(i)].code, t_.header.fields[size_t(i)].sizeByte());
    const int entrySize = t_.header.keySize + 6;
    QString pxPath = existingPath;
    QByteArray hdr;
    if (!pxPath.isEmpty()) {
        io::File f;
        if (f.tryOpen(pxPath, io::OpenMode::Read) == 0) {
            const QByteArray start = readUpTo(f, 0, 0x58);
            if (start.size() == 0x58) {
                const int hs = le16(start.constData() + 2);
                const int bk = uchar(start[5]);
                if (start[4] == 1 && le16(start.constData()) == entrySize && le16(start.constData() + 0x21) == t_.header.keyFields &&
                    hs >= 0x58 && bk >= 1 && bk <= 32) {
                    hdr = readUpTo(f, 0, hs);
                    if (hdr.size() != hs)
                        hdr.clear();
                }
            }
        }
    } else {
        const QFileInfo fi(tablePath_);
        pxPath = fi.dir().filePath(fi.completeBaseName() + (fi.suffix() == u"db" ? QStringLiteral(".px") : QStringLiteral(".PX")));
    }
    if (hdr.isEmpty())
        hdr = buildPxHeader(keyTypes, t_.header.keySize, t_.header.version, t_.header.sortByte, std::max(2, t_.header.blockSize / 1024), tablePath_);
    path_ = pxPath;
    header_ = hdr;
    blockSize_ = uchar(hdr[5]) * 1024;
    key_ = le32(hdr.constData() + 0x25);
    entrySize_ = entrySize;
    capacity_ = (blockSize_ - 6) / entrySize;
    if (capacity_ < 2)
        throw FileError(QStringLiteral("A chave da tabela %1 é grande demais para o índice primário (%2 bytes em blocos de %3)")
                            .arg(tablePath_).arg(entrySize).arg(blockSize_));
    const int perBlock = capacity_ > 2 ? capacity_ - 1 : capacity_;  // as BDE leaves them: one entry short of full

    // Build the levels bottom-up, then number the blocks top-down as BDE does (root first).
    std::vector<std::vector<std::vector<Entry>>> levelBlocks;
    std::vector<Entry> level;
    level.reserve(t_.chain.size());
    for (int b : t_.chain) {
        const QByteArray key = size_t(b) < t_.firstKey.size() ? t_.firstKey[size_t(b)] : QByteArray();
        level.push_back({key.left(t_.header.keySize), b, t_.count[size_t(b)]});
    }
    while (!level.empty()) {
        std::vector<std::vector<Entry>> groups;
        std::vector<Entry> up;
        for (size_t at = 0; at < level.size(); at += size_t(perBlock)) {
            const size_t end = std::min(level.size(), at + size_t(perBlock));
            std::vector<Entry> g(level.begin() + qsizetype(at), level.begin() + qsizetype(end));
            qint64 sum = 0;
            for (const Entry& e : g)
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
        throw FileError(QStringLiteral("O índice primário de %1 ficou grande demais").arg(tablePath_));
    nodes_.assign(size_t(numbered) + 1, Node());
    leafOf_.assign(size_t(t_.header.fileBlocks) + 1, 0);
    for (int k = levels - 1; k >= 0; --k) {
        for (size_t g = 0; g < levelBlocks[size_t(k)].size(); ++g) {
            const int no = base[size_t(k)] + int(g) + 1;
            Node& n = nodes_[size_t(no)];
            n.live = true;
            n.level = k;
            n.entries = std::move(levelBlocks[size_t(k)][g]);
            n.next = no < numbered ? no + 1 : 0;
            n.prev = no - 1;
            for (Entry& e : n.entries)
                if (k > 0)
                    e.child = base[size_t(k) - 1] + e.child + 1;
        }
    }
    for (int no = 1; no <= numbered; ++no)
        for (size_t i = 0; i < nodes_[size_t(no)].entries.size(); ++i)
            adopt(no, int(i));
    root_ = numbered ? 1 : 0;
    levels_ = levels;
    head_ = numbered ? 1 : 0;
    tail_ = numbered;
    touched_.clear();
    changed_.clear();
    writeAll();
    active_ = true;
}

namespace {
QString pxError(const QString& path, const QString& why)
{
    return QStringLiteral("Não foi possível gravar o índice primário %1: %2").arg(path, why);
}
}  // namespace

void px::PrimaryIndex::writeHeader(bool whole)
{
    qint64 entries = 0;
    const int blocks = int(nodes_.size()) - 1;
    for (int no = 1; no <= blocks; ++no)
        entries += qint64(nodes_[size_t(no)].entries.size());
    char* p = header_.data();
    putLe32(p + 0x06, quint32(entries));
    putLe16(p + 0x0A, quint16(blocks));
    putLe16(p + 0x0C, quint16(blocks));
    putLe16(p + 0x0E, quint16(head_));
    putLe16(p + 0x10, quint16(tail_));
    putLe16(p + 0x1E, quint16(root_ ? root_ : 1));
    p[0x20] = char(levels_);
    p[0x2C] = t_.header.bytes[0x2D];  // in step with the table (see the table's 0x2D)
    putLe16(p + 0x3A, quint16(blocks));
    putLe16(p + 0x4D, 0);
    if (whole)
        return;
    file_.write(0, header_.constData(), 0x58);
}

namespace {
// Unsigned short in record encoding (big-endian, top bit flipped).
inline void putRecord16(char* p, int v)
{
    p[0] = char(((v >> 8) & 0xFF) ^ 0x80);
    p[1] = char(v & 0xFF);
}

void serializeNode(char* b, int blockSize, int entrySize, int keySize, int next, int prev,
                   const std::vector<PrimaryIndex::Entry>& entries)
{
    putLe16(b, quint16(next));
    putLe16(b + 2, quint16(prev));
    putLe16(b + 4, quint16(qint16((int(entries.size()) - 1) * entrySize)));
    char* e = b + 6;
    for (const PrimaryIndex::Entry& x : entries) {
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

void px::PrimaryIndex::writeAll()
{
    writeHeader(true);
    file_.close();
    io::replaceFile(path_, [&](io::File& out) {
        out.write(0, header_);
        qint64 at = header_.size();
        QByteArray b(blockSize_, '\0');
        for (int no = 1; no < int(nodes_.size()); ++no) {
            Node& n = nodes_[size_t(no)];
            serializeNode(b.data(), blockSize_, entrySize_, t_.header.keySize, n.next, n.prev, n.entries);
            if (key_)
                encryptBlock(b.data(), blockSize_, key_, no);
            out.write(at, b);
            at += b.size();
            n.dirty = false;
        }
    }, QStringLiteral("o índice primário"));
    if (const int err = file_.tryOpen(path_, io::OpenMode::ReadWrite); err < 0)
        throw FileError(pxError(path_, io::errorText(err)));
    fileSize_ = file_.size();
}

void px::PrimaryIndex::writeNode(int no)
{
    Node& n = nodes_[size_t(no)];
    QByteArray& b = scratch_;
    if (b.size() != blockSize_)
        b.resize(blockSize_);
    serializeNode(b.data(), blockSize_, entrySize_, t_.header.keySize, n.next, n.prev, n.entries);
    if (key_)
        encryptBlock(b.data(), blockSize_, key_, no);
    const qint64 at = le16(header_.constData() + 2) + qint64(no - 1) * blockSize_;
    file_.write(at, b.constData(), blockSize_);
    fileSize_ = std::max(fileSize_, at + blockSize_);
    n.dirty = false;
}

void px::PrimaryIndex::touch(int dataBlock)
{
    if (active_)
        touched_.push_back(dataBlock);
}

void px::PrimaryIndex::adopt(int node, int pos)
{
    const Node& n = nodes_[size_t(node)];
    const int child = n.entries[size_t(pos)].child;
    if (n.level == 0) {
        if (child >= int(leafOf_.size()))
            leafOf_.resize(size_t(child) + 1, 0);
        leafOf_[size_t(child)] = node;
    } else {
        nodes_[size_t(child)].parent = node;
    }
}

int px::PrimaryIndex::indexIn(int node, int child) const
{
    const std::vector<Entry>& es = nodes_[size_t(node)].entries;
    for (size_t i = 0; i < es.size(); ++i)
        if (es[i].child == child)
            return int(i);
    throw FileError(QStringLiteral("Índice primário de %1 inconsistente em memória (bloco %2 sem entrada %3)").arg(tablePath_).arg(node).arg(child));
}

bool px::PrimaryIndex::rightmost(int node) const
{
    while (node != root_) {
        const int p = nodes_[size_t(node)].parent;
        if (nodes_[size_t(p)].entries.back().child != node)
            return false;
        node = p;
    }
    return true;
}

int px::PrimaryIndex::allocNode(int level)
{
    int no = 0;
    for (size_t i = 1; i < nodes_.size() && !no; ++i)
        if (!nodes_[i].live)
            no = int(i);
    if (!no) {
        if (nodes_.size() > 0xFFFF)
            throw FileError(QStringLiteral("O índice primário de %1 ficou grande demais").arg(tablePath_));
        no = int(nodes_.size());
        nodes_.emplace_back();
    }
    Node& n = nodes_[size_t(no)];
    n = Node();
    n.live = true;
    n.dirty = true;
    n.level = level;
    return no;
}

void px::PrimaryIndex::freeNode(int node)
{
    Node& n = nodes_[size_t(node)];
    n = Node();
}

void px::PrimaryIndex::chainAfter(int node, int nn)
{
    Node& a = nodes_[size_t(node)];
    Node& b = nodes_[size_t(nn)];
    b.prev = node;
    b.next = a.next;
    if (a.next) {
        nodes_[size_t(a.next)].prev = nn;
        nodes_[size_t(a.next)].dirty = true;
    } else {
        tail_ = nn;
    }
    a.next = nn;
    a.dirty = b.dirty = true;
}

void px::PrimaryIndex::chainRemove(int node)
{
    Node& n = nodes_[size_t(node)];
    if (n.prev) {
        nodes_[size_t(n.prev)].next = n.next;
        nodes_[size_t(n.prev)].dirty = true;
    } else {
        head_ = n.next;
    }
    if (n.next) {
        nodes_[size_t(n.next)].prev = n.prev;
        nodes_[size_t(n.next)].dirty = true;
    } else {
        tail_ = n.prev;
    }
    n.next = n.prev = 0;
}

namespace {
qint64 sumOf(const std::vector<PrimaryIndex::Entry>& es)
{
    qint64 s = 0;
    for (const auto& e : es)
        s += e.count;
    return s;
}
}  // namespace

void px::PrimaryIndex::insertEntry(int node, int pos, Entry e)
{
    {
        Node& n = nodes_[size_t(node)];
        n.entries.insert(n.entries.begin() + pos, std::move(e));
        n.dirty = true;
    }
    adopt(node, pos);
    changed_.push_back(node);
    const int size = int(nodes_[size_t(node)].entries.size());
    if (size <= capacity_)
        return;
    // Full: split. Appending past the end of the index starts a new block (keys written in
    // order then fill every block); elsewhere the upper half moves out.
    const int level = nodes_[size_t(node)].level;
    const bool atEnd = pos == size - 1 && rightmost(node);
    const int keep = atEnd ? size - 1 : (size + 1) / 2;
    const int nn = allocNode(level);
    {
        std::vector<Entry>& from = nodes_[size_t(node)].entries;
        std::vector<Entry>& to = nodes_[size_t(nn)].entries;
        to.assign(std::make_move_iterator(from.begin() + keep), std::make_move_iterator(from.end()));
        from.resize(size_t(keep));
    }
    for (size_t i = 0; i < nodes_[size_t(nn)].entries.size(); ++i)
        adopt(nn, int(i));
    chainAfter(node, nn);
    changed_.push_back(nn);
    Entry up{nodes_[size_t(nn)].entries.front().key, nn, sumOf(nodes_[size_t(nn)].entries)};
    if (node == root_) {
        const int r = allocNode(level + 1);
        nodes_[size_t(r)].entries = {Entry{nodes_[size_t(node)].entries.front().key, node, sumOf(nodes_[size_t(node)].entries)}, std::move(up)};
        adopt(r, 0);
        adopt(r, 1);
        // The new root goes first in the chain.
        Node& rn = nodes_[size_t(r)];
        rn.next = head_;
        rn.prev = 0;
        nodes_[size_t(head_)].prev = r;
        nodes_[size_t(head_)].dirty = true;
        head_ = r;
        root_ = r;
        ++levels_;
        return;
    }
    const int p = nodes_[size_t(node)].parent;
    insertEntry(p, indexIn(p, node) + 1, std::move(up));
}

void px::PrimaryIndex::removeEntry(int node, int pos)
{
    {
        Node& n = nodes_[size_t(node)];
        n.entries.erase(n.entries.begin() + pos);
        n.dirty = true;
        if (!n.entries.empty()) {
            changed_.push_back(node);
            mergeWithSibling(node);
            return;
        }
    }
    chainRemove(node);
    if (node == root_) {
        freeNode(node);
        root_ = 0;
        levels_ = 0;
        return;
    }
    const int p = nodes_[size_t(node)].parent;
    const int at = indexIn(p, node);
    freeNode(node);
    removeEntry(p, at);
}

void px::PrimaryIndex::mergeWithSibling(int node)
{
    // Two neighbours under one parent that fit in one block become one, so that deletes shrink
    // the index (and its height) as inserts grew it.
    if (node == root_)
        return;
    const int p = nodes_[size_t(node)].parent;
    const int at = indexIn(p, node);
    const std::vector<Entry>& siblings = nodes_[size_t(p)].entries;
    const size_t mine = nodes_[size_t(node)].entries.size();
    int left = 0, right = 0;
    if (at > 0 && mine + nodes_[size_t(siblings[size_t(at) - 1].child)].entries.size() <= size_t(capacity_)) {
        left = siblings[size_t(at) - 1].child;
        right = node;
    } else if (at + 1 < int(siblings.size()) &&
               mine + nodes_[size_t(siblings[size_t(at) + 1].child)].entries.size() <= size_t(capacity_)) {
        left = node;
        right = siblings[size_t(at) + 1].child;
    } else {
        return;
    }
    std::vector<Entry>& to = nodes_[size_t(left)].entries;
    const size_t from = to.size();
    std::vector<Entry>& moved = nodes_[size_t(right)].entries;
    to.insert(to.end(), std::make_move_iterator(moved.begin()), std::make_move_iterator(moved.end()));
    moved.clear();
    for (size_t i = from; i < to.size(); ++i)
        adopt(left, int(i));
    nodes_[size_t(left)].dirty = true;
    changed_.push_back(left);
    const int rightAt = indexIn(p, right);
    chainRemove(right);
    freeNode(right);
    removeEntry(p, rightAt);
}

void px::PrimaryIndex::insertFirst(int dataBlock)
{
    if (!active_)
        return;
    const int no = allocNode(0);
    nodes_[size_t(no)].entries.push_back({QByteArray(), dataBlock, 0});
    adopt(no, 0);
    root_ = head_ = tail_ = no;
    levels_ = 1;
    changed_.push_back(no);
    touch(dataBlock);
}

void px::PrimaryIndex::linkAfter(int dataBlock, int newDataBlock)
{
    if (!active_)
        return;
    const int node = leafOf_[size_t(dataBlock)];
    insertEntry(node, indexIn(node, dataBlock) + 1, {nodes_[size_t(node)].entries.front().key, newDataBlock, 0});
    touch(newDataBlock);
}

void px::PrimaryIndex::unlink(int dataBlock)
{
    if (!active_)
        return;
    const int node = leafOf_[size_t(dataBlock)];
    leafOf_[size_t(dataBlock)] = 0;
    removeEntry(node, indexIn(node, dataBlock));
}

void px::PrimaryIndex::clear()
{
    if (!active_)
        return;
    for (Node& n : nodes_)
        n = Node();
    std::fill(leafOf_.begin(), leafOf_.end(), 0);
    root_ = levels_ = head_ = tail_ = 0;
    touched_.clear();
    changed_.clear();
}

void px::PrimaryIndex::compact()
{
    int last = int(nodes_.size()) - 1;
    for (int hole = 1;; ++hole) {
        while (last > 0 && !nodes_[size_t(last)].live)
            --last;
        if (hole >= last)
            break;
        if (nodes_[size_t(hole)].live)
            continue;
        // The last block moves into the hole.
        nodes_[size_t(hole)] = std::move(nodes_[size_t(last)]);
        nodes_[size_t(last)] = Node();
        Node& n = nodes_[size_t(hole)];
        n.dirty = true;
        if (last == root_) {
            root_ = hole;
        } else {
            Node& p = nodes_[size_t(n.parent)];
            p.entries[size_t(indexIn(n.parent, last))].child = hole;
            p.dirty = true;
        }
        if (n.prev) {
            nodes_[size_t(n.prev)].next = hole;
            nodes_[size_t(n.prev)].dirty = true;
        } else {
            head_ = hole;
        }
        if (n.next) {
            nodes_[size_t(n.next)].prev = hole;
            nodes_[size_t(n.next)].dirty = true;
        } else {
            tail_ = hole;
        }
        for (size_t i = 0; i < nodes_[size_t(hole)].entries.size(); ++i)
            adopt(hole, int(i));
        --last;
    }
    while (nodes_.size() > 1 && !nodes_.back().live)
        nodes_.pop_back();
}

void px::PrimaryIndex::commit()
{
    if (!active_)
        return;
    // Entries of the data blocks this write touched.
    for (int b : touched_) {
        if (b < 1 || b > t_.header.fileBlocks || t_.chainIndex[b] < 0 || b >= int(leafOf_.size()) || !leafOf_[size_t(b)])
            continue;
        const int node = leafOf_[size_t(b)];
        Entry& e = nodes_[size_t(node)].entries[size_t(indexIn(node, b))];
        const char* key = t_.firstRecord(b);
        if (e.count != t_.count[b] || e.key.size() != t_.header.keySize || std::memcmp(e.key.constData(), key, size_t(t_.header.keySize))) {
            e.count = t_.count[b];
            e.key = QByteArray(key, t_.header.keySize);
            nodes_[size_t(node)].dirty = true;
            changed_.push_back(node);
        }
    }
    touched_.clear();
    // A root left with one entry hands over to its child.
    while (levels_ > 1 && nodes_[size_t(root_)].entries.size() == 1) {
        const int child = nodes_[size_t(root_)].entries.front().child;
        chainRemove(root_);
        freeNode(root_);
        root_ = child;
        nodes_[size_t(child)].parent = 0;
        --levels_;
    }
    // First keys and sums, level by level up to the root.
    for (int level = 0; level + 1 < levels_; ++level) {
        std::sort(changed_.begin(), changed_.end());
        changed_.erase(std::unique(changed_.begin(), changed_.end()), changed_.end());
        const size_t n = changed_.size();
        for (size_t i = 0; i < n; ++i) {
            const int node = changed_[i];
            const Node& c = nodes_[size_t(node)];
            if (!c.live || c.level != level || node == root_)
                continue;
            const int p = c.parent;
            Entry& e = nodes_[size_t(p)].entries[size_t(indexIn(p, node))];
            const qint64 sum = sumOf(c.entries);
            if (e.count != sum || e.key != c.entries.front().key) {
                e.count = sum;
                e.key = c.entries.front().key;
                nodes_[size_t(p)].dirty = true;
                changed_.push_back(p);
            }
        }
    }
    changed_.clear();
    compact();
    for (int no = 1; no < int(nodes_.size()); ++no)
        if (nodes_[size_t(no)].dirty)
            writeNode(no);
}

void px::PrimaryIndex::finish()
{
    if (!active_)
        return;
    writeHeader(false);
    const qint64 size = le16(header_.constData() + 2) + qint64(nodes_.size() - 1) * blockSize_;
    if (fileSize_ > size) {
        file_.resize(size);
        fileSize_ = size;
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
