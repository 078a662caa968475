#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include "run/RecordRun.h"

#include <memory>
#include <optional>

class QWidget;

namespace quillora::reconcile {
class TF_OpcoesAcao;
}

namespace quillora::app {

class TF_Progresso;

// The record run as the windows show it: the progress window painted when what the user sees
// changes (the bar moves a pixel, or about 30 times a second), the busy cursor, the error
// question as an error box. Between records, about 30 times a second, pending events are
// handled so that the progress window's "Cancelar" (and Esc) work; every other window takes
// no input until the run ends, so no second operation can start. Warnings are kept and shown
// together, in one information box, when the run's progress window goes away: a long run is
// never held up by them.
class WindowRunHost : public QObject, public RecordRunHost {
    Q_OBJECT

public:
    WindowRunHost(TF_Progresso* progress, QWidget* mainWindow);
    ~WindowRunHost() override;

    void progressShow(qint64 maximum) override;
    void progressStep() override;
    void progressHide() override;
    // The error question carries a check box (dontAskAgainText()); ticked, its answer is
    // given to every later error of the run without asking.
    bool askCancelOnError(const QString& question) override;
    static QString dontAskAgainText();
    void betweenRecords() override;
    // The comparison's confirmation with Yes, No and Cancel.
    Answer askVerification(const QString& question) override;
    // The record options dialog, made at its first difference and kept for the run.
    int askRecordOption(const QString& text) override;
    void warning(const QString& text) override;
    reconcile::TF_OpcoesAcao* recordOptions() const { return options_.get(); }
    // The counts of a run that ended in an error, kept for its summary.
    void runAborted(const RecordRunResult& result) override { aborted_ = result; }
    const std::optional<RecordRunResult>& aborted() const { return aborted_; }

    // How often the window was painted during the run (for the benchmark's report).
    qint64 paints() const { return paints_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paint();
    // True when the clock was read for this record (into nowNs_).
    bool readClock();

    TF_Progresso* progress_;
    QWidget* mainWindow_;
    QElapsedTimer clock_;
    qint64 nowNs_ = 0;
    qint64 paintedNs_ = 0;
    qint64 eventsNs_ = -1;  // -1: the run has not let the window take input yet
    int stride_ = 1;        // records between two readings of the clock
    int untilClock_ = 1;
    bool clockRead_ = false;
    int paintedLength_ = -1;
    qint64 paints_ = 0;
    bool filtering_ = false;
    std::unique_ptr<reconcile::TF_OpcoesAcao> options_;
    QStringList warnings_;  // shown at progressHide()
    std::optional<bool> errorAnswer_;  // the error question's answer kept for the run
    std::optional<RecordRunResult> aborted_;
};

}  // namespace quillora::app
