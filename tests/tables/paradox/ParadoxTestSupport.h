#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
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

namespace quillora::test {
// Adds an empty maintained secondary index to a keyed table whose key is its first field, a
// Long: the .X (indexed fields, the key, Blk Num) and its .Y laid out as Paradox does, made as
// a keyed table by the engine and then given the index's header marks. `fieldNumbers` are the
// table's numbers of the indexed fields (bit 15 = descending); a non-empty name makes a
// composite .XGn with `options` in its header.
void addSecondaryIndex(const QString& table, const QString& ext, const QList<FieldDef>& indexed, const QList<int>& fieldNumbers,
                       const QByteArray& name = {}, int options = 0);
}  // namespace quillora::test

namespace quillora::test {
// How a write run in a child process ended.
enum class ChildEnd { Stopped, Threw, Finished, Other };
// Runs `write` in a child process and waits for it: Stopped when the child stopped itself with
// stopHere() (as the machine stopping would: nothing more reaches the disk), Threw when the
// write threw, Finished when it returned, Other for a signal or a failed fork.
ChildEnd runInChild(const std::function<void()>& write);
// Ends the child at once, without unwinding or flushing anything.
[[noreturn]] void stopHere();
// In the child: stops when the table reaches this step of writing a change
// (ParadoxTable::writeStepHook).
void stopAtWriteStep(int step);
}  // namespace quillora::test
