#pragma once

// Field values in the record image of a Paradox table: read out of it, checked against their
// field and written into it, blobs through the table's .MB.

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

#include "tables/Value.h"
#include "tables/paradox/ParadoxHeader.h"

namespace quillora {
class MbFile;
}

namespace quillora::px {

class RecordCodec {
public:
    // The table's .MB, opened on first use; for writing it is made when missing.
    using BlobFile = std::function<MbFile&(bool forWrite)>;
    RecordCodec(const TableHeader& header, const QString& path, BlobFile mb);

    Value decode(const QByteArray& raw, int field);
    // The key of a text in the order of the table's language driver (which must be known).
    QByteArray alphaSortKey(const QString& text) const;
    // The value as the field will hold it; throws ConvertError when it does not fit.
    Value normalize(int field, const Value& value) const;
    // The values of the fields, blobs left out: those are written only once the record is sure
    // to be stored (encodeBlobs). With `changed`, only the fields marked; `old` is the record's
    // image before the change.
    void encodeFields(const QList<Value>& values, const QList<bool>* changed, QByteArray& rec, const QByteArray* old);
    // The blobs, the same way: a changed value always written anew and the old one released.
    void encodeBlobs(const QList<Value>& values, const QList<bool>* changed, QByteArray& rec, const QByteArray* old);
    // Throws when a field that must have a value has none (`p`: the field in the new record).
    void checkRequired(int field, const char* p, const QList<Value>& values) const;
    // Throws when the field's value lies outside the range of the .VAL.
    void checkRange(int field, const char* p);
    // A new record's values: the defaults of the .VAL.
    QList<Value> defaultValues();
    // Gives back the .MB space of the blobs of a record that goes away.
    void releaseBlobs(const QByteArray& rec);

private:
    void encode(bool blobs, const QList<Value>& values, const QList<bool>* changed, QByteArray& rec, const QByteArray* old);
    void encodeField(int field, const Value& value, char* p, const char* oldP);
    void releaseBlob(const FieldDesc& f, const char* p);

    const TableHeader& h_;
    QString path_;
    BlobFile mb_;
};

}  // namespace quillora::px
