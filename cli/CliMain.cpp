#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "tables/Error.h"
#include "tables/io/Journal.h"

#include <QTextStream>

#include <functional>

namespace quillora::cli {

namespace {

const char* const usageText =
    "uso: quillora-cli COMANDO [opções]\n"
    "\n"
    "Comandos:\n"
    "  info [--locale NOME] [--password S]... TABELA\n"
    "      formato, página de código, número de registros, campos e índices\n"
    "  dump [--locale NOME] [--password S]... [--index CAMPOS | --index-name NOME] [--filter EXPR] TABELA\n"
    "      os registros em CSV (RFC 4180, UTF-8) na saída padrão\n"
    "  process --source S --dest D --map ARQUIVO [--operation N|NOME] [--on-error stop|continue]\n"
    "          [--locale NOME] [--password S]... [--filter EXPR]\n"
    "      \"Processar\": a lista de campos (uma por linha) aplicada a cada registro da fonte\n"
    "  update --source S --dest D --map ARQUIVO --source-key CAMPO --dest-key CAMPO\n"
    "         [--on-error stop|continue] [--locale NOME] [--password S]... [--filter EXPR]\n"
    "      \"Atualizar\": o registro do destino com a mesma chave recebe os campos da fonte\n"
    "  compare --source S --dest D --map ARQUIVO --source-key CAMPO --dest-key CAMPO [--out ARQUIVO]\n"
    "          [--reconcile none|source-to-dest|dest-to-source] [--on-error stop|continue]\n"
    "          [--locale NOME] [--password S]... [--filter EXPR]\n"
    "      \"Comparar\": grava a lista de divergências (padrão: a do programa)\n"
    "  column TABELA --column CAMPO --operation zeros|fill|cut|sequence|recno|case [--width W]\n"
    "          [--value TEXTO] [--start S] [--count C] [--upper|--lower] [--from REGISTRO] [--index CAMPOS]\n"
    "          [--errors ARQUIVO] [--locale NOME] [--password S]...\n"
    "      uma operação de coluna do registro REGISTRO até o último, na ordem atual; REGISTRO é o\n"
    "      número do registro (RecNo): no dBase, o número físico (o dos apagados também conta);\n"
    "      no Paradox, a posição na ordem atual; padrão: o primeiro registro da ordem\n"
    "\n"
    "  undo TABELA\n"
    "      \"Desfazer\": devolve todos os arquivos da tabela ao estado de antes da última operação que a\n"
    "      alterou; recusado quando não há o que desfazer ou um arquivo mudou depois dela\n"
    "  check TABELA...\n"
    "      verifica a família de cada tabela; uma linha por falha (arquivo: lugar: falha);\n"
    "      saída 0 sem falhas, 1 com falhas\n"
    "  repair TABELA [--out NOVA]\n"
    "      corrige no lugar o que não custa nenhum registro (pode ser desfeito com undo)\n"
    "\n"
    "  --version\n"
    "      o nome e a versão do programa\n"
    "\n"
    "Opções comuns: --locale NOME (pt_BR, en_US, ...; padrão: a do usuário), --password S (repetível)\n"
    "--dry-run (process, update, compare, column): executa pelo diário e desfaz tudo ao final; as\n"
    "  tabelas ficam byte a byte como estavam\n"
    "--errors ARQUIVO (process, update, compare, column): os registros com erro em CSV\n"
    "  (registro,chave,erro; em column, a chave é o valor da coluna antes da operação)\n"
    "--unmatched ARQUIVO (compare): os registros sem correspondência em CSV (lado,registro,chave)\n"
    "Ao final de process, update, compare e column, uma linha \"Resumo: ...\" com as contagens vai\n"
    "  para a saída de erro\n"
    "Saída: 0 sucesso, 1 erro, 2 uso incorreto.\n";

void printErr(const QString& text)
{
    QTextStream err(stderr);
    err << text << '\n';
}

}  // namespace

int cliMain(const QStringList& args)
{
    if (args.isEmpty()) {
        printErr(QString::fromUtf8(usageText));
        return 2;
    }
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        QTextStream(stdout) << QString::fromUtf8(usageText);
        return 0;
    }
    if (command == QLatin1String("--version")) {
        QTextStream(stdout) << "quillora-cli " << QUILLORA_VERSION << '\n';
        return 0;
    }
    const QHash<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("info"), runInfo},
        {QStringLiteral("dump"), runDump},
        {QStringLiteral("process"), runProcess},
        {QStringLiteral("column"), runColumn},
        {QStringLiteral("update"), runUpdate},
        {QStringLiteral("compare"), runCompare},
        {QStringLiteral("undo"), runUndo},
        {QStringLiteral("check"), runCheck},
        {QStringLiteral("repair"), runRepair},
    };
    // A table whose last operation was interrupted is rolled back when it is opened; say so.
    io::setRecoveryNotifier([](const io::Recovery& r) { printErr(r.message); });
    const auto it = commands.constFind(command);
    if (it == commands.constEnd()) {
        printErr(QStringLiteral("quillora-cli: comando desconhecido: %1").arg(command));
        printErr(QString::fromUtf8(usageText));
        return 2;
    }
    try {
        return it.value()(rest);
    } catch (const UsageError& e) {
        printErr(QStringLiteral("quillora-cli %1: %2").arg(command, e.text));
        printErr(QString::fromUtf8(usageText));
        return 2;
    } catch (const Error& e) {
        printErr(e.text());
        return 1;
    }
}

}  // namespace quillora::cli
