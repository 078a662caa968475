#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

#include <optional>

#include "run/RecordRun.h"

namespace quillora::cli {

// The record run without windows: progress as a percentage on standard error (a few lines a
// second at most), each failed record's error on standard error, the error question answered
// by --on-error, the comparison's questions answered by --reconcile, a warning as one line on
// standard error.
class CliRunHost : public RecordRunHost {
public:
    explicit CliRunHost(bool stopOnError) : stopOnError_(stopOnError) {}

    // The answers of the comparison: the verification question, and the record option for
    // every difference (0, 1 or 2) when it is Yes.
    void setComparisonAnswers(Answer verification, int recordOption)
    {
        verification_ = verification;
        recordOption_ = recordOption;
    }

    void progressShow(qint64 maximum) override;
    void progressStep() override;
    void progressHide() override;
    bool askCancelOnError(const QString& question) override;
    Answer askVerification(const QString& question) override;
    int askRecordOption(const QString& text) override;
    void warning(const QString& text) override;
    // --dry-run: the run is rolled back at its end.
    void setDryRun(bool on) { dryRun_ = on; }
    bool dryRun() const override { return dryRun_; }
    // The counts of a run that ended in an error, for its summary line.
    void runAborted(const RecordRunResult& result) override { aborted_ = result; }
    const std::optional<RecordRunResult>& aborted() const { return aborted_; }

private:
    void report(bool always);

    bool stopOnError_;
    bool dryRun_ = false;
    Answer verification_ = Answer::No;
    int recordOption_ = 2;
    QTextStream err_{stderr};
    QElapsedTimer clock_;
    qint64 maximum_ = 0;
    qint64 position_ = 0;
    int lastPercent_ = -1;
    std::optional<RecordRunResult> aborted_;
};

// --on-error: true for stop (the default), false for continue; UsageError otherwise.
bool stopOnErrorOption(const QString& value);

}  // namespace quillora::cli
