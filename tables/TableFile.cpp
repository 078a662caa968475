#include "tables/TableFile.h"

namespace quillora {

TableFile::~TableFile() = default;

RecordId TableFile::atPosition(qint64 position)
{
    if (position < 1)
        return NoRecord;
    RecordId id = first();
    for (qint64 i = 1; i < position && id != NoRecord; ++i)
        id = next(id);
    return id;
}

qint64 TableFile::position(RecordId id)
{
    qint64 pos = 1;
    for (RecordId r = first(); r != NoRecord; r = next(r), ++pos) {
        if (r == id)
            return pos;
    }
    return -1;
}

QList<Value> TableFile::newRecordValues()
{
    return QList<Value>(fields().size());
}

}  // namespace quillora
