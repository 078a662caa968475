// libFuzzer target for the dBase reader and writer: the input is a .dbf, optionally followed by
// the marker "\n--dbt--\n" and the bytes of its .dbt, then optionally "\n--mdx--\n" and the
// bytes of its production .mdx. The family is served from memory under made-up paths. Every
// value of every record is read, then a record is appended and deleted and the table closed
// (indexes rebuilt), so that a hostile file can only ever produce an Error. Before that the
// family is checked and a repaired copy written, which must then pass the check itself.
#include "tables/Error.h"
#include "tables/check/TableCheck.h"
#include "tables/check/TableRepair.h"
#include "tables/dbase/DbaseTable.h"
#include "tables/io/MemoryBackend.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The part of `input` before `marker`, the rest after it in `tail` (empty when absent).
QByteArrayView cut(QByteArrayView input, QByteArrayView marker, QByteArrayView* tail)
{
    const qsizetype at = input.indexOf(marker);
    if (at < 0) {
        *tail = {};
        return input;
    }
    *tail = input.sliced(at + marker.size());
    return input.first(at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static quillora::io::MemoryBackend memory;
    memory.clear();
    memory.maxFileSize = qint64(16) << 20;  // no hostile header makes a file grow past this
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArrayView rest, mdx;
    const QByteArrayView dbf = cut(input, "\n--dbt--\n", &rest);
    QByteArrayView dbt = rest.isNull() ? rest : cut(rest, "\n--mdx--\n", &mdx);
    const QByteArrayView table = rest.isNull() ? cut(dbf, "\n--mdx--\n", &mdx) : dbf;
    memory.put(QStringLiteral("/mem/T.dbf"), table.toByteArray());
    if (!dbt.isNull())
        memory.put(QStringLiteral("/mem/T.dbt"), dbt.toByteArray());
    if (!mdx.isNull())
        memory.put(QStringLiteral("/mem/T.mdx"), mdx.toByteArray());

    quillora::io::ScopedBackend use(memory);
    namespace check = quillora::check;
    (void)check::checkTable(QStringLiteral("/mem/T.dbf"));
    try {
        const QString copy = QStringLiteral("/mem/copy/C.dbf");
        memory.put(QStringLiteral("/mem/copy/.keep"), QByteArray());
        check::repairToCopy(QStringLiteral("/mem/T.dbf"), copy);
        const check::CheckReport report = check::checkTable(copy);
        if (!report.sound()) {
            for (const check::Fault& f : report.faults)
                std::fprintf(stderr, "%s\n", qPrintable(check::formatFault(f)));
            std::abort();  // a repaired copy must pass the check
        }
    } catch (const quillora::Error&) {
    }
    try {
        quillora::dbase::DbaseTable t(QStringLiteral("/mem/T.dbf"));
        (void)t.indexes();
        QByteArray raw;
        qint64 seen = 0;
        for (auto id = t.first(); id != quillora::NoRecord && seen < 20000; id = t.next(id), ++seen) {
            t.read(id, raw);
            for (int f = 0; f < t.fields().size(); ++f) {
                try {
                    (void)t.value(raw, f);
                } catch (const quillora::Error&) {
                }
            }
        }
        (void)t.count();
        if (auto last = t.last(); last != quillora::NoRecord)
            (void)t.prior(last);
        t.beginWrite();
        const auto id = t.insert(QList<quillora::Value>(t.fields().size()), quillora::NoRecord);
        t.remove(id);
        t.flush();
    } catch (const quillora::Error&) {
    }
    return 0;
}
