#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/RunReports.h"
#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/io/Journal.h"
#include "workbench/ColumnOperations.h"
#include "workbench/ColumnRun.h"
#include "workbench/WorkbenchHost.h"

#include <QElapsedTimer>
#include <QTextStream>

namespace quillora::cli {

namespace {

// The workbench host of the command line: parameters from the flags, messages on standard
// output, progress on standard error a few times a second at most.
class CliWorkbenchHost : public workbench::WorkbenchHost {
public:
    int width = 1;
    QString value;
    workbench::CutParameters cut;
    workbench::CaseChoice choice = workbench::CaseChoice::Cancel;
    QStringList messages;

    void setStatusText(const QString& text) override
    {
        if (!text.startsWith(QLatin1String("Percentual")))
            return;
        last_ = text;
        if (shown_.isValid() && shown_.elapsed() < 250)
            return;
        shown_.start();
        QTextStream(stderr) << text << '\n';
        printed_ = text;
    }
    // The text changes at most a hundred times a run: it is made only when it changes.
    void progressed(qint64 recNo, qint64 recordCount) override
    {
        const int percent = workbench::ColumnRun::progressPercent(recNo, recordCount);
        if (percent == shownPercent_)
            return;
        shownPercent_ = percent;
        setStatusText(workbench::ColumnRun::progressText(recNo, recordCount));
    }
    void runStarted() override { shownPercent_ = -1; }
    void showMessage(const QString& text) override
    {
        messages << text;
        QTextStream(stdout) << text << '\n';
    }
    std::optional<int> askZerosWidth() override { return width; }
    std::optional<QString> askValueText() override { return value; }
    std::optional<workbench::CutParameters> askCut() override { return cut; }
    workbench::CaseChoice askCase() override { return choice; }
    std::optional<RecordRunResult> result;  // the counts of the run, once it has ended

    void runEnded(const RecordRunResult& r) override
    {
        result = r;
        // The last percentage always shows.
        if (!last_.isEmpty() && last_ != printed_)
            QTextStream(stderr) << last_ << '\n';
    }

private:
    QElapsedTimer shown_;
    QString last_;
    QString printed_;
    int shownPercent_ = -1;
};

int spinOption(const CliArguments& a, const char* name)
{
    const QString text = a.value(QString::fromLatin1(name), QStringLiteral("1"));
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 1 || v > 99)
        throw UsageError{QStringLiteral("--%1 deve ser um número de 1 a 99").arg(QString::fromLatin1(name))};
    return v;
}

// --from: the record whose number (RecNo) is `number`. For dBase that is its physical record
// number, which stays with the record whatever the order and the deleted records around it;
// for Paradox, its position in the current order.
void moveToRecordNumber(Table& table, qint64 number)
{
    if (table.file()->recordNumberIsPosition()) {
        if (!table.MoveToPosition(number))
            throw Error(QStringLiteral("Registro %1 não existe: a tabela tem %2 registros")
                            .arg(number)
                            .arg(table.RecordCount()));
        return;
    }
    for (table.First(); !table.Eof(); table.Next()) {
        if (table.RecNo() == number)
            return;
    }
    throw Error(QStringLiteral("Registro %1 não existe ou está apagado").arg(number));
}

// What "Desfazer" calls the operation.
QString columnOperationName(const QString& operation)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("zeros"), QStringLiteral("Zeros à esquerda")},
        {QStringLiteral("fill"), QStringLiteral("Preenchimento de campos")},
        {QStringLiteral("cut"), QStringLiteral("Apagar caracteres")},
        {QStringLiteral("sequence"), QStringLiteral("Sequência")},
        {QStringLiteral("recno"), QStringLiteral("Número do registro")},
        {QStringLiteral("case"), QStringLiteral("Maiúsculas/minúsculas")},
    };
    return names.value(operation, operation);
}

}  // namespace

int runColumn(const QStringList& args)
{
    CliArguments a(args,
                   {QStringLiteral("column"), QStringLiteral("operation"), QStringLiteral("width"),
                    QStringLiteral("value"), QStringLiteral("start"), QStringLiteral("count"),
                    QStringLiteral("from"), QStringLiteral("index"), QStringLiteral("locale"),
                    QStringLiteral("password"), QStringLiteral("errors")},
                   {QStringLiteral("upper"), QStringLiteral("lower"), QStringLiteral("dry-run")});
    if (a.positional().size() != 1)
        throw UsageError{QStringLiteral("informe uma tabela")};
    if (!a.has(QStringLiteral("column")))
        throw UsageError{QStringLiteral("falta a opção --column")};
    const QString operation = a.value(QStringLiteral("operation"));
    using Operation = void (*)(Table&, workbench::WorkbenchHost&, int);
    const QHash<QString, Operation> operations = {
        {QStringLiteral("zeros"), &workbench::leadingZeros},    {QStringLiteral("fill"), &workbench::fillColumn},
        {QStringLiteral("cut"), &workbench::cutCharacters},     {QStringLiteral("sequence"), &workbench::numberSequence},
        {QStringLiteral("recno"), &workbench::recordNumber},    {QStringLiteral("case"), &workbench::letterCase},
    };
    if (!operations.contains(operation))
        throw UsageError{QStringLiteral("operação desconhecida: %1 (use zeros, fill, cut, sequence, recno ou case)")
                             .arg(operation)};
    CliWorkbenchHost host;
    host.width = spinOption(a, "width");
    host.cut = {spinOption(a, "start"), spinOption(a, "count")};
    if ((operation == QLatin1String("fill") || operation == QLatin1String("sequence")) && !a.has(QStringLiteral("value")))
        throw UsageError{QStringLiteral("falta a opção --value")};
    host.value = a.value(QStringLiteral("value"));
    if (operation == QLatin1String("case")) {
        if (a.has(QStringLiteral("upper")) == a.has(QStringLiteral("lower")))
            throw UsageError{QStringLiteral("use --upper ou --lower")};
        host.choice = a.has(QStringLiteral("upper")) ? workbench::CaseChoice::Upper : workbench::CaseChoice::Lower;
    }
    qint64 from = 1;
    if (a.has(QStringLiteral("from"))) {
        bool ok = false;
        from = a.value(QStringLiteral("from")).toLongLong(&ok);
        if (!ok || from < 1)
            throw UsageError{QStringLiteral("--from deve ser um número de registro a partir de 1")};
    }
    a.applyCommonOptions();
    RunReports reports(a, false);

    Table table(QStringLiteral("Table1"));
    table.Bind(a.positional().first());
    if (a.has(QStringLiteral("index")))
        table.SetIndexFieldNames(a.value(QStringLiteral("index")));
    // The whole command is one operation on the table: kept whole, or rolled back whole when
    // a write fails (or at the end of a trial run).
    const bool dryRun = a.has(QStringLiteral("dry-run"));
    io::Operation journal(columnOperationName(operation), {a.positional().first()}, dryRun);
    // Once the operation has begun, its summary is printed however it ends.
    bool begun = false;
    auto summary = [&](const QString& failure) {
        RecordRunResult r = host.result.value_or(RecordRunResult());
        r.trial = dryRun;
        r.rolledBack = !dryRun && !journal.kept();
        // An error the run did not count (a write on closing) is counted here.
        if (!failure.isEmpty() && r.failed == 0)
            r.countRunFailure(failure);
        if (r.rolledBack)
            r.stopped = true;
        reports.write(r);
    };
    try {
        table.Open();
        const int field = table.FieldByName(a.value(QStringLiteral("column")))->Index();
        if (a.has(QStringLiteral("from")))
            moveToRecordNumber(table, from);
        begun = true;
        operations.value(operation)(table, host, field);
    } catch (const Error& e) {
        // A failed write is reported as the rolled-back run; any other error as it is.
        try {
            journal.closeAndFinish(
                [&] {
                    try {
                        table.Close();
                    } catch (...) {
                    }
                },
                e.text());
        } catch (const Error&) {
            if (begun)
                summary(e.text());
            throw;
        }
        if (begun)
            summary(e.text());
        throw;
    }
    try {
        journal.closeAndFinish([&] { table.Close(); });
    } catch (const Error& e) {
        summary(e.text());
        throw;
    }
    summary(QString());

    // Done only when the operation said so; a refusal (with its message or silent) fails.
    for (const QString& m : host.messages)
        if (m.contains(QLatin1String("sucesso")))
            return 0;
    if (host.messages.isEmpty())
        QTextStream(stderr) << QStringLiteral("O campo %1 não pode ser processado com a operação %2")
                                   .arg(a.value(QStringLiteral("column")), operation)
                            << '\n';
    return 1;
}

}  // namespace quillora::cli
