#pragma once

#include <QString>

#include "tables/FieldType.h"
#include "tables/Value.h"

namespace quillora {

class Table;

// One field of an open Table, reading and writing the table's current record.
class Field {
public:
    Field(Table* table, int index, const FieldDef& def) : table_(table), index_(index), def_(def) {}

    const QString& FieldName() const { return def_.name; }
    FieldType DataType() const { return def_.type; }
    int DataSize() const { return def_.dataSize(); }
    int Index() const { return index_; }
    const FieldDef& def() const { return def_; }

    // The typed value of the current record; null when the field is empty.
    quillora::Value Value() const;
    // Assigns a value of any kind: converted to the field's kind, text cut to the width.
    void SetValue(const quillora::Value& value);
    bool IsNull() const { return Value().isNull(); }

    // The text users see ("" when empty); setting parses it for the field's kind.
    QString AsString() const;
    void SetAsString(const QString& text);

    void Clear() { SetValue(quillora::Value()); }

private:
    Table* table_;
    int index_;
    FieldDef def_;
};

}  // namespace quillora
