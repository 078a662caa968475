#include "workbench/ColumnOperations.h"

#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "workbench/ColumnRun.h"
#include "workbench/StrZero.h"
#include "workbench/WorkbenchHost.h"

#include <algorithm>

namespace quillora::workbench {

namespace {

const QString doneData = QStringLiteral("Dados processados com sucesso !");
const QString doneProcessing = QStringLiteral("Processamento concluído com sucesso !");
const QString refused = QStringLiteral("Este campo não pode ser processado !");

QString idle()
{
    return QString::fromUtf8(idleStatus);
}

// The test both the zeros and the case operations make before they run: a value that is
// text of length zero (an empty field reads blank, which does not count).
bool holdsEmptyText(Table& table, int field)
{
    if (table.CurrentRecordId() == NoRecord)
        return false;
    const Value v = table.Fields(field)->Value();
    return v.kind() == Value::Kind::Text && v.asText().isEmpty();
}

Value textOrBlank(const QString& text)
{
    return text.isEmpty() ? Value() : Value::text(text);
}

}  // namespace

QString cutText(const QString& text, int start, int count)
{
    if (text.isEmpty() || start < 1 || start > text.size() || count <= 0)
        return text;
    QString t = text;
    t.remove(start - 1, std::min<qsizetype>(count, t.size() - (start - 1)));
    return t;
}

int spinValue(const QString& text)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok)
        return 1;
    return int(std::clamp<qlonglong>(v, 1, 99));
}

void leadingZeros(Table& table, WorkbenchHost& host, int field)
{
    if (table.Fields(field)->DataType() != ftString) {
        host.showMessage(QStringLiteral("Este campo não pode ser processado com zeros a esquerda !"));
        host.setStatusText(idle());
        return;
    }
    const std::optional<int> width = host.askZerosWidth();
    if (!width) {
        host.setStatusText(idle());
        return;
    }
    if (!holdsEmptyText(table, field)) {
        const Regional& regional = Regional::current();
        ColumnRun(table, host, field).run(
            [&] {
                // A value that is blank or no number, or that cannot be stored, stays as it was.
                try {
                    Field* f = table.Fields(field);
                    const Value v = f->Value();
                    double x = 0;
                    if (v.kind() == Value::Kind::Text && regional.tryParseFloat(v.asText(), &x))
                        f->SetValue(Value::text(StrZero(*width, x)));
                } catch (const Error&) {
                }
            },
            true);
    }
    host.showMessage(doneData);
    host.setStatusText(idle());
}

void fillColumn(Table& table, WorkbenchHost& host, int field)
{
    const FieldType type = table.Fields(field)->DataType();
    const bool known = type == ftString || type == ftInteger || type == ftSmallint || type == ftFloat ||
                       type == ftCurrency || type == ftDate;
    if (!known) {
        host.setStatusText(idle());
        return;
    }
    const std::optional<QString> text = host.askValueText();
    if (!text) {
        host.setStatusText(idle());
        return;
    }
    const Regional& regional = Regional::current();
    ColumnRun(table, host, field).run(
        [&] {
            Field* f = table.Fields(field);
            switch (type) {
            case ftString:
                f->SetValue(textOrBlank(*text));
                break;
            case ftInteger:
            case ftSmallint:
                f->SetValue(Value::integer(regional.parseInteger(*text)));
                break;
            case ftFloat:
                f->SetValue(Value::floating(regional.parseFloat(*text)));
                break;
            case ftCurrency:
                f->SetValue(Value::fixed(regional.parseCurrency(*text)));
                break;
            default:
                f->SetValue(Value::date(regional.parseDate(*text)));
                break;
            }
        },
        false);
    host.showMessage(doneProcessing);
    host.setStatusText(idle());
}

void cutCharacters(Table& table, WorkbenchHost& host, int field)
{
    if (table.Fields(field)->DataType() != ftString) {
        host.showMessage(refused);
        host.setStatusText(idle());
        return;
    }
    const std::optional<CutParameters> cut = host.askCut();
    if (!cut) {
        host.setStatusText(idle());
        return;
    }
    ColumnRun(table, host, field).run(
        [&] {
            Field* f = table.Fields(field);
            f->SetValue(textOrBlank(cutText(f->AsString(), cut->start, cut->count)));
        },
        true);
    host.showMessage(doneProcessing);
    host.setStatusText(idle());
}

void numberSequence(Table& table, WorkbenchHost& host, int field)
{
    if (table.Fields(field)->DataType() != ftString)
        return;
    const std::optional<QString> text = host.askValueText();
    if (!text)
        return;
    // Past the largest 32-bit number the sequence simply goes on.
    qint64 n = Regional::current().parseInteger(*text);
    ColumnRun(table, host, field)
        .run([&] { table.Fields(field)->SetValue(Value::text(QString::number(n))); }, false, [&] { ++n; });
    host.showMessage(doneProcessing);
}

void recordNumber(Table& table, WorkbenchHost& host, int field)
{
    if (table.Fields(field)->DataType() != ftString)
        return;
    const QString name = table.Fields(field)->FieldName();
    ColumnRun(table, host, field)
        .run(
            [&] {
                Field* f = table.FieldByName(name);
                const qint64 r = table.RecNo();
                f->SetAsString(StrZero(f->DataSize() - 1, double(r)));
            },
            false);
    host.showMessage(doneProcessing);
}

void letterCase(Table& table, WorkbenchHost& host, int field)
{
    if (table.Fields(field)->DataType() != ftString) {
        host.showMessage(refused);
        host.setStatusText(idle());
        return;
    }
    const CaseChoice choice = host.askCase();
    if (choice == CaseChoice::Cancel || holdsEmptyText(table, field)) {
        host.setStatusText(idle());
        return;
    }
    const Regional& regional = Regional::current();
    ColumnRun(table, host, field).run(
        [&] {
            try {
                Field* f = table.Fields(field);
                const Value v = f->Value();
                if (v.kind() == Value::Kind::Text)
                    f->SetValue(Value::text(choice == CaseChoice::Upper ? regional.toUpper(v.asText())
                                                                        : regional.toLower(v.asText())));
            } catch (const Error&) {
            }
        },
        true);
    host.showMessage(doneData);
    host.setStatusText(idle());
}

}  // namespace quillora::workbench
