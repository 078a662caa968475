#include "cli/Commands.h"
#include "tables/Regional.h"
#include "tables/engine/Engine.h"

#include <QCoreApplication>
#include <QLocale>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillora-cli"));
    quillora::Regional::setCurrent(QLocale::system());
    quillora::registerBuiltinFormats();
    return quillora::cli::cliMain(QCoreApplication::arguments().mid(1));
}
