#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

#include "tables/FieldType.h"
#include "tables/TableFile.h"

namespace quillora::filter {

class Condition;

// A filter condition compiled against the fields of one table: a tree over field indexes
// that tests raw records without going through the Table's current record.
class CompiledFilter {
public:
    // Gives the index of a field by name (names compare without regard to case) or throws the
    // table's own "field not found" error.
    using FieldLookup = std::function<int(const QString&)>;

    // Compiles a condition; nullptr when the text holds none (blank or only comments), so that
    // every record is visible. Throws Error with the message for a faulty condition; constants
    // are read under the current regional settings.
    static std::unique_ptr<CompiledFilter> compile(const QString& text, const QList<FieldDef>& fields,
                                                   const FieldLookup& lookup);

    explicit CompiledFilter(std::unique_ptr<Condition> root);
    ~CompiledFilter();

    bool matches(TableFile& file, const QByteArray& raw) const;

private:
    std::unique_ptr<Condition> root_;
};

}  // namespace quillora::filter
