#include "app/WindowRunHost.h"

#include "app/ProgressBar.h"
#include "app/U_Progresso.h"
#include "toolkit/MessageBoxes.h"

#include <QApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QWidget>

namespace quillora::app {

namespace {
constexpr qint64 frameMs = 33;
}

WindowRunHost::WindowRunHost(TF_Progresso* progress, QWidget* mainWindow)
    : progress_(progress), mainWindow_(mainWindow)
{
}

WindowRunHost::~WindowRunHost()
{
    if (filtering_)
        qApp->removeEventFilter(this);
}

void WindowRunHost::paint()
{
    progress_->repaintNow();
    // The window system batches drawing until the event loop waits, which it never does
    // during a run: hand the picture over now.
    QGuiApplication::sync();
    paintedLength_ = progress_->PBar->visibleLength();
    sincePaint_.restart();
    ++paints_;
}

void WindowRunHost::progressShow(qint64 maximum)
{
    progress_->PBar->setPosition(0);
    progress_->PBar->setMaximum(maximum);
    progress_->show();
    progress_->raise();
    progress_->activateWindow();  // so that Esc reaches its "Cancelar"
    setBusyCursor(true);
    if (!filtering_) {
        qApp->installEventFilter(this);
        filtering_ = true;
    }
    sincePaint_.start();
    sinceEvents_.invalidate();  // the first record lets the window take input at once
    paint();
}

void WindowRunHost::progressStep()
{
    progress_->PBar->stepIt();
    if (progress_->PBar->visibleLength() != paintedLength_ || sincePaint_.elapsed() >= frameMs)
        paint();
}

void WindowRunHost::progressHide()
{
    progress_->hide();
    if (filtering_) {
        qApp->removeEventFilter(this);
        filtering_ = false;
    }
    QApplication::restoreOverrideCursor();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

bool WindowRunHost::askCancelOnError(const QString& question)
{
    setBusyCursor(false);
    const bool yes = toolkit::messageBox(mainWindow_, toolkit::MessageKind::Error, question,
                                         toolkit::Yes | toolkit::No) == toolkit::Yes;
    setBusyCursor(true);
    return yes;
}

void WindowRunHost::betweenRecords()
{
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < frameMs)
        return;
    sinceEvents_.start();
    QApplication::processEvents();
}

bool WindowRunHost::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::Close:
        break;
    default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;  // window-system objects pass events on to their widgets, filtered there
    QWidget* top = widget->window();
    // The progress window, and the boxes the run (or its "Cancelar") opens, take input.
    if (top == progress_ || top == QApplication::activeModalWidget())
        return false;
    event->ignore();
    return true;
}

}  // namespace quillora::app
