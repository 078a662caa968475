#include "transfer/MappingFile.h"

#include "tables/Error.h"
#include "transfer/MappingList.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace quillora {

namespace {

// Lists are a few hundred lines at most; a file much larger was picked by mistake.
constexpr qint64 kLargestList = 1024 * 1024;

bool isControl(QChar c)
{
    return c.unicode() < 0x20 && c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t');
}

}  // namespace

QString readMappingFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Não foi possível ler a lista de campos %1: %2").arg(path, file.errorString()));
    if (file.size() > kLargestList)
        throw Error(QStringLiteral("O arquivo %1 é grande demais para uma lista de campos").arg(path));
    const QByteArray bytes = file.read(kLargestList + 1);
    if (bytes.size() > kLargestList)
        throw Error(QStringLiteral("O arquivo %1 é grande demais para uma lista de campos").arg(path));
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString list = utf8.decode(bytes);
    if (utf8.hasError())
        throw Error(QStringLiteral("A lista de campos %1 não está em UTF-8").arg(path));
    if (list.startsWith(QChar(0xFEFF)))
        list.remove(0, 1);
    for (QChar c : list) {
        if (isControl(c))
            throw Error(QStringLiteral("O arquivo %1 não é uma lista de campos: tem caracteres de controle").arg(path));
    }
    return list;
}

void writeMappingFile(const QString& path, const QString& list)
{
    QByteArray bytes;
    for (const QString& line : mappingLines(list))
        bytes += line.toUtf8() + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(QStringLiteral("Não foi possível gravar a lista de campos %1: %2").arg(path, file.errorString()));
}

QStringList mappingProblems(const QString& list)
{
    QStringList problems;
    const QStringList lines = mappingLines(list);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        QString why;
        if (eq < 0)
            why = QStringLiteral("falta o sinal = entre o campo destino e a origem");
        else if (line.left(eq).trimmed().isEmpty())
            why = QStringLiteral("falta o nome do campo destino antes do =");
        else if (line.mid(eq + 1).trimmed().isEmpty())
            why = QStringLiteral("falta a origem depois do = (um campo da fonte, #texto ou @número)");
        if (!why.isEmpty())
            problems << QStringLiteral("Linha %1: %2: \"%3\"").arg(i + 1).arg(why, line);
    }
    return problems;
}

}  // namespace quillora
