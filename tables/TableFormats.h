#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "tables/TableFile.h"

namespace quillora {

// The registry of file formats by extension. The engine target registers the built-in ones;
// tests may register formats of their own.
class TableFormats {
public:
    using Opener = std::function<std::unique_ptr<TableFile>(const QString& path)>;

    // extension without the dot, compared without regard to case ("dbf", "db").
    static void add(const QString& extension, Opener opener);
    // Opens the file at path with the format its extension names; throws FileError.
    static std::unique_ptr<TableFile> open(const QString& path);
};

}  // namespace quillora
