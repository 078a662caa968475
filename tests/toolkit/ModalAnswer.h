#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>

namespace quillora::test {

// What a modal box showed before it was answered.
struct SeenBox {
    QString title;
    QString text;
    QStringList buttons;
    QString defaultButton;
    QString escapeButton;
    int count = 0;
};

// The answers still waiting for a box; a test ends by cancelling what it did not use.
inline QList<QPointer<QTimer>>& pendingAnswers()
{
    static QList<QPointer<QTimer>> timers;
    return timers;
}
inline void cancelPendingAnswers()
{
    for (const QPointer<QTimer>& t : pendingAnswers()) {
        if (t) {
            t->stop();
            t->deleteLater();
        }
    }
    pendingAnswers().clear();
}

// Answers the next modal box that opens by clicking the button with this text ("&Sim"), or
// by `action` when given, and records what it showed. Polls, so it works from inside any
// nested event loop (a run's processEvents, a box opened from another box).
inline std::shared_ptr<SeenBox> answerNextBox(const QString& buttonText,
                                              std::function<void(QWidget*)> action = {})
{
    auto seen = std::make_shared<SeenBox>();
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, seen, buttonText, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        ++seen->count;
        seen->title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen->text = box->text();
            for (QAbstractButton* b : box->buttons())
                seen->buttons << b->text();
            if (box->defaultButton())
                seen->defaultButton = box->defaultButton()->text();
            if (box->escapeButton())
                seen->escapeButton = box->escapeButton()->text();
        }
        if (action) {
            action(modal);
            return;
        }
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>()) {
            if (b->text() == buttonText) {
                b->click();
                return;
            }
        }
        modal->close();
    });
    pendingAnswers().append(timer);
    timer->start();
    return seen;
}

}  // namespace quillora::test
