#include "cli/CliRunHost.h"

#include "cli/CliArguments.h"
#include "tables/Error.h"


namespace quillora::cli {

void CliRunHost::progressShow(qint64 maximum)
{
    maximum_ = maximum;
    position_ = 0;
    lastPercent_ = -1;
    clock_.start();
    report(true);
}

void CliRunHost::progressStep()
{
    if (position_ < maximum_)
        ++position_;
    if (clock_.elapsed() >= 500)
        report(false);
}

void CliRunHost::progressHide()
{
    report(true);
}

bool CliRunHost::askCancelOnError(const QString& question)
{
    err_ << question << (stopOnError_ ? QStringLiteral(" Sim") : QStringLiteral(" Não")) << '\n';
    err_.flush();
    return stopOnError_;
}

RecordRunHost::Answer CliRunHost::askVerification(const QString& question)
{
    (void)question;
    return verification_;
}

int CliRunHost::askRecordOption(const QString& text)
{
    (void)text;
    return recordOption_;
}

void CliRunHost::warning(const QString& text)
{
    err_ << text << '\n';
    err_.flush();
}

void CliRunHost::report(bool always)
{
    const int percent = maximum_ > 0 ? int(position_ * 100 / maximum_) : 100;
    if (!always && percent == lastPercent_)
        return;
    lastPercent_ = percent;
    clock_.restart();
    err_ << QStringLiteral("Processando... %1% (%2 de %3)").arg(percent).arg(position_).arg(maximum_) << '\n';
    err_.flush();
}

bool stopOnErrorOption(const QString& value)
{
    if (value != QLatin1String("stop") && value != QLatin1String("continue"))
        throw UsageError{QStringLiteral("--on-error aceita stop ou continue, não %1").arg(value)};
    return value == QLatin1String("stop");
}

}  // namespace quillora::cli
