#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <QSet>

#include <map>
#include <memory>
#include <vector>

#include "tables/CodePage.h"
#include "tables/Collation.h"
#include "tables/TableFile.h"
#include "tables/dbase/DbaseCodec.h"
#include "tables/dbase/DbaseExpression.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseIndexUpkeep.h"
#include "tables/dbase/DbaseKeys.h"
#include "tables/dbase/DbaseMemo.h"
#include "tables/dbase/DbaseRecordBuilder.h"
#include "tables/dbase/DbaseRecordFile.h"
#include "tables/io/File.h"

namespace quillora::dbase {

// One .dbf (and its .dbt) opened in place. Record ids are the physical record numbers (from 1).
class DbaseTable : public TableFile {
public:
    // codePage overrides the file's language driver when not empty.
    explicit DbaseTable(const QString& path, const QString& codePage = {});
    ~DbaseTable() override;

    QString path() const override { return path_; }
    QString formatName() const override;
    QString codePageName() const override;
    const QList<FieldDef>& fields() const override { return head_.fields; }
    // The tags of the production .mdx and the .ndx of the same name. A tag on one field is
    // listed by that field; any other key is an expression index (ixExpression). Writes keep
    // them all up to date (a tag with a FOR condition holds the records that meet it); a tag
    // they cannot keep (expression or condition not understood, unknown text order) is
    // ixNonMaintained, and beginWrite() refuses naming it. An index marked out of date on disk
    // (see DbaseIndexUpkeep) is also ixOutOfDate.
    QList<IndexDef> indexes() const override;
    // Keys in the order dBase keeps them in its indexes: C by the language driver on the
    // blank-padded code-page bytes, N/F by number (blank = 0), D by date.
    QByteArray sortKey(int field, const Value& value) override;
    // The key of a record for a tag whose key is an expression, evaluated as dBase does.
    QByteArray expressionKey(const IndexDef& index, RecordId id, const QByteArray& raw) override;

    RecordId first() override;
    RecordId last() override;
    RecordId next(RecordId id) override;
    RecordId prior(RecordId id) override;
    qint64 count() override;
    // Without deleted records a position is the record's number: no walk from the first.
    RecordId atPosition(qint64 position) override;
    qint64 position(RecordId id) override;
    qint64 recordNumber(RecordId id) override { return id; }
    // Physical order is the natural order.
    bool precedes(RecordId a, RecordId b) override { return a < b; }

    void read(RecordId id, QByteArray& raw) override;
    Value value(const QByteArray& raw, int field) override;
    bool appendDisplayUtf8(const QByteArray& raw, int field, const Regional& regional, std::string& out) override;

    void beginWrite() override;
    Value normalize(int field, const Value& value) override;
    RecordId insert(const QList<Value>& values, RecordId before) override;
    RecordId update(RecordId id, const QList<Value>& values, const QList<bool>& changed) override;
    RecordId remove(RecordId id) override;
    // Writes the buffered appends, then every index anew (see DbaseIndexUpkeep).
    void flush() override;
    // Writes every kept index anew from the records (a repair that changed the record count).
    void rebuildIndexes();

    // Records the header counts (deleted ones included) and how many the file really holds.
    qint64 physicalCount() const { return records_.count(); }
    bool isDeleted(RecordId id);
    // How the indexes are kept (and the keys a rebuild writes, for checks).
    DbaseIndexUpkeep& indexUpkeep() { return *upkeep_; }
    // A key expression evaluated on a record image, as dBase evaluates it.
    ExprValue evaluate(const DbaseExpression& expression, RecordId id, const QByteArray& raw);

private:
    using Column = DbaseColumn;

    void openFile();
    char flagOf(qint64 rec, bool backward = false) { return *records_.record(rec, backward); }
    // Writes the buffered appends, then the header count that makes them visible.
    void writePending();

    // The first change of a session dates the header.
    void stampDate();
    void writeHeaderCount();
    void writeHeaderDate();
    void requireWritable() const;
    void checkId(RecordId id) const;

    QString path_;
    QString overrideCodePage_;
    // The .dbf's records and the .dbt; every read after a write goes through the handle that
    // wrote.
    DbaseRecordFile records_;
    DbaseMemo memo_;
    bool writable_ = false;
    bool dateWritten_ = false;
    QDate today_;

    // The header as read, kept current where writes change it (date, count, index flag).
    DbaseHeader head_;
    // The code page and memo store the codecs share, and one codec per column.
    std::unique_ptr<DbaseTextRules> rules_;
    std::vector<std::unique_ptr<DbaseFieldCodec>> codecs_;
    // Record images from values, through the codecs.
    std::unique_ptr<DbaseRecordBuilder> builder_;
    // Fewer records in the file than the header counts.
    bool truncated_ = false;
    // The key expressions of the index tags.
    std::unique_ptr<DbaseKeys> keys_;

    // The .mdx and .ndx kept up to date on writes.
    std::unique_ptr<DbaseIndexUpkeep> upkeep_;

    qint64 visible_ = -1;
    qint64 nextAutoInc_ = -1;
    bool autoIncDirty_ = false;

};

}  // namespace quillora::dbase
