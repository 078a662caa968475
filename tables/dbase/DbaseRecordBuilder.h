#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

#include "tables/dbase/DbaseCodec.h"
#include "tables/dbase/DbaseHeader.h"

namespace quillora::dbase {

class DbaseMemo;

// Record images built from values, each field through its codec. Every value is checked before
// the first byte of the image is written; memo data goes to the memo store after that.
class DbaseRecordBuilder {
public:
    DbaseRecordBuilder(const QString& tablePath, const DbaseHeader& head,
                       const std::vector<std::unique_ptr<DbaseFieldCodec>>& codecs, DbaseMemo& memo);

    // An empty record image (flag, blanks, zero bytes for binary fields) to start inserts from.
    const QByteArray& blank() const { return blank_; }
    // A value as the field will hold it; throws Error when it cannot.
    Value normalize(int field, const Value& value) const;
    // Writes the values into the image `rec`. An insert (changed null) gives the auto-increment
    // fields `autoInc`; an update writes only the fields `changed` marks and keeps them.
    void build(char* rec, const QList<Value>& values, const QList<bool>* changed, qint64 autoInc) const;

private:
    // A normalized value into its place; memo data is handed back in memoOut.
    void encodeField(int field, const Value& v, char* dst, QByteArray* memoOut) const;

    QString path_;
    const DbaseHeader& head_;
    const std::vector<std::unique_ptr<DbaseFieldCodec>>& codecs_;
    DbaseMemo& memo_;
    QByteArray blank_;
};

}  // namespace quillora::dbase
