#include "tables/dbase/MdxWriter.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseIndexKeys.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"
#include "tables/io/FileOps.h"

#include <algorithm>
#include <cstring>

namespace quillora::dbase {

namespace {

constexpr qsizetype kPage = 512;
constexpr qsizetype kTagTable = 544;

quint32 u32(const QByteArray& b, qsizetype at)
{
    return io::le32(b.constData() + at);
}

quint16 u16(const QByteArray& b, qsizetype at)
{
    return io::le16(b.constData() + at);
}

using io::putLe32;

void putDate(char* p, const QDate& d)
{
    p[0] = char(d.year() % 100);
    p[1] = char(d.month());
    p[2] = char(d.day());
}

FileError damaged(const QString& path, const QString& why)
{
    return FileError(QStringLiteral("Índice danificado: %1 (%2)").arg(path, why));
}

struct Node {
    quint32 page = 0;
    qsizetype lastKey = -1;  // the entry of the last key below this node
};

// Appends the B-tree of one tag to `file`, a block at a time; returns the root page and the
// first and last leaf pages.
struct Tree {
    quint32 root = 0, firstLeaf = 0, lastLeaf = 0;
};

Tree appendTree(QByteArray& file, const IndexKeys& keys, int itemLength, qsizetype blockSize)
{
    // One pointer slot after the last item must stay inside the block (zero in a leaf, the
    // last child in an interior node).
    const qsizetype perNode = std::max<qsizetype>(2, (blockSize - 12) / itemLength);
    auto newBlock = [&]() {
        const auto page = quint32(file.size() / kPage);
        file.append(QByteArray(blockSize, '\0'));
        return page;
    };
    auto item = [&](quint32 page, qsizetype i) { return file.data() + qsizetype(page) * kPage + 8 + i * itemLength; };

    Tree tree;
    std::vector<Node> level;
    const qsizetype count = keys.size();
    for (qsizetype i = 0; i < count || level.empty(); i += perNode) {
        const quint32 page = newBlock();
        const qsizetype end = std::min(count, i + perNode);
        putLe32(file.data() + qsizetype(page) * kPage, quint32(std::max<qsizetype>(0, end - i)));
        for (qsizetype k = i; k < end; ++k) {
            char* p = item(page, k - i);
            putLe32(p, keys.records[size_t(k)]);
            std::memcpy(p + 4, keys.key(k), size_t(keys.keyLength));
        }
        level.push_back({page, end > i ? end - 1 : -1});
        if (count == 0)
            break;
    }
    tree.firstLeaf = level.front().page;
    tree.lastLeaf = level.back().page;
    while (level.size() > 1) {
        // Children spread evenly over the fewest parents: none is left with a single child.
        const size_t perParent = size_t(perNode) + 1;
        const size_t parentCount = (level.size() + perParent - 1) / perParent;
        std::vector<Node> parents;
        size_t i = 0;
        for (size_t p = 0; p < parentCount; ++p) {
            const size_t children = level.size() / parentCount + (p < level.size() % parentCount ? 1 : 0);
            const quint32 page = newBlock();
            const size_t itemsHere = children - 1;
            putLe32(file.data() + qsizetype(page) * kPage, quint32(itemsHere));
            for (size_t k = 0; k < itemsHere; ++k) {
                char* at = item(page, qsizetype(k));
                putLe32(at, level[i + k].page);
                std::memcpy(at + 4, keys.key(level[i + k].lastKey), size_t(keys.keyLength));
            }
            putLe32(item(page, qsizetype(itemsHere)), level[i + itemsHere].page);
            parents.push_back({page, level[i + itemsHere].lastKey});
            i += children;
        }
        level = std::move(parents);
    }
    tree.root = level.front().page;
    return tree;
}

}  // namespace

void writeMdxFile(const QString& path, const std::vector<IndexKeys>& tags, const QDate& today)
{
    QByteArray old;
    {
        io::File f;
        if (const int err = f.tryOpen(path, io::OpenMode::Read); err < 0)
            throw FileError(QStringLiteral("Não foi possível abrir o índice %1: %2").arg(path, io::errorText(err)));
        old = f.readAll();
    }
    if (old.size() < kTagTable)
        throw damaged(path, QStringLiteral("menor que o cabeçalho"));
    const int blockFactor = u16(old, 20);
    const qsizetype blockSize = u16(old, 22);
    const int entryLength = uchar(old[26]);
    const int used = u16(old, 28);
    if (blockFactor < 1 || blockFactor > 32 || blockSize != blockFactor * kPage)
        throw damaged(path, QStringLiteral("tamanho de bloco %1").arg(blockSize));
    if ((entryLength != 32 && entryLength != 48) || used != int(tags.size()))
        throw damaged(path, QStringLiteral("tabela de tags"));

    // Everything before the first tag's header (file header and tag table) stays as it is.
    qsizetype headerPages = (kTagTable + qsizetype(used) * entryLength + kPage - 1) / kPage;
    quint32 firstTag = 0xFFFFFFFF;
    for (int i = 0; i < used; ++i)
        firstTag = std::min(firstTag, u32(old, kTagTable + qsizetype(i) * entryLength));
    if (used > 0) {
        if (firstTag < headerPages || qsizetype(firstTag) * kPage > old.size())
            throw damaged(path, QStringLiteral("tabela de tags"));
        headerPages = firstTag;
    }
    headerPages = (headerPages + blockFactor - 1) / blockFactor * blockFactor;
    QByteArray file = old.left(headerPages * kPage);
    file.append(QByteArray(headerPages * kPage - file.size(), '\0'));

    for (int i = 0; i < used; ++i) {
        const qsizetype entry = kTagTable + qsizetype(i) * entryLength;
        const qsizetype oldHeader = qsizetype(u32(old, entry)) * kPage;
        if (oldHeader + blockSize > old.size())
            throw damaged(path, QStringLiteral("tag %1").arg(i + 1));
        const IndexKeys& keys = tags[size_t(i)];
        const int keyLength = u16(old, oldHeader + 12);
        const int itemLength = u16(old, oldHeader + 18);
        if (keyLength != keys.keyLength || itemLength < 4 + keyLength || itemLength * 2 + 12 > blockSize)
            throw damaged(path, QStringLiteral("tag %1").arg(i + 1));

        const auto headerPage = quint32(file.size() / kPage);
        file.append(old.mid(oldHeader, blockSize));
        putLe32(file.data() + entry, headerPage);
        const Tree tree = appendTree(file, keys, itemLength, blockSize);
        char* h = file.data() + qsizetype(headerPage) * kPage;
        putLe32(h, tree.root);
        h[20] = char(uchar(h[20]) + 1);  // change counter
        h[246] = keys.size() > 0 ? 1 : 0;
        putLe32(h + 248, tree.firstLeaf);
        putLe32(h + 252, tree.lastLeaf);
        putDate(h + 257, today);
    }
    putLe32(file.data() + 32, quint32(file.size() / kPage));
    putLe32(file.data() + 36, 0);  // no free blocks: the file is written whole
    putLe32(file.data() + 40, 0);
    putDate(file.data() + 44, today);
    io::replaceFile(path, file, QStringLiteral("o índice"));
}

}  // namespace quillora::dbase
