// libFuzzer target for the Paradox table reader: the input is a .DB. Every value of every
// record is read, positions are checked both ways, then a record is inserted and one removed,
// so that a hostile file can only ever produce an Error. Then the same input is checked and
// salvaged into a repaired copy, which must pass the check. The family is served from memory
// under a made-up path; the .PX and .MB that writing makes live there too, and go with each run.
#include "tables/Error.h"
#include "tables/check/TableCheck.h"
#include "tables/check/TableRepair.h"
#include "tables/io/FileOps.h"
#include "tables/io/MemoryBackend.h"
#include "tables/paradox/ParadoxTable.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static quillora::io::MemoryBackend memory;
    // The memory backend holds no journal; writes go straight to it.
    static const bool noJournal = qputenv("QUILLORA_NO_JOURNAL", "1");
    (void)noJournal;
    memory.clear();
    memory.maxFileSize = qint64(16) << 20;  // no hostile header makes a file grow past this
    const QString db = QStringLiteral("/mem/T.db");
    memory.put(db, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    quillora::io::ScopedBackend use(memory);
    try {
        quillora::ParadoxTable table(db);
        QByteArray raw;
        qint64 n = 0;
        for (quillora::RecordId id = table.first(); id != quillora::NoRecord; id = table.next(id)) {
            ++n;
            if (table.recordNumber(id) != n || table.atPosition(n) != id)
                __builtin_trap();
            table.read(id, raw);
            for (int i = 0; i < table.fields().size(); ++i) {
                try {
                    (void)table.value(raw, i);
                } catch (const quillora::Error&) {
                    // a blob without its .MB
                }
            }
        }
        if (n != table.count())
            __builtin_trap();
        table.insert(table.newRecordValues(), quillora::NoRecord);
        if (table.count() > 1)
            table.remove(table.atPosition(table.count() / 2 + 1));
        table.flush();
    } catch (const quillora::Error&) {
    }

    // The check reads anything without throwing; the salvaged copy is sound.
    memory.clear();
    memory.put(db, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    (void)quillora::check::checkTable(db);
    const QString copy = QStringLiteral("/mem/R.db");
    bool copied = false;
    try {
        (void)quillora::check::repairToCopy(db, copy);
        copied = true;
    } catch (const quillora::Error&) {
        // nothing could be salvaged (a header that cannot be read, a sort order unknown, ...)
    }
    if (copied && !quillora::check::checkTable(copy).sound())
        __builtin_trap();
    if (!copied && quillora::io::exists(copy))
        __builtin_trap();
    return 0;
}
