#pragma once

#include <QDialog>

#include "run/RecordRun.h"

class QLabel;
class QPushButton;

namespace quillora::app {

// The counts of the run that just ended, in a small window beside the main window. It does not
// hold the program up: it opens without taking the focus and stays until closed or until the
// next run's summary takes its place. When records failed, "Salvar erros..." writes their list
// (registro,chave,erro) to a CSV file the user picks.
class RunSummaryDialog : public QDialog {
    Q_OBJECT

public:
    // Shows the summary of `result` in the window's summary dialog, made on first use.
    // `undoOffered`: whether "Desfazer" may undo the run from here (not while the processing
    // window that ran it still holds its operation open).
    static RunSummaryDialog* showFor(QWidget* mainWindow, const RecordRunResult& result, bool undoOffered = true);

    explicit RunSummaryDialog(QWidget* parent);
    void setResult(const RecordRunResult& result);
    // Writes the failed records' list to `path`; false (with a message box) when it cannot.
    bool saveFailures(const QString& path);

    static QString title();

signals:
    // "Desfazer": the main window undoes the run (asking first).
    void undoRequested();

private:
    void saveClicked();

    QLabel* text_;
    QPushButton* save_;
    QPushButton* undo_;
    RecordRunResult result_;
    bool undoOffered_ = true;
};

}  // namespace quillora::app
