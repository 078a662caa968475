// libFuzzer target for the Paradox blob (.MB) reader and allocator: the input's first 8 bytes
// are a record descriptor (offset|index, length, little-endian), the rest is the .MB file.
// The blob is read, the allocation map listed, then a small and a large blob are written and
// the first one released. The file is served from memory under a made-up path.
#include "tables/Error.h"
#include "tables/io/Endian.h"
#include "tables/io/MemoryBackend.h"
#include "tables/paradox/PxBlob.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    static quillora::io::MemoryBackend memory;
    memory.clear();
    memory.maxFileSize = qint64(16) << 20;
    const QString mb = QStringLiteral("/mem/T.mb");
    memory.put(mb, QByteArray(reinterpret_cast<const char*>(data) + 8, qsizetype(size - 8)));
    quillora::io::ScopedBackend use(memory);
    const quint32 offsetIndex = quillora::io::le32(reinterpret_cast<const char*>(data));
    const quint32 length = quillora::io::le32(reinterpret_cast<const char*>(data) + 4);
    try {
        quillora::MbFile file(mb, 0);
        try {
            const QByteArray blob = file.read(offsetIndex, length);
            if (quint32(blob.size()) != length)
                __builtin_trap();
        } catch (const quillora::Error&) {
        }
        (void)file.usedAreas();
        quint16 mod = 0;
        const quint32 small = file.write(QByteArray(100, 'x'), &mod);
        (void)file.write(QByteArray(5000, 'y'), &mod);
        file.release(small);
        file.flush();
        if (file.read(small, 100) != QByteArray(100, 'x'))
            (void)0;  // released: whatever is there now, reading it must not crash
    } catch (const quillora::Error&) {
    }
    return 0;
}
