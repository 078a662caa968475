#pragma once

#include <QDialog>

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

public slots:
    void SpeedButton1Click();

protected:
    // Neither Enter nor Esc closes the dialog: only its buttons and its close box do.
    void keyPressEvent(QKeyEvent* event) override;
};

// "Filtro...": opens the source table as it is bound, lets the user edit the condition and
// stores it on the table (OK: the text, then filtering on; Cancelar or the close box:
// filtering off, text kept), then closes the table. Errors are thrown to the caller; a faulty
// condition leaves Filter and Filtered as they were and the table open.
void BFiltroClick(QWidget* owner, Table& source);

}  // namespace quillora::views
