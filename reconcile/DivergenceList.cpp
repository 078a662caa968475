#include "reconcile/DivergenceList.h"

#include "tables/Error.h"
#include "tables/Table.h"

#include <QDir>
#include <QFileInfo>

namespace quillora {

QString divergenceListPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\LISTADIVERGENCIAS.txt");
#else
    return QDir::homePath() + QStringLiteral("/LISTADIVERGENCIAS.txt");
#endif
}

namespace {

QString fullPath(const Table& table)
{
    const QString path = table.DatabaseName() + table.TableName();
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("Não foi possível gravar a lista de divergências %1: %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// Why the list's temporary file could not be made, in the user's words where we can tell.
QString openFailure(const QString& path, const QString& qtReason)
{
    const QFileInfo list(path);
    const QString folder = QDir::cleanPath(list.absolutePath());
    const QFileInfo folderInfo(folder);
    const QString shownFolder = QDir::toNativeSeparators(folder);
    if (!folderInfo.exists())
        return QStringLiteral("a pasta %1 não existe").arg(shownFolder);
    if (!folderInfo.isDir())
        return QStringLiteral("%1 não é uma pasta").arg(shownFolder);
    if (list.isDir())
        return QStringLiteral("já existe uma pasta com esse nome");
    if (!folderInfo.isWritable())
        return QStringLiteral("não há permissão para gravar na pasta %1").arg(shownFolder);
    if (list.exists() && !list.isWritable())
        return QStringLiteral("não há permissão para gravar no arquivo");
    return qtReason;
}

}  // namespace

QString destinationHeader(const Table& destination)
{
    return QStringLiteral("Destino: ") + fullPath(destination);
}

QString sourceHeader(const Table& source)
{
    return QStringLiteral("Fonte..: ") + fullPath(source);
}

QString ruleLine()
{
    return QString(94, QLatin1Char('-'));
}

QString differenceLine(const QString& key, const QString& destinationName, const QString& destinationValue,
                       const QString& sourceName, const QString& sourceValue)
{
    return QStringLiteral("Chave: ") + key + QStringLiteral(" >>> Destino: ") + destinationName + QLatin1Char('=') +
           destinationValue + QStringLiteral("  <>   Fonte: ") + sourceName + QLatin1Char('=') + sourceValue;
}

QString recordOptionsText(const QString& key, const QString& destinationName, const QString& destinationValue,
                          const QString& sourceName, const QString& sourceValue)
{
    return QStringLiteral("Chave: ") + key + QLatin1Char('\r') + QStringLiteral(">>> Destino: ") + destinationName +
           QStringLiteral("= ") + destinationValue + QStringLiteral(" <>  Fonte: ") + sourceName +
           QStringLiteral("= ") + sourceValue;
}

DivergenceWriter::DivergenceWriter(const QString& path)
    : file_(path), encoder_(QStringConverter::System)
{
    if (!file_.open(QIODevice::WriteOnly))
        openError_ = openFailure(path, file_.errorString());
}

void DivergenceWriter::checkOpen() const
{
    if (!openError_.isEmpty())
        throw Error(cannotWrite(file_.fileName(), openError_));
}

void DivergenceWriter::append(const QString& line)
{
    if (!openError_.isEmpty())
        return;
    QByteArray bytes = encoder_.encode(line);
    bytes.append("\r\n", 2);
    file_.write(bytes);
}

void DivergenceWriter::commit()
{
    checkOpen();
    if (!file_.commit())
        throw Error(cannotWrite(file_.fileName(), file_.errorString()));
}

}  // namespace quillora
