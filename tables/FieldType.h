#pragma once

#include <QString>
#include <QStringList>

namespace quillora {

// Field kinds as the table layer reports them (the names users of the old engine know).
enum FieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftLargeint,
};

QString fieldTypeName(FieldType type);  // "ftString", ...
bool isTextType(FieldType type);        // ftString, ftMemo, ftFmtMemo
bool isBinaryType(FieldType type);      // blobs, graphics, OLE, bytes
bool isIntegerType(FieldType type);     // ftSmallint, ftInteger, ftWord, ftAutoInc, ftLargeint
bool isBlobType(FieldType type);        // kept outside the record: memo, blob, graphic, OLE

// One field of a table as the format describes it.
struct FieldDef {
    QString name;
    FieldType type = ftUnknown;
    int size = 0;      // ftString: width in bytes; ftBCD: digits; ftBytes: bytes; blobs: in-record part
    int decimals = 0;  // numbers stored as text (dBase N/F) and BCD
    bool required = false;
    bool readOnly = false;  // auto-increment and the like: the engine fills it
    char nativeType = 0;    // the format's own type letter or code, for `info`

    // The byte size the old engine reported for a field of this kind (text width plus one).
    int dataSize() const;
};

enum IndexOption {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,
    ixCaseInsensitive = 8,
    ixExpression = 16,
    ixNonMaintained = 32,
    // Marked out of date on disk (a writing session changed the table and did not finish
    // rewriting it): other programs must not trust it until it is written anew.
    ixOutOfDate = 64,
};

struct IndexDef {
    QString name;
    QStringList fields;   // key fields in key order (empty for an expression index)
    QString expression;   // the key expression as stored, for expression indexes
    int options = 0;      // IndexOption bits
    QString fileName;     // the file that holds it, for `info`

    bool has(IndexOption o) const { return (options & o) != 0; }
};

}  // namespace quillora
