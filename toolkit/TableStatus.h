#pragma once

#include <QString>

namespace quillora {
class Table;
}

namespace quillora::toolkit {

// What a window over a table says of it in its status line: the record count with the
// regional group separator, and the order and the filter when there are any, e.g.
// "1.234 registros — ordem: NOME — filtro: NOME = 'X'". Empty for a closed table.
QString tableStatusText(Table& table);

// The order and filter part alone (" — ordem: NOME — filtro: ..."), empty when neither is set.
QString orderAndFilterText(const Table& table);

}  // namespace quillora::toolkit
