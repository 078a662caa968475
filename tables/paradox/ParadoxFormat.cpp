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

}  // namespace quillora
