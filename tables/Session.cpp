#include "tables/Session.h"

#include <QMutex>

namespace quillora {

namespace {
struct SessionState {
    QMutex mutex;
    Session::PasswordPrompt prompt;
    QStringList passwords;
};
SessionState& state()
{
    static SessionState s;
    return s;
}
}  // namespace

void Session::setPasswordPrompt(PasswordPrompt prompt)
{
    QMutexLocker lock(&state().mutex);
    state().prompt = std::move(prompt);
}

const Session::PasswordPrompt& Session::passwordPrompt()
{
    return state().prompt;
}

QStringList Session::knownPasswords()
{
    QMutexLocker lock(&state().mutex);
    return state().passwords;
}

void Session::addPassword(const QString& password)
{
    QMutexLocker lock(&state().mutex);
    if (!state().passwords.contains(password))
        state().passwords.append(password);
}

void Session::clearPasswords()
{
    QMutexLocker lock(&state().mutex);
    state().passwords.clear();
}

}  // namespace quillora
