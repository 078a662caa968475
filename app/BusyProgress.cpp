#include "app/BusyProgress.h"

#include "tables/Session.h"

#include <QApplication>
#include <QProgressDialog>
#include <QThread>

#include <memory>

namespace quillora::app {

void installBusyProgress()
{
    auto box = std::make_shared<std::unique_ptr<QProgressDialog>>();
    Session::setBusyNotifier([box](const QString& what, int percent) {
        // Work on a thread of its own (a check, a repair) shows its progress in its own window.
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            return;
        if (percent >= 100) {
            box->reset();
            return;
        }
        if (!*box) {
            *box = std::make_unique<QProgressDialog>(what + QStringLiteral("..."), QString(), 0, 100,
                                                     QApplication::activeWindow());
            (*box)->setWindowTitle(QStringLiteral("Quillora"));
            (*box)->setWindowModality(Qt::ApplicationModal);
            (*box)->setMinimumDuration(500);
            (*box)->setAutoClose(false);
            (*box)->setAutoReset(false);
        }
        (*box)->setLabelText(what + QStringLiteral("..."));
        (*box)->setValue(percent);
    });
}

}  // namespace quillora::app
