#pragma once

#include "tables/Value.h"

#include <QtGlobal>

#include <string>

namespace quillora::dbase {

// Numbers and text as the character-coded fields of a record hold them.

// End of the text of a field once trailing blanks (spaces and NULs) are dropped.
const char* trimEnd(const char* b, const char* e);

// Numeric text as dBase and other writers leave it: blanks around, optional '+', ',' as decimal
// point in some files. False when there is no value ('*' when the number did not fit, blanks).
bool parseDouble(const char* b, const char* e, double* out);
bool parseInteger(const char* b, const char* e, qint64* out);
// The text a user sees for the number a plain numeric field holds ("-4998.75" shown as "-4998,75",
// "5000.00" as "5000" when `floating`), appended to out straight from the field's digits: the same
// text the value read by parseDouble (floating) or parseInteger gives, with `separator` as the
// decimal point; nothing for a blank field. False, with nothing appended, for any text but blanks
// around [-]digits[.digits] of at most 15 significant digits and no exponent in the general
// notation: those take the path through the value.
bool appendPlainNumberText(const char* b, const char* e, bool floating, const std::string& separator,
                           std::string& out);
// A memo block number (digits, blanks around); false when the text is not one. Blank gives 0.
bool parseBlock(const char* b, const char* e, qint64* out);

// The text of a number as a numeric field holds it, with exactly `decimals` places, into buf.
// Returns its length, or -1 when the value is no finite number or needs more than cap bytes.
int numberChars(const Value& v, int decimals, char* buf, int cap);

}  // namespace quillora::dbase
