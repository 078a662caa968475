#include "tables/dbase/DbaseIndexFiles.h"

#include "tables/Error.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"
#include "tables/io/FileOps.h"

#include <QFileInfo>

namespace quillora::dbase {

namespace {

quint32 u32(const QByteArray& b, qsizetype at)
{
    return io::le32(b.constData() + at);
}

quint16 u16(const QByteArray& b, qsizetype at)
{
    return io::le16(b.constData() + at);
}

// A NUL-terminated text of at most `length` bytes. Names and expressions are ASCII in practice.
QString zstring(const QByteArray& b, qsizetype at, qsizetype length)
{
    const QByteArray part = b.mid(at, length);
    const qsizetype nul = part.indexOf('\0');
    return QString::fromLatin1(nul >= 0 ? part.left(nul) : part).trimmed();
}

FileError damaged(const QString& path, const QString& why)
{
    return FileError(QStringLiteral("Índice danificado: %1 (%2)").arg(path, why));
}

QByteArray readAt(const io::File& f, const QString& path, qint64 offset, qint64 length)
{
    if (offset < 0 || offset + length > f.size())
        throw damaged(path, QStringLiteral("página além do fim do arquivo"));
    QByteArray b(length, Qt::Uninitialized);
    if (f.readSome(offset, b.data(), length) != length)
        throw damaged(path, QStringLiteral("leitura incompleta"));
    return b;
}

io::File openIndex(const QString& path)
{
    io::File f;
    if (const int err = f.tryOpen(path, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir o índice %1: %2").arg(path, io::errorText(err)));
    return f;
}

}  // namespace

QList<DbaseTagInfo> readMdxTags(const QString& path)
{
    const io::File f = openIndex(path);
    const QByteArray header = readAt(f, path, 0, 544);
    const int tagSlots = uchar(header[25]);
    const int entryLength = uchar(header[26]);
    const int used = u16(header, 28);
    if (entryLength < 32 || entryLength > 128 || used > tagSlots || used > 47 + 1)
        throw damaged(path, QStringLiteral("tabela de tags inválida"));
    // dBase 7 entries keep a longer name and shift the rest of the entry.
    const int nameLength = entryLength == 32 ? 11 : 33;
    const int typeOffset = nameLength + 9;
    const QByteArray table = readAt(f, path, 544, qint64(used) * entryLength);
    QList<DbaseTagInfo> tags;
    for (int i = 0; i < used; ++i) {
        const qsizetype at = qsizetype(i) * entryLength;
        DbaseTagInfo tag;
        tag.fileName = QFileInfo(path).fileName();
        tag.headerPage = u32(table, at);
        tag.name = zstring(table, at + 4, nameLength);
        tag.keyType = char(table[at + typeOffset]);
        const QByteArray tagHeader = readAt(f, path, qint64(tag.headerPage) * 512, 1024);
        const uchar flags = uchar(tagHeader[8]);
        tag.descending = flags & 0x08;
        tag.unique = (flags & 0x40) || tagHeader[23] != 0;
        tag.keyLength = u16(tagHeader, 12);
        tag.expression = zstring(tagHeader, 24, 220);
        if (tagHeader[245] != 0)
            tag.forExpression = zstring(tagHeader, 762, 1024 - 762);
        if (tag.name.isEmpty() || tag.expression.isEmpty() || tag.keyLength <= 0 || tag.keyLength > 100)
            throw damaged(path, QStringLiteral("tag %1").arg(i + 1));
        tags.append(tag);
    }
    return tags;
}

DbaseTagInfo readNdxHeader(const QString& path)
{
    const io::File f = openIndex(path);
    const QByteArray header = readAt(f, path, 0, 512);
    DbaseTagInfo tag;
    tag.fileName = QFileInfo(path).fileName();
    tag.name = QFileInfo(path).completeBaseName();
    tag.keyLength = u16(header, 12);
    tag.keyType = u16(header, 16) == 0 ? 'C' : 'N';
    tag.unique = header[23] != 0;
    tag.expression = zstring(header, 24, 100);
    if (tag.expression.isEmpty() || tag.keyLength <= 0 || tag.keyLength > 100)
        throw damaged(path, QStringLiteral("cabeçalho"));
    return tag;
}

namespace {
const QString kStaleSuffix = QStringLiteral(".desatualizado");
}

namespace {
// The path of a file named `name` in the folder of `path`.
QString besides(const QString& path, const QString& name)
{
    return QFileInfo(io::absolute(path)).absolutePath() + QLatin1Char('/') + name;
}
}  // namespace

QString siblingFile(const QString& tablePath, const QString& suffix)
{
    const QString base = QFileInfo(tablePath).completeBaseName();
    for (const QString& name : io::siblings(tablePath)) {
        const QFileInfo other(name);
        if (other.completeBaseName().compare(base, Qt::CaseInsensitive) == 0
            && other.suffix().compare(suffix, Qt::CaseInsensitive) == 0) {
            const QString path = besides(tablePath, name);
            if (io::exists(path))
                return path;
        }
    }
    return {};
}

QString staleNdxName(const QString& ndxPath)
{
    return ndxPath + kStaleSuffix;
}

QString ndxPathOf(const QString& stalePath)
{
    return stalePath.left(stalePath.size() - kStaleSuffix.size());
}

QString staleNdxFile(const QString& tablePath)
{
    const QString base = QFileInfo(tablePath).completeBaseName();
    for (const QString& name : io::siblings(tablePath)) {
        if (!name.endsWith(kStaleSuffix, Qt::CaseInsensitive))
            continue;
        const QFileInfo index(name.left(name.size() - kStaleSuffix.size()));
        if (index.completeBaseName().compare(base, Qt::CaseInsensitive) == 0
            && index.suffix().compare(QStringLiteral("ndx"), Qt::CaseInsensitive) == 0
            && io::exists(besides(tablePath, name)))
            return besides(tablePath, name);
    }
    return {};
}

}  // namespace quillora::dbase
