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

    // Long work the engine does on its own, such as indexes rebuilt when a table closes: told
    // when it starts (percent 0), as it goes, and when it ends (percent 100), so that the
    // program can show it and a long close never looks like a hang.
    using BusyNotifier = std::function<void(const QString& what, int percent)>;
    static void setBusyNotifier(BusyNotifier notifier);
    static void busy(const QString& what, int percent);
};

// One piece of such work: its start when made, its steps by advance(), its end when destroyed.
class BusyWork {
public:
    BusyWork(QString what, qint64 total);
    ~BusyWork();
    BusyWork(const BusyWork&) = delete;
    BusyWork& operator=(const BusyWork&) = delete;
    void advance(qint64 done);

private:
    QString what_;
    qint64 total_;
    int percent_ = 0;
};

}  // namespace quillora
