#include "workbench/ui/ParameterDialogs.h"

#include "workbench/ColumnOperations.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>
#include <initializer_list>

namespace quillora::workbench::ui {

namespace {

QFont arial(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void setUpDialog(QDialog* d, const QString& caption, int width, int height, bool toolWindow)
{
    d->setWindowTitle(caption);
    d->setFont(arial(13));
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (toolWindow)
        flags |= Qt::Tool;
    d->setWindowFlags(flags);
    d->setFixedSize(width, height);
}

void centre(QWidget* w)
{
    if (QScreen* s = QGuiApplication::primaryScreen())
        w->move(s->availableGeometry().center() - w->rect().center());
}

// A label at its place, at least as wide and high as its text needs: where Arial is missing a
// wider font takes its place, and the label grows instead of cutting its text.
QLabel* label(QWidget* parent, const char* name, const char* text, QRect r)
{
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(r);
    const QSize needed = l->sizeHint();
    l->resize(std::max(r.width(), needed.width()), std::max(r.height(), needed.height()));
    return l;
}

// How far the controls right of these labels move so that each label keeps `gap` pixels
// before `controlsLeft`.
int roomFor(std::initializer_list<const QLabel*> labels, int controlsLeft, int gap = 5)
{
    int shift = 0;
    for (const QLabel* l : labels)
        shift = std::max(shift, l->x() + l->width() + gap - controlsLeft);
    return shift;
}

QSpinBox* spin(QWidget* parent, const char* name, QRect r)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(1, 99);
    s->setValue(1);
    // Leaving the field with a value out of range brings it to the nearest bound, not back to
    // the value it had before.
    s->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    s->setGeometry(r);
    return s;
}

QPushButton* okButton(QDialog* d, QRect r)
{
    auto* b = new QPushButton(QStringLiteral("&Ok"), d);
    b->setObjectName(QStringLiteral("BitBtn1"));
    b->setFont(arial(11));
    b->setGeometry(r);
    b->setDefault(true);
    b->setAutoDefault(true);
    QObject::connect(b, &QPushButton::clicked, d, &QDialog::accept);
    return b;
}

QPushButton* cancelButton(QDialog* d, QRect r)
{
    // QDialog answers Esc with reject.
    auto* b = new QPushButton(QStringLiteral("&Cancelar"), d);
    b->setObjectName(QStringLiteral("BitBtn2"));
    b->setFont(arial(11));
    b->setGeometry(r);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, d, &QDialog::reject);
    return b;
}

// What the user typed, by the spin field's rules, also when the text was left half-typed.
int spinText(const QSpinBox* s)
{
    return spinValue(s->cleanText());
}

}  // namespace

TF_Zeros::TF_Zeros(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_Zeros"));
    setUpDialog(this, QStringLiteral("Zeros a esquerda"), 278, 67, true);
    const QLabel* text = label(this, "Label1", "Quantidade de zeros a esquerda:", {14, 12, 192, 16});
    // A label wider than its place pushes the spin field and the buttons right, and the
    // dialog grows by as much.
    const int shift = roomFor({text}, 214, 8);
    RxSpinEdit1 = spin(this, "RxSpinEdit1", {214 + shift, 9, 49, 24});
    BitBtn1 = okButton(this, {109 + shift, 39, 75, 25});
    BitBtn2 = cancelButton(this, {187 + shift, 39, 75, 25});
    setFixedSize(278 + shift, 67);
    setTabOrder(RxSpinEdit1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    centre(this);
    RxSpinEdit1->setFocus();
}

int TF_Zeros::width() const
{
    return spinText(RxSpinEdit1);
}

TF_PCampos::TF_PCampos(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_PCampos"));
    setUpDialog(this, QStringLiteral("Preechimento de campos"), 482, 83, true);
    label(this, "Label1", "Informe o valor para processamento", {5, 4, 205, 16});
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(2, 22, 478, 24);
    BitBtn1 = okButton(this, {324, 52, 75, 25});
    BitBtn2 = cancelButton(this, {404, 52, 75, 25});
    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    move(223, 224);
    Edit1->setFocus();
}

void TF_PCampos::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    move(223, 224);  // a fixed place on the screen, not centred on the window
}

QString TF_PCampos::text() const
{
    return Edit1->text();
}

TF_Apaga::TF_Apaga(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_Apaga"));
    setUpDialog(this, QStringLiteral("Apaga caracteres"), 235, 100, false);
    const QLabel* from = label(this, "Label1", "Apagar a partir do caractere:", {8, 12, 165, 16});
    const QLabel* count = label(this, "Label2", "Quantidade de caractere:", {7, 40, 146, 16});
    // Labels wider than their place push the spin fields right, and the dialog grows.
    const int shift = roomFor({from, count}, 178);
    BitBtn1 = okButton(this, {38, 71, 83, 25});
    RxSpinEdit1 = spin(this, "RxSpinEdit1", {178 + shift, 7, 49, 24});
    RxSpinEdit2 = spin(this, "RxSpinEdit2", {178 + shift, 37, 49, 24});
    BitBtn2 = cancelButton(this, {124, 71, 81, 25});
    setFixedSize(235 + shift, 100);
    setTabOrder(BitBtn1, RxSpinEdit1);
    setTabOrder(RxSpinEdit1, RxSpinEdit2);
    setTabOrder(RxSpinEdit2, BitBtn2);
    centre(this);
    BitBtn1->setFocus();
}

int TF_Apaga::start() const
{
    return spinText(RxSpinEdit1);
}

int TF_Apaga::count() const
{
    return spinText(RxSpinEdit2);
}

}  // namespace quillora::workbench::ui
