#pragma once

#include <QString>

class QWidget;

namespace quillora::toolkit {

// The four kinds of message box, each with its fixed title.
enum class MessageKind {
    Warning,       // "!!! Aviso !!!"
    Error,         // "*** Erro ***"
    Information,   // "Informação"
    Confirmation,  // "Confirmação"
};

// Buttons a box can show, and the answer it gives.
enum Button {
    NoButton = 0,
    Yes = 1,
    No = 2,
    Ok = 4,
    Cancel = 8,
};
using Buttons = int;

QString messageTitle(MessageKind kind);
// The program's title, "Quillora": the title of plain messages and of the error box.
QString applicationTitle();

// Names the application "Quillora" and leaves its display name unset. Qt appends a display
// name, once one is set, to every window title on most window systems ("Senha — Quillora"),
// which cuts the small dialogs' captions; unset, every title is the window's own text.
void nameApplication();
// The texts the buttons carry: "&Sim", "&Não", "&Ok", "&Cancelar".
QString buttonText(Button button);

// Shows a modal box and returns the button pressed. The default button is Ok when the box has
// one, else Yes; Esc answers Cancel when the box has one, else No (else Ok).
Button messageBox(QWidget* parent, MessageKind kind, const QString& text, Buttons buttons);

// The same box with a check box under its text ("Não perguntar novamente ..."), unchecked at
// first; *checked says how the user left it.
Button messageBoxWithCheck(QWidget* parent, MessageKind kind, const QString& text, Buttons buttons,
                           const QString& checkText, bool* checked);
// The object name of that check box, for tests.
inline constexpr const char* messageCheckBoxObjectName = "QuilloraMessageCheckBox";

// A confirmation with Yes and No: true for Yes.
bool confirm(QWidget* parent, const QString& text);

// A plain message: the application's title and one "&Ok".
void plainMessage(QWidget* parent, const QString& text);

// The box for an error no handler caught: title "Quillora", error icon, OK; a full stop is
// added when the text's last character sorts after ".".
void showErrorBox(QWidget* parent, const QString& text);
QString errorBoxText(const QString& text);

// The object name the boxes carry, for tests that answer them.
inline constexpr const char* messageBoxObjectName = "QuilloraMessageBox";

}  // namespace quillora::toolkit
