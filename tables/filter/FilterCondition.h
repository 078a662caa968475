#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

#include "tables/Error.h"
#include "tables/FieldType.h"
#include "tables/TableFile.h"

namespace quillora::filter {

// A faulty condition: the message, and where in the text the fault lies (an index into the
// text, its length for a fault at the end), so that an editor can put the caret there.
class FilterError : public Error {
public:
    FilterError(QString text, qsizetype position) : Error(std::move(text)), position_(position) {}
    qsizetype position() const { return position_; }

private:
    qsizetype position_;
};

class Condition;

// A filter condition compiled against the fields of one table: a tree over field indexes
// that tests raw records without going through the Table's current record.
class CompiledFilter {
public:
    // Gives the index of a field by name (names compare without regard to case) or throws the
    // table's own "field not found" error.
    using FieldLookup = std::function<int(const QString&)>;

    // Compiles a condition; nullptr when the text holds none (blank or only comments), so that
    // every record is visible. Throws FilterError with the message and the place of the fault
    // for a faulty condition (the lookup's own error text included); constants are read under
    // the current regional settings.
    static std::unique_ptr<CompiledFilter> compile(const QString& text, const QList<FieldDef>& fields,
                                                   const FieldLookup& lookup);

    explicit CompiledFilter(std::unique_ptr<Condition> root);
    ~CompiledFilter();

    bool matches(TableFile& file, const QByteArray& raw) const;

private:
    std::unique_ptr<Condition> root_;
};

}  // namespace quillora::filter
