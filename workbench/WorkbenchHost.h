#pragma once

#include <QString>

#include <optional>

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
    // A plain message with one OK button (completion and refusal texts).
    virtual void showMessage(const QString& text) = 0;
    // The parameter dialogs; nullopt means Cancel.
    virtual std::optional<int> askZerosWidth() = 0;     // "Zeros a esquerda"
    virtual std::optional<QString> askValueText() = 0;  // "Preechimento de campos"
    virtual std::optional<CutParameters> askCut() = 0;  // "Apaga caracteres"
    // "Mudar para Maiúsculas ?" with Yes, No and Cancel.
    virtual CaseChoice askCase() = 0;

    // A run starts and ends (the window takes no input in between), and between records the
    // window may handle its pending messages.
    virtual void runStarted() {}
    virtual void runEnded() {}
    virtual void betweenRecords() {}
};

}  // namespace quillora::workbench
