#pragma once

#include "tables/check/TableCheck.h"

#include <QThread>

#include <atomic>
#include <functional>

namespace quillora::app {

// A long piece of engine work (a check, a repair) on a thread of its own, so that the window
// keeps painting and "Cancelar" can be pressed. Every engine object the work uses is made and
// used inside it. Progress reaches the window through progressed(), queued, at most once per
// thousandth; the work learns of a cancel from its progress callback's answer.
class EngineJob : public QThread {
    Q_OBJECT

public:
    using Work = std::function<void(const check::CheckProgress& progress)>;

    explicit EngineJob(Work work, QObject* parent = nullptr);
    // Cancels and waits for the work: nothing of it outlives its owner.
    ~EngineJob() override;

    void cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }
    // The text of the error the work ended with; empty when it ended normally.
    QString error() const { return error_; }

signals:
    void progressed(qint64 done, qint64 total);

protected:
    void run() override;

private:
    Work work_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> lastShown_{-1};
    QString error_;
};

}  // namespace quillora::app
