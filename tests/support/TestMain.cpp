#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include "tables/Regional.h"
#include "tables/engine/Engine.h"

// Every engine test runs under Brazilian Portuguese regional settings, whatever the machine's.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    quillora::Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    quillora::registerBuiltinFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
