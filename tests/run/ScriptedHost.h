#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "run/RecordRun.h"

namespace quillora::test {

// A record-run host with scripted answers that records what a user would have seen: the bar
// (with the progress window's clamping), whether the window is shown, every question asked.
class ScriptedHost : public RecordRunHost {
public:
    // Answer to the n-th error question (from 0); No when unset.
    std::function<bool(int n, const QString& question)> answer;
    // Called between records with the number of records walked so far.
    std::function<void(qint64 walked)> onBetween;
    // The comparison's verification question; No when unset.
    Answer verification = Answer::No;
    // The record option for the n-th difference shown (from 0); Cancel (-1) when unset.
    std::function<int(int n, const QString& text)> recordOption;

    void progressShow(qint64 maximum) override
    {
        ++shows;
        visible = true;
        position = 0;
        this->maximum = maximum < 0 ? 0 : maximum;
    }
    void progressStep() override
    {
        ++steps;
        if (position < maximum)
            ++position;
    }
    void progressHide() override
    {
        visible = false;
        positionAtHide = position;
        ++hides;
    }
    bool askCancelOnError(const QString& question) override
    {
        questions << question;
        return answer ? answer(int(questions.size()) - 1, question) : false;
    }
    Answer askVerification(const QString& question) override
    {
        verificationQuestions << question;
        return verification;
    }
    int askRecordOption(const QString& text) override
    {
        recordOptionTexts << text;
        return recordOption ? recordOption(int(recordOptionTexts.size()) - 1, text) : -1;
    }
    void warning(const QString& text) override { warnings << text; }
    void runAborted(const RecordRunResult& result) override { aborted = result; }
    void betweenRecords() override
    {
        ++between;
        if (onBetween)
            onBetween(steps);
    }

    int shows = 0;
    int hides = 0;
    bool visible = false;
    qint64 maximum = -1;
    qint64 position = 0;
    qint64 positionAtHide = -1;
    qint64 steps = 0;
    qint64 between = 0;
    QStringList questions;
    QStringList verificationQuestions;
    QStringList recordOptionTexts;
    QStringList warnings;
    // The counts of a run that ended in an error, as the host was told them.
    std::optional<RecordRunResult> aborted;
};

}  // namespace quillora::test
