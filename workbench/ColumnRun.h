#pragma once

#include <QString>

#include <functional>

namespace quillora {
class Table;
}

namespace quillora::workbench {

class WorkbenchHost;

// The record loop every column operation shares: from the table's current record to the last
// one of its order, with display updates suspended. For each record: Edit, the operation's
// work, Post when the operation stores explicitly, the move on (which stores a changed pending
// record), the operation's step after the move, a yield to the host, and the progress text.
//
// Each record from the start to the last is visited exactly once, in the order the table had
// when the run started, also when a stored value moves its record within the order.
//
// A table error ends the run at that record: the record in hand is discarded, display updates
// resume, and the error propagates to the caller; records before it keep their new values.
class ColumnRun {
public:
    ColumnRun(Table& table, WorkbenchHost& host, int field);

    // Progress after a move: RecNo * 100 / RecordCount, truncated, above 99 shown as 100.
    static int progressPercent(qint64 recNo, qint64 recordCount);
    static QString progressText(qint64 recNo, qint64 recordCount);

    void run(const std::function<void()>& work, bool post, const std::function<void()>& afterMove = {});

private:
    enum class Walk { Next, Ids, Keys };
    Walk chooseWalk() const;
    void progress();

    Table& table_;
    WorkbenchHost& host_;
    int field_;
};

}  // namespace quillora::workbench
