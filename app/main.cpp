#include "app/AboutBox.h"
#include "app/BusyProgress.h"
#include "app/Quillora.h"
#include "app/SessionMemory.h"
#include "app/StartArguments.h"
#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/Session.h"
#include "tables/engine/Engine.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/PasswordBox.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTextStream>
#include <QTranslator>

#include <memory>

namespace {

// Errors that escape a handler end it there and are shown in the default error box; the
// program goes on.
class QuilloraApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const quillora::Error& e) {
            quillora::toolkit::showErrorBox(activeWindow(), e.text());
        } catch (const std::exception& e) {
            quillora::toolkit::showErrorBox(activeWindow(), QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // --version and --help answer without a display.
    QStringList plainArgs;
    for (int i = 1; i < argc; ++i)
        plainArgs << QString::fromLocal8Bit(argv[i]);
    const quillora::app::StartArguments early = quillora::app::parseStartArguments(plainArgs);
    if (early.action == quillora::app::StartArguments::Action::PrintVersion) {
        QTextStream(stdout) << quillora::app::versionLine() << '\n';
        return 0;
    }
    if (early.action == quillora::app::StartArguments::Action::PrintHelp) {
        QTextStream(stdout) << quillora::app::startUsage();
        return 0;
    }

    QuilloraApplication app(argc, argv);
    // Qt has taken its own options (-platform, -style, ...) out by now.
    const quillora::app::StartArguments start = quillora::app::parseStartArguments(app.arguments().mid(1));
    if (start.action == quillora::app::StartArguments::Action::BadUsage) {
        QTextStream(stderr) << "quillora: " << start.error << '\n' << quillora::app::startUsage();
        return 2;
    }
    // The desktop entry's name, so that the desktop groups the window under its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillora.Quillora"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quillora"), quillora::app::programIcon()));
    // No display name: window titles are exactly the windows' own captions.
    quillora::toolkit::nameApplication();

    // Qt's own texts (file dialog) in the user's language where a translation exists.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    quillora::Regional::setCurrent(QLocale::system());
    quillora::registerBuiltinFormats();
    // Protected Paradox tables ask for their password in the toolkit's masked box.
    quillora::Session::setPasswordPrompt(quillora::toolkit::tablePasswordPrompt());
    quillora::app::installBusyProgress();

    std::unique_ptr<quillora::app::TF_Principal> principal(quillora::app::createWindows());
    // The last session's tables, list, operation, keys and filter, without opening a table.
    using quillora::app::SessionMemory;
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, SessionMemory::organization(),
                       SessionMemory::application());
    auto* memory = new SessionMemory(*principal, settings);
    try {
        memory->restore();
    } catch (const std::exception&) {
        // Settings that cannot be used are no reason not to start.
    }
    principal->show();
    if (!start.sourceTable.isEmpty())
        principal->openSourceTable(start.sourceTable);  // a table given to open wins over the remembered one
    const int status = app.exec();
    try {
        memory->save();
    } catch (const std::exception&) {
    }
    return status;
}
