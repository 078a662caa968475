// Consistency checks of a Paradox family: what tests, the fuzzers and `info` ask about a table
// after writing it. They read the files on their own and never change them.
#include "tables/paradox/ParadoxFormat.h"

#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxBlob.h"
#include "tables/paradox/PxCodec.h"
#include "tables/paradox/PxFiles.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace quillora {

using namespace px;

QStringList checkPrimaryIndex(const QString& pxPath, const std::vector<PxIndexEntry>& chain,
                              const std::function<int(const char*, const char*)>& compare, int tableStamp)
{
    QStringList problems;
    io::File f;
    if (const int err = f.tryOpen(pxPath, io::OpenMode::Read); err < 0)
        return {QStringLiteral("%1 não abre: %2").arg(pxPath, io::errorText(err))};
    const QByteArray h = readUpTo(f, 0, 0x58);
    if (h.size() < 0x58)
        return {QStringLiteral("%1 menor que o cabeçalho").arg(pxPath)};
    const char* p = h.constData();
    const int entrySize = le16(p);
    const int headerSize = le16(p + 2);
    const int bs = uchar(p[5]) * 1024;
    const qint64 numEntries = le32(p + 6);
    const int inUse = le16(p + 0x0A);
    const int fileBlocks = le16(p + 0x0C);
    const int first = le16(p + 0x0E);
    const int last = le16(p + 0x10);
    const int root = le16(p + 0x1E);
    const int levels = uchar(p[0x20]);
    const quint32 key = le32(p + 0x25);
    if ((p[4] != 1 && p[4] != 4 && p[4] != 7) || entrySize < 7 || bs < 1024 || entrySize > bs - 6 || headerSize < 0x58)
        return {QStringLiteral("%1: cabeçalho de índice primário inválido").arg(pxPath)};
    const int keySize = entrySize - 6;
    // BDE leaves the last block cut short after its entries; files of other programs may have it so.
    const qint64 whole = headerSize + qint64(fileBlocks) * bs;
    const bool cutLast = tableStamp < 0 && fileBlocks > 0 && f.size() < whole && f.size() > whole - bs;
    if (f.size() != whole && !cutLast)
        problems << QStringLiteral(".PX com %1 bytes, esperado cabeçalho + %2 blocos").arg(f.size()).arg(fileBlocks);
    if (le16(p + 0x3A) != fileBlocks)
        problems << QStringLiteral(".PX 0x3A = %1, blocos %2").arg(le16(p + 0x3A)).arg(fileBlocks);
    if (tableStamp >= 0 && uchar(p[0x2C]) != (tableStamp & 0xFF))
        problems << QStringLiteral(".PX 0x2C (%1) diferente do contador da tabela (%2)").arg(int(uchar(p[0x2C]))).arg(tableStamp & 0xFF);
    auto readBlock = [&](int no, QByteArray* b) {
        b->fill('\0', bs);
        if (no < 1 || no > fileBlocks || f.readSome(headerSize + qint64(no - 1) * bs, b->data(), bs) != bs)
            return false;
        if (key)
            decryptBlock(b->data(), bs, key, no);
        return true;
    };
    // The block chain and the free list cover every block once.
    std::vector<int> use(size_t(std::max(fileBlocks, 0)) + 1, 0);
    int chained = 0, prevNo = 0;
    QByteArray b;
    for (int no = first; no != 0; ) {
        if (no > fileBlocks || use[size_t(no)]) {
            problems << QStringLiteral(".PX: encadeamento passa pelo bloco %1 de novo ou fora do arquivo").arg(no);
            break;
        }
        use[size_t(no)] = 1;
        ++chained;
        readBlock(no, &b);
        if (le16(b.constData() + 2) != prevNo)
            problems << QStringLiteral(".PX: bloco %1 aponta para o anterior %2, esperado %3").arg(no).arg(le16(b.constData() + 2)).arg(prevNo);
        prevNo = no;
        no = le16(b.constData());
    }
    if (prevNo != last)
        problems << QStringLiteral(".PX: último bloco %1, cabeçalho diz %2").arg(prevNo).arg(last);
    if (chained != inUse)
        problems << QStringLiteral(".PX: %1 blocos encadeados, cabeçalho diz %2").arg(chained).arg(inUse);
    for (int no = le16(p + 0x4D), guard = 0; no != 0 && guard <= fileBlocks; ++guard) {
        if (no > fileBlocks || use[size_t(no)]) {
            problems << QStringLiteral(".PX: lista livre passa pelo bloco %1 já usado").arg(no);
            break;
        }
        use[size_t(no)] = 2;
        readBlock(no, &b);
        no = le16(b.constData());
    }
    for (int no = 1; no <= fileBlocks; ++no)
        if (!use[size_t(no)])
            problems << QStringLiteral(".PX: bloco %1 nem encadeado nem livre").arg(no);
    // The tree from the root.
    if (chain.empty() != (levels == 0))
        problems << QStringLiteral(".PX com %1 níveis para %2 blocos de dados").arg(levels).arg(chain.size());
    std::vector<PxIndexEntry> leaves;
    qint64 entries = 0;
    std::vector<bool> inTree(use.size(), false);
    struct Summary {
        QByteArray firstKey;
        qint64 sum = 0;
        bool ok = false;
    };
    std::function<Summary(int, int)> walk = [&](int no, int depth) -> Summary {
        Summary s;
        if (no < 1 || no > fileBlocks || inTree[size_t(no)]) {
            problems << QStringLiteral(".PX: bloco %1 da árvore fora do arquivo ou repetido").arg(no);
            return s;
        }
        inTree[size_t(no)] = true;
        if (use[size_t(no)] != 1)
            problems << QStringLiteral(".PX: bloco %1 da árvore fora do encadeamento").arg(no);
        QByteArray blk;
        readBlock(no, &blk);
        const int add = qint16(le16(blk.constData() + 4));
        const int n = add < 0 ? 0 : add / entrySize + 1;
        if (add < 0 || add % entrySize || 6 + qint64(n) * entrySize > bs) {
            problems << QStringLiteral(".PX: bloco %1 com %2 bytes de entradas").arg(no).arg(add);
            return s;
        }
        entries += n;
        for (int i = 0; i < n; ++i) {
            const char* e = blk.constData() + 6 + i * entrySize;
            if (i > 0 && compare(e - entrySize, e) >= 0)
                problems << QStringLiteral(".PX: bloco %1, entrada %2 fora da ordem da chave").arg(no).arg(i + 1);
            const int child = ((uchar(e[keySize]) ^ 0x80) << 8) | uchar(e[keySize + 1]);
            const int count = ((uchar(e[keySize + 2]) ^ 0x80) << 8) | uchar(e[keySize + 3]);
            const QByteArray k(e, keySize);
            if (depth + 1 < levels) {
                const Summary below = walk(child, depth + 1);
                if (below.ok && (below.firstKey != k || std::min<qint64>(below.sum, 65535) != count))
                    problems << QStringLiteral(".PX: entrada %1 do bloco %2 não confere com o bloco %3 abaixo (soma %4, diz %5)")
                                    .arg(i + 1).arg(no).arg(child).arg(below.sum).arg(count);
                s.sum += below.sum;
            } else {
                leaves.push_back({k, child, count});
                s.sum += count;
            }
            if (i == 0)
                s.firstKey = k;
        }
        s.ok = n > 0;
        if (n == 0)
            problems << QStringLiteral(".PX: bloco %1 da árvore sem entradas").arg(no);
        return s;
    };
    if (levels > 0) {
        if (levels > 16)
            problems << QStringLiteral(".PX com %1 níveis").arg(levels);
        else
            walk(root, 0);
        for (int no = 1; no <= fileBlocks; ++no)
            if (use[size_t(no)] == 1 && !inTree[size_t(no)])
                problems << QStringLiteral(".PX: bloco %1 encadeado mas fora da árvore").arg(no);
    }
    if (entries != numEntries)
        problems << QStringLiteral(".PX: %1 entradas na árvore, cabeçalho diz %2").arg(entries).arg(numEntries);
    if (leaves.size() != chain.size())
        problems << QStringLiteral(".PX com %1 entradas no último nível, a tabela tem %2 blocos").arg(leaves.size()).arg(chain.size());
    for (size_t i = 0; i < std::min(leaves.size(), chain.size()); ++i) {
        if (leaves[i].block != chain[i].block || leaves[i].count != chain[i].count || leaves[i].key != chain[i].key.left(keySize)) {
            problems << QStringLiteral(".PX entrada %1 (bloco %2, %3 registros) não confere com o bloco %4 (%5 registros)")
                            .arg(i + 1).arg(leaves[i].block).arg(leaves[i].count).arg(chain[i].block).arg(chain[i].count);
            break;
        }
    }
    return problems;
}

QStringList checkParadoxTable(const QString& path)
{
    QStringList problems;
    std::unique_ptr<ParadoxTable> t;
    try {
        t = std::make_unique<ParadoxTable>(path);
    } catch (const Error& e) {
        return {e.text()};
    }
    io::File f(path, io::OpenMode::Read);
    const QByteArray h = readUpTo(f, 0, 0x60);
    const char* p = h.constData();
    const int headerSize = le16(p + 2);
    const int bs = uchar(p[5]) * 1024;
    const int fileBlocks = le16(p + 0x0C);
    const int recordSize = le16(p);
    if (f.size() != headerSize + qint64(fileBlocks) * bs)
        problems << QStringLiteral("tamanho do arquivo %1 não é cabeçalho + %2 blocos").arg(f.size()).arg(fileBlocks);
    // Chain: counts, prev pointers, physical blocks used once.
    std::vector<int> use(size_t(fileBlocks) + 1, 0);
    qint64 records = 0;
    int chainLength = 0;
    int prevBlock = 0;
    std::vector<std::pair<int, int>> chain;  // block, count
    for (int b = le16(p + 0x0E); b != 0 && b <= fileBlocks && !use[size_t(b)]; ) {
        use[size_t(b)] = 1;
        QByteArray bh(bs, '\0');
        f.readSome(headerSize + qint64(b - 1) * bs, bh.data(), bs);
        if (t->isEncrypted())
            decryptBlock(bh.data(), bs, le32(p + (uchar(p[0x39]) >= 5 ? 0x5C : 0x25)), b);
        const int cnt = qint16(le16(bh.constData() + 4)) / recordSize + 1;
        if (le16(bh.constData() + 2) != prevBlock)
            problems << QStringLiteral("bloco %1 aponta para o anterior %2, esperado %3").arg(b).arg(le16(bh.constData() + 2)).arg(prevBlock);
        if (cnt <= 0)
            problems << QStringLiteral("bloco %1 vazio no encadeamento").arg(b);
        records += cnt;
        ++chainLength;
        chain.emplace_back(b, cnt);
        prevBlock = b;
        b = le16(bh.constData());
    }
    if (prevBlock != le16(p + 0x10))
        problems << QStringLiteral("último bloco %1, cabeçalho diz %2").arg(prevBlock).arg(le16(p + 0x10));
    if (records != qint64(le32(p + 6)))
        problems << QStringLiteral("%1 registros nos blocos, cabeçalho diz %2").arg(records).arg(le32(p + 6));
    if (chainLength != le16(p + 0x0A))
        problems << QStringLiteral("%1 blocos em uso, cabeçalho diz %2").arg(chainLength).arg(le16(p + 0x0A));
    for (int b = le16(p + 0x4D), guard = 0; b != 0 && guard <= fileBlocks; ++guard) {
        if (b > fileBlocks || use[size_t(b)]) {
            problems << QStringLiteral("lista livre passa pelo bloco %1 já usado").arg(b);
            break;
        }
        use[size_t(b)] = 2;
        char nb[2] = {0, 0};
        f.readSome(headerSize + qint64(b - 1) * bs, nb, 2);
        b = le16(nb);
    }
    for (int b = 1; b <= fileBlocks; ++b)
        if (!use[size_t(b)] && !t->isEncrypted())
            problems << QStringLiteral("bloco %1 nem encadeado nem livre").arg(b);
    // Key order and the primary index.
    if (t->keyFieldCount() > 0) {
        QByteArray prev, cur;
        const auto& fs = t->rawFields();
        int keySize = 0;
        for (int i = 0; i < t->keyFieldCount(); ++i)
            keySize += fs[size_t(i)].size;
        bool known = true;
        const Collation* coll = Collation::forSortOrder(t->sortOrderId(), uchar(p[0x29]), &known);
        auto cmp = [&](const QByteArray& a, const QByteArray& b) {
            for (int i = 0; i < t->keyFieldCount(); ++i) {
                const auto& fd = fs[size_t(i)];
                const int r = fd.code == 1 ? coll->compare(a.constData() + fd.offset, fd.size, b.constData() + fd.offset, fd.size)
                                           : std::memcmp(a.constData() + fd.offset, b.constData() + fd.offset, size_t(fd.size));
                if (r)
                    return r;
            }
            return 0;
        };
        qint64 n = 0;
        for (RecordId id = t->first(); id != NoRecord; id = t->next(id), ++n) {
            t->read(id, cur);
            if (!prev.isEmpty() && cmp(prev, cur) >= 0) {
                problems << QStringLiteral("registro %1 fora da ordem da chave").arg(n + 1);
                break;
            }
            prev = cur;
        }
        const QString pxPath = io::siblingNoCase(path, QFileInfo(path).completeBaseName() + QStringLiteral(".px"));
        if (pxPath.isEmpty()) {
            problems << QStringLiteral("tabela com chave sem .PX");
        } else {
            std::vector<PxIndexEntry> blocks;
            for (const auto& [block, count] : chain) {
                QByteArray rec;
                if (count > 0)
                    t->read(RecordId(block) << 16, rec);
                blocks.push_back({rec.left(keySize), block, count});
            }
            auto keyCmp = [&](const char* a, const char* b) {
                for (int i = 0, at = 0; i < t->keyFieldCount(); ++i) {
                    const auto& fd = fs[size_t(i)];
                    const int r = fd.code == 1 ? coll->compare(a + at, fd.size, b + at, fd.size)
                                               : std::memcmp(a + at, b + at, size_t(fd.size));
                    if (r)
                        return r;
                    at += fd.size;
                }
                return 0;
            };
            problems << checkPrimaryIndex(pxPath, blocks, keyCmp, uchar(h[0x2D]));
        }
        problems << checkSecondaryIndexes(path);
    }
    // Blobs: every descriptor readable, no two allocations overlapping.
    bool hasBlobs = false;
    for (const auto& fd : t->rawFields())
        hasBlobs = hasBlobs || (fd.code >= 0x0C && fd.code <= 0x10);
    const QString mbPath = io::siblingNoCase(path, QFileInfo(path).completeBaseName() + QStringLiteral(".mb"));
    if (hasBlobs && !mbPath.isEmpty()) {
        try {
            QByteArray raw;
            for (RecordId id = t->first(); id != NoRecord; id = t->next(id)) {
                t->read(id, raw);
                for (int i = 0; i < int(t->rawFields().size()); ++i)
                    (void)t->value(raw, i);
            }
            const quint32 key = t->isEncrypted() ? le32(p + (uchar(p[0x39]) >= 5 ? 0x5C : 0x25)) : 0;
            MbFile mb(mbPath, key);
            auto areas = mb.usedAreas();
            std::sort(areas.begin(), areas.end(), [](const MbFile::Area& a, const MbFile::Area& b) { return a.start < b.start; });
            for (size_t i = 1; i < areas.size(); ++i)
                if (areas[i - 1].start + areas[i - 1].size > areas[i].start)
                    problems << QStringLiteral("alocações do .MB se sobrepõem na posição %1").arg(areas[i].start);
        } catch (const Error& e) {
            problems << e.text();
        }
    }
    return problems;
}

}  // namespace quillora
