#include "views/ui/U_Consulta.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/NavigatorBar.h"
#include "views/ui/ViewFonts.h"
#include "views/ui/ViewerGrid.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillora::views {

TF_Consulta::TF_Consulta(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_Consulta"));
    setWindowTitle(QStringLiteral("Consulta de Dados"));
    setFont(sansSerif(11));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    resize(594, 412);  // outer 602 x 439 with the usual frame
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
}

void TF_Consulta::attach(Table* table)
{
    DBNavigator1 = new toolkit::NavigatorBar(table, toolkit::NavigatorBar::All, this);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setConfirmDelete(true);
    DBNavigator1->setFixedHeight(25);
    model_ = new ViewerGridModel(table, this);
    model_->setRecordIndicator(true);
    DBGrid1 = new ViewerGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setTableModel(model_);
    DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGrid1->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    DBGrid1->setColumnWidth(0, 14);
    DBGrid1->verticalHeader()->hide();
    // Column widths from the fields' display widths, within reason.
    const QFontMetrics fm(font());
    for (int i = 0; i < table->FieldCount(); ++i) {
        const FieldDef& def = table->Fields(i)->def();
        int chars = def.type == ftString ? def.size : 10;
        chars = std::clamp(std::max<int>(chars, int(def.name.size())), 4, 40);
        DBGrid1->setColumnWidth(model_->columnOfField(i), fm.averageCharWidth() * chars + 8);
    }
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->addWidget(DBNavigator1);
    box->addWidget(DBGrid1);
    setTabOrder(DBNavigator1, DBGrid1);

    connect(model_, &toolkit::TableGridModel::editFailed, this,
            [this](const QString& text) { toolkit::showErrorBox(this, text); });
    connect(DBNavigator1, &toolkit::NavigatorBar::refreshRequested, this, [this, table] {
        try {
            refresh(*table);
        } catch (const Error& e) {
            if (!table->Active())
                emit table->activeChanged(false);  // the file went away: show the grid empty
            toolkit::showErrorBox(this, e.text());
        }
    });
    DBGrid1->setFocus();
}

void TF_Consulta::refresh(Table& table)
{
    // As a move would: a changed pending record is stored (a refused one stays pending and
    // the error is shown), an unchanged one dropped.
    const Table::State state = table.state();
    if (state == Table::State::Edit || state == Table::State::Insert) {
        if (table.Modified())
            table.Post();
        else
            table.Cancel();
    }
    const qint64 position = table.Position();
    {
        // Reopening rereads the file (records other programs added or changed); the grid is
        // told once at the end instead of emptying and filling again.
        const QSignalBlocker quiet(&table);
        table.Close();
        table.Open();
        if (position > 1 && !table.MoveToPosition(position))
            table.Last();
    }
    emit table.dataChanged();
    emit table.currentChanged();
}

void BVerClick(QWidget* owner, Table& table)
{
    if (table.TableName().isEmpty())
        return;
    TF_Consulta viewer(owner);
    table.Open();
    viewer.attach(&table);
    viewer.exec();
    table.Close();
}

}  // namespace quillora::views
