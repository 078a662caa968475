#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace quillora {

// What is shared by every table of the run: the passwords of protected tables. The engine
// shows no window; the program installs a callback that asks the user.
class Session {
public:
    // Asks for the password of the table at tablePath. Returns false when the user cancels.
    // `retry` is true when a password was just refused.
    using PasswordPrompt = std::function<bool(const QString& tablePath, bool retry, QString* password)>;

    static void setPasswordPrompt(PasswordPrompt prompt);
    static const PasswordPrompt& passwordPrompt();

    // Passwords given during the run, tried first for every protected table.
    static QStringList knownPasswords();
    static void addPassword(const QString& password);
    static void clearPasswords();
};

}  // namespace quillora
