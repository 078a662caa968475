#include "app/Quillora.h"
#include "app/SessionMemory.h"
#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/Session.h"
#include "tables/engine/Engine.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/PasswordBox.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
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
    QuilloraApplication app(argc, argv);
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
    const int status = app.exec();
    try {
        memory->save();
    } catch (const std::exception&) {
    }
    return status;
}
