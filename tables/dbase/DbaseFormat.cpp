#include "tables/dbase/DbaseFormat.h"

#include "tables/CodePage.h"
#include "tables/Error.h"
#include "tables/TableFormats.h"
#include "tables/dbase/DbaseCodePages.h"
#include "tables/dbase/DbaseTable.h"
#include "tables/io/File.h"
#include "tables/io/FileOps.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cctype>
#include <cstring>

namespace quillora {

namespace {

QMutex& defaultMutex()
{
    static QMutex m;
    return m;
}
QString& defaultCodePage()
{
    static QString name = QStringLiteral("IBM850");
    return name;
}

char letterFor(const FieldDef& f, DbaseLevel level)
{
    if (f.nativeType)
        return f.nativeType;
    switch (f.type) {
    case ftString: return 'C';
    case ftSmallint: return 'N';
    case ftInteger: return level == DbaseLevel::Level7 ? 'I' : 'N';
    case ftFloat: return 'N';
    case ftDate: return 'D';
    case ftBoolean: return 'L';
    case ftMemo: case ftFmtMemo: return 'M';
    case ftBlob: return 'B';
    case ftDBaseOle: case ftGraphic: return 'G';
    case ftAutoInc: return '+';
    case ftDateTime: return '@';
    default: return 0;
    }
}

// A file that did not exist, with its content. The file layer has no create-only mode: a
// file that appeared since the caller looked (not empty) is refused all the same.
void writeNew(const QString& path, const QByteArray& bytes)
{
    io::File f;
    if (const int err = f.tryOpen(path, io::OpenMode::Create); err < 0)
        throw FileError(QStringLiteral("Não foi possível criar %1: %2").arg(path, io::errorText(err)));
    if (f.size() != 0)
        throw FileError(QStringLiteral("Não foi possível criar %1: %2").arg(path, io::errorText(EEXIST)));
    f.write(0, bytes);
    f.close();
}

}  // namespace

void setDbaseDefaultCodePage(const QString& icuName)
{
    QMutexLocker lock(&defaultMutex());
    defaultCodePage() = icuName;
}

QString dbaseDefaultCodePage()
{
    QMutexLocker lock(&defaultMutex());
    return defaultCodePage();
}

std::unique_ptr<TableFile> openDbaseTable(const QString& path, const QString& codePage)
{
    return std::make_unique<dbase::DbaseTable>(path, codePage);
}

void registerDbaseFormat()
{
    TableFormats::add(QStringLiteral("dbf"), [](const QString& path) { return openDbaseTable(path); });
}

void createDbaseTable(const QString& path, const QList<FieldDef>& fields, DbaseLevel level,
                      const QString& codePage)
{
    auto bad = [&](const QString& why) {
        throw Error(QStringLiteral("Não é possível criar a tabela dBase %1: %2").arg(path, why));
    };
    if (io::exists(path) || io::isFolder(path))
        bad(QStringLiteral("o arquivo já existe"));
    if (!CodePage::byName(codePage))
        bad(QStringLiteral("página de código %1 desconhecida").arg(codePage));
    const int ldid = dbase::driverIdForCodePage(codePage);
    if (ldid == 0)
        bad(QStringLiteral("a página de código %1 não tem driver de idioma dBase").arg(codePage));
    if (fields.isEmpty())
        bad(QStringLiteral("nenhum campo"));
    if (fields.size() > 255)
        bad(QStringLiteral("mais de 255 campos"));

    const bool l7 = level == DbaseLevel::Level7;
    const int fixed = l7 ? 68 : 32;
    const int descSize = l7 ? 48 : 32;
    const int maxName = l7 ? 31 : 10;
    const int headerLen = fixed + descSize * int(fields.size()) + 1;
    QByteArray header(headerLen, '\0');
    int recordLen = 1;
    bool hasMemo = false;
    QSet<QString> names;
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef& f = fields[i];
        const char t = letterFor(f, level);
        const QByteArray name = f.name.toLatin1();
        if (f.name.isEmpty() || name.size() > maxName || f.name.toLatin1() != f.name.toUtf8())
            bad(QStringLiteral("nome de campo '%1' inválido (até %2 letras ASCII)").arg(f.name).arg(maxName));
        for (char ch : name)
            if (!(std::isalnum(uchar(ch)) || ch == '_' || (l7 && ch == ' ')))
                bad(QStringLiteral("nome de campo '%1' inválido (use letras, dígitos e _)").arg(f.name));
        if (!std::isalpha(uchar(name[0])))
            bad(QStringLiteral("nome de campo '%1' deve começar com uma letra").arg(f.name));
        if (names.contains(f.name.toUpper()))
            bad(QStringLiteral("campo %1 repetido").arg(f.name));
        names.insert(f.name.toUpper());

        int length = 0;
        int decimals = 0;
        const QString allowed = level == DbaseLevel::III ? QStringLiteral("CNDLM")
                                : level == DbaseLevel::IV ? QStringLiteral("CNFDLMBG")
                                                          : QStringLiteral("CNFDLMBGI+@O");
        if (!t || !allowed.contains(QChar::fromLatin1(t)))
            bad(QStringLiteral("o campo %1 (%2) não existe neste nível de dBase")
                    .arg(f.name, t ? QString(QChar::fromLatin1(t)) : fieldTypeName(f.type)));
        switch (t) {
        case 'C':
            length = f.size;
            if (length < 1 || length > 254)
                bad(QStringLiteral("campo %1: tamanho %2 (de 1 a 254)").arg(f.name).arg(length));
            break;
        case 'N':
        case 'F': {
            const int maxWidth = level == DbaseLevel::III ? 19 : 20;
            length = f.size;
            decimals = f.decimals;
            if (length == 0)
                length = f.type == ftSmallint ? 4 : f.type == ftInteger ? 9 : 20;
            if (length < 1 || length > maxWidth)
                bad(QStringLiteral("campo %1: tamanho %2 (de 1 a %3)").arg(f.name).arg(length).arg(maxWidth));
            if (decimals < 0 || (decimals > 0 && decimals > length - 2))
                bad(QStringLiteral("campo %1: %2 casas decimais em %3 dígitos").arg(f.name).arg(decimals).arg(length));
            break;
        }
        case 'D': length = 8; break;
        case 'L': length = 1; break;
        case 'M': case 'B': case 'G': length = 10; hasMemo = true; break;
        case 'I': case '+': length = 4; break;
        case '@': case 'O': length = 8; break;
        default: bad(QStringLiteral("tipo '%1' desconhecido").arg(QChar::fromLatin1(t)));
        }
        char* d = header.data() + fixed + i * descSize;
        std::memcpy(d, name.constData(), size_t(name.size()));
        if (l7) {
            d[32] = t;
            d[33] = char(length);
            d[34] = char(decimals);
            if (t == '+')
                d[42] = 1;  // next value
        } else {
            d[11] = t;
            d[16] = char(length);
            d[17] = char(decimals);
        }
        recordLen += length;
    }
    if (recordLen > (l7 ? 32767 : 4000))
        bad(QStringLiteral("registro de %1 bytes, maior que o limite do dBase").arg(recordLen));

    header[0] = char(l7 ? (hasMemo ? 0x8C : 0x04)
                        : (hasMemo ? (level == DbaseLevel::III ? 0x83 : 0x8B) : 0x03));
    const QDate today = QDate::currentDate();
    header[1] = char(today.year() - 1900);
    header[2] = char(today.month());
    header[3] = char(today.day());
    header[8] = char(headerLen & 0xFF);
    header[9] = char(headerLen >> 8);
    header[10] = char(recordLen & 0xFF);
    header[11] = char(recordLen >> 8);
    header[29] = char(ldid);
    if (l7) {
        const QByteArray driver = dbase::driverNameForCodePage(codePage);
        std::memcpy(header.data() + 32, driver.constData(), size_t(std::min<qsizetype>(driver.size(), 31)));
    }
    header[headerLen - 1] = '\x0D';
    header.append('\x1A');

    // The memo file goes first so that a table never exists without it.
    QString memoPath;
    if (hasMemo) {
        const QFileInfo fi(path);
        memoPath = fi.absoluteDir().filePath(fi.completeBaseName() + QStringLiteral(".dbt"));
        if (io::exists(memoPath))
            bad(QStringLiteral("o arquivo de memo %1 já existe").arg(memoPath));
        QByteArray memo(512, '\0');
        memo[0] = 1;  // next free block
        if (level != DbaseLevel::III) {
            const QByteArray base = fi.completeBaseName().toLatin1().toUpper().left(8);
            std::memcpy(memo.data() + 8, base.constData(), size_t(base.size()));
            memo[18] = 0x02;
            memo[19] = 0x01;
            memo[20] = 0x00;  // block size 512
            memo[21] = 0x02;
        } else {
            memo[16] = 0x03;
        }
        writeNew(memoPath, memo);
    }
    try {
        writeNew(path, header);
    } catch (...) {
        if (!memoPath.isEmpty()) {
            try {
                io::remove(memoPath);
            } catch (const Error&) {
            }
        }
        throw;
    }
}

}  // namespace quillora
