#include "reconcile/DivergenceList.h"

#include "tables/Error.h"
#include "tables/Table.h"

#include <QDir>

namespace quillora {

QString divergenceListPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\LISTADIVERGENCIAS.txt");
#else
    return QDir::homePath() + QStringLiteral("/LISTADIVERGENCIAS.txt");
#endif
}

QString destinationHeader(const Table& destination)
{
    return QStringLiteral("Destino: ") + destination.DatabaseName() + destination.TableName();
}

QString sourceHeader(const Table& source)
{
    return QStringLiteral("Fonte..: ") + source.DatabaseName() + source.TableName();
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
        openError_ = file_.errorString();
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
    const QString path = QDir::toNativeSeparators(file_.fileName());
    if (!openError_.isEmpty())
        throw Error(QStringLiteral("Não foi possível gravar a lista de divergências %1: %2").arg(path, openError_));
    if (!file_.commit())
        throw Error(QStringLiteral("Não foi possível gravar a lista de divergências %1: %2").arg(path, file_.errorString()));
}

}  // namespace quillora
