#pragma once

#include <QString>

#include <optional>

#include "run/RecordRun.h"

namespace quillora::workbench {

// Start position and count of characters to cut.
struct CutParameters {
    int start = 1;
    int count = 1;
};

enum class CaseChoice { Upper, Lower, Cancel };

// How the column operations talk to the user: the processing window with real widgets, the
// tests with scripted answers, the command line with its flags. Errors are not shown here:
// they propagate to the caller, which shows them in its own way.
class WorkbenchHost {
public:
    virtual ~WorkbenchHost() = default;

    // The second status panel: "Processamento de tabelas" or the progress text.
    virtual void setStatusText(const QString& text) = 0;
    // The progress after each record of a run: the record's number and the record count.
    // By default the progress text of ColumnRun in the status panel.
    virtual void progressed(qint64 recNo, qint64 recordCount);
    // A plain message with one OK button (completion and refusal texts).
    virtual void showMessage(const QString& text) = 0;
    // The parameter dialogs; nullopt means Cancel.
    virtual std::optional<int> askZerosWidth() = 0;     // "Zeros a esquerda"
    virtual std::optional<QString> askValueText() = 0;  // "Preechimento de campos"
    virtual std::optional<CutParameters> askCut() = 0;  // "Apaga caracteres"
    // "Mudar para Maiúsculas ?" with Yes, No and Cancel.
    virtual CaseChoice askCase() = 0;

    // A run starts and ends (the window takes no input in between), and between records the
    // window may handle its pending messages. At its end, also when an error ended it, the
    // run tells what it did: records read (visited), updated (the value changed), unchanged,
    // failed (the record the error stopped at, with the column's value as its key).
    virtual void runStarted() {}
    virtual void runEnded(const RecordRunResult& result) { (void)result; }
    virtual void betweenRecords() {}
};

}  // namespace quillora::workbench
