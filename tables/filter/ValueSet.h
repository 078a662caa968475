#pragma once

#include <unordered_map>
#include <vector>

#include "tables/Value.h"

namespace quillora::filter {

// The constants of an IN list, or of a chain of equalities on one field joined by OR, in a hash
// table: asking whether a value equals one of them costs the same for a list of 3 or of 40,000.
// Equality is the filter's own (holds() with "="): values that it finds equal hash alike (texts
// by their characters, numbers of every kind by their value, dates and date-times by the moment,
// null with null), and a hit is confirmed by holds() itself.
class ValueSet {
public:
    void add(const Value& v);
    bool contains(const Value& v) const;
    bool empty() const { return values_.empty() && !hasNull_; }

private:
    std::vector<Value> values_;
    std::unordered_multimap<size_t, size_t> byHash_;  // hash -> index in values_
    bool hasNull_ = false;
};

}  // namespace quillora::filter
