#pragma once

#include <QObject>

class QSettings;

namespace quillora::app {

class TF_Principal;

// What the main window remembers between sessions, in the settings given: the two table
// paths, the mapping list, the operation, the two keys, the filter and each file box's recent
// tables. Restoring fills the window and binds the tables without opening them (the user opens
// them as before): a remembered table that is gone is no error until it is used. The recent
// tables are written as they change; the rest by save(), when the program ends.
class SessionMemory : public QObject {
    Q_OBJECT

public:
    SessionMemory(TF_Principal& window, QSettings& settings);

    void restore();
    void save();

    // The program's own settings (per user).
    static QString organization() { return QStringLiteral("Quillora"); }
    static QString application() { return QStringLiteral("Quillora"); }

private:
    void tableUsed(bool source);

    TF_Principal& window_;
    QSettings& settings_;
};

}  // namespace quillora::app
