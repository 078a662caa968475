#include "reconcile/ui/U_OpcoesAcao.h"
#include "toolkit/PixelFont.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillora::reconcile {

namespace {

using toolkit::pixelFont;

}  // namespace

TF_OpcoesAcao::TF_OpcoesAcao(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_OpcoesAcao"));
    setWindowTitle(QStringLiteral("Opções do Registro"));
    // Fixed border, a title but no title-bar buttons or system menu, above other windows.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    setFont(pixelFont("Tahoma", 13));
    setFixedSize(442, 236);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(4, 4, 433, 133);
    Memo1->setFont(pixelFont("Courier New", 12));
    // Tab leaves the text for the next control instead of typing into it.
    Memo1->setTabChangesFocus(true);

    RadioGroup1 = new QGroupBox(QStringLiteral(" O Que Fazer ? "), this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(4, 144, 285, 85);
    itemGroup = new QButtonGroup(this);
    auto* column = new QVBoxLayout(RadioGroup1);
    column->setContentsMargins(8, 2, 8, 4);
    column->setSpacing(0);
    const char* texts[3] = {"Alterar o Registro de Fonte para Destino", "Alterar o Registro de Destino para Fonte",
                            "Não Alterar o Registro Corrente"};
    for (int i = 0; i < 3; ++i) {
        items[i] = new QRadioButton(QString::fromUtf8(texts[i]), RadioGroup1);
        items[i]->setObjectName(QStringLiteral("Item%1").arg(i));
        itemGroup->addButton(items[i], i);
        column->addWidget(items[i]);
    }

    BitBtn1 = new QPushButton(QStringLiteral("&Ok"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(328, 152, 109, 29);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn1->setDefault(true);
    BitBtn3 = new QPushButton(QStringLiteral("&Cancelar"), this);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setGeometry(328, 184, 109, 29);
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    // Esc answers reject(), the same as this button.
    connect(BitBtn3, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    setTabOrder(RadioGroup1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn3);
    setTabOrder(BitBtn3, Memo1);
    SetItemIndex(2);
}

int TF_OpcoesAcao::ItemIndex() const
{
    return itemGroup->checkedId();
}

void TF_OpcoesAcao::SetItemIndex(int index)
{
    if (index >= 0 && index < 3)
        items[index]->setChecked(true);
}

int TF_OpcoesAcao::choose(const QString& text)
{
    Memo1->setPlainText(text);
    SetItemIndex(2);
    items[2]->setFocus();
    if (exec() != QDialog::Accepted)
        return -1;
    return ItemIndex();
}

}  // namespace quillora::reconcile
