// libFuzzer target for the dBase reader: the input is a .dbf, optionally followed by the marker
// "\n--dbt--\n" and the bytes of its .dbt. Every value of every record is read, then a record
// is appended, so that a hostile file can only ever produce an Error.
#include "tables/Error.h"
#include "tables/dbase/DbaseTable.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

namespace {

void put(const QString& path, QByteArrayView bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes.data(), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString dbf = dir.filePath(QStringLiteral("fuzz.dbf"));
    const QString dbt = dir.filePath(QStringLiteral("fuzz.dbt"));
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QByteArray marker("\n--dbt--\n");
    const qsizetype cut = input.indexOf(marker);
    QFile::remove(dbt);
    if (cut >= 0) {
        put(dbf, input.first(cut));
        put(dbt, input.sliced(cut + marker.size()));
    } else {
        put(dbf, input);
    }
    try {
        quillora::dbase::DbaseTable table(dbf);
        QByteArray raw;
        qint64 seen = 0;
        for (auto id = table.first(); id != quillora::NoRecord && seen < 20000; id = table.next(id), ++seen) {
            table.read(id, raw);
            for (int f = 0; f < table.fields().size(); ++f) {
                try {
                    (void)table.value(raw, f);
                } catch (const quillora::Error&) {
                }
            }
        }
        (void)table.count();
        if (auto last = table.last(); last != quillora::NoRecord)
            (void)table.prior(last);
        table.beginWrite();
        const auto id = table.insert(QList<quillora::Value>(table.fields().size()), quillora::NoRecord);
        table.remove(id);
    } catch (const quillora::Error&) {
    }
    return 0;
}
