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
        int block;
        qint64 count;
    };
    std::vector<Entry> level;
    level.reserve(chain_.size());
    for (size_t i = 0; i < chain_.size(); ++i)
        level.push_back({firstKey_[i].left(keySize), chain_[i], count_[chain_[i]]});
    std::vector<QByteArray> blocks;
    qint64 entries = 0;
    int levels = 0;
    int root = 1;
    while (!level.empty()) {
        ++levels;
        std::vector<Entry> up;
        for (size_t at = 0; at < level.size(); at += size_t(perBlock)) {
            const size_t end = std::min(level.size(), at + size_t(perBlock));
            QByteArray b(pxBlockSize, '\0');
            qint64 sum = 0;
            for (size_t k = at; k < end; ++k) {
                char* e = b.data() + 6 + (k - at) * entrySize;
                std::memcpy(e, level[k].key.constData(), size_t(std::min<qsizetype>(keySize, level[k].key.size())));
                writeInt(e + keySize, 2, level[k].block);
                writeInt(e + keySize + 2, 2, qint64(std::min<qint64>(level[k].count, 32767)));
                writeInt(e + keySize + 4, 2, 0);
                sum += level[k].count;
            }
            put16(b.data() + 4, quint16(qint16((int(end - at) - 1) * entrySize)));
            entries += qint64(end - at);
            blocks.push_back(b);
            up.push_back({level[at].key, int(blocks.size()), sum});
        }
        if (up.size() == 1) {
            root = int(blocks.size());
            break;
        }
        level.swap(up);
    }
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
            qint64 child = 0, count = 0;
            readInt(e + keySize, 2, &child);
            readInt(e + keySize + 2, 2, &count);
            if (depth + 1 < levels)
                walk(int(child), depth + 1);
            else
                out.push_back({QByteArray(e, keySize), int(child), int(count)});
        }
    };
    walk(root, 0);
    return out;
}

}  // namespace quillora
