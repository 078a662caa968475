#include "tables/paradox/ParadoxHeader.h"

#include "tables/Error.h"
#include "tables/paradox/PxCodec.h"

#include <ctime>

namespace quillora::px {

namespace {

QString codecNameFor(int cp, const QString& sortOrderId)
{
    if (cp == 0 && sortOrderId.compare(u"BLROM800", Qt::CaseInsensitive) == 0)
        return QStringLiteral("hp-roman8");
    if (cp == 0)
        cp = 437;
    return QString::number(cp);
}

std::shared_ptr<const CodePage> codePageFor(int cp, const QString& sortOrderId)
{
    const QString n = codecNameFor(cp, sortOrderId);
    bool isNumber = false;
    n.toInt(&isNumber);
    if (!isNumber)
        return CodePage::byName(n);
    const int num = n.toInt();
    const QStringList tries = (num >= 1250 && num <= 1258)
        ? QStringList{QStringLiteral("windows-%1").arg(num), QStringLiteral("cp%1").arg(num)}
        : QStringList{QStringLiteral("IBM%1").arg(num), QStringLiteral("cp%1").arg(num),
                      QStringLiteral("windows-%1").arg(num)};
    for (const QString& t : tries)
        if (auto p = CodePage::byName(t))
            return p;
    return nullptr;
}

}  // namespace

void damaged(const QString& path, const QString& what)
{
    throw FileError(QStringLiteral("Tabela Paradox danificada: %1 (%2)").arg(path, what));
}

TableHeader TableHeader::read(const io::File& file, qint64 fileSize, const QString& path, bool forCheck)
{
    TableHeader t;
    QByteArray h(int(std::min<qint64>(0x78, fileSize)), '\0');
    file.read(0, h.data(), h.size());
    if (h.size() < 0x58)
        damaged(path, QStringLiteral("arquivo menor que o cabeçalho"));
    const char* p = h.constData();
    t.recordSize = le16(p);
    t.headerSize = le16(p + 2);
    t.fileType = uchar(p[4]);
    const int blockKiB = uchar(p[5]);
    t.version = uchar(p[0x39]);
    if (t.fileType != 0 && t.fileType != 2)
        throw FileError(QStringLiteral("%1 não é uma tabela Paradox (é um arquivo de índice ou de outro tipo, código %2)")
                            .arg(path).arg(t.fileType));
    if (t.version < 3 || t.version > 0x0C)
        throw FileError(QStringLiteral("Versão de tabela Paradox desconhecida em %1 (código %2)").arg(path).arg(t.version));
    if (blockKiB < 1 || blockKiB > 32)
        damaged(path, QStringLiteral("tamanho de bloco %1 KiB").arg(blockKiB));
    t.blockSize = blockKiB * 1024;
    const bool ext = t.version >= 5;
    const int varStart = ext ? 0x78 : 0x58;
    if (t.headerSize < varStart || t.headerSize > fileSize)
        damaged(path, QStringLiteral("tamanho de cabeçalho %1").arg(t.headerSize));
    if (t.recordSize < 1 || t.recordSize > t.blockSize - 6)
        damaged(path, QStringLiteral("tamanho de registro %1 com blocos de %2 bytes").arg(t.recordSize).arg(t.blockSize));
    t.bytes = QByteArray(t.headerSize, '\0');
    if (file.readSome(0, t.bytes.data(), t.headerSize) != t.headerSize)
        damaged(path, QStringLiteral("cabeçalho incompleto"));
    p = t.bytes.constData();
    t.capacity = (t.blockSize - 6) / t.recordSize;
    t.keyFields = t.fileType == 0 ? le16(p + 0x23) : 0;
    t.fileBlocks = le16(p + 0x0C);
    t.firstFree = le16(p + 0x4D);
    t.autoInc = le32(p + 0x49);
    t.sortByte = uchar(p[0x29]);
    t.key = ext ? le32(p + 0x5C) : le32(p + 0x25);
    t.codePage = ext ? le16(p + 0x6A) : 437;
    if (ext) {
        const int at = 0x58 + le16(p + 0x6E);
        if (at > 0x58 && at < t.headerSize) {
            const int end = t.bytes.indexOf('\0', at);
            if (end > at)
                t.sortOrderId = QString::fromLatin1(t.bytes.mid(at, end - at));
        }
    }
    // The last block may be cut short after its records (BDE leaves such files).
    if (!forCheck && t.fileBlocks > 0 && qint64(t.headerSize) + qint64(t.fileBlocks - 1) * t.blockSize + 6 > fileSize)
        damaged(path, QStringLiteral("o cabeçalho indica %1 blocos, mas o arquivo tem só %2 bytes").arg(t.fileBlocks).arg(fileSize));
    const quint32 numRecords = le32(p + 6);
    if (!forCheck && qint64(numRecords) > qint64(t.fileBlocks) * t.capacity)
        damaged(path, QStringLiteral("%1 registros não cabem em %2 blocos").arg(numRecords).arg(t.fileBlocks));
    t.cp = codePageFor(t.codePage, t.sortOrderId);
    if (!t.cp)
        throw FileError(QStringLiteral("Código de página %1 da tabela %2 não é suportado").arg(t.codePage).arg(path));
    t.collation = Collation::forSortOrder(t.sortOrderId, t.sortByte, &t.collationKnown);
    t.readFields(path, varStart);
    return t;
}

void TableHeader::readFields(const QString& path, int varStart)
{
    const QByteArray& h = bytes;
    const char* p = h.constData();
    const int n = le16(p + 0x21);
    if (n < 1 || n > 255)
        damaged(path, QStringLiteral("%1 campos").arg(n));
    if (keyFields > n)
        damaged(path, QStringLiteral("%1 campos de chave em %2 campos").arg(keyFields).arg(n));
    const int tableNameSize = version >= 0x0C ? 261 : 79;
    int namesAt = varStart + 2 * n + 4 + 4 * n + tableNameSize;
    if (namesAt > h.size())
        damaged(path, QStringLiteral("lista de campos passa do cabeçalho"));
    int offset = 0;
    fields.clear();
    defs.clear();
    for (int i = 0; i < n; ++i) {
        FieldDesc f;
        f.code = uchar(p[varStart + 2 * i]);
        const int sizeByte = uchar(p[varStart + 2 * i + 1]);
        FieldDef d;
        int expected = -1;
        switch (f.code) {
        case kAlpha: d.type = ftString; d.nativeType = 'A'; d.size = sizeByte; break;
        case kDate: d.type = ftDate; d.nativeType = 'D'; expected = 4; break;
        case kShort: d.type = ftSmallint; d.nativeType = 'S'; expected = 2; break;
        case kLong: d.type = ftInteger; d.nativeType = 'I'; expected = 4; break;
        case kMoney: d.type = ftCurrency; d.nativeType = '$'; expected = 8; break;
        case kNumber: d.type = ftFloat; d.nativeType = 'N'; expected = 8; break;
        case kLogical: d.type = ftBoolean; d.nativeType = 'L'; expected = 1; break;
        case kMemo: d.type = ftMemo; d.nativeType = 'M'; break;
        case kBinary: d.type = ftBlob; d.nativeType = 'B'; break;
        case kFmtMemo: d.type = ftFmtMemo; d.nativeType = 'F'; break;
        case kOle: d.type = ftParadoxOle; d.nativeType = 'O'; break;
        case kGraphic: d.type = ftGraphic; d.nativeType = 'G'; break;
        case kTime: d.type = ftTime; d.nativeType = 'T'; expected = 4; break;
        case kTimestamp: d.type = ftDateTime; d.nativeType = '@'; expected = 8; break;
        case kAutoInc: d.type = ftAutoInc; d.nativeType = '+'; expected = 4; d.readOnly = true; break;
        case kBcd: d.type = ftBCD; d.nativeType = '#'; d.size = 32; d.decimals = sizeByte; f.decimals = sizeByte; break;
        case kBytes: d.type = ftBytes; d.nativeType = 'Y'; d.size = sizeByte; break;
        default:
            damaged(path, QStringLiteral("tipo de campo desconhecido %1 no campo %2").arg(f.code).arg(i + 1));
        }
        if (f.code == kBcd) {
            if (sizeByte > 32)
                damaged(path, QStringLiteral("campo BCD com %1 decimais").arg(sizeByte));
            f.size = 17;
        } else if (isBlobCode(f.code)) {
            if (sizeByte < 10)
                damaged(path, QStringLiteral("campo de blob de %1 bytes").arg(sizeByte));
            f.size = sizeByte;
            d.size = sizeByte - 10;
        } else {
            f.size = sizeByte;
            if ((expected > 0 && sizeByte != expected) || sizeByte == 0)
                damaged(path, QStringLiteral("campo %1 com tamanho %2").arg(i + 1).arg(sizeByte));
        }
        f.offset = offset;
        offset += f.size;
        fields.push_back(f);
        defs.append(d);
    }
    if (offset != recordSize)
        damaged(path, QStringLiteral("os tamanhos dos campos somam %1, o registro tem %2").arg(offset).arg(recordSize));
    for (int i = 0; i < n; ++i) {
        if (namesAt >= h.size())
            damaged(path, QStringLiteral("nomes de campos passam do cabeçalho"));
        int end = h.indexOf('\0', namesAt);
        if (end < 0)
            damaged(path, QStringLiteral("nomes de campos passam do cabeçalho"));
        fields[size_t(i)].name = cp->decode(QByteArrayView(h.constData() + namesAt, end - namesAt));
        defs[i].name = fields[size_t(i)].name;
        namesAt = end + 1;
    }
    keySize = 0;
    for (int i = 0; i < keyFields; ++i) {
        keySize += fields[size_t(i)].size;
        if (fields[size_t(i)].code == kAlpha)
            hasAlphaKey = true;
    }
}

void TableHeader::readValidity(const QString& valPath)
{
    if (valPath.isEmpty())
        return;
    io::File f;
    if (f.tryOpen(valPath, io::OpenMode::Read) < 0)
        return;
    QByteArray v(int(std::min<qint64>(f.size(), 1 << 20)), '\0');
    v.truncate(int(f.readSome(0, v.data(), v.size())));
    // Only the layout of Paradox 4 and 5 .VAL files is understood; others are left alone.
    if (v.size() < 0x35 || (uchar(v[1]) != 0x09 && uchar(v[1]) != 0x0B))
        return;
    const int entries = uchar(v[2]);
    const qint64 footer = le32(v.constData() + 0x09);
    int at = 0x35;
    for (int e = 0; e < entries; ++e) {
        if (at + 28 > v.size() || (footer > 0 && at >= footer))
            return;
        const char* p = v.constData() + at;
        const int field = uchar(p[0]);
        const int picture = uchar(p[1]);
        const bool required = p[2] == 1;
        const bool hasMin = le32(p + 12) != 0, hasMax = le32(p + 16) != 0, hasDefault = le32(p + 20) != 0;
        at += 28;
        if (field >= int(fields.size()))
            return;
        FieldDesc& fd = fields[size_t(field)];
        const int w = fd.size;
        auto take = [&](bool present, QByteArray* out) {
            if (!present)
                return true;
            if (at + w > v.size())
                return false;
            if (!isBlobCode(fd.code))
                *out = v.mid(at, w);
            at += w;
            return true;
        };
        if (!take(hasMin, &fd.minRaw) || !take(hasMax, &fd.maxRaw) || !take(hasDefault, &fd.defaultRaw))
            return;
        if (le32(p + 24) != 0)
            at += picture;
        if (required)
            defs[field].required = true;
        // Where a lookup's table name goes is not known well enough to read past it.
        if (le32(p + 4) != 0 || p[3] != 0)
            return;
    }
}

void TableHeader::writeCounters(io::File& file, const Counters& c)
{
    char* p = bytes.data();
    putLe32(p + 0x06, quint32(c.records));
    putLe16(p + 0x0A, quint16(c.blocksInUse));
    putLe16(p + 0x0C, quint16(fileBlocks));
    putLe16(p + 0x0E, quint16(c.firstBlock));
    putLe16(p + 0x10, quint16(c.lastBlock));
    putLe16(p + 0x3A, quint16(fileBlocks));
    putLe16(p + 0x4D, quint16(firstFree));
    bool hasAutoInc = false;
    for (const FieldDesc& f : fields)
        hasAutoInc = hasAutoInc || f.code == kAutoInc;
    if (hasAutoInc)
        putLe32(p + 0x49, autoInc);
    if (version >= 5)
        putLe32(p + 0x60, quint32(std::time(nullptr)));
    // Everything that changes lies in the fixed part.
    const qint64 n = std::min<qint64>(0x78, bytes.size());
    file.write(0, bytes.constData(), n);
}

}  // namespace quillora::px
