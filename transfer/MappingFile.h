#pragma once

#include <QString>
#include <QStringList>

namespace quillora {

// The mapping list as a file: UTF-8 text, one mapping ("DESTINO=termo") per line. It is what
// `quillora-cli process --map` reads and what the main window saves and opens.

// The list in the file at `path` (a byte-order mark is dropped). Throws an Error in
// Portuguese when it cannot be read, is not UTF-8 or is no text (too large, control bytes).
QString readMappingFile(const QString& path);

// Writes the list's lines to `path`, each ended by a line break, replacing the file whole
// (a failed write leaves the old file). Throws an Error in Portuguese when it cannot.
void writeMappingFile(const QString& path, const QString& list);

// What is wrong with the list's lines, one text per faulty line ("Linha 3: ..."); empty when
// every line can be a mapping. Empty lines are no fault (the operations skip them).
QStringList mappingProblems(const QString& list);

}  // namespace quillora
