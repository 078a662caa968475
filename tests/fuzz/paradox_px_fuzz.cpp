// libFuzzer target for the Paradox primary index (.PX) reader: the input is the .PX file.
#include "tables/Error.h"
#include "tables/paradox/ParadoxFormat.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString px = dir.filePath(QStringLiteral("fuzz.px"));
    {
        QFile f(px);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        (void)quillora::readParadoxIndex(px);
    } catch (const quillora::Error&) {
    }
    return 0;
}
