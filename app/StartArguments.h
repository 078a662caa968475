#pragma once

#include <QString>
#include <QStringList>

namespace quillora::app {

// What the program's command line asks for: `quillora [TABELA]`, `--version`, `--help`.
struct StartArguments {
    enum class Action { Run, PrintVersion, PrintHelp, BadUsage };
    Action action = Action::Run;
    QString sourceTable;  // absolute path of the table to put in "Tabela Fonte:", or empty
    QString error;        // for BadUsage
};

// args: the arguments after the program's name, Qt's own options already taken out.
StartArguments parseStartArguments(const QStringList& args);

// "quillora 0.1"
QString versionLine();
// The --help text.
QString startUsage();

}  // namespace quillora::app
