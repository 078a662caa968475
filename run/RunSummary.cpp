#include "run/RunSummary.h"

#include "tables/Regional.h"

#include <QStringList>

namespace quillora {

namespace {

// Seconds with two decimals (rounded) and the regional decimal separator, without group
// separators.
QString seconds(qint64 ms)
{
    const qint64 hundredths = (ms + 5) / 10;
    return QStringLiteral("%1%2%3")
        .arg(hundredths / 100)
        .arg(Regional::current().decimalSeparator())
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QStringList summaryFields(const RecordRunResult& r)
{
    QString notMatched = QStringLiteral("sem correspondência %1").arg(r.notMatched);
    if (r.unreached >= 0)
        notMatched += QStringLiteral(" (%1)").arg(r.unreached);
    return {QStringLiteral("lidos %1").arg(r.read),
            QStringLiteral("incluídos %1").arg(r.appended),
            QStringLiteral("alterados %1").arg(r.updated),
            QStringLiteral("inalterados %1").arg(r.unchanged),
            notMatched,
            QStringLiteral("com erro %1").arg(r.failed),
            QStringLiteral("tempo %1 s").arg(seconds(r.elapsedMs))};
}

}  // namespace

QString summaryLine(const RecordRunResult& result)
{
    return QStringLiteral("Resumo: ") + summaryFields(result).join(QStringLiteral("; "));
}

QString summaryText(const RecordRunResult& result)
{
    QStringList lines;
    lines << QStringLiteral("Registros lidos: %1").arg(result.read)
          << QStringLiteral("Incluídos: %1").arg(result.appended)
          << QStringLiteral("Alterados: %1").arg(result.updated)
          << QStringLiteral("Inalterados: %1").arg(result.unchanged);
    if (result.unreached >= 0) {
        lines << QStringLiteral("Sem correspondência no destino: %1").arg(result.notMatched)
              << QStringLiteral("Do destino sem correspondência na fonte: %1").arg(result.unreached);
    } else {
        lines << QStringLiteral("Sem correspondência: %1").arg(result.notMatched);
    }
    lines << QStringLiteral("Com erro: %1").arg(result.failed)
          << QStringLiteral("Tempo: %1 s").arg(seconds(result.elapsedMs));
    if (result.stopped)
        lines << QStringLiteral("O processamento foi interrompido.");
    if (result.rolledBack)
        lines << QStringLiteral("A gravação falhou: o processamento foi desfeito e nenhuma alteração foi mantida.");
    if (result.trial)
        lines << QStringLiteral("Teste: nenhuma alteração foi mantida.");
    return lines.join(QLatin1Char('\n'));
}

}  // namespace quillora
