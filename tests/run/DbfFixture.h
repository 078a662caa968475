#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "tables/FieldType.h"
#include "tables/Value.h"

namespace quillora::test {

// A dBase table written by our own writer with these fields and records (each record a list
// of values in field order).
void makeDbf(const QString& path, const QList<FieldDef>& fields, const QList<QList<Value>> records = {});
// Every record, each field's AsString text, in table order.
QList<QStringList> rowsOf(const QString& path);
// One field's AsString texts over the records.
QStringList columnOf(const QString& path, const QString& field);

inline FieldDef textField(const char* name, int size) { return FieldDef{QString::fromUtf8(name), ftString, size}; }
inline Value txt(const char* s) { return Value::text(QString::fromUtf8(s)); }

}  // namespace quillora::test
