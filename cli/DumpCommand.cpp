#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/CsvWriter.h"
#include "cli/DamageNotice.h"
#include "tables/FieldConvert.h"
#include "tables/FieldType.h"
#include "tables/Regional.h"
#include "tables/Table.h"

namespace quillora::cli {

int runDump(const QStringList& args)
{
    CliArguments a(args,
                   {QStringLiteral("locale"), QStringLiteral("password"), QStringLiteral("index"),
                    QStringLiteral("index-name"), QStringLiteral("filter")},
                   {});
    if (a.positional().size() != 1)
        throw UsageError{QStringLiteral("informe uma tabela")};
    if (a.has(QStringLiteral("index")) && a.has(QStringLiteral("index-name")))
        throw UsageError{QStringLiteral("use --index ou --index-name, não os dois")};
    a.applyCommonOptions();

    Table table(QStringLiteral("Table1"));
    table.Bind(a.positional().first());
    if (a.has(QStringLiteral("index")))
        table.SetIndexFieldNames(a.value(QStringLiteral("index")));
    if (a.has(QStringLiteral("index-name")))
        table.SetIndexName(a.value(QStringLiteral("index-name")));
    if (a.has(QStringLiteral("filter"))) {
        table.SetFilter(a.value(QStringLiteral("filter")));
        table.SetFiltered(true);
    }
    table.Open();
    const Regional& regional = Regional::current();
    // After opening, which rolls back an interrupted operation first; it runs beside the dump,
    // which leaves the shared state of the engine alone until the check is over.
    DamageWatch damage(table.file()->path());
    CsvWriter csv(stdout);
    const int n = table.FieldCount();
    QList<Field*> fields(n);
    QList<bool> binary(n);
    for (int i = 0; i < n; ++i) {
        fields[i] = table.Fields(i);
        csv.field(fields[i]->FieldName());
        binary[i] = isBinaryType(fields[i]->DataType());
    }
    csv.endLine();
    TableFile* file = table.file();
    for (table.First(); !table.Eof(); table.Next()) {
        const QByteArray& raw = table.currentRaw();
        for (int i = 0; i < n; ++i) {
            Field* f = fields[i];
            std::string& text = csv.beginField();
            // The text straight from the file where the format can; every other value through its
            // typed value, formatted without a string per value.
            if (binary[i]) {
                const Value v = f->Value();
                if (!v.isNull())
                    text += v.asBytes().toHex().toStdString();
            } else if (!file->appendDisplayUtf8(raw, i, regional, text)) {
                appendDisplayUtf8(f->def(), f->Value(), text);
            }
            csv.endField();
        }
        csv.endLine();
    }
    csv.flush();
    const bool damaged = damage.notice();
    table.Close();
    return damaged ? 1 : 0;
}

}  // namespace quillora::cli
