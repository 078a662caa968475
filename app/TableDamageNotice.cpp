#include "app/TableDamageNotice.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/check/TableCheck.h"
#include "tables/io/FileOps.h"
#include "toolkit/MessageBoxes.h"

#include <QApplication>
#include <QWidget>

namespace quillora::app {

namespace {

// A box lists this many faults at most; the rest are counted.
constexpr qsizetype kFaultsShown = 10;

}  // namespace

TableDamageNotice::TableDamageNotice(QWidget* window, const QList<Table*>& tables) : QObject(window), window_(window)
{
    for (Table* table : tables)
        connect(table, &Table::activeChanged, this, [this, table](bool active) {
            if (active)
                opened(*table);
        });
}

QString TableDamageNotice::text(const QString& table, const check::CheckReport& report)
{
    if (report.unreadable || !check::damaged(report))
        return {};
    QStringList lines{QStringLiteral("A tabela %1 está danificada (use \"Verificar tabela...\" no menu de contexto da "
                                     "caixa da tabela):")
                          .arg(table)};
    qsizetype shown = 0, more = 0;
    for (const check::Fault& f : report.faults) {
        if (f.minor)
            continue;
        if (shown < kFaultsShown) {
            lines << QStringLiteral("  ") + check::formatFault(f);
            ++shown;
        } else {
            ++more;
        }
    }
    if (more > 0)
        lines << QStringLiteral("  ... e mais %1").arg(more);
    return lines.join(QLatin1Char('\n'));
}

void TableDamageNotice::opened(const Table& table)
{
    const QString path = io::absolute(table.FilePath());
    if (!check::checkable(path))
        return;
    const io::FileStat stat = io::stat(path);
    const QString key = QStringLiteral("%1|%2|%3").arg(path).arg(stat.size).arg(stat.mtimeNs);
    if (seen_.contains(key))
        return;
    seen_.insert(key);
    QString message;
    try {
        message = text(path, check::checkTableStructure(path));
    } catch (const Error&) {
        return;  // the table itself says what cannot be read
    }
    if (message.isEmpty())
        return;
    // Over whatever window opened the table (a dialog of the window's, or the window).
    QWidget* parent = QApplication::activeWindow() ? QApplication::activeWindow() : window_;
    toolkit::messageBox(parent, toolkit::MessageKind::Warning, message, toolkit::Ok);
}

}  // namespace quillora::app
