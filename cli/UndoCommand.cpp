#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"

#include <QTextStream>

namespace quillora::cli {

int runUndo(const QStringList& args)
{
    CliArguments a(args, {QStringLiteral("locale")}, {});
    if (a.positional().size() != 1)
        throw UsageError{QStringLiteral("informe uma tabela")};
    a.applyCommonOptions();
    const QString table = a.positional().first();
    if (!io::exists(table))
        throw FileError(QStringLiteral("Tabela não encontrada: %1").arg(table));
    // An interrupted operation is rolled back first (and said so); then there is nothing left
    // to undo for it.
    io::recoverFamily(table);
    QString why;
    const QString operation = io::undoableOperation(table, &why);
    if (operation.isEmpty())
        throw FileError(why);
    io::undo(table);
    QTextStream(stdout) << QStringLiteral("Operação \"%1\" desfeita: a tabela %2 está como antes dela")
                               .arg(operation, io::absolute(table))
                        << '\n';
    return 0;
}

}  // namespace quillora::cli
