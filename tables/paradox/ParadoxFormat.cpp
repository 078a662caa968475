#include "tables/paradox/ParadoxFormat.h"

#include "tables/CodePage.h"
#include "tables/Error.h"
#include "tables/TableFormats.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxBlob.h"
#include "tables/io/FileOps.h"
#include "tables/paradox/PxCodec.h"
#include "tables/paradox/PxFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <ctime>
#include <map>

namespace quillora {

using namespace px;

QByteArray buildPxHeader(const std::vector<std::pair<int, int>>& keyTypes, int keySize, int version, int sortByte,
                         int blockKiB, const QString& tableName);

void registerParadoxFormat()
{
    TableFormats::add(QStringLiteral("db"), [](const QString& path) -> std::unique_ptr<TableFile> {
        return std::make_unique<ParadoxTable>(path);
    });
}

namespace {
struct SortOrderInfo {
    const char* name;
    int byte;
    int codePage;
};
// Drivers a new table may name: those whose key order the engine reproduces.
const SortOrderInfo kSortOrders[] = {
    {"ascii", 0x00, 437}, {"intl", 0xB7, 437}, {"ANSIINTL", 0x62, 1252},
    {"ANSII850", 0x11, 1252}, {"DBWINUS0", 0x4C, 1252},
};
}  // namespace

void createParadoxTable(const QString& path, const QList<FieldDef>& fields, const ParadoxCreateOptions& o)
{
    auto fail = [&](const QString& why) -> Error {
        return Error(QStringLiteral("Não foi possível criar a tabela %1: %2").arg(path, why));
    };
    const SortOrderInfo* so = nullptr;
    for (const SortOrderInfo& s : kSortOrders)
        if (o.sortOrder.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
            so = &s;
    if (!so)
        throw fail(QStringLiteral("ordem de classificação '%1' desconhecida").arg(o.sortOrder));
    int version;
    switch (o.level) {
    case 4: version = 0x09; break;
    case 5: version = 0x0B; break;
    case 7: version = 0x0C; break;
    default: throw fail(QStringLiteral("nível %1 (use 4, 5 ou 7)").arg(o.level));
    }
    const int maxBlock = o.level >= 7 ? 32 : 4;
    if (o.blockSizeKiB < 1 || o.blockSizeKiB > maxBlock || (o.blockSizeKiB & (o.blockSizeKiB - 1)))
        throw fail(QStringLiteral("bloco de %1 KiB não é possível no nível %2").arg(o.blockSizeKiB).arg(o.level));
    const int n = int(fields.size());
    if (n < 1 || n > 255)
        throw fail(QStringLiteral("%1 campos").arg(n));
    if (o.keyFieldCount < 0 || o.keyFieldCount > n)
        throw fail(QStringLiteral("%1 campos de chave").arg(o.keyFieldCount));
    const int codePage = o.codePage ? o.codePage : so->codePage;
    auto cp = CodePage::byName(codePage >= 1250 && codePage <= 1258 ? QStringLiteral("windows-%1").arg(codePage)
                                                                     : QStringLiteral("IBM%1").arg(codePage));
    if (!cp)
        throw fail(QStringLiteral("código de página %1 não suportado").arg(codePage));

    std::vector<std::pair<int, int>> types;
    int recordSize = 0;
    QSet<QString> names;
    QByteArray nameBytes;
    for (int i = 0; i < n; ++i) {
        const FieldDef& f = fields[i];
        int code = 0, sizeByte = 0, stored = 0;
        bool level5 = false;
        switch (f.type) {
        case ftString:
            if (f.size < 1 || f.size > 255)
                throw fail(QStringLiteral("campo '%1' com largura %2 (de 1 a 255)").arg(f.name).arg(f.size));
            code = 0x01; sizeByte = stored = f.size; break;
        case ftSmallint: code = 0x03; sizeByte = stored = 2; break;
        case ftInteger: code = 0x04; sizeByte = stored = 4; level5 = true; break;
        case ftAutoInc: code = 0x16; sizeByte = stored = 4; level5 = true; break;
        case ftFloat: code = 0x06; sizeByte = stored = 8; break;
        case ftCurrency: code = 0x05; sizeByte = stored = 8; break;
        case ftBCD:
            if (f.decimals < 0 || f.decimals > 32)
                throw fail(QStringLiteral("campo '%1' com %2 decimais (de 0 a 32)").arg(f.name).arg(f.decimals));
            code = 0x17; sizeByte = f.decimals; stored = 17; level5 = true; break;
        case ftDate: code = 0x02; sizeByte = stored = 4; break;
        case ftTime: code = 0x14; sizeByte = stored = 4; level5 = true; break;
        case ftDateTime: code = 0x15; sizeByte = stored = 8; level5 = true; break;
        case ftBoolean: code = 0x09; sizeByte = stored = 1; level5 = true; break;
        case ftBytes:
            if (f.size < 1 || f.size > 255)
                throw fail(QStringLiteral("campo '%1' com %2 bytes (de 1 a 255)").arg(f.name).arg(f.size));
            code = 0x18; sizeByte = stored = f.size; level5 = true; break;
        case ftMemo: case ftFmtMemo: case ftBlob: case ftGraphic: case ftParadoxOle: {
            const int minLeader = f.type == ftMemo ? 1 : 0;
            if (f.size < minLeader || f.size > 240)
                throw fail(QStringLiteral("campo '%1' com parte no registro de %2 bytes (de %3 a 240)").arg(f.name).arg(f.size).arg(minLeader));
            code = f.type == ftMemo ? 0x0C : f.type == ftFmtMemo ? 0x0E : f.type == ftBlob ? 0x0D : f.type == ftGraphic ? 0x10 : 0x0F;
            sizeByte = stored = f.size + 10;
            if (i < o.keyFieldCount)
                throw fail(QStringLiteral("o campo '%1' não pode fazer parte da chave").arg(f.name));
            break;
        }
        default:
            throw fail(QStringLiteral("o tipo %1 do campo '%2' não existe em tabelas Paradox").arg(fieldTypeName(f.type), f.name));
        }
        if (level5 && o.level < 5)
            throw fail(QStringLiteral("o campo '%1' (%2) exige tabela de nível 5 ou 7").arg(f.name, fieldTypeName(f.type)));
        if (f.name.trimmed().isEmpty() || f.name.startsWith(u' ') || f.name.size() > 25)
            throw fail(QStringLiteral("nome de campo inválido '%1' (até 25 caracteres, sem espaço no início)").arg(f.name));
        if (names.contains(f.name.toUpper()))
            throw fail(QStringLiteral("campo '%1' repetido").arg(f.name));
        names.insert(f.name.toUpper());
        QByteArray nb;
        if (!cp->encode(f.name, &nb))
            throw fail(QStringLiteral("o nome do campo '%1' não cabe no código de página %2").arg(f.name).arg(codePage));
        nameBytes += nb;
        nameBytes += '\0';
        types.emplace_back(code, sizeByte);
        recordSize += stored;
    }
    const int blockSize = o.blockSizeKiB * 1024;
    if (recordSize > blockSize - 6)
        throw fail(QStringLiteral("registro de %1 bytes não cabe em blocos de %2 KiB").arg(recordSize).arg(o.blockSizeKiB));

    const int tableNameSize = version >= 0x0C ? 261 : 79;
    const QByteArray sortId = QByteArray(so->name);
    const int fieldNumbersAt = 0x7C + 6 * n + tableNameSize + int(nameBytes.size());
    const int sortIdAt = fieldNumbersAt + 2 * n;
    const int real = sortIdAt + int(sortId.size()) + 1;
    const int headerSize = (real + 0x7FF) / 0x800 * 0x800;
    if (headerSize > 0xF800)
        throw fail(QStringLiteral("cabeçalho grande demais"));
    QByteArray h(headerSize, '\0');
    char* p = h.data();
    const quint32 key = o.password.isEmpty() ? 0 : [&] {
        QByteArray pw;
        if (!cp->encode(o.password, &pw))
            pw = o.password.toLatin1();
        return passwordKey(pw);
    }();
    putLe16(p, quint16(recordSize));
    putLe16(p + 2, quint16(headerSize));
    p[4] = char(o.keyFieldCount > 0 ? 0 : 2);
    p[5] = char(o.blockSizeKiB);
    putLe16(p + 0x12, 1);
    putLe16(p + 0x21, quint16(n));
    putLe16(p + 0x23, quint16(o.keyFieldCount));
    putLe32(p + 0x25, 0xFF00FF00u);
    p[0x29] = char(so->byte);
    p[0x2D] = 1;
    p[0x2E] = 1;
    p[0x39] = char(version);
    if (!key) {
        p[0x3E] = 0x1F;
        p[0x3F] = 0x0F;
    }
    putLe16(p + 0x51, quint16(real));
    p[0x56] = 0x20;
    const quint16 versionWord = quint16(0x0100 | version);
    putLe16(p + 0x58, versionWord);
    putLe16(p + 0x5A, versionWord);
    putLe32(p + 0x5C, key);
    putLe32(p + 0x60, quint32(std::time(nullptr)));
    putLe16(p + 0x64, quint16(n + 1));
    putLe16(p + 0x66, quint16(fieldNumbersAt - 0x58));
    putLe16(p + 0x6A, quint16(codePage));
    p[0x6C] = 1;
    p[0x6D] = 1;
    putLe16(p + 0x6E, quint16(sortIdAt - 0x58));
    for (int i = 0; i < n; ++i) {
        p[0x78 + 2 * i] = char(types[size_t(i)].first);
        p[0x78 + 2 * i + 1] = char(types[size_t(i)].second);
        putLe16(p + fieldNumbersAt + 2 * i, quint16(i + 1));
    }
    const QByteArray tableName = QFileInfo(path).fileName().toLatin1().left(tableNameSize - 1);
    std::memcpy(p + 0x7C + 6 * n, tableName.constData(), size_t(tableName.size()));
    std::memcpy(p + 0x7C + 6 * n + tableNameSize, nameBytes.constData(), size_t(nameBytes.size()));
    std::memcpy(p + sortIdAt, sortId.constData(), size_t(sortId.size()));

    const QFileInfo fi(path);
    auto writeNew = [&](const QString& file, const QByteArray& bytes) {
        io::File out;
        if (const int err = out.tryOpen(file, io::OpenMode::Replace); err < 0)
            throw fail(io::errorText(err));
        out.write(0, bytes);
        out.close();
    };
    writeNew(path, h);
    // Leftovers of an older table of the same name would be taken for this one's.
    for (const QString& ext : {QStringLiteral("PX"), QStringLiteral("MB"), QStringLiteral("VAL")}) {
        for (const QString& name : io::siblings(path))
            if (QFileInfo(name).suffix().compare(ext, Qt::CaseInsensitive) == 0 &&
                QFileInfo(name).completeBaseName() == fi.completeBaseName())
                io::remove(fi.dir().filePath(name));
    }
    if (o.keyFieldCount > 0) {
        int keySize = 0;
        std::vector<std::pair<int, int>> keyTypes(types.begin(), types.begin() + o.keyFieldCount);
        for (int i = 0; i < o.keyFieldCount; ++i)
            keySize += types[size_t(i)].first == 0x17 ? 17 : types[size_t(i)].second;
        QByteArray px = buildPxHeader(keyTypes, keySize, version, so->byte, std::max(2, o.blockSizeKiB), path);
        px[0x2C] = p[0x2D];
        writeNew(fi.dir().filePath(fi.completeBaseName() + (fi.suffix() == u"db" ? QStringLiteral(".px") : QStringLiteral(".PX"))), px);
    }
}

// --- Consistency checks ---------------------------------------------------------------------

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
