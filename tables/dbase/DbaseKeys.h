#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <map>
#include <memory>
#include <vector>

#include "tables/TableFile.h"
#include "tables/dbase/DbaseCodec.h"
#include "tables/dbase/DbaseExpression.h"
#include "tables/dbase/DbaseHeader.h"

namespace quillora::dbase {

// The key expressions of a table's index tags: parsed against its fields, evaluated on record
// images as dBase evaluates them (each field read through its codec).
class DbaseKeys {
public:
    DbaseKeys(const QString& tablePath, const DbaseHeader& head, const DbaseTextRules& rules,
              const std::vector<std::unique_ptr<DbaseFieldCodec>>& codecs);

    // Throws Error saying what is not understood.
    DbaseExpression parse(const QString& expression) const;
    ExprValue evaluate(const DbaseExpression& expression, RecordId id, const QByteArray& raw) const;
    // The key of a record for a tag listed with an expression, in the tag's order.
    QByteArray expressionKey(const IndexDef& index, RecordId id, const QByteArray& raw);
    // A tag listed with a FOR condition holds only some records: ordering by it is refused.
    void noteFiltered(const QString& listedExpression) { filtered_.insert(listedExpression); }

private:
    // A field of a raw image as key expressions see it (character fields blank padded).
    ExprValue field(const QByteArray& raw, int field) const;

    QString path_;
    const DbaseHeader& head_;
    const DbaseTextRules& rules_;
    const std::vector<std::unique_ptr<DbaseFieldCodec>>& codecs_;
    // Key expressions already parsed, by their text.
    std::map<QString, std::shared_ptr<const DbaseExpression>> parsed_;
    QSet<QString> filtered_;
};

}  // namespace quillora::dbase
