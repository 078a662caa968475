// Secondary indexes of a Paradox table: each .Xnn/.XGn is a small keyed table (indexed fields,
// the table's key fields, the data block of the record) with its own primary index .Ynn/.YGn.
//
// Records move between blocks on almost every keyed write (inserts shift, splits move half a
// block), so keeping the block numbers of an index current record by record would rewrite much
// of it each time. Instead, before the first change of a session every index is marked out of
// date (its .X change counter no longer matches the one its .Y carries), and when the table is
// flushed the maintained ones are rebuilt from the data into new files that replace the old
// ones, .X first, then the .Y that puts the pair back in step. Indexes the format does not keep
// up to date (types 3 and 6) stay marked out of date, for the BDE to rebuild when it uses them.

#include "tables/paradox/ParadoxSecondary.h"

#include "tables/Session.h"

#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"

#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/paradox/PxCodec.h"
#include "tables/paradox/PxFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <ctime>
#include <map>
#include <numeric>

namespace quillora {

using namespace px;

QByteArray buildPxHeader(const std::vector<std::pair<int, int>>& keyTypes, int keySize, int version, int sortByte,
                         int blockKiB, const QString& tableName);

struct px::SecondaryIndexFile {
    QString xPath, yPath;
    QByteArray header;
    int type = 0;
    int recordSize = 0;
    int headerSize = 0;
    int blockSize = 0;
    int numFields = 0;
    quint32 key = 0;
    bool maintained = false;
    bool caseInsensitive = false;
    std::vector<int> sizes;        // per .X field
    std::vector<int> tableField;   // per .X field but the last (Blk Num): the table's field
    std::vector<bool> descending;  // per .X field but the last
    QString problem;               // non-empty: the layout is not one this program can rebuild

    int keySize() const { return recordSize - 2; }
};

using IndexFile = px::SecondaryIndexFile;

namespace {

int storedSize(int code, int sizeByte) { return code == 0x17 ? 17 : sizeByte; }

// Unsigned short in record encoding (big-endian, top bit flipped).
void putRecord16(char* p, int v)
{
    p[0] = char(((v >> 8) & 0xFF) ^ 0x80);
    p[1] = char(v & 0xFF);
}
int getRecord16(const char* p) { return ((uchar(p[0]) ^ 0x80) << 8) | uchar(p[1]); }


QString familyName(const QString& tablePath, const QString& ext)
{
    return io::siblingNoCase(tablePath, QFileInfo(tablePath).completeBaseName() + QLatin1Char('.') + ext);
}

// The .X?? and .XG? files next to a table.
QStringList indexFilesOf(const QString& tablePath)
{
    QStringList out;
    const QFileInfo fi(tablePath);
    QStringList names = io::siblings(tablePath);
    names.sort();
    for (const QString& name : names) {
        const QString ext = QFileInfo(name).suffix().toUpper();
        if (ext.size() == 3 && ext[0] == u'X' && QFileInfo(name).completeBaseName().compare(fi.completeBaseName(), Qt::CaseInsensitive) == 0)
            out << io::absolute(fi.dir().filePath(name));
    }
    return out;
}

// The .Y that goes with a .X: found whatever its case, or named like the .X.
QString yPathFor(const QString& tablePath, const QString& xPath)
{
    QString ext = QFileInfo(xPath).suffix();
    ext[0] = ext[0] == u'x' ? u'y' : u'Y';
    const QString found = familyName(tablePath, ext);
    if (!found.isEmpty())
        return found;
    const QFileInfo xi(xPath);
    return xi.dir().filePath(xi.completeBaseName() + QLatin1Char('.') + ext);
}

// A secondary index marked out of date: its .X counter one past its .Y's, as a writing session
// leaves the pair until it rewrites both.
bool outOfStep(int xStamp, const QString& yPath)
{
    io::File y;
    char yStamp = 0;
    return y.tryOpen(yPath, io::OpenMode::Read) == 0 && y.readSome(0x2C, &yStamp, 1) == 1
        && xStamp == (uchar(yStamp) + 1) % 256;
}

IndexFile readIndexFile(const QString& tablePath, const QString& xPath, const std::vector<ParadoxTable::Field>& fields, int keyFields)
{
    IndexFile x;
    x.xPath = xPath;
    x.yPath = yPathFor(tablePath, xPath);
    io::File f;
    if (const int err = f.tryOpen(xPath, io::OpenMode::Read); err < 0) {
        x.problem = io::errorText(err);
        return x;
    }
    const QByteArray start = readUpTo(f, 0, 0x78);
    if (start.size() < 0x78) {
        x.problem = QStringLiteral("cabeçalho incompleto");
        return x;
    }
    const char* s = start.constData();
    x.type = uchar(s[4]);
    x.maintained = x.type == 5 || x.type == 8;
    x.recordSize = le16(s);
    x.headerSize = le16(s + 2);
    x.blockSize = uchar(s[5]) * 1024;
    x.numFields = le16(s + 0x21);
    const int version = uchar(s[0x39]);
    if (x.type != 3 && x.type != 5 && x.type != 6 && x.type != 8) {
        x.problem = QStringLiteral("tipo de arquivo %1").arg(x.type);
        return x;
    }
    if (version < 5) {
        x.problem = QStringLiteral("índice de versão anterior ao Paradox 4");
        return x;
    }
    if (keyFields == 0) {
        x.problem = QStringLiteral("índice de tabela sem chave");
        return x;
    }
    if (x.headerSize < 0x78 || x.blockSize < 1024 || x.blockSize > 32768 || x.recordSize < 3 || x.recordSize > x.blockSize - 6 ||
        x.numFields < 2 || x.numFields > 255) {
        x.problem = QStringLiteral("cabeçalho inválido");
        return x;
    }
    x.header = readUpTo(f, 0, x.headerSize);
    if (x.header.size() != x.headerSize) {
        x.problem = QStringLiteral("cabeçalho incompleto");
        return x;
    }
    const char* h = x.header.constData();
    x.key = le32(h + 0x25);
    if (x.key == 0xFF00FF00u)
        x.key = le32(h + 0x5C);
    const int n = x.numFields;
    const int numbersAt = 0x58 + le16(h + 0x66);
    if (0x78 + 2 * n > x.headerSize || numbersAt < 0x78 || numbersAt + 2 * n > x.headerSize) {
        x.problem = QStringLiteral("lista de campos fora do cabeçalho");
        return x;
    }
    int total = 0;
    for (int i = 0; i < n; ++i) {
        x.sizes.push_back(storedSize(uchar(h[0x78 + 2 * i]), uchar(h[0x78 + 2 * i + 1])));
        total += x.sizes.back();
    }
    if (total != x.recordSize || uchar(h[0x78 + 2 * (n - 1)]) != 0x03 || x.sizes.back() != 2 || le16(h + 0x23) != n - 1) {
        x.problem = QStringLiteral("campos não conferem com o tamanho do registro");
        return x;
    }
    // Indexed fields (their table numbers, bit 15 = descending), then the table's key fields
    // not among them in key order, then Blk Num: the shortest prefix that fits.
    // Bit 15 marks each descending field; an index flagged descending (0x10) without such marks
    // is descending on all its fields.
    bool anyMarked = false;
    for (int i = 0; i < n - 1; ++i)
        anyMarked = anyMarked || (le16(h + numbersAt + 2 * i) & 0x8000);
    const bool allDescending = (uchar(h[0x55]) & 0x10) && !anyMarked;
    for (int m = 1; m <= n - 1; ++m) {
        std::vector<int> mapped;
        std::vector<bool> desc;
        bool ok = true;
        for (int i = 0; i < m && ok; ++i) {
            const int fn = le16(h + numbersAt + 2 * i);
            const int field = (fn & 0x7FFF) - 1;
            ok = field >= 0 && field < int(fields.size()) && std::find(mapped.begin(), mapped.end(), field) == mapped.end();
            mapped.push_back(field);
            desc.push_back((fn & 0x8000) || allDescending);
        }
        if (!ok)
            break;
        for (int k = 0; k < keyFields; ++k)
            if (std::find(mapped.begin(), mapped.begin() + m, k) == mapped.begin() + m) {
                mapped.push_back(k);
                desc.push_back(false);
            }
        if (int(mapped.size()) != n - 1)
            continue;
        for (int i = 0; i < n - 1 && ok; ++i) {
            const ParadoxTable::Field& tf = fields[size_t(mapped[size_t(i)])];
            ok = uchar(h[0x78 + 2 * i]) == tf.code && x.sizes[size_t(i)] == tf.size;
        }
        if (!ok)
            break;
        x.tableField = std::move(mapped);
        x.descending = std::move(desc);
        break;
    }
    if (x.tableField.empty()) {
        x.problem = QStringLiteral("campos do índice não conferem com os da tabela");
        return x;
    }
    x.caseInsensitive = QFileInfo(xPath).suffix().toUpper()[1] == u'G' && (uchar(h[0x55]) & 0x01);
    return x;
}

// Order of index records: field by field, Alpha by the table's collation, descending fields
// reversed.
struct IndexOrder {
    const IndexFile* x = nullptr;
    const std::vector<ParadoxTable::Field>* fields = nullptr;
    const Collation* collation = nullptr;

    int operator()(const char* a, const char* b) const
    {
        int at = 0;
        for (size_t i = 0; i < x->tableField.size(); ++i) {
            const int size = x->sizes[i];
            int r;
            if ((*fields)[size_t(x->tableField[i])].code == kAlpha && collation)
                r = collation->compare(a + at, size, b + at, size);
            else
                r = std::memcmp(a + at, b + at, size_t(size));
            if (r)
                return (r < 0) != bool(x->descending[i]) ? -1 : 1;
            at += size;
        }
        return 0;
    }
};

// Case-insensitive indexes store their text upper-cased.
class UpperCaser {
public:
    explicit UpperCaser(const CodePage& cp) : cp_(cp)
    {
        if (!cp.isSingleByte())
            return;
        for (int c = 0; c < 256; ++c) {
            const char byte = char(c);
            QByteArray up;
            table_[size_t(c)] = byte;
            if (c && cp.encode(cp.decode(QByteArrayView(&byte, 1)).toUpper(), &up) && up.size() == 1)
                table_[size_t(c)] = up[0];
        }
        single_ = true;
    }
    void apply(char* p, int n) const
    {
        if (single_) {
            for (int i = 0; i < n && p[i]; ++i)
                p[i] = table_[uchar(p[i])];
            return;
        }
        const int len = int(std::find(p, p + n, '\0') - p);
        QByteArray up;
        if (cp_.encode(cp_.decode(QByteArrayView(p, len)).toUpper(), &up) && up.size() == len)
            std::memcpy(p, up.constData(), size_t(len));
    }

private:
    const CodePage& cp_;
    bool single_ = false;
    std::array<char, 256> table_{};
};

// Rank of each record's Alpha field at `at` in the collation's order (equal texts, equal ranks).
// Equal bytes are grouped first, so each distinct text gets its sort key once; the keys are
// packed in one buffer.
std::vector<quint32> rankAlpha(const char* data, qint64 n, int rs, int at, int size, const Collation& c)
{
    auto raw = [&](quint32 i) { return data + qint64(i) * rs + at; };
    std::vector<quint32> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) { return std::memcmp(raw(a), raw(b), size_t(size)) < 0; });
    std::vector<quint32> groupOf(static_cast<size_t>(n));
    std::vector<char> keys;
    std::vector<quint64> offsets;
    for (size_t j = 0; j < order.size(); ++j) {
        if (j == 0 || std::memcmp(raw(order[j - 1]), raw(order[j]), size_t(size)) != 0) {
            const QByteArray k = c.sortKey(QByteArrayView(raw(order[j]), size));
            offsets.push_back(keys.size());
            keys.insert(keys.end(), k.constData(), k.constData() + k.size());
        }
        groupOf[order[j]] = quint32(offsets.size() - 1);
    }
    offsets.push_back(keys.size());
    auto cmp = [&](quint32 a, quint32 b) {
        const size_t la = offsets[a + 1] - offsets[a], lb = offsets[b + 1] - offsets[b];
        const int r = std::memcmp(keys.data() + offsets[a], keys.data() + offsets[b], std::min(la, lb));
        return r ? (r < 0 ? -1 : 1) : (la == lb ? 0 : (la < lb ? -1 : 1));
    };
    std::vector<quint32> groups(offsets.size() - 1);
    std::iota(groups.begin(), groups.end(), 0u);
    std::sort(groups.begin(), groups.end(), [&](quint32 a, quint32 b) { return cmp(a, b) < 0; });
    std::vector<quint32> groupRank(groups.size());
    quint32 r = 0;
    for (size_t j = 0; j < groups.size(); ++j) {
        if (j > 0 && cmp(groups[j - 1], groups[j]) != 0)
            ++r;
        groupRank[groups[j]] = r;
    }
    for (quint32& g : groupOf)
        g = groupRank[g];
    return groupOf;
}

QString indexError(const QString& path, const QString& why)
{
    return QStringLiteral("Não foi possível gravar o índice secundário %1: %2").arg(path, why);
}

// The tree of a primary index over `entries` (first key, block, count of each block below),
// numbered root first as the BDE does; each block but the root one entry short of full.
struct BuiltTree {
    std::vector<std::vector<PrimaryIndex::Entry>> blocks;  // [0] = block 1
    int levels = 0;
};

BuiltTree buildTree(std::vector<PrimaryIndex::Entry> level, int capacity)
{
    BuiltTree out;
    const int perBlock = capacity > 2 ? capacity - 1 : capacity;
    std::vector<std::vector<std::vector<PrimaryIndex::Entry>>> levels;
    while (!level.empty()) {
        std::vector<std::vector<PrimaryIndex::Entry>> groups;
        std::vector<PrimaryIndex::Entry> up;
        for (size_t at = 0; at < level.size(); at += size_t(perBlock)) {
            const size_t end = std::min(level.size(), at + size_t(perBlock));
            std::vector<PrimaryIndex::Entry> g(level.begin() + qsizetype(at), level.begin() + qsizetype(end));
            qint64 sum = 0;
            for (const auto& e : g)
                sum += e.count;
            up.push_back({g.front().key, int(groups.size()), sum});
            groups.push_back(std::move(g));
        }
        levels.push_back(std::move(groups));
        if (up.size() == 1)
            break;
        level.swap(up);
    }
    out.levels = int(levels.size());
    std::vector<int> base(levels.size(), 0);
    int numbered = 0;
    for (int k = out.levels - 1; k >= 0; --k) {
        base[size_t(k)] = numbered;
        numbered += int(levels[size_t(k)].size());
    }
    for (int k = out.levels - 1; k >= 0; --k)
        for (auto& g : levels[size_t(k)]) {
            if (k > 0)
                for (auto& e : g)
                    e.child = base[size_t(k) - 1] + e.child + 1;
            out.blocks.push_back(std::move(g));
        }
    return out;
}

void writeIndexPair(const IndexFile& x, const char* data, const std::vector<quint32>& sorted, char familyStamp,
                    const QString& tablePath);

}  // namespace

// --- Writing --------------------------------------------------------------------------------

px::SecondaryIndexes::SecondaryIndexes(const QString& tablePath, const TableHeader& header)
    : tablePath_(tablePath), h_(header)
{
}

px::SecondaryIndexes::~SecondaryIndexes() = default;

QList<IndexDef> px::SecondaryIndexes::definitions() const
{
    QList<IndexDef> out;
    for (const QString& xPath : indexFilesOf(tablePath_)) {
        const QString name = QFileInfo(xPath).fileName();
        const QString ext = QFileInfo(name).suffix().toUpper();
        io::File f;
        if (f.tryOpen(xPath, io::OpenMode::Read) < 0)
            continue;
        QByteArray h(0x1000, '\0');
        h.truncate(int(f.readSome(0, h.data(), h.size())));
        if (h.size() < 0x78)
            continue;
        const char* p = h.constData();
        const int type = uchar(p[4]);
        if (type != 3 && type != 5 && type != 6 && type != 8)
            continue;
        const int nf = le16(p + 0x21);
        const int fnAt = 0x58 + le16(p + 0x66);
        if (nf < 1 || fnAt + 2 * nf > h.size())
            continue;
        int m;
        if (h_.keyFields == 0) {
            m = nf - 3;
        } else {
            // Indexed fields, then the base key fields not among them, then Blk Num.
            m = nf - 1;
            for (int prefix = 1; prefix <= nf - 1; ++prefix) {
                QList<int> rest;
                QList<int> chosen;
                for (int i = 0; i < prefix; ++i)
                    chosen << (le16(p + fnAt + 2 * i) & 0x7FFF);
                for (int k = 1; k <= h_.keyFields; ++k)
                    if (!chosen.contains(k))
                        rest << k;
                if (prefix + rest.size() == nf - 1) {
                    m = prefix;
                    break;
                }
            }
        }
        if (m < 1)
            continue;
        IndexDef d;
        d.fileName = name;
        for (int i = 0; i < m; ++i) {
            const int fn = le16(p + fnAt + 2 * i);
            const int field = (fn & 0x7FFF) - 1;
            if (field >= 0 && field < int(h_.fields.size()))
                d.fields << h_.fields[size_t(field)].name;
            if (fn & 0x8000)
                d.options |= ixDescending;
        }
        const int optionsByte = uchar(p[0x55]);
        if (optionsByte & 0x10)
            d.options |= ixDescending;
        if (optionsByte & 0x20)
            d.options |= ixUnique;
        // Named composite indexes with bit 0x01 keep their text keys in upper case (zakazky.XG0
        // stores "40,0L" for the table's "40,0l"): they ignore case. Indexes kept for
        // referential integrity (0x00) match keys exactly.
        if (ext[1] == u'G' && (optionsByte & 0x01))
            d.options |= ixCaseInsensitive;
        if (type == 3 || type == 6)
            d.options |= ixNonMaintained;
        if (outOfStep(uchar(p[0x2D]), yPathFor(tablePath_, xPath)))
            d.options |= ixOutOfDate;
        if (ext[1] == u'G') {
            const int nameAt = 0x58 + le16(p + 0x68);
            const int end = nameAt > 0x58 ? h.indexOf('\0', nameAt) : -1;
            if (end > nameAt)
                d.name = h_.cp->decode(QByteArrayView(p + nameAt, end - nameAt));
        } else if (!d.fields.isEmpty()) {
            d.name = d.fields.first();
        }
        out << d;
    }
    return out;
}

void px::SecondaryIndexes::open()
{
    files_.clear();
    for (const QString& xPath : indexFilesOf(tablePath_))
        files_.push_back(readIndexFile(tablePath_, xPath, h_.fields, h_.keyFields));
}

void px::SecondaryIndexes::markStale()
{
    if (stale_)
        return;
    for (IndexFile& index : files_) {
        char stamp = 0, yStamp = 0;
        bool haveY = false;
        {
            io::File y;
            if (y.tryOpen(index.yPath, io::OpenMode::Read) == 0)
                haveY = y.readSome(0x2C, &yStamp, 1) == 1;
        }
        io::File x;
        if (const int err = x.tryOpen(index.xPath, io::OpenMode::ReadWrite); err < 0)
            throw FileError(QStringLiteral("O índice secundário %1 não pode ser marcado como desatualizado: %2").arg(index.xPath, io::errorText(err)));
        if (x.readSome(0x2D, &stamp, 1) != 1)
            continue;  // not even a header: nothing there claims to be current
        // A counter one past the one in the .Y: the pair reads as out of date (see
        // outOfStep(); real files in step carry equal counters, or a .Y ahead of its .X).
        stamp = char(uchar(haveY ? yStamp : stamp) + 1);
        x.write(0x2D, &stamp, 1);
        if (index.header.size() > 0x2D)
            index.header[0x2D] = stamp;  // the rebuild counts on from here
    }
    stale_ = true;
    if (ParadoxTable::writeStepHook)
        ParadoxTable::writeStepHook(4);
}

void px::SecondaryIndexes::rebuild(const Records& table)
{
    if (!stale_)
        return;
    std::vector<IndexFile> xs;
    for (const IndexFile& x : files_)
        if (x.problem.isEmpty() && x.maintained)
            xs.push_back(x);
    if (xs.empty()) {
        stale_ = false;
        return;
    }
    BusyWork busy(QStringLiteral("Reconstruindo os índices de %1").arg(QFileInfo(tablePath_).fileName()), table.total);
    // One pass over the data builds the records of every index.
    std::vector<QByteArray> records(xs.size());
    for (size_t i = 0; i < xs.size(); ++i)
        records[i].resize(qsizetype(table.total) * xs[i].recordSize);
    std::unique_ptr<UpperCaser> upper;
    for (const IndexFile& x : xs)
        if (x.caseInsensitive && !upper)
            upper = std::make_unique<UpperCaser>(*h_.cp);
    qint64 n = 0;
    for (int b : table.chain) {
        const int cnt = table.count[size_t(b)];
        if ((n & ~qint64(0xFFFF)) != ((n + cnt) & ~qint64(0xFFFF)))
            busy.advance(n);
        for (int s = 0; s < cnt; ++s, ++n) {
            if (n >= table.total)
                damaged(tablePath_, QStringLiteral("mais registros nos blocos que o contado"));
            const char* rec = table.blockData(b) + s * h_.recordSize;
            for (size_t i = 0; i < xs.size(); ++i) {
                const IndexFile& x = xs[i];
                char* out = records[i].data() + n * x.recordSize;
                for (size_t k = 0; k < x.tableField.size(); ++k) {
                    const FieldDesc& f = h_.fields[size_t(x.tableField[k])];
                    std::memcpy(out, rec + f.offset, size_t(f.size));
                    if (x.caseInsensitive && f.code == kAlpha)
                        upper->apply(out, f.size);
                    out += f.size;
                }
                putRecord16(out, b);
            }
        }
    }
    for (size_t i = 0; i < xs.size(); ++i) {
        const IndexFile& x = xs[i];
        const char* data = records[i].constData();
        const int rs = x.recordSize;
        // Dictionary orders are costly to compare: each Alpha field is ranked once through its
        // sort keys, and records then compare by rank.
        std::vector<std::vector<quint32>> ranks(x.tableField.size());
        if (h_.collation && !h_.collation->isByteOrder())
            for (size_t k = 0, at = 0; k < x.tableField.size(); at += size_t(x.sizes[k]), ++k)
                if (h_.fields[size_t(x.tableField[k])].code == kAlpha)
                    ranks[k] = rankAlpha(data, table.total, rs, int(at), x.sizes[k], *h_.collation);
        auto less = [&](quint32 a, quint32 b) {
            const char* ra = data + qint64(a) * rs;
            const char* rb = data + qint64(b) * rs;
            for (size_t k = 0, at = 0; k < x.tableField.size(); at += size_t(x.sizes[k]), ++k) {
                int r;
                if (!ranks[k].empty())
                    r = ranks[k][a] == ranks[k][b] ? 0 : (ranks[k][a] < ranks[k][b] ? -1 : 1);
                else if (h_.fields[size_t(x.tableField[k])].code == kAlpha && h_.collation)
                    r = h_.collation->compare(ra + at, x.sizes[k], rb + at, x.sizes[k]);
                else
                    r = std::memcmp(ra + at, rb + at, size_t(x.sizes[k]));
                if (r)
                    return (r < 0) != bool(x.descending[k]);
            }
            return false;
        };
        std::vector<quint32> sorted(static_cast<size_t>(table.total));
        std::iota(sorted.begin(), sorted.end(), 0u);
        std::sort(sorted.begin(), sorted.end(), less);
        writeIndexPair(x, data, sorted, h_.bytes[0x2E], tablePath_);
        records[i] = QByteArray();
    }
    stale_ = false;
}

namespace {
// Writes one .X with the records `data` in the order `sorted`, then its .Y.
void writeIndexPair(const IndexFile& x, const char* data, const std::vector<quint32>& sorted, char familyStamp,
                    const QString& tablePath)
{
    using PxEntry = PrimaryIndex::Entry;
    const int rs = x.recordSize;
    const int capacity = (x.blockSize - 6) / rs;
    const qint64 total = qint64(sorted.size());
    const qint64 blocks = (total + capacity - 1) / capacity;
    if (blocks > 0xFFFF)
        throw FileError(indexError(x.xPath, QStringLiteral("o índice não cabe em 65535 blocos")));

    // The new change counter: past the one marking the files out of date and unlike the old
    // .Y's, so that a stop between the two files still shows them out of step.
    QByteArray yHeader;
    {
        io::File y;
        if (y.tryOpen(x.yPath, io::OpenMode::Read) == 0) {
            const QByteArray start = readUpTo(y, 0, 0x58);
            const int hs = start.size() == 0x58 ? le16(start.constData() + 2) : 0;
            if (hs >= 0x58 && le16(start.constData()) == x.keySize() + 6 && le16(start.constData() + 0x21) == x.numFields - 1 &&
                uchar(start[5]) >= 1 && uchar(start[5]) <= 32 && (start[4] == 4 || start[4] == 7)) {
                yHeader = readUpTo(y, 0, hs);
                if (yHeader.size() != hs)
                    yHeader.clear();
            }
        }
    }
    const char oldYStamp = yHeader.isEmpty() ? x.header[0x2D] : yHeader[0x2C];
    char stamp = char(uchar(x.header[0x2D]) + 1);
    if (stamp == oldYStamp)
        stamp = char(uchar(stamp) + 1);
    if (yHeader.isEmpty()) {
        std::vector<std::pair<int, int>> keyTypes;
        for (int i = 0; i < x.numFields - 1; ++i)
            keyTypes.emplace_back(uchar(x.header[0x78 + 2 * i]), uchar(x.header[0x78 + 2 * i + 1]));
        yHeader = buildPxHeader(keyTypes, x.keySize(), uchar(x.header[0x39]), uchar(x.header[0x29]), x.blockSize / 1024, tablePath);
        yHeader[4] = char(x.type == 8 ? 7 : 4);
    }

    // The .X: records in order, blocks full and chained in file order.
    QByteArray h = x.header;
    char* p = h.data();
    putLe32(p + 0x06, quint32(total));
    putLe16(p + 0x0A, quint16(blocks));
    putLe16(p + 0x0C, quint16(blocks));
    putLe16(p + 0x0E, quint16(blocks ? 1 : 0));
    putLe16(p + 0x10, quint16(blocks));
    putLe16(p + 0x3A, quint16(blocks));
    putLe16(p + 0x4D, 0);
    p[0x2D] = stamp;
    p[0x2E] = familyStamp;
    if (uchar(p[0x39]) >= 5)
        putLe32(p + 0x60, quint32(std::time(nullptr)));
    std::vector<PxEntry> leaves;
    leaves.reserve(size_t(blocks));
    io::replaceFile(x.xPath, [&](io::File& out) {
        out.write(0, h);
        qint64 pos = h.size();
        QByteArray b(x.blockSize, '\0');
        for (qint64 no = 1, at = 0; no <= blocks; ++no) {
            const int cnt = int(std::min<qint64>(capacity, total - at));
            b.fill('\0');
            putLe16(b.data(), quint16(no < blocks ? no + 1 : 0));
            putLe16(b.data() + 2, quint16(no - 1));
            putLe16(b.data() + 4, quint16(qint16((cnt - 1) * rs)));
            for (int k = 0; k < cnt; ++k)
                std::memcpy(b.data() + 6 + k * rs, data + qint64(sorted[size_t(at + k)]) * rs, size_t(rs));
            leaves.push_back({QByteArray(b.constData() + 6, x.keySize()), int(no), cnt});
            if (x.key)
                encryptBlock(b.data(), x.blockSize, x.key, int(no));
            out.write(pos, b);
            pos += b.size();
            at += cnt;
        }
    }, QStringLiteral("o índice secundário"));
    if (ParadoxTable::writeStepHook)
        ParadoxTable::writeStepHook(5);

    // The .Y over the .X blocks, in step with the new .X.
    const int entrySize = x.keySize() + 6;
    const int yBlockSize = uchar(yHeader[5]) * 1024;
    const int yCapacity = (yBlockSize - 6) / entrySize;
    if (yCapacity < 2)
        throw FileError(indexError(x.yPath, QStringLiteral("chave grande demais para os blocos do índice")));
    const BuiltTree tree = buildTree(std::move(leaves), yCapacity);
    const int yBlocks = int(tree.blocks.size());
    if (yBlocks > 0xFFFF)
        throw FileError(indexError(x.yPath, QStringLiteral("o índice não cabe em 65535 blocos")));
    qint64 entries = 0;
    for (const auto& blk : tree.blocks)
        entries += qint64(blk.size());
    p = yHeader.data();
    putLe32(p + 0x06, quint32(entries));
    putLe16(p + 0x0A, quint16(yBlocks));
    putLe16(p + 0x0C, quint16(yBlocks));
    putLe16(p + 0x0E, quint16(yBlocks ? 1 : 0));
    putLe16(p + 0x10, quint16(yBlocks));
    putLe16(p + 0x1E, 1);
    p[0x20] = char(tree.levels);
    p[0x2C] = stamp;
    putLe16(p + 0x3A, quint16(yBlocks));
    putLe16(p + 0x4D, 0);
    const quint32 yKey = le32(p + 0x25);
    io::replaceFile(x.yPath, [&](io::File& out) {
    out.write(0, yHeader);
    qint64 pos = yHeader.size();
    QByteArray b(yBlockSize, '\0');
    for (int no = 1; no <= yBlocks; ++no) {
        const auto& es = tree.blocks[size_t(no - 1)];
        b.fill('\0');
        putLe16(b.data(), quint16(no < yBlocks ? no + 1 : 0));
        putLe16(b.data() + 2, quint16(no - 1));
        putLe16(b.data() + 4, quint16(qint16((int(es.size()) - 1) * entrySize)));
        char* e = b.data() + 6;
        for (const PxEntry& en : es) {
            std::memcpy(e, en.key.constData(), size_t(x.keySize()));
            putRecord16(e + x.keySize(), en.child);
            putRecord16(e + x.keySize() + 2, int(std::min<qint64>(en.count, 65535)));
            putRecord16(e + x.keySize() + 4, 0);
            e += entrySize;
        }
        if (yKey)
            encryptBlock(b.data(), yBlockSize, yKey, no);
        out.write(pos, b);
        pos += b.size();
    }
    }, QStringLiteral("o índice secundário"));
}
}  // namespace

// --- Checking -------------------------------------------------------------------------------

QStringList checkSecondaryIndexes(const QString& tablePath, bool stamps)
{
    QStringList problems;
    std::unique_ptr<ParadoxTable> t;
    try {
        t = std::make_unique<ParadoxTable>(tablePath);
    } catch (const Error& e) {
        return {e.text()};
    }
    if (t->keyFieldCount() == 0)
        return {};
    QByteArray tableHeader;
    {
        io::File f;
        if (f.tryOpen(tablePath, io::OpenMode::Read) == 0)
            tableHeader = readUpTo(f, 0, 0x58);
    }
    if (tableHeader.size() < 0x58)
        return {QStringLiteral("%1: cabeçalho ilegível").arg(tablePath)};
    const auto& fields = t->rawFields();
    bool known = true;
    const Collation* collation = Collation::forSortOrder(t->sortOrderId(), uchar(tableHeader[0x29]), &known);
    // The table's records by primary key: the block that holds each.
    int keySize = 0;
    for (int i = 0; i < t->keyFieldCount(); ++i)
        keySize += fields[size_t(i)].size;
    std::map<QByteArray, std::pair<int, QByteArray>> byKey;
    QByteArray raw;
    for (RecordId id = t->first(); id != NoRecord; id = t->next(id)) {
        t->read(id, raw);
        byKey[raw.left(keySize)] = {int(id >> 16), raw};
    }
    for (const QString& xPath : indexFilesOf(tablePath)) {
        const QString name = QFileInfo(xPath).fileName();
        IndexFile x = readIndexFile(tablePath, xPath, fields, t->keyFieldCount());
        if (!x.maintained)
            continue;
        auto problem = [&](const QString& what) { problems << QStringLiteral("%1: %2").arg(name, what); };
        if (!x.problem.isEmpty()) {
            problem(x.problem);
            continue;
        }
        const char* h = x.header.constData();
        if (stamps && h[0x2E] != tableHeader[0x2E])
            problem(QStringLiteral("0x2E (%1) diferente do da tabela (%2)").arg(int(uchar(h[0x2E]))).arg(int(uchar(tableHeader[0x2E]))));
        io::File f;
        if (const int err = f.tryOpen(xPath, io::OpenMode::Read); err < 0) {
            problem(io::errorText(err));
            continue;
        }
        const int fileBlocks = le16(h + 0x0C);
        if (f.size() != x.headerSize + qint64(fileBlocks) * x.blockSize)
            problem(QStringLiteral("%1 bytes, esperado cabeçalho + %2 blocos").arg(f.size()).arg(fileBlocks));
        // The chain, every record in order and pointing at its record's block.
        const IndexOrder order{&x, &fields, collation};
        std::vector<PxIndexEntry> chain;
        std::vector<char> seenBlock(size_t(fileBlocks) + 1, 0);
        QByteArray b(x.blockSize, '\0'), prev;
        qint64 records = 0;
        int prevNo = 0, wrongBlock = 0, missing = 0, unordered = 0, wrongValue = 0;
        std::map<QByteArray, int> found;
        for (int no = le16(h + 0x0E); no != 0;) {
            if (no > fileBlocks || seenBlock[size_t(no)]) {
                problem(QStringLiteral("encadeamento passa pelo bloco %1 de novo ou fora do arquivo").arg(no));
                break;
            }
            seenBlock[size_t(no)] = 1;
            b.fill('\0');
            f.readSome(x.headerSize + qint64(no - 1) * x.blockSize, b.data(), x.blockSize);
            if (x.key)
                decryptBlock(b.data(), x.blockSize, x.key, no);
            if (le16(b.constData() + 2) != prevNo)
                problem(QStringLiteral("bloco %1 aponta para o anterior %2, esperado %3").arg(no).arg(le16(b.constData() + 2)).arg(prevNo));
            const int add = qint16(le16(b.constData() + 4));
            const int cnt = add < 0 ? 0 : add / x.recordSize + 1;
            if (add < 0 || add % x.recordSize || 6 + cnt * x.recordSize > x.blockSize)
                problem(QStringLiteral("bloco %1 com %2 bytes de registros").arg(no).arg(add));
            chain.push_back({QByteArray(b.constData() + 6, x.keySize()), no, cnt});
            for (int k = 0; k < cnt && 6 + (k + 1) * x.recordSize <= x.blockSize; ++k, ++records) {
                const char* r = b.constData() + 6 + k * x.recordSize;
                if (!prev.isEmpty() && order(prev.constData(), r) >= 0)
                    ++unordered;
                prev = QByteArray(r, x.recordSize);
                // The table's key: where the index keeps each key field.
                QByteArray key(keySize, '\0');
                for (size_t i = 0, at = 0; i < x.tableField.size(); at += size_t(x.sizes[i]), ++i)
                    if (x.tableField[i] < t->keyFieldCount())
                        std::memcpy(key.data() + fields[size_t(x.tableField[i])].offset, r + at, size_t(x.sizes[i]));
                const auto it = byKey.find(key);
                if (it == byKey.end()) {
                    ++missing;
                    continue;
                }
                ++found[key];
                if (getRecord16(r + x.keySize()) != it->second.first)
                    ++wrongBlock;
                for (size_t i = 0, at = 0; i < x.tableField.size(); at += size_t(x.sizes[i]), ++i) {
                    const ParadoxTable::Field& tf = fields[size_t(x.tableField[i])];
                    QByteArray probe = it->second.second;
                    std::memcpy(probe.data() + tf.offset, r + at, size_t(tf.size));
                    const Value inIndex = t->value(probe, x.tableField[i]);
                    const Value inTable = t->value(it->second.second, x.tableField[i]);
                    const bool same = x.caseInsensitive && tf.code == kAlpha
                        ? inIndex.asText() == inTable.asText().toUpper() || inIndex.asText() == inTable.asText()
                        : inIndex == inTable;
                    if (!same)
                        ++wrongValue;
                }
            }
            prevNo = no;
            no = le16(b.constData());
        }
        if (prevNo != le16(h + 0x10))
            problem(QStringLiteral("último bloco %1, cabeçalho diz %2").arg(prevNo).arg(le16(h + 0x10)));
        if (int(chain.size()) != le16(h + 0x0A))
            problem(QStringLiteral("%1 blocos encadeados, cabeçalho diz %2").arg(chain.size()).arg(le16(h + 0x0A)));
        if (records != qint64(le32(h + 6)))
            problem(QStringLiteral("%1 registros nos blocos, cabeçalho diz %2").arg(records).arg(le32(h + 6)));
        if (records != t->count())
            problem(QStringLiteral("%1 registros no índice, a tabela tem %2").arg(records).arg(t->count()));
        if (unordered)
            problem(unordered == 1 ? QStringLiteral("1 registro fora da ordem do índice")
                                   : QStringLiteral("%1 registros fora da ordem do índice").arg(unordered));
        if (missing)
            problem(missing == 1 ? QStringLiteral("1 registro aponta para uma chave que a tabela não tem")
                                 : QStringLiteral("%1 registros apontam para chaves que a tabela não tem").arg(missing));
        if (wrongBlock)
            problem(wrongBlock == 1 ? QStringLiteral("1 registro aponta para o bloco errado")
                                    : QStringLiteral("%1 registros apontam para o bloco errado").arg(wrongBlock));
        if (wrongValue)
            problem(QStringLiteral("%1 valores diferentes dos da tabela").arg(wrongValue));
        qint64 twice = 0;
        for (const auto& [k, c] : found)
            twice += c > 1;
        if (twice || qint64(found.size()) != t->count())
            problem(QStringLiteral("%1 chaves da tabela presentes, %2 repetidas, de %3").arg(found.size()).arg(twice).arg(t->count()));
        // The .Y over the .X blocks, in step with the .X.
        if (!io::exists(x.yPath)) {
            problem(QStringLiteral("sem o arquivo %1").arg(QFileInfo(x.yPath).fileName()));
            continue;
        }
        // The .Y orders by the .X key: every field but Blk Num, which `order` leaves out.
        for (const QString& p : checkPrimaryIndex(x.yPath, chain, order, stamps ? uchar(h[0x2D]) : -1))
            problems << QStringLiteral("%1: %2").arg(QFileInfo(x.yPath).fileName(), p);
    }
    return problems;
}

}  // namespace quillora
