#pragma once

#include <QString>

namespace quillora {
class Table;
}

namespace quillora::workbench {

class WorkbenchHost;

// The six column operations of the processing window. Each rewrites the field (table column
// number) of the records from the table's current one to the last one of its order, asking
// its parameters through the host. Conversion and table errors propagate to the caller.
void leadingZeros(Table& table, WorkbenchHost& host, int field);     // "Zeros a esquerda"
void fillColumn(Table& table, WorkbenchHost& host, int field);       // "Preenche campos"
void cutCharacters(Table& table, WorkbenchHost& host, int field);    // "Corta caracteres"
void numberSequence(Table& table, WorkbenchHost& host, int field);   // "Incrementa valores numéricos"
void recordNumber(Table& table, WorkbenchHost& host, int field);     // "Coloca Recno() ..."
void letterCase(Table& table, WorkbenchHost& host, int field);       // "Mudar a caixa das letras"

// T without the `count` characters that begin at `start` (from 1); unchanged when T is empty,
// start is beyond its end or count is 0 or less.
QString cutText(const QString& text, int start, int count);

// A spin field's text as a number: text that is not a whole number counts as 1; the rest is
// brought into 1 to 99.
int spinValue(const QString& text);

inline const char* const idleStatus = "Processamento de tabelas";

}  // namespace quillora::workbench
