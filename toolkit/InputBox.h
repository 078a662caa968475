#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quillora::toolkit {

// A small modal question with one line of text: a caption, a prompt, a text box of at most
// 255 characters that starts with the default wholly selected, "&Ok" (Enter) and "&Cancelar"
// (Esc, or the close box).
class InputBox : public QDialog {
    Q_OBJECT

public:
    InputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& defaultText);

    QLabel* prompt() const { return prompt_; }
    QLineEdit* edit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    QLabel* prompt_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// Asks and returns the text typed on OK; Cancel gives the default unchanged.
QString inputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& defaultText);

// The object name the box carries, for tests that answer it.
inline constexpr const char* inputBoxObjectName = "QuilloraInputBox";

}  // namespace quillora::toolkit
