#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quillora::toolkit {

// The modal box that asks for the password of a protected table: a prompt naming the table,
// one masked text box, "&Ok" (default, Enter) and "&Cancelar" (Esc, or the close box).
class PasswordBox : public QDialog {
    Q_OBJECT

public:
    // retry: a password was just refused for this table; the prompt says so.
    PasswordBox(QWidget* parent, const QString& tablePath, bool retry);

    static QString promptText(const QString& tablePath, bool retry);

    QString password() const;
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

// Shows the box; true and the text typed on OK, false on Cancel.
bool askPassword(QWidget* parent, const QString& tablePath, bool retry, QString* password);

// The engine's password prompt (the signature of quillora::Session::PasswordPrompt) answered by
// the box, over whatever window is active.
std::function<bool(const QString& tablePath, bool retry, QString* password)> tablePasswordPrompt();

// The object name the box carries, for tests that answer it.
inline constexpr const char* passwordBoxObjectName = "QuilloraPasswordBox";

}  // namespace quillora::toolkit
