#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quillora::workbench::ui {

// The three parameter dialogs of the column operations. Each opens with its form's values
// (spin fields at 1, an empty text box); OK ("&Ok", Enter) accepts, Cancel ("&Cancelar", Esc)
// and the title-bar close button reject.

class TF_Zeros : public QDialog {
    Q_OBJECT
public:
    explicit TF_Zeros(QWidget* parent = nullptr);
    int width() const;  // W, 1 to 99
    QSpinBox* RxSpinEdit1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};

class TF_PCampos : public QDialog {
    Q_OBJECT
public:
    explicit TF_PCampos(QWidget* parent = nullptr);
    QString text() const;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

protected:
    void showEvent(QShowEvent* event) override;
};

class TF_Apaga : public QDialog {
    Q_OBJECT
public:
    explicit TF_Apaga(QWidget* parent = nullptr);
    int start() const;  // S, 1 to 99
    int count() const;  // C, 1 to 99
    QSpinBox* RxSpinEdit1;
    QSpinBox* RxSpinEdit2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};

}  // namespace quillora::workbench::ui
