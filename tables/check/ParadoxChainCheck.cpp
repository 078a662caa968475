#include "tables/check/ParadoxChainCheck.h"

#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/paradox/PxCodec.h"

#include <algorithm>

namespace quillora::check {

namespace {

// A damaged file can hold a fault in every block; past this many the rest are only counted.
constexpr size_t kMaxFaults = 10000;

}  // namespace

void FaultSink::add(const QString& file, const QString& place, const QString& text, bool inRecords, bool minor)
{
    inRecords_ = inRecords_ || inRecords;
    if (report_.faults.size() < kMaxFaults)
        report_.faults.push_back(Fault{file, place, text, inRecords, minor});
    else
        ++dropped_;
}

void FaultSink::finish(const QString& file)
{
    if (dropped_ > 0)
        report_.faults.push_back(Fault{file, QString(), QStringLiteral("mais %1 falhas não listadas").arg(dropped_), true});
    dropped_ = 0;
}

QString blockPlace(int block)
{
    return QStringLiteral("bloco %1").arg(block);
}

QString familyMember(const QString& tablePath, const QString& suffix)
{
    const int dot = tablePath.lastIndexOf(u'.');
    const int slash = tablePath.lastIndexOf(u'/');
    return (dot > slash ? tablePath.left(dot + 1) : tablePath + u'.') + suffix;
}

QString offsetPlace(qint64 offset)
{
    return QStringLiteral("deslocamento 0x%1").arg(offset, 0, 16);
}

int PxTableFile::blocksInFile() const
{
    if (size <= h.headerSize)
        return 0;
    return int(std::min<qint64>((size - h.headerSize + h.blockSize - 1) / h.blockSize, 0xFFFF));
}

void PxTableFile::open(const QString& tablePath)
{
    path = tablePath;
    if (const int err = file.tryOpen(path, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir a tabela %1: %2").arg(path, io::errorText(err)));
    size = file.size();
    h = px::TableHeader::read(file, size, path, true);
}

int readDataBlock(const PxTableFile& t, int block, QByteArray& buf)
{
    buf.fill('\0', t.h.blockSize);
    if (block < 1)
        return 0;
    const qint64 at = t.h.headerSize + qint64(block - 1) * t.h.blockSize;
    if (at >= t.size)
        return 0;
    const int got = int(t.file.readSome(at, buf.data(), t.h.blockSize));
    if (t.h.key && got > 0)
        px::decryptBlock(buf.data(), t.h.blockSize, t.h.key, block);
    return got;
}

int declaredRecords(const px::TableHeader& h, const char* blockHeader)
{
    const int add = qint16(px::le16(blockHeader + 4));
    if (add < -h.recordSize || (add + h.recordSize) % h.recordSize != 0)
        return -1;
    return add / h.recordSize + 1;
}

void checkParadoxHeader(const PxTableFile& t, FaultSink& sink)
{
    const px::TableHeader& h = t.h;
    const qint64 expected = h.headerSize + qint64(h.fileBlocks) * h.blockSize;
    if (t.size > expected) {
        // Whole blocks past the counted ones may hold records; a partial one cannot.
        const qint64 extra = t.size - expected;
        sink.add(t.path, offsetPlace(expected),
                 QStringLiteral("o arquivo tem %1 bytes a mais do que o cabeçalho indica (%2 blocos de %3 bytes)")
                     .arg(extra).arg(h.fileBlocks).arg(h.blockSize),
                 extra >= h.blockSize);
    } else if (t.blocksInFile() < h.fileBlocks) {
        // BDE cuts the last block after its records: only missing blocks are a fault here, a
        // block cut into its records is named by the chain.
        sink.add(t.path, offsetPlace(t.size),
                 QStringLiteral("o arquivo termina no bloco %1, mas o cabeçalho indica %2 blocos (%3 bytes)")
                     .arg(t.blocksInFile()).arg(h.fileBlocks).arg(expected),
                 true);
    }
}

void checkParadoxMarks(const PxTableFile& t, FaultSink& sink)
{
    const char* p = t.h.bytes.constData();
    if (p[0x14] || p[0x2A])
        sink.add(t.path, QStringLiteral("cabeçalho"), QStringLiteral("a tabela está marcada como precisando de reconstrução"),
                 false);
}

PxChainScan scanParadoxChain(const PxTableFile& t, FaultSink& sink, const BlockVisitor& visit,
                             const CheckProgress& progress)
{
    const px::TableHeader& h = t.h;
    const int n = h.fileBlocks;
    PxChainScan s;
    s.count.assign(size_t(n) + 1, -1);
    s.state.assign(size_t(n) + 1, 0);
    QByteArray buf;
    int prev = 0;
    auto fromPlace = [&] { return prev ? blockPlace(prev) : QStringLiteral("cabeçalho"); };
    for (int b = px::le16(h.bytes.constData() + 0x0E); b != 0;) {
        if (b < 1 || b > n) {
            sink.add(t.path, fromPlace(),
                     QStringLiteral("o encadeamento segue para o bloco %1, fora do arquivo (%2 blocos)").arg(b).arg(n), true);
            s.broken = true;
            break;
        }
        if (s.state[size_t(b)]) {
            sink.add(t.path, fromPlace(), QStringLiteral("o encadeamento volta ao bloco %1 (laço)").arg(b), true);
            s.broken = true;
            break;
        }
        s.state[size_t(b)] = 1;
        // Without records to look at, a plain block's six-byte header is all that is read.
        const qint64 at = h.headerSize + qint64(b - 1) * h.blockSize;
        int got;
        if (visit || h.key) {
            got = readDataBlock(t, b, buf);
        } else {
            buf.fill('\0', 6);
            got = t.file.readSome(at, buf.data(), 6) == 6 ? int(std::min<qint64>(h.blockSize, t.size - at)) : 0;
        }
        if (got < 6) {
            sink.add(t.path, blockPlace(b), QStringLiteral("o bloco está além do fim do arquivo"), true);
            s.broken = true;
            break;
        }
        const char* bp = buf.constData();
        // A stale back link is what a stopped write leaves: readers follow the forward links
        // only, and the next write (or a repair) mends it.
        if (px::le16(bp + 2) != prev)
            sink.add(t.path, blockPlace(b),
                     QStringLiteral("o bloco aponta para o anterior %1, mas vem depois do %2 no encadeamento")
                         .arg(px::le16(bp + 2)).arg(prev),
                     false, true);
        int cnt = declaredRecords(h, bp);
        if (cnt < 0) {
            sink.add(t.path, blockPlace(b),
                     QStringLiteral("o tamanho dos dados do bloco (%1) não é de registros inteiros de %2 bytes")
                         .arg(qint16(px::le16(bp + 4))).arg(h.recordSize),
                     true);
            cnt = 0;
        } else if (cnt > h.capacity) {
            sink.add(t.path, blockPlace(b),
                     QStringLiteral("o bloco diz ter %1 registros, mas cabem %2").arg(cnt).arg(h.capacity), true);
            cnt = h.capacity;
        }
        if (6 + qint64(cnt) * h.recordSize > got) {
            const int present = std::max(0, (got - 6) / h.recordSize);
            sink.add(t.path, blockPlace(b),
                     QStringLiteral("o bloco é cortado pelo fim do arquivo: %1 de %2 registros presentes").arg(present).arg(cnt),
                     true);
            cnt = present;
        } else if (cnt == 0) {
            sink.add(t.path, blockPlace(b), QStringLiteral("bloco vazio no encadeamento"), false, true);
        }
        s.count[size_t(b)] = cnt;
        s.order.push_back(b);
        s.records += cnt;
        if (visit && cnt > 0)
            visit(b, bp + 6, cnt);
        if (progress && !progress(qint64(s.order.size()), n)) {
            s.stopped = true;
            return s;
        }
        prev = b;
        b = px::le16(bp);
    }
    // The free list: blocks that left the chain, linked through their first word.
    char word[2];
    int prevFree = 0;
    for (int b = h.firstFree; b != 0;) {
        const QString from = prevFree ? blockPlace(prevFree) : QStringLiteral("cabeçalho");
        if (b < 1 || b > n) {
            sink.add(t.path, from, QStringLiteral("a lista de blocos livres segue para o bloco %1, fora do arquivo").arg(b));
            s.freeListBad = true;
            break;
        }
        if (s.state[size_t(b)] == 1) {
            sink.add(t.path, blockPlace(b), QStringLiteral("o bloco está no encadeamento e na lista de blocos livres"));
            s.freeListBad = true;
            break;
        }
        if (s.state[size_t(b)] == 2) {
            sink.add(t.path, from, QStringLiteral("a lista de blocos livres volta ao bloco %1 (laço)").arg(b));
            s.freeListBad = true;
            break;
        }
        s.state[size_t(b)] = 2;
        QByteArray block;
        if (h.key) {
            if (readDataBlock(t, b, block) < 2)
                break;
        } else if (t.file.readSome(h.headerSize + qint64(b - 1) * h.blockSize, word, 2) != 2) {
            break;
        }
        prevFree = b;
        b = px::le16(h.key ? block.constData() : word);
    }
    // Blocks neither chained nor free: named in runs, since a broken chain leaves many. With the
    // chain whole they are only space lost (a stopped write leaves such blocks; the next write
    // or a repair frees them).
    // Blocks past the end of the file are named by the header check already.
    const int present = std::min(n, t.blocksInFile());
    if (!s.broken) {
        for (int b = 1; b <= present; ++b) {
            if (s.state[size_t(b)])
                continue;
            int end = b;
            while (end < present && !s.state[size_t(end + 1)])
                ++end;
            sink.add(t.path, end == b ? blockPlace(b) : QStringLiteral("blocos %1 a %2").arg(b).arg(end),
                     QStringLiteral("fora do encadeamento e da lista de blocos livres"), false, true);
            b = end;
        }
    }
    return s;
}

void checkParadoxCounters(const PxTableFile& t, const PxChainScan& s, FaultSink& sink)
{
    if (s.broken)
        return;  // what the blocks hold is not known: the chain fault says it all
    const char* p = t.h.bytes.constData();
    const QString head = QStringLiteral("cabeçalho");
    const qint64 counted = px::le32(p + 6);
    if (counted != s.records)
        sink.add(t.path, head, QStringLiteral("o cabeçalho diz %1 registros, os blocos do encadeamento têm %2")
                                   .arg(counted).arg(s.records));
    if (px::le16(p + 0x0A) != int(s.order.size()))
        sink.add(t.path, head, QStringLiteral("o cabeçalho diz %1 blocos em uso, o encadeamento tem %2")
                                   .arg(px::le16(p + 0x0A)).arg(s.order.size()));
    const int last = s.order.empty() ? 0 : s.order.back();
    if (px::le16(p + 0x10) != last)
        sink.add(t.path, head, QStringLiteral("o cabeçalho diz que o último bloco é o %1, o encadeamento termina no %2")
                                   .arg(px::le16(p + 0x10)).arg(last));
}

}  // namespace quillora::check
