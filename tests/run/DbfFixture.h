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

// Tables written by independent programs, for tests of how the operations meet them.
// Perl XBase (libdbd-xbase-perl): a dBase III table; `fields` separated by ',', each
// NAME:C:LEN or NAME:N:LEN:DEC; each record its values separated by '|' (empty: no value);
// `deleted` are record numbers (from 1) that XBase marks deleted. False (with a test failure)
// when XBase failed.
bool haveXBase();
bool makeDbfWithXBase(const QString& path, const QString& fields, const QStringList& records,
                      const QList<int>& deleted = {});
// Perl XBase's reading of every physical record: "ok|v1|v2..." or "DEL|v1|v2...".
QStringList xbaseDump(const QString& path);
// pxlib (through tests/run/px_make.c): an unkeyed Paradox table; `fields` separated by ',',
// each NAME:A:SIZE, NAME:I (Long) or NAME:N (Number); records as for XBase. Alpha values are
// stored exactly as given, trailing blanks included.
bool havePxlibWriter();
bool makeDbWithPxlib(const QString& path, const QString& fields, const QStringList& records);

#define QUILLORA_REQUIRE_XBASE()                                                                      \
    do {                                                                                              \
        if (!::quillora::test::haveXBase())                                                           \
            GTEST_SKIP() << "Perl XBase (libdbd-xbase-perl) is not installed; test skipped";          \
    } while (0)
#define QUILLORA_REQUIRE_PXLIB_WRITER()                                                               \
    do {                                                                                              \
        if (!::quillora::test::havePxlibWriter())                                                     \
            GTEST_SKIP() << "pxlib (pxlib-dev) is not installed; test on tables written by pxlib skipped"; \
    } while (0)

inline FieldDef textField(const char* name, int size) { return FieldDef{QString::fromUtf8(name), ftString, size}; }
inline Value txt(const char* s) { return Value::text(QString::fromUtf8(s)); }

}  // namespace quillora::test
