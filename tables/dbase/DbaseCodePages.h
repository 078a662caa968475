#pragma once

#include <QByteArray>
#include <QString>

namespace quillora::dbase {

// ICU converter name for a language driver byte; empty when the byte names none we can decode.
QString codePageForDriverId(int ldid);
// ICU converter name for a level-7 driver name ("DBWINUS0", "DB437US0", ...); empty if unknown.
QString codePageForDriverName(const QByteArray& name);
// The language driver byte and level-7 driver name written for a code page; 0 / empty when
// the code page has none (the table then relies on readers' defaults).
int driverIdForCodePage(const QString& icuName);
QByteArray driverNameForCodePage(const QString& icuName);

}  // namespace quillora::dbase
