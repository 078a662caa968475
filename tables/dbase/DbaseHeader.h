#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

#include "tables/CodePage.h"
#include "tables/Collation.h"
#include "tables/TableFile.h"

namespace quillora::io {
class File;
}

namespace quillora::dbase {

// A field as the record image holds it.
struct DbaseColumn {
    char type = 0;
    int offset = 0;      // in the record image, after the deletion flag
    int length = 0;
    int decimals = 0;
    int descriptor = 0;  // offset of its descriptor in the header
};

// What the header and the field descriptors of a .dbf say, checked.
struct DbaseHeader {
    QByteArray bytes;  // the whole header, terminator included
    quint8 version = 0;
    bool level7 = false;
    int headerLen = 0;
    int recordLen = 0;
    qint64 count = 0;      // records the header counts
    qint64 available = 0;  // whole records the file holds
    int driverId = 0;
    QByteArray driverName;  // level 7 only
    QList<FieldDef> fields;
    std::vector<DbaseColumn> columns;
    std::shared_ptr<const CodePage> codePage;
    QString codePageLabel;
    // The order of character keys (the language driver's).
    const Collation* collation = nullptr;
    bool collationKnown = true;
};

// Reads the header of an open .dbf. codePage overrides the file's language driver when not
// empty. Throws quillora::FileError naming the table: a damaged header, a format that is not
// dBase (FoxPro, Clipper, SQL tables), an unknown field type.
DbaseHeader readDbaseHeader(const io::File& file, const QString& path, const QString& codePage);

}  // namespace quillora::dbase
