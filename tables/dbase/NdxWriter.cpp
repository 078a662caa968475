#include "tables/dbase/NdxWriter.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseIndexFiles.h"

#include "tables/dbase/DbaseIndexKeys.h"
#include "tables/io/Endian.h"
#include "tables/io/FileOps.h"

#include <cstring>

namespace quillora::dbase {

namespace {

constexpr int blockSize = 512;

void putU32(QByteArray& b, qsizetype at, quint32 v)
{
    io::putLe32(b.data() + at, v);
}

void putU16(QByteArray& b, qsizetype at, quint16 v)
{
    io::putLe16(b.data() + at, v);
}

struct Node {
    quint32 block = 0;
    qsizetype lastKey = -1;  // the entry of the largest key below this node
};

}  // namespace

void writeNdxFile(const QString& path, const DbaseTagInfo& tag, const std::vector<NdxEntry>& sorted)
{
    IndexKeys keys;
    keys.keyLength = tag.keyLength;
    for (const NdxEntry& e : sorted) {
        keys.keys.append(e.key.left(tag.keyLength));
        if (e.key.size() < tag.keyLength)
            keys.keys.append(QByteArray(tag.keyLength - e.key.size(), tag.keyType == 'C' ? ' ' : '\0'));
        keys.records.push_back(e.record);
    }
    writeNdxKeys(path, tag, keys);
}

void writeNdxKeys(const QString& path, const DbaseTagInfo& tag, const IndexKeys& sorted, const QByteArray& original)
{
    const int keyLength = tag.keyLength;
    if (keyLength <= 0 || keyLength > 100)
        throw FileError(QStringLiteral("Tamanho de chave inválido para o índice %1").arg(path));
    const int groupLength = 8 + ((keyLength + 3) / 4) * 4;
    const int maxKeys = (blockSize - 8) / groupLength;

    std::vector<QByteArray> blocks;  // block 0 is the header
    blocks.emplace_back(blockSize, '\0');
    auto newBlock = [&blocks]() {
        blocks.emplace_back(blockSize, '\0');
        return quint32(blocks.size() - 1);
    };
    auto putKey = [&](QByteArray& b, qsizetype at, const char* key) {
        std::memcpy(b.data() + at, key, size_t(keyLength));
    };

    // Leaves, full from left to right.
    std::vector<Node> level;
    const size_t count = size_t(sorted.size());
    for (size_t i = 0; i < count || level.empty(); i += size_t(maxKeys)) {
        const quint32 number = newBlock();
        QByteArray& b = blocks[number];
        const size_t end = std::min(count, i + size_t(maxKeys));
        putU32(b, 0, quint32(end - i));
        for (size_t k = i; k < end; ++k) {
            const qsizetype at = 4 + qsizetype(k - i) * groupLength;
            putU32(b, at, 0);
            putU32(b, at + 4, sorted.records[k]);
            putKey(b, at + 8, sorted.key(qsizetype(k)));
        }
        level.push_back({number, end > i ? qsizetype(end - 1) : -1});
        if (count == 0)
            break;
    }
    // Interior levels: each node holds keys for all its children but the last, whose pointer
    // follows the last group; a key is the largest key of the subtree at its left.
    while (level.size() > 1) {
        // Children spread evenly over the fewest parents, so that no parent is left with a
        // single child (a node of no keys, which readers take for an empty leaf).
        const size_t perParent = size_t(maxKeys) + 1;
        const size_t parentCount = (level.size() + perParent - 1) / perParent;
        std::vector<Node> parents;
        size_t i = 0;
        for (size_t p = 0; p < parentCount; ++p) {
            const size_t children = level.size() / parentCount + (p < level.size() % parentCount ? 1 : 0);
            const size_t end = i + children;
            const quint32 number = newBlock();
            QByteArray& b = blocks[number];
            const size_t keys = children - 1;
            putU32(b, 0, quint32(keys));
            for (size_t k = 0; k < keys; ++k) {
                const qsizetype at = 4 + qsizetype(k) * groupLength;
                putU32(b, at, level[i + k].block);
                putU32(b, at + 4, 0);
                putKey(b, at + 8, sorted.key(level[i + k].lastKey));
            }
            putU32(b, 4 + qsizetype(keys) * groupLength, level[end - 1].block);
            parents.push_back({number, level[end - 1].lastKey});
            i = end;
        }
        level = std::move(parents);
    }

    QByteArray& header = blocks[0];
    if (original.size() >= blockSize) {
        // The old header as it was (its expression text exactly, bytes others may keep there);
        // only what describes the new tree changes.
        header = original.left(blockSize);
    } else {
        const QByteArray expression = tag.expression.toLatin1().left(99);
        std::memcpy(header.data() + 24, expression.constData(), size_t(expression.size()));
    }
    putU32(header, 0, level.front().block);
    putU32(header, 4, quint32(blocks.size()));
    putU16(header, 12, quint16(keyLength));
    putU16(header, 14, quint16(maxKeys));
    putU16(header, 16, tag.keyType == 'C' ? 0 : 1);
    putU16(header, 18, quint16(groupLength));
    header[23] = tag.unique ? 1 : 0;

    QByteArray file;
    file.reserve(qsizetype(blocks.size()) * blockSize);
    for (const QByteArray& b : blocks)
        file.append(b);
    io::replaceFile(path, file, QStringLiteral("o índice"));
}

}  // namespace quillora::dbase
