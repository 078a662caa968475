#include "views/ui/U_Consulta.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/io/Journal.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/NavigatorBar.h"
#include "toolkit/TableStatus.h"
#include "views/ui/ViewFonts.h"
#include "views/ui/ViewerGrid.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>

namespace quillora::views {

namespace {

// The status line under the grid; the window is taller by it, so the grid keeps its size.
constexpr int kStatusHeight = 19;

}  // namespace

TF_Consulta::TF_Consulta(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_Consulta"));
    setWindowTitle(QStringLiteral("Consulta de Dados"));
    setFont(sansSerif(11));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    // Outer 602 x 439 with the usual frame, and the status line below the grid.
    resize(594, 412 + kStatusHeight);
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
    // The field columns take the width of their titles and values when the window appears.
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->addWidget(DBNavigator1);
    box->addWidget(DBGrid1);
    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    status->setFixedHeight(kStatusHeight);
    StatusText = new QLabel(status);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    status->addWidget(StatusText, 1);
    box->addWidget(status);
    setTabOrder(DBNavigator1, DBGrid1);
    const auto showStatus = [this, table] {
        StatusText->setText(toolkit::tableStatusText(*table));
        StatusText->setToolTip(StatusText->text());
    };
    showStatus();
    connect(table, &Table::dataChanged, StatusText, showStatus);
    connect(table, &Table::activeChanged, StatusText, showStatus);

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

void TF_Consulta::keyPressEvent(QKeyEvent* event)
{
    // Esc never closes the viewer, which would drop a pending record unseen: in a cell being
    // edited it cancels that cell's edit (the grid's editor takes it), elsewhere it does nothing.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
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
    // The records stored while the viewer is open are one operation: undone as a whole, and
    // rolled back as a whole when a write fails.
    io::Operation operation(QStringLiteral("Alterações na consulta"), {table.FilePath()});
    {
        TF_Consulta viewer(owner);
        table.Open();
        viewer.attach(&table);
        viewer.exec();
    }
    operation.closeAndFinish([&] { table.Close(); });
}

}  // namespace quillora::views
