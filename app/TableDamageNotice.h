#pragma once

#include <QObject>
#include <QSet>

#include "tables/check/Fault.h"

class QWidget;

namespace quillora {
class Table;
}

namespace quillora::app {

// Opening a table whose structure is damaged (not merely an index out of date) shows what is
// wrong in a box that suggests "Verificar tabela...", so that it is never read as if it were
// sound. Once for the table as it stands: opening it again unchanged says nothing more, while a
// table changed since (repaired, or damaged again) is looked at anew.
class TableDamageNotice : public QObject {
    Q_OBJECT

public:
    TableDamageNotice(QWidget* window, const QList<Table*>& tables);

    // The box's text for a quick check of `table`; empty when its structure is sound.
    static QString text(const QString& table, const check::CheckReport& report);

private:
    void opened(const Table& table);

    QWidget* window_;
    QSet<QString> seen_;  // the files looked at already, each with its size and time
};

}  // namespace quillora::app
