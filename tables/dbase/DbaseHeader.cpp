#include "tables/dbase/DbaseHeader.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseCodePages.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"

#include <algorithm>

namespace quillora::dbase {

namespace {

using io::le16;
using io::le32;

[[noreturn]] void throwDamaged(const QString& path, const QString& why)
{
    throw FileError(QStringLiteral("Tabela dBase danificada: %1 (%2)").arg(path, why));
}

void checkFieldTypes(DbaseHeader& hd, const QString& path)
{
    auto damaged = [&](const QString& why) { throwDamaged(path, why); };
    for (size_t i = 0; i < hd.columns.size(); ++i) {
        DbaseColumn& c = hd.columns[i];
        FieldDef& def = hd.fields[qsizetype(i)];
        const QString name = def.name;
        auto bad = [&](const QString& why) {
            damaged(QStringLiteral("campo %1: %2").arg(name, why));
        };
        auto foreign = [&]() {
            throw FileError(QStringLiteral("A tabela %1 não pode ser aberta: o campo %2 é do tipo '%3' "
                                           "(%4 bytes), que não existe no dBase (tabela FoxPro/Clipper?)")
                                .arg(path, name, QChar::fromLatin1(c.type ? c.type : '?'))
                                .arg(c.length));
        };
        auto needLength = [&](std::initializer_list<int> lengths) {
            if (std::find(lengths.begin(), lengths.end(), c.length) == lengths.end())
                bad(QStringLiteral("tamanho %1 inválido para o tipo %2").arg(c.length).arg(QChar::fromLatin1(c.type)));
        };
        if (c.length == 0)
            bad(QStringLiteral("tamanho zero"));
        switch (c.type) {
        case 'C':
            if (c.decimals != 0 && !hd.level7)
                foreign();  // Clipper/FoxPro keep the high byte of long text widths there
            def.type = ftString;
            def.decimals = 0;
            break;
        case 'N':
        case 'F':
            if (c.decimals > 0 && c.decimals >= c.length)
                bad(QStringLiteral("%1 casas decimais em %2 dígitos").arg(c.decimals).arg(c.length));
            if (c.type == 'F' || c.decimals > 0 || c.length > 9)
                def.type = ftFloat;
            else
                def.type = c.length <= 4 ? ftSmallint : ftInteger;
            break;
        case 'D':
            needLength({8});
            def.type = ftDate;
            break;
        case 'L':
            needLength({1});
            def.type = ftBoolean;
            break;
        case 'M':
        case 'B':
        case 'G':
            if (c.type == 'B' && c.length == 8)
                foreign();  // FoxPro double
            needLength({10, 4});
            def.type = c.type == 'M' ? ftMemo : (c.type == 'B' ? ftBlob : ftDBaseOle);
            def.size = 0;
            break;
        case 'I':
        case '+':
            if (!hd.level7)
                foreign();
            needLength({4});
            def.type = c.type == 'I' ? ftInteger : ftAutoInc;
            def.readOnly = c.type == '+';
            break;
        case '@':
        case 'O':
            if (!hd.level7)
                foreign();
            needLength({8});
            def.type = c.type == 'O' ? ftFloat : ftDateTime;
            break;
        default:
            foreign();
        }
        if (c.type != 'N' && c.type != 'F')
            def.decimals = 0;
    }
}


}  // namespace

DbaseHeader readDbaseHeader(const io::File& file, const QString& path, const QString& overrideCodePage)
{
    DbaseHeader hd;
    auto damaged = [&](const QString& why) { throwDamaged(path, why); };
    const qint64 size = file.size();
    if (size < 32)
        damaged(QStringLiteral("arquivo com %1 bytes, menor que um cabeçalho dBase").arg(size));
    char h[32];
    file.read(0, h, 32);
    hd.version = quint8(h[0]);

    auto refuse = [&](const QString& why) {
        throw FileError(QStringLiteral("A tabela %1 não pode ser aberta: %2").arg(path, why));
    };
    switch (hd.version) {
    case 0x03: case 0x83: case 0x8B: case 0x7B: case 0x05:
        break;
    case 0x04: case 0x8C:
        hd.level7 = true;
        break;
    case 0x02:
        refuse(QStringLiteral("é uma tabela dBase II / FoxBASE, formato não suportado"));
    case 0x30: case 0x31: case 0x32:
        refuse(QStringLiteral("é uma tabela Visual FoxPro, formato não suportado"));
    case 0xF5: case 0xFB:
        refuse(QStringLiteral("é uma tabela FoxPro/FoxBASE com memo (.fpt), formato não suportado"));
    case 0x43: case 0x63: case 0x8E: case 0xCB:
        refuse(QStringLiteral("é uma tabela SQL do dBase IV, formato não suportado"));
    case 0xE5:
        refuse(QStringLiteral("é uma tabela Clipper SIx (memo .smt), formato não suportado"));
    case 0x07: case 0x87:
        refuse(QStringLiteral("é uma tabela CA Visual Objects, formato não suportado"));
    default:
        refuse(QStringLiteral("versão de arquivo 0x%1 desconhecida; não parece ser uma tabela dBase")
                   .arg(int(hd.version), 2, 16, QLatin1Char('0')));
    }
    if (h[15] != 0)
        refuse(QStringLiteral("a tabela está criptografada pelo dBase"));

    hd.count = le32(h + 4);
    hd.headerLen = le16(h + 8);
    hd.recordLen = le16(h + 10);
    hd.driverId = uchar(h[29]);
    const int fixed = hd.level7 ? 68 : 32;
    const int descSize = hd.level7 ? 48 : 32;
    if (hd.headerLen < fixed + 1)
        damaged(QStringLiteral("tamanho do cabeçalho %1 inválido").arg(hd.headerLen));
    if (hd.headerLen > size)
        damaged(QStringLiteral("o cabeçalho (%1 bytes) passa do fim do arquivo (%2 bytes)")
                    .arg(hd.headerLen).arg(size));
    hd.bytes.resize(hd.headerLen);
    file.read(0, hd.bytes.data(), hd.headerLen);

    if (hd.level7) {
        const QByteArray raw = hd.bytes.mid(32, 32);
        const int nul = raw.indexOf('\0');
        hd.driverName = nul < 0 ? raw : raw.left(nul);
    }

    // The table's code page names the fields too, so it comes first.
    QString cpName = overrideCodePage;
    QString driverLabel;
    if (hd.level7 && !hd.driverName.isEmpty())
        driverLabel = QString::fromLatin1(hd.driverName);
    else
        driverLabel = QStringLiteral("driver 0x%1").arg(hd.driverId, 2, 16, QLatin1Char('0'));
    if (cpName.isEmpty() && hd.level7)
        cpName = codePageForDriverName(hd.driverName);
    if (cpName.isEmpty())
        cpName = codePageForDriverId(hd.driverId);
    if (cpName.isEmpty()) {
        cpName = dbaseDefaultCodePage();
        driverLabel += QStringLiteral(", página padrão");
    }
    hd.codePage = CodePage::byName(cpName);
    hd.collation = Collation::forDbase(hd.level7 ? hd.driverName : QByteArray(), hd.driverId, &hd.collationKnown);
    if (!hd.codePage)
        throw FileError(QStringLiteral("A tabela %1 usa a página de código %2, que não está disponível")
                            .arg(path, cpName));
    hd.codePageLabel = QStringLiteral("%1 (%2)").arg(cpName, driverLabel);

    int pos = fixed;
    int offset = 0;
    for (;;) {
        if (pos >= hd.headerLen)
            damaged(QStringLiteral("a lista de campos não termina com o byte 0x0D"));
        if (hd.bytes[pos] == '\x0D')
            break;
        if (pos + descSize > hd.headerLen - 1)
            damaged(QStringLiteral("a lista de campos não cabe no tamanho do cabeçalho"));
        const char* d = hd.bytes.constData() + pos;
        DbaseColumn c;
        QByteArray rawName;
        if (hd.level7) {
            rawName = QByteArray(d, 32);
            c.type = d[32];
            c.length = uchar(d[33]);
            c.decimals = uchar(d[34]);
        } else {
            rawName = QByteArray(d, 11);
            c.type = d[11];
            c.length = uchar(d[16]);
            c.decimals = uchar(d[17]);
        }
        const int nul = rawName.indexOf('\0');
        if (nul >= 0)
            rawName.truncate(nul);
        c.offset = offset;
        c.descriptor = pos;
        FieldDef def;
        def.name = hd.codePage->decode(rawName).trimmed();
        def.nativeType = c.type;
        def.size = c.length;
        def.decimals = c.decimals;
        hd.columns.push_back(c);
        hd.fields.append(def);
        offset += c.length;
        pos += descSize;
    }
    if (hd.columns.empty())
        refuse(QStringLiteral("a tabela não tem nenhum campo"));
    checkFieldTypes(hd, path);
    if (offset + 1 != hd.recordLen)
        damaged(QStringLiteral("o tamanho do registro (%1) não confere com a soma dos campos (%2 + 1)")
                    .arg(hd.recordLen).arg(offset));

    hd.available = (size - hd.headerLen) / hd.recordLen;
    return hd;
}


}  // namespace quillora::dbase
