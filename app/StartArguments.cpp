#include "app/StartArguments.h"

#include <QFileInfo>

namespace quillora::app {

StartArguments parseStartArguments(const QStringList& args)
{
    StartArguments result;
    bool optionsEnded = false;
    for (const QString& arg : args) {
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == QLatin1String("--version") || arg == QLatin1String("-v"))) {
            result.action = StartArguments::Action::PrintVersion;
            return result;
        } else if (!optionsEnded && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            result.action = StartArguments::Action::PrintHelp;
            return result;
        } else if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            result.action = StartArguments::Action::BadUsage;
            result.error = QStringLiteral("opção desconhecida: %1").arg(arg);
            return result;
        } else if (result.sourceTable.isEmpty()) {
            // The file manager may start us from any folder: keep the whole path.
            result.sourceTable = QFileInfo(arg).absoluteFilePath();
        } else {
            result.action = StartArguments::Action::BadUsage;
            result.error = QStringLiteral("só uma tabela pode ser aberta: %1").arg(arg);
            return result;
        }
    }
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
