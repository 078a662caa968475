#include "tables/Session.h"

#include <QMutex>

#include <algorithm>

namespace quillora {

namespace {
struct SessionState {
    QMutex mutex;
    Session::PasswordPrompt prompt;
    Session::BusyNotifier busy;
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

void Session::setBusyNotifier(BusyNotifier notifier)
{
    QMutexLocker lock(&state().mutex);
    state().busy = std::move(notifier);
}

void Session::busy(const QString& what, int percent)
{
    BusyNotifier notifier;
    {
        QMutexLocker lock(&state().mutex);
        notifier = state().busy;
    }
    if (notifier)
        notifier(what, percent);
}

BusyWork::BusyWork(QString what, qint64 total) : what_(std::move(what)), total_(std::max<qint64>(total, 1))
{
    Session::busy(what_, 0);
}

BusyWork::~BusyWork()
{
    try {
        Session::busy(what_, 100);
    } catch (...) {
        // A notice that fails is no reason to lose the work's own outcome.
    }
}

void BusyWork::advance(qint64 done)
{
    const int percent = int(std::clamp<qint64>(done * 100 / total_, 0, 99));
    if (percent != percent_) {
        percent_ = percent;
        Session::busy(what_, percent);
    }
}

}  // namespace quillora
