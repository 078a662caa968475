#include "cli/Commands.h"
#include "tables/Regional.h"
#include "tables/Session.h"
#include "tables/engine/Engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillora-cli"));
    quillora::Regional::setCurrent(QLocale::system());
    quillora::registerBuiltinFormats();
    // Work of the engine's own that lasts (indexes rebuilt when a table closes) is told on
    // standard error once it has taken a second, then every tenth of the way.
    QElapsedTimer busyClock;
    int busyShown = -1;
    quillora::Session::setBusyNotifier([&](const QString& what, int percent) {
        if (percent == 0) {
            busyClock.start();
            busyShown = -1;
            return;
        }
        if (busyClock.elapsed() < 1000 || (percent < 100 && busyShown >= 0 && percent / 10 == busyShown / 10))
            return;
        busyShown = percent;
        std::fprintf(stderr, "%s... %d%%\n", qPrintable(what), percent);
        std::fflush(stderr);
    });
    return quillora::cli::cliMain(QCoreApplication::arguments().mid(1));
}
