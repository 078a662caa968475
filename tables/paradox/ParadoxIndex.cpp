#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"

#include "tables/Error.h"
#include "tables/paradox/PxCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <ctime>
#include <functional>

namespace quillora {

using namespace px;

namespace {
int sizeByteOf(const ParadoxTable::Field& f) { return f.code == 0x17 ? f.decimals : f.size; }
}  // namespace

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
    put16(p, quint16(keySize + 6));
    put16(p + 2, quint16(headerSize));
    p[4] = 1;
    p[5] = char(blockKiB);
    put16(p + 0x12, 1);
    put16(p + 0x1E, 1);
    put16(p + 0x21, quint16(n));
    p[0x29] = char(sortByte);
    p[0x39] = char(version);
    put16(p + 0x51, quint16(real));
    for (int i = 0; i < n; ++i) {
        p[0x58 + 2 * i] = char(keyTypes[size_t(i)].first);
        p[0x58 + 2 * i + 1] = char(keyTypes[size_t(i)].second);
    }
    const QByteArray name = QFileInfo(tableName).fileName().toLatin1().left(tableNameSize - 1);
    std::memcpy(p + 0x58 + 2 * n + 4, name.constData(), size_t(name.size()));
    return h;
}

void ParadoxTable::writePrimaryIndex()
{
    int keySize = 0;
    std::vector<std::pair<int, int>> keyTypes;
    for (int i = 0; i < keyFields_; ++i) {
        keySize += fields_[size_t(i)].size;
        keyTypes.emplace_back(fields_[size_t(i)].code, sizeByteOf(fields_[size_t(i)]));
    }
    const int entrySize = keySize + 6;
    QString pxPath = familyFile(QStringLiteral("PX"));
    QByteArray hdr;
    if (!pxPath.isEmpty()) {
        QFile f(pxPath);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray start = f.read(0x58);
            if (start.size() == 0x58) {
                const int hs = le16(start.constData() + 2);
                const int bk = uchar(start[5]);
                if (start[4] == 1 && le16(start.constData()) == entrySize && le16(start.constData() + 0x21) == keyFields_ &&
                    hs >= 0x58 && bk >= 1 && bk <= 32) {
                    f.seek(0);
                    hdr = f.read(hs);
                    if (hdr.size() != hs)
                        hdr.clear();
                }
            }
        }
    } else {
        const QFileInfo fi(path_);
        pxPath = fi.absoluteDir().filePath(fi.completeBaseName() + (fi.suffix() == u"db" ? QStringLiteral(".px") : QStringLiteral(".PX")));
    }
    if (hdr.isEmpty())
        hdr = buildPxHeader(keyTypes, keySize, version_, sortByte_, std::max(2, blockSize_ / 1024), path_);
    const int pxBlockSize = uchar(hdr[5]) * 1024;
    const quint32 pxKey = le32(hdr.constData() + 0x25);
    const int cap = (pxBlockSize - 6) / entrySize;
    const int perBlock = cap > 2 ? cap - 1 : cap;  // as BDE leaves them: one entry short of full

    struct Entry {
        QByteArray key;
        int child;  // data block (lowest level) or block index in the level below
        qint64 count;
    };
    // Build the levels bottom-up, then number the blocks top-down as BDE does (root first).
    std::vector<std::vector<std::vector<Entry>>> levelBlocks;
    std::vector<Entry> level;
    level.reserve(chain_.size());
    for (size_t i = 0; i < chain_.size(); ++i)
        level.push_back({firstKey_[i].left(keySize), chain_[i], count_[chain_[i]]});
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
    std::vector<QByteArray> blocks;
    qint64 entries = 0;
    for (int k = levels - 1; k >= 0; --k) {
        for (const std::vector<Entry>& g : levelBlocks[size_t(k)]) {
            QByteArray b(pxBlockSize, '\0');
            for (size_t i = 0; i < g.size(); ++i) {
                char* e = b.data() + 6 + qsizetype(i) * entrySize;
                std::memcpy(e, g[i].key.constData(), size_t(std::min<qsizetype>(keySize, g[i].key.size())));
                const int child = k == 0 ? g[i].child : base[size_t(k) - 1] + g[i].child + 1;
                writeInt(e + keySize, 2, child);
                writeInt(e + keySize + 2, 2, std::min<qint64>(g[i].count, 65535));
                writeInt(e + keySize + 4, 2, 0);
            }
            put16(b.data() + 4, quint16(qint16((int(g.size()) - 1) * entrySize)));
            entries += qint64(g.size());
            blocks.push_back(b);
        }
    }
    const int root = 1;
    const int nBlocks = int(blocks.size());
    if (nBlocks > 0xFFFF)
        throw FileError(QStringLiteral("O índice primário de %1 ficou grande demais").arg(path_));
    for (int i = 0; i < nBlocks; ++i) {
        char* b = blocks[size_t(i)].data();
        put16(b, quint16(i + 1 < nBlocks ? i + 2 : 0));
        put16(b + 2, quint16(i));
        if (pxKey)
            encryptBlock(b, pxBlockSize, pxKey, i + 1);
    }
    char* p = hdr.data();
    put32(p + 0x06, quint32(entries));
    put16(p + 0x0A, quint16(nBlocks));
    put16(p + 0x0C, quint16(nBlocks));
    put16(p + 0x0E, quint16(nBlocks ? 1 : 0));
    put16(p + 0x10, quint16(nBlocks));
    put16(p + 0x1E, quint16(root));
    p[0x20] = char(levels);
    p[0x2C] = header_[0x2D];
    put16(p + 0x3A, quint16(nBlocks));
    put16(p + 0x4D, 0);
    QSaveFile out(pxPath);
    out.setDirectWriteFallback(true);  // a folder where no temporary file can be made
    if (!out.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Não foi possível gravar o índice primário %1: %2").arg(pxPath, out.errorString()));
    out.write(hdr);
    for (const QByteArray& b : blocks)
        out.write(b);
    if (!out.commit())
        throw FileError(QStringLiteral("Não foi possível gravar o índice primário %1: %2").arg(pxPath, out.errorString()));
}

std::vector<PxIndexEntry> readParadoxIndex(const QString& path, quint32 key)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Não foi possível abrir o índice %1: %2").arg(path, f.errorString()));
    auto bad = [&](const QString& what) -> FileError {
        return FileError(QStringLiteral("Índice Paradox danificado: %1 (%2)").arg(path, what));
    };
    const qint64 size = f.size();
    const QByteArray h = f.read(0x58);
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
        if (avail < 6 || !f.seek(at) || f.read(b.data(), avail) != avail)
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
