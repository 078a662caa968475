#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

#include "tables/Value.h"
#include "tables/paradox/ParadoxTable.h"

namespace quillora::test {

// The table's records, all fields, in file order.
QList<QList<Value>> readAll(TableFile& t);
// The records as text the way px_dump prints them (hex text, ISO dates, ...), for comparing
// with pxlib.
QStringList dumpLikePxlib(ParadoxTable& t);
// px_dump's record lines for a table; empty with *why set when pxlib is not available or failed.
// With indexPath, pxlib finds the records through that primary index.
bool pxlibDump(const QString& path, QStringList* records, QString* why, const QString& indexPath = {});
// A record of values for insert().
QList<Value> row(std::initializer_list<Value> values);

}  // namespace quillora::test

#define QUILLORA_REQUIRE_PXLIB()                                                                   \
    do {                                                                                           \
        if (QStringLiteral(QUILLORA_PX_DUMP).isEmpty())                                            \
            GTEST_SKIP() << "pxlib (pxlib-dev) is not installed; comparison with pxlib skipped";   \
    } while (0)
