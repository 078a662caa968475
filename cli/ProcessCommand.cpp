#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "tables/Error.h"
#include "tables/Table.h"
#include "transfer/Transfer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringDecoder>
#include <QTextStream>

namespace quillora::cli {

namespace {

// The record run without windows: progress as a percentage on standard error (a few lines a
// second at most), each failed record's error on standard error, the error question answered
// by --on-error.
class CliRunHost : public RecordRunHost {
public:
    explicit CliRunHost(bool stopOnError) : stopOnError_(stopOnError) {}

    void progressShow(qint64 maximum) override
    {
        maximum_ = maximum;
        position_ = 0;
        lastPercent_ = -1;
        clock_.start();
        report(true);
    }
    void progressStep() override
    {
        if (position_ < maximum_)
            ++position_;
        if (clock_.elapsed() >= 500)
            report(false);
    }
    void progressHide() override { report(true); }
    bool askCancelOnError(const QString& question) override
    {
        err_ << question << (stopOnError_ ? QStringLiteral(" Sim") : QStringLiteral(" Não")) << '\n';
        err_.flush();
        return stopOnError_;
    }

private:
    void report(bool always)
    {
        const int percent = maximum_ > 0 ? int(position_ * 100 / maximum_) : 100;
        if (!always && percent == lastPercent_)
            return;
        lastPercent_ = percent;
        clock_.restart();
        err_ << QStringLiteral("Processando... %1% (%2 de %3)").arg(percent).arg(position_).arg(maximum_) << '\n';
        err_.flush();
    }

    bool stopOnError_;
    QTextStream err_{stderr};
    QElapsedTimer clock_;
    qint64 maximum_ = 0;
    qint64 position_ = 0;
    int lastPercent_ = -1;
};

}  // namespace

int runProcess(const QStringList& args)
{
    CliArguments a(args,
                   {QStringLiteral("source"), QStringLiteral("dest"), QStringLiteral("map"),
                    QStringLiteral("operation"), QStringLiteral("on-error"), QStringLiteral("locale"),
                    QStringLiteral("password"), QStringLiteral("filter")},
                   {});
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("argumento inesperado: %1").arg(a.positional().first())};
    for (const char* required : {"source", "dest", "map"}) {
        if (!a.has(QString::fromLatin1(required)))
            throw UsageError{QStringLiteral("falta a opção --%1").arg(QString::fromLatin1(required))};
    }
    int operation = -1;
    if (a.has(QStringLiteral("operation"))) {
        operation = operationFromText(a.value(QStringLiteral("operation")));
        if (operation < -1)
            throw UsageError{QStringLiteral("operação desconhecida: %1 (use 0-4 ou Adicionar, Adicionar/Atualizar, "
                                            "Copiar, Apagar, Atualizar)")
                                 .arg(a.value(QStringLiteral("operation")))};
    }
    const QString onError = a.value(QStringLiteral("on-error"), QStringLiteral("stop"));
    if (onError != QLatin1String("stop") && onError != QLatin1String("continue"))
        throw UsageError{QStringLiteral("--on-error aceita stop ou continue, não %1").arg(onError)};
    a.applyCommonOptions();

    const QString mapPath = a.value(QStringLiteral("map"));
    QFile mapFile(mapPath);
    if (!mapFile.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Não foi possível ler a lista de campos %1: %2").arg(mapPath, mapFile.errorString()));
    const QByteArray bytes = mapFile.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString mapping = utf8.decode(bytes);
    if (utf8.hasError())
        throw Error(QStringLiteral("A lista de campos %1 não está em UTF-8").arg(mapPath));
    if (mapping.startsWith(QChar(0xFEFF)))
        mapping.remove(0, 1);

    Table source(QStringLiteral("Table1"));
    Table destination(QStringLiteral("Table2"));
    if (a.has(QStringLiteral("filter"))) {
        source.SetFilter(a.value(QStringLiteral("filter")));
        source.SetFiltered(true);
    }
    CliRunHost host(onError == QLatin1String("stop"));
    const RecordRunResult r = processar(source, destination, host, a.value(QStringLiteral("source")),
                                        a.value(QStringLiteral("dest")), mapping, Operacao(operation));
    return r.failed == 0 ? 0 : 1;
}

}  // namespace quillora::cli
