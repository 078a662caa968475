#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <string>

#include "tables/FieldType.h"
#include "tables/Value.h"

namespace quillora {

class Regional;

// Identifies one record of an open table file for as long as nothing is written: dBase uses
// the physical record number, Paradox a block and slot. After a write only the ids returned
// by that write are valid.
using RecordId = qint64;
inline constexpr RecordId NoRecord = -1;

// Physical access to one table file of one format. The Table dataset adds cursor, edit buffer,
// order and filter on top of it, the same for every format.
//
// All failures are thrown as Error (FileError for damaged, missing or locked files,
// KeyViolation for duplicate keys), with texts that name the file where it helps the user.
class TableFile {
public:
    virtual ~TableFile();

    // --- What the table is -------------------------------------------------------------
    virtual QString path() const = 0;
    virtual QString formatName() const = 0;    // "dBase III+ com memo", "Paradox 7"
    virtual QString codePageName() const = 0;  // the code page (and driver) for `info`
    virtual const QList<FieldDef>& fields() const = 0;
    virtual QList<IndexDef> indexes() const { return {}; }

    // --- Natural order over the records that are not deleted -----------------------------
    virtual RecordId first() = 0;
    virtual RecordId last() = 0;
    virtual RecordId next(RecordId id) = 0;   // NoRecord after the last
    virtual RecordId prior(RecordId id) = 0;  // NoRecord before the first
    virtual qint64 count() = 0;               // visible records
    // The record number users see: the physical number for dBase, the position (from 1) in the
    // file's order for Paradox.
    virtual qint64 recordNumber(RecordId id) = 0;
    // The record at a position (from 1) of the natural order; NoRecord when out of range.
    // The default walks from the first record; formats that can do better override it.
    virtual RecordId atPosition(qint64 position);
    // The position (from 1) of a record in the natural order. The default walks from the first.
    virtual qint64 position(RecordId id);
    // Whether record a comes before record b in the natural order.
    virtual bool precedes(RecordId a, RecordId b) { return position(a) < position(b); }
    // Changes whenever a write moved records other than the one written (so that ids held
    // elsewhere are no longer valid): keyed formats that split and merge blocks bump it.
    virtual quint64 idGeneration() const { return 0; }
    // Finds the record whose primary key (the leading key fields, in order) holds these values
    // by the file's own key order. False when the format keeps no such order; otherwise *id is
    // the record or NoRecord.
    virtual bool findPrimaryKey(const QList<Value>& key, RecordId* id)
    {
        (void)key;
        (void)id;
        return false;
    }
    // Whether recordNumber() is the position in the current order (Paradox) rather than a
    // number that stays with the record (dBase's physical number).
    virtual bool recordNumberIsPosition() const { return false; }
    // Bytes whose byte order is the format's key order for a value of the field (text by the
    // table's sort order). The default orders text by code point, numbers and dates by value;
    // nulls come first. Used to order records by an index in memory.
    virtual QByteArray sortKey(int field, const Value& value);
    // The key of a record for an index whose key is an expression (ixExpression): bytes whose
    // byte order is the index's order. Throws an Error when the expression cannot be evaluated;
    // the default knows no expressions.
    virtual QByteArray expressionKey(const IndexDef& index, RecordId id, const QByteArray& raw);

    // --- Reading ------------------------------------------------------------------------
    // The raw image of a record; only value() interprets it.
    virtual void read(RecordId id, QByteArray& raw) = 0;
    // One field's value out of a raw image (memos and blobs are fetched here).
    virtual Value value(const QByteArray& raw, int field) = 0;
    // The text the user sees for one field of a raw image (what appendDisplayUtf8() makes of
    // value()), appended to out as UTF-8 without decoding the value, for writers of many values;
    // false (nothing appended) where the format has no such shortcut for this field or value.
    virtual bool appendDisplayUtf8(const QByteArray& raw, int field, const Regional& regional, std::string& out)
    {
        Q_UNUSED(raw);
        Q_UNUSED(field);
        Q_UNUSED(regional);
        Q_UNUSED(out);
        return false;
    }

    // --- Writing ------------------------------------------------------------------------
    // Called before the first change: takes the write lock and checks that the table may be
    // written (no stale index left behind, no unknown sort order, ...); throws the reason.
    virtual void beginWrite() = 0;
    // Brings a value already converted to the field's kind into the form the file can store
    // (text cut to its width, numbers checked against the field's width, text checked against
    // the code page). Throws an Error naming the problem.
    virtual Value normalize(int field, const Value& value) = 0;
    // Values a new record starts with (defaults of validity checks); nulls by default.
    virtual QList<Value> newRecordValues();
    // Stores a new record. `before` is the record it was inserted before, for formats that
    // keep user order; keyed and append-only formats ignore it. Returns the new record's id.
    virtual RecordId insert(const QList<Value>& values, RecordId before) = 0;
    // Stores the changed fields of a record; returns its (possibly new) id.
    virtual RecordId update(RecordId id, const QList<Value>& values, const QList<bool>& changed) = 0;
    // Deletes a record; returns the id of the record that followed it, or NoRecord.
    virtual RecordId remove(RecordId id) = 0;
    // Makes every change durable and consistent on disk (indexes included). Also done when
    // the object is destroyed.
    virtual void flush() {}
};

}  // namespace quillora
