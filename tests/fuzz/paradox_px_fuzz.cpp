// libFuzzer target for the Paradox primary index (.PX) reader: the input is the .PX file,
// served from memory under a made-up path.
#include "tables/Error.h"
#include "tables/io/MemoryBackend.h"
#include "tables/paradox/ParadoxFormat.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static quillora::io::MemoryBackend memory;
    memory.clear();
    const QString px = QStringLiteral("/mem/T.px");
    memory.put(px, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    quillora::io::ScopedBackend use(memory);
    try {
        (void)quillora::readParadoxIndex(px);
    } catch (const quillora::Error&) {
    }
    return 0;
}
