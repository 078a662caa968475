#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/DamageNotice.h"
#include "tables/Table.h"

#include <QTextStream>

namespace quillora::cli {

namespace {
QString indexOptions(const IndexDef& def)
{
    QStringList words;
    if (def.has(ixPrimary))
        words << QStringLiteral("primário");
    if (def.has(ixUnique))
        words << QStringLiteral("único");
    if (def.has(ixDescending))
        words << QStringLiteral("decrescente");
    if (def.has(ixCaseInsensitive))
        words << QStringLiteral("sem distinção de maiúsculas");
    if (def.has(ixExpression))
        words << QStringLiteral("expressão");
    if (def.has(ixNonMaintained))
        words << QStringLiteral("não mantido");
    if (def.has(ixOutOfDate))
        words << QStringLiteral("desatualizado");
    return words.join(QStringLiteral(", "));
}
}  // namespace

int runInfo(const QStringList& args)
{
    CliArguments a(args, {QStringLiteral("locale"), QStringLiteral("password")}, {});
    if (a.positional().size() != 1)
        throw UsageError{QStringLiteral("informe uma tabela")};
    a.applyCommonOptions();

    Table table(QStringLiteral("Table1"));
    table.Bind(a.positional().first());
    table.Open();
    // After opening, which rolls back an interrupted operation first.
    const bool damaged = noticeDamage(table.file()->path());
    TableFile* file = table.file();
    QTextStream out(stdout);
    out << "Tabela: " << file->path() << '\n';
    out << "Formato: " << file->formatName() << '\n';
    out << QStringLiteral("Página de código: ") << file->codePageName() << '\n';
    out << "Registros: " << table.RecordCount() << '\n';
    out << "Campos:\n";
    for (const FieldDef& f : file->fields()) {
        out << "  " << f.name << '\t' << fieldTypeName(f.type) << '\t' << f.size;
        if (f.decimals > 0)
            out << ',' << f.decimals;
        if (f.required)
            out << QStringLiteral("\tobrigatório");
        out << '\n';
    }
    const QList<IndexDef> indexes = file->indexes();
    out << QStringLiteral("Índices:") << (indexes.isEmpty() ? QStringLiteral(" nenhum") : QString()) << '\n';
    for (const IndexDef& ix : indexes) {
        out << "  " << (ix.name.isEmpty() ? QStringLiteral("(primário)") : ix.name) << '\t'
            << (ix.has(ixExpression) ? ix.expression : ix.fields.join(QLatin1Char(';')));
        const QString opts = indexOptions(ix);
        if (!opts.isEmpty())
            out << '\t' << opts;
        out << '\n';
    }
    out.flush();
    table.Close();
    return damaged ? 1 : 0;
}

}  // namespace quillora::cli
