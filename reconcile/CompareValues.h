#pragma once

#include "tables/FieldType.h"
#include "tables/Value.h"

namespace quillora {

// Whether a destination value and a source value count as equal for the divergence list.
// Both are brought to one common kind (text, integer, floating point, fixed point with four
// decimals, date-time or boolean) and compared exactly in it; text against text is compared
// character by character, letter case and trailing blanks included. A blank equals only a
// blank. Text read as another kind follows the regional settings; text that cannot be read
// throws the conversion error. The field kinds tell a large integer from an integer.
bool valuesEqual(const Value& destination, FieldType destinationType, const Value& source, FieldType sourceType);

}  // namespace quillora
