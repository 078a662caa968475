#include "tables/dbase/NdxWriter.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseIndexFiles.h"

#include <QSaveFile>

#include <cstring>

namespace quillora::dbase {

namespace {

constexpr int blockSize = 512;

void putU32(QByteArray& b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

void putU16(QByteArray& b, qsizetype at, quint16 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

struct Node {
    quint32 block = 0;
    QByteArray lastKey;  // the largest key below this node
};

}  // namespace

void writeNdxFile(const QString& path, const DbaseTagInfo& tag, const std::vector<NdxEntry>& sorted)
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
    auto putKey = [&](QByteArray& b, qsizetype at, const QByteArray& key) {
        std::memcpy(b.data() + at, key.constData(), size_t(std::min<qsizetype>(key.size(), keyLength)));
    };

    // Leaves, full from left to right.
    std::vector<Node> level;
    for (size_t i = 0; i < sorted.size() || level.empty(); i += size_t(maxKeys)) {
        const quint32 number = newBlock();
        QByteArray& b = blocks[number];
        const size_t end = std::min(sorted.size(), i + size_t(maxKeys));
        putU32(b, 0, quint32(end - i));
        for (size_t k = i; k < end; ++k) {
            const qsizetype at = 4 + qsizetype(k - i) * groupLength;
            putU32(b, at, 0);
            putU32(b, at + 4, sorted[k].record);
            putKey(b, at + 8, sorted[k].key);
        }
        level.push_back({number, end > i ? sorted[end - 1].key : QByteArray()});
        if (sorted.empty())
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
                putKey(b, at + 8, level[i + k].lastKey);
            }
            putU32(b, 4 + qsizetype(keys) * groupLength, level[end - 1].block);
            parents.push_back({number, level[end - 1].lastKey});
            i = end;
        }
        level = std::move(parents);
    }

    QByteArray& header = blocks[0];
    putU32(header, 0, level.front().block);
    putU32(header, 4, quint32(blocks.size()));
    putU16(header, 12, quint16(keyLength));
    putU16(header, 14, quint16(maxKeys));
    putU16(header, 16, tag.keyType == 'C' ? 0 : 1);
    putU16(header, 18, quint16(groupLength));
    header[23] = tag.unique ? 1 : 0;
    const QByteArray expression = tag.expression.toLatin1().left(99);
    std::memcpy(header.data() + 24, expression.constData(), size_t(expression.size()));

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Não foi possível gravar o índice %1: %2").arg(path, out.errorString()));
    for (const QByteArray& b : blocks)
        out.write(b);
    if (!out.commit())
        throw FileError(QStringLiteral("Não foi possível gravar o índice %1: %2").arg(path, out.errorString()));
}

}  // namespace quillora::dbase
