#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "tables/TableFile.h"
#include "tables/Value.h"

namespace quillora::test {

// A field definition for createDbaseTable.
FieldDef fieldDef(const char* name, FieldType type, int size = 0, int decimals = 0);
// A value in the form dbf_oracle.py prints: "null", "s:..", "n:..", "b:..", "d:..", "t:..", "x:..".
QString show(const Value& v);
// Every visible record of a table, each as shown values.
QList<QStringList> readVisible(TableFile& table);
// One field's values over the visible records.
QStringList column(TableFile& table, const QString& field);
// The values python3-dbfread reads (see dbf_oracle.py); {"error": ..} when it cannot.
QJsonObject dbfreadOracle(const QString& path, const QString& encoding, bool skipMemos = false);
// Same meaning, numbers compared as numbers.
bool sameShown(const QString& ours, const QString& theirs);
// The ICU code page a table reports (first word of codePageName()).
QString codePageOf(const TableFile& table);

// XSQL.DBF and its .mdx copied into dir, tag NAMETAG given a FOR condition (by default
// QTY > 0: it then holds only some records); returns the table's path.
QString copyTableWithForTag(const QString& dir, const QByteArray& condition = "QTY > 0");

}  // namespace quillora::test
