#include "app/StartArguments.h"

#include <QFileInfo>

namespace quillora::app {

StartArguments parseStartArguments(const QStringList& args)
{
    StartArguments result;
    bool optionsEnded = false;
    // --version and --help answer whatever else is on the line; the first fault is reported.
    for (const QString& arg : args) {
        const bool option = !optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1;
        if (option && arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (option && (arg == QLatin1String("--version") || arg == QLatin1String("-v"))) {
            return {StartArguments::Action::PrintVersion, {}, {}};
        } else if (option && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            return {StartArguments::Action::PrintHelp, {}, {}};
        } else if (option) {
            if (result.error.isEmpty())
                result.error = QStringLiteral("opção desconhecida: %1").arg(arg);
        } else if (result.sourceTable.isEmpty()) {
            // The file manager may start us from any folder: keep the whole path.
            result.sourceTable = QFileInfo(arg).absoluteFilePath();
        } else if (result.error.isEmpty()) {
            result.error = QStringLiteral("só uma tabela pode ser aberta: %1").arg(arg);
        }
    }
    if (!result.error.isEmpty())
        result.action = StartArguments::Action::BadUsage;
    return result;
}

QString versionLine()
{
    return QStringLiteral("quillora %1").arg(QStringLiteral(QUILLORA_VERSION));
}

QString startUsage()
{
    return QStringLiteral(
        "uso: quillora [TABELA]\n"
        "\n"
        "Abre a janela do Quillora; TABELA (.db ou .dbf), se dada, vai para \"Tabela Fonte:\".\n"
        "\n"
        "Opções:\n"
        "  -h, --help      mostra esta ajuda\n"
        "  -v, --version   mostra o nome e a versão do programa\n"
        "\n"
        "As operações sem janela estão em quillora-cli (veja quillora-cli --help).\n");
}

}  // namespace quillora::app
