#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quillora {
class Table;
}

namespace quillora::views {

// "Filtragem de Dados": the condition text of the source table and its field names.
class TF_Filtro : public QDialog {
    Q_OBJECT

public:
    explicit TF_Filtro(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;        // the condition
    QLabel* Label2;
    QComboBox* ComboBox1;    // the table's field names
    QToolButton* SpeedButton1;  // appends the chosen field name to the condition
    QPushButton* BitBtn1;    // "OK"
    QPushButton* BitBtn2;    // "Cancelar"

    // What OK does with the condition before the dialog closes. When it throws, the dialog
    // stays open with the text as typed: the message is shown and the caret put at the fault.
    void setApply(std::function<void(const QString&)> apply) { apply_ = std::move(apply); }

    // Shows a fault of the condition: the message in the default error box, then the focus in
    // Edit1 with the caret at `position` (a character index; negative: where it was).
    void showFault(const QString& message, qsizetype position);

public slots:
    void SpeedButton1Click();
    void BitBtn1Click();

protected:
    // Neither Enter nor Esc closes the dialog: only its buttons and its close box do.
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void(const QString&)> apply_;
};

// "Filtro...": opens the source table as it is bound, lets the user edit the condition and
// stores it on the table (OK: the text, then filtering on; Cancelar or the close box:
// filtering off, text kept), then closes the table. A faulty condition on OK keeps the dialog
// open (Filter and Filtered as they were) with the message shown and the caret at the fault.
// A condition the newly bound table cannot take (a field it names is missing) does not bar the
// dialog: the table opens without it and the dialog shows it with its fault, to be changed or
// cleared. Other errors opening the table are thrown to the caller before the dialog appears.
void BFiltroClick(QWidget* owner, Table& source);

}  // namespace quillora::views
