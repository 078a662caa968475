#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "tables/TableFile.h"
#include "tables/dbase/DbaseExpression.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseTagPlan.h"

namespace quillora::dbase {

class DbaseRecordFile;

// Keeps a table's indexes (the tags of the production .mdx and the .ndx beside it) up to date
// while the table is written. Whether every one of them can be kept is decided once, when the
// table opens; writing is refused for the reason found then.
class DbaseIndexUpkeep {
public:
    // A key expression parsed against the table's fields, and its value on a record image.
    using Parse = std::function<DbaseExpression(const QString&)>;
    using Evaluate = std::function<ExprValue(const DbaseExpression&, RecordId, const QByteArray&)>;

    DbaseIndexUpkeep(const QString& tablePath, DbaseHeader& head, DbaseRecordFile& records, Parse parse,
                     Evaluate evaluate);

    // Finds the indexes and how to keep each one, or why one cannot be kept. Never throws.
    void plan();
    // Throws the reason plan() found when writes could not keep an index.
    void requireKeepable() const;
    // The tags of the production .mdx and of the .ndx of the same name, as TableFile::indexes()
    // lists them (see DbaseTable); `filtered` gets the listed expressions of tags with a FOR
    // condition. A damaged index file is listed by its name, not maintained.
    QList<IndexDef> listed(QStringList* filtered) const;
    // Why a tag cannot be kept up to date; empty when it can.
    QString tagProblem(const DbaseTagInfo& tag, bool ndx) const { return problem(tag, ndx, nullptr); }
    // The key a rebuild writes for a record of one tag, and bytes whose byte order is the tag's
    // order (for checks that compare an index file with the records); returns false, leaving the
    // key alone, for a record the tag's FOR condition leaves out. Throws Error: why the tag
    // cannot be kept, or why a record's key cannot be made.
    using RecordKey = std::function<bool(RecordId, const QByteArray& raw, QByteArray& key, QByteArray& order)>;
    RecordKey recordKey(const DbaseTagInfo& tag, bool ndx);

    // When a writing session begins (the header just read again): indexes a session that did
    // not finish left marked out of date are written anew at the end of this one.
    void resumeSession();
    // Before the first change of a session: no index may claim to be current while it is not.
    void markStale();
    // Before a record is rewritten in place: marks the indexes out of date only when the new
    // image changes what some index holds for the record (its key, or whether a FOR condition
    // takes it), so that runs rewriting fields no index uses leave the indexes as they are.
    void markStaleIfKeysChange(RecordId id, const QByteArray& before, const QByteArray& after);
    // At the end of a session that changed records: every kept index written anew from the
    // records, then marked current again.
    void rebuildIfStale();

private:
    // An index kept up to date on writes: a tag of the production .mdx, or the .ndx.
    using Plan = DbaseTagPlan;

    QString problem(const DbaseTagInfo& tag, bool ndx, Plan* plan) const;
    // Whether the table's header marks its production .mdx out of date.
    bool mdxMarkedOutOfDate(const QString& mdx) const;
    // The indexes to keep; throws the reason when one of them cannot be kept.
    void planFiles();
    // The key of a record as the index file stores it; true when `order` holds bytes whose byte
    // order is the index's order (else the key's own bytes are).
    bool indexKey(const Plan& plan, bool ndx, RecordId id, const QByteArray& raw, QByteArray& key,
                  QByteArray& order);
    // Whether a record belongs in a tag: true unless the tag's FOR condition fails on it.
    bool inTag(const Plan& plan, RecordId id, const QByteArray& raw);
    void rebuild();

    QString path_;
    DbaseHeader& head_;
    DbaseRecordFile& records_;
    Parse parse_;
    Evaluate evaluate_;
    std::exception_ptr refusal_;

    QString mdxPath_;
    bool mdxProduction_ = false;  // byte 28 is set again once the .mdx is current
    std::vector<Plan> mdxPlan_;
    QString ndxPath_;       // where the .ndx belongs
    QString ndxStalePath_;  // where it waits while it is out of date
    std::vector<Plan> ndxPlan_;
    bool stale_ = false;
};

}  // namespace quillora::dbase
