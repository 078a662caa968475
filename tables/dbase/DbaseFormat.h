#pragma once

#include <QList>
#include <QString>

#include <memory>

#include "tables/FieldType.h"
#include "tables/TableFile.h"

namespace quillora {

// Registers ".dbf" with TableFormats.
void registerDbaseFormat();

// The header layout a new table is written in.
enum class DbaseLevel {
    III,     // dBase III+: version 0x03, or 0x83 with a dBase III memo file
    IV,      // dBase IV/5: version 0x03, or 0x8B with a dBase IV memo file
    Level7,  // dBase 7: version 0x04, or 0x8C with a dBase IV memo file
};

// Code page used for tables that do not name theirs (language driver 0 or one we do not know).
// dBase III files of that kind were written under DOS; 850 is the usual one here.
void setDbaseDefaultCodePage(const QString& icuName);
QString dbaseDefaultCodePage();

// Opens a .dbf; codePage (an ICU converter name) overrides what the file says, for files whose
// language driver is missing or wrong.
std::unique_ptr<TableFile> openDbaseTable(const QString& path, const QString& codePage = {});

// Writes a new, empty table (and an empty .dbt when a field keeps its data in one). Fails when
// the file already exists. Field kinds map to dBase types as:
//   ftString -> C(size), ftSmallint -> N(4), ftInteger -> N(9) (level 7: I), ftFloat -> N(size or
//   20, decimals), ftDate -> D, ftBoolean -> L, ftMemo -> M, ftBlob -> B, ftDBaseOle/ftGraphic -> G,
//   ftAutoInc -> + and ftDateTime -> @ (level 7 only).
// FieldDef::nativeType, when set, picks the dBase letter directly (size/decimals give the width).
// codePage is an ICU converter name ("IBM850", "windows-1252", ...); it sets the language driver.
void createDbaseTable(const QString& path, const QList<FieldDef>& fields, DbaseLevel level,
                      const QString& codePage = QStringLiteral("IBM850"));

}  // namespace quillora
