#pragma once

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace quillora::reconcile {

// "Opções do Registro": one difference of the comparison and what to do with it. It has no
// behaviour of its own; the comparison fills it and reads the choice.
class TF_OpcoesAcao : public QDialog {
    Q_OBJECT

public:
    explicit TF_OpcoesAcao(QWidget* parent = nullptr);

    QGroupBox* RadioGroup1;
    QRadioButton* items[3];
    QButtonGroup* itemGroup;
    QPushButton* BitBtn1;
    QPushButton* BitBtn3;
    QPlainTextEdit* Memo1;

    int ItemIndex() const;
    void SetItemIndex(int index);

    // Shows the text with item 2 selected, modally: the item chosen on OK, -1 on Cancel.
    int choose(const QString& text);
};

}  // namespace quillora::reconcile
