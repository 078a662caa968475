#include "app/WindowRunHost.h"

#include "app/ProgressBar.h"
#include "app/U_Progresso.h"
#include "reconcile/ui/U_OpcoesAcao.h"
#include "toolkit/MessageBoxes.h"

#include <QApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QWidget>

namespace quillora::app {

namespace {
constexpr qint64 frameNs = 33'000'000;
// Reading the clock costs about as much as the host's other work for a record, which is a few
// percent of a cheap record. So it is read every `stride_` records: a stride that doubles
// while that many records take under a millisecond and halves when they take over four. The
// cap bounds how long a sudden run of slow records goes without painting or input.
constexpr int maxStride = 32;
constexpr qint64 quickNs = 1'000'000;
constexpr qint64 slowNs = 4'000'000;
}  // namespace

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
    paintedNs_ = clock_.nsecsElapsed();
    ++paints_;
}

bool WindowRunHost::readClock()
{
    if (--untilClock_ > 0)
        return false;
    const qint64 now = clock_.nsecsElapsed();
    const qint64 took = now - nowNs_;
    nowNs_ = now;
    if (took < quickNs && stride_ < maxStride)
        stride_ *= 2;
    else if (took > slowNs && stride_ > 1)
        stride_ /= 2;
    untilClock_ = stride_;
    return true;
}

QString WindowRunHost::dontAskAgainText()
{
    return QStringLiteral("Não perguntar novamente neste processamento");
}

void WindowRunHost::progressShow(qint64 maximum)
{
    errorAnswer_.reset();
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
    clock_.start();
    nowNs_ = 0;
    eventsNs_ = -1;  // the first record lets the window take input at once
    stride_ = 1;
    untilClock_ = 1;
    paint();
}

void WindowRunHost::progressStep()
{
    progress_->PBar->stepIt();
    clockRead_ = readClock();
    if (progress_->PBar->visibleLength() != paintedLength_ || (clockRead_ && nowNs_ - paintedNs_ >= frameNs))
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
    if (!warnings_.isEmpty()) {
        const QString text = warnings_.join(QLatin1Char('\n'));
        warnings_.clear();
        toolkit::messageBox(mainWindow_, toolkit::MessageKind::Information, text, toolkit::Ok);
    }
}

void WindowRunHost::warning(const QString& text)
{
    if (!warnings_.contains(text))
        warnings_ << text;
}

bool WindowRunHost::askCancelOnError(const QString& question)
{
    if (errorAnswer_)
        return *errorAnswer_;
    setBusyCursor(false);
    bool dontAskAgain = false;
    const bool yes = toolkit::messageBoxWithCheck(mainWindow_, toolkit::MessageKind::Error, question,
                                                  toolkit::Yes | toolkit::No, dontAskAgainText(),
                                                  &dontAskAgain) == toolkit::Yes;
    setBusyCursor(true);
    if (dontAskAgain)
        errorAnswer_ = yes;
    return yes;
}

void WindowRunHost::betweenRecords()
{
    if (eventsNs_ >= 0 && !(clockRead_ && nowNs_ - eventsNs_ >= frameNs))
        return;
    eventsNs_ = clock_.nsecsElapsed();
    QApplication::processEvents();
}

RecordRunHost::Answer WindowRunHost::askVerification(const QString& question)
{
    setBusyCursor(false);
    const toolkit::Button b = toolkit::messageBox(mainWindow_, toolkit::MessageKind::Confirmation, question,
                                                  toolkit::Yes | toolkit::No | toolkit::Cancel);
    setBusyCursor(true);
    return b == toolkit::Yes ? Answer::Yes : b == toolkit::No ? Answer::No : Answer::Cancel;
}

int WindowRunHost::askRecordOption(const QString& text)
{
    if (!options_)
        options_ = std::make_unique<reconcile::TF_OpcoesAcao>(mainWindow_);
    setBusyCursor(false);
    const int choice = options_->choose(text);
    setBusyCursor(true);
    return choice;
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
