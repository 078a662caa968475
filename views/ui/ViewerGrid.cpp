#include "views/ui/ViewerGrid.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "toolkit/MessageBoxes.h"

#include <QKeyEvent>

namespace quillora::views {

Qt::ItemFlags ViewerGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = TableGridModel::flags(index);
    const Table::State s = table()->state();
    const bool pending = s == Table::State::Edit || s == Table::State::Insert;
    if (!pending || index.row() != currentRow())
        f &= ~Qt::ItemIsEditable;
    return f;
}

void ViewerGrid::keyPressEvent(QKeyEvent* event)
{
    toolkit::TableGridModel* model = tableModel();
    Table* table = model ? model->table() : nullptr;
    if (!table || !table->Active()) {
        TableGrid::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    try {
        if (event->key() == Qt::Key_Insert && !ctrl) {
            table->Insert();
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Delete && ctrl) {
            event->accept();
            if (!table->IsEmpty() &&
                toolkit::messageBox(window(), toolkit::MessageKind::Confirmation, QStringLiteral("Apagar registro?"),
                                    toolkit::Ok | toolkit::Cancel) == toolkit::Ok)
                table->Delete();
            return;
        }
        if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier) {
            const int row = currentIndex().isValid() ? currentIndex().row() : -1;
            const bool atLast = row >= 0 && row == model->rowCount() - 1;
            const bool emptyNew = table->state() == Table::State::Insert && !table->Modified();
            if ((atLast || table->IsEmpty()) && !emptyNew) {
                table->Append();
                event->accept();
                return;
            }
        }
    } catch (const Error& e) {
        toolkit::showErrorBox(window(), e.text());
        return;
    }
    TableGrid::keyPressEvent(event);
}

}  // namespace quillora::views
