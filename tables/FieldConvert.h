#pragma once

#include <QString>

#include <string>

#include "tables/FieldType.h"
#include "tables/Value.h"

namespace quillora {

// Conversions between what callers assign and what a field of a given kind holds. Errors
// carry the texts users of the old engine know.

// A value assigned to a field, brought to the field's kind. Throws Error
// "Valor inválido para o campo '%s'" when it cannot be converted.
Value convertForField(const FieldDef& field, const Value& value);

// Text typed for a field, read under the regional settings; "" empties the field.
// Throws "'%s' não é um inteiro válido para o campo '%s'" for integer fields and the
// conversion errors of Regional for the others.
Value parseForField(const FieldDef& field, const QString& text);

// A value as error texts show it: numbers under the regional settings ("99999,99" in
// Brazilian Portuguese), other kinds as Value::debugString gives them.
QString messageValue(const Value& value);
// A number written with a point, as files store it ("99999.99"), with the regional decimal
// separator instead, for error texts.
QString messageNumber(const QString& plainNumber);

// The text users see for a value of the field: "" when empty.
QString displayText(const FieldDef& field, const Value& value);
// The same text appended to out as UTF-8, without making a string of it on the way.
void appendDisplayUtf8(const FieldDef& field, const Value& value, std::string& out);

}  // namespace quillora
