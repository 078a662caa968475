#include "toolkit/MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace quillora::toolkit {

QString messageTitle(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning:
        return QStringLiteral("!!! Aviso !!!");
    case MessageKind::Error:
        return QStringLiteral("*** Erro ***");
    case MessageKind::Information:
        return QStringLiteral("Informação");
    case MessageKind::Confirmation:
        return QStringLiteral("Confirmação");
    }
    return {};
}

QString applicationTitle()
{
    return QStringLiteral("Quillora");
}

void nameApplication()
{
    QCoreApplication::setApplicationName(applicationTitle());
}

QString buttonText(Button button)
{
    switch (button) {
    case Yes:
        return QStringLiteral("&Sim");
    case No:
        return QStringLiteral("&Não");
    case Ok:
        return QStringLiteral("&Ok");
    case Cancel:
        return QStringLiteral("&Cancelar");
    case NoButton:
        break;
    }
    return {};
}

namespace {

QMessageBox::Icon iconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Confirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole roleOf(Button b)
{
    switch (b) {
    case Yes:
        return QMessageBox::YesRole;
    case No:
        return QMessageBox::NoRole;
    case Ok:
        return QMessageBox::AcceptRole;
    case Cancel:
        return QMessageBox::RejectRole;
    case NoButton:
        break;
    }
    return QMessageBox::InvalidRole;
}

Button runBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text, Buttons buttons,
              const QString& checkText = {}, bool* checked = nullptr)
{
    if (buttons == NoButton)
        buttons = Ok;
    QMessageBox box(parent);
    box.setObjectName(QLatin1String(messageBoxObjectName));
    box.setIcon(icon);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    QAbstractButton* made[9] = {};
    for (Button b : {Yes, No, Ok, Cancel}) {
        if (buttons & b) {
            QPushButton* pb = box.addButton(buttonText(b), roleOf(b));
            pb->setObjectName(QStringLiteral("button%1").arg(int(b)));
            made[b] = pb;
        }
    }
    const Button def = (buttons & Ok) ? Ok : (buttons & Yes) ? Yes : Button(buttons & -buttons);
    box.setDefaultButton(static_cast<QPushButton*>(made[def]));
    const Button esc = (buttons & Cancel) ? Cancel : (buttons & No) ? No : (buttons & Ok) ? Ok : def;
    box.setEscapeButton(made[esc]);
    QCheckBox* check = nullptr;
    if (checked) {
        check = new QCheckBox(checkText, &box);
        check->setObjectName(QLatin1String(messageCheckBoxObjectName));
        check->setChecked(false);
        box.setCheckBox(check);
    }
    box.exec();
    if (checked)
        *checked = check->isChecked();
    QAbstractButton* clicked = box.clickedButton();
    for (Button b : {Yes, No, Ok, Cancel}) {
        if (made[b] && made[b] == clicked)
            return b;
    }
    return esc;
}

}  // namespace

Button messageBox(QWidget* parent, MessageKind kind, const QString& text, Buttons buttons)
{
    return runBox(parent, iconOf(kind), messageTitle(kind), text, buttons);
}

Button messageBoxWithCheck(QWidget* parent, MessageKind kind, const QString& text, Buttons buttons,
                           const QString& checkText, bool* checked)
{
    return runBox(parent, iconOf(kind), messageTitle(kind), text, buttons, checkText, checked);
}

bool confirm(QWidget* parent, const QString& text)
{
    return messageBox(parent, MessageKind::Confirmation, text, Yes | No) == Yes;
}

void plainMessage(QWidget* parent, const QString& text)
{
    runBox(parent, QMessageBox::NoIcon, applicationTitle(), text, Ok);
}

QString errorBoxText(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void showErrorBox(QWidget* parent, const QString& text)
{
    QMessageBox box(parent);
    box.setObjectName(QLatin1String(messageBoxObjectName));
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(applicationTitle());
    box.setText(errorBoxText(text));
    box.setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    ok->setObjectName(QStringLiteral("button%1").arg(int(Ok)));
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

}  // namespace quillora::toolkit
