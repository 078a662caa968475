#pragma once

#include <QString>

namespace quillora::test {

// The small pair of tables the run-result tests share, both written by Perl XBase:
//   source  COD C6, NOME C10, QTD C5:  "1|Ana|5", "2|Bia|6", "3|Caio|7", "4,1|Davi|abc"
//   dest    CODIGO C6, NOME C10, QTD N3: "1|Ana|5", "2|Bete|6", "4,1|Dora|8", "7|Gil|1"
// With "CODIGO=COD / NOME=NOME / QTD=QTD" record 1 matches unchanged, 2 matches with another
// name, 3 has no partner, 4 matches but its QTD is no number (every write of it fails), and
// the destination's 7 is reached by no source record. False when XBase failed.
bool makeResultTables(const QString& source, const QString& destination);

inline const char* resultMapping() { return "CODIGO=COD\nNOME=NOME\nQTD=QTD\n"; }

}  // namespace quillora::test
