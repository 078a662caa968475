#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <optional>

#include "workbench/StrZero.h"
#include "workbench/WorkbenchHost.h"

class QComboBox;
class QLabel;
class QStatusBar;
class QToolButton;
class QWidget;

namespace quillora {
class Table;
}
namespace quillora::toolkit {
class NavigatorBar;
class TableGrid;
class TableGridModel;
}  // namespace quillora::toolkit

namespace quillora::workbench::ui {

// The processing window: one table in a grid, the index chooser for the processing order and
// six toolbar buttons that each rewrite the grid's current column from the current record to
// the last one. It is also the operations' host: status text, messages, parameter dialogs.
class TF_Processa : public QDialog, public WorkbenchHost {
    Q_OBJECT

public:
    TF_Processa(Table* table, QWidget* owner);
    ~TF_Processa() override;

    // The main window's buttons: binds and opens the table when it is closed (an error escapes
    // to the caller and no window opens), shows the window modally, then closes the table and
    // destroys the window with its dialogs. `showSummary`, when given, is called after each
    // column run (once its completion or error message has been seen) with the window and the
    // run's counts.
    using SummaryShower = std::function<void(QWidget* window, const RecordRunResult& result)>;
    static void processa(QWidget* owner, Table* table, const QString& fileName, const SummaryShower& showSummary = {});
    void setSummaryShower(const SummaryShower& shower) { showSummary_ = shower; }

    // The window's two text methods (see workbench/StrZero.h).
    static QString Replicate(const QString& str, quint16 count) { return workbench::Replicate(str, count); }
    static QString StrZero(int width, double value) { return workbench::StrZero(width, value); }

    Table* table() const { return table_; }
    QString statusPanel(int panel) const;
    bool running() const { return running_; }

    // Controls, by their names.
    QWidget* Panel1;
    toolkit::NavigatorBar* DBNavigator1;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton2;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton4;
    QToolButton* SpeedButton6;
    QToolButton* SpeedButton7;
    QToolButton* SpeedButton5;
    toolkit::TableGrid* RxDBGrid1;
    toolkit::TableGridModel* DataSource1;
    QWidget* Panel2;
    QLabel* RxLabel1;
    QComboBox* DBIndexCombo1;
    QStatusBar* StatusBar1;

    // The index chooser: rebuilt from the table's index definitions, its item shown from the
    // table's order setting.
    void fillIndexes();

public slots:
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton5Click();

    // WorkbenchHost
public:
    void setStatusText(const QString& text) override;
    void progressed(qint64 recNo, qint64 recordCount) override;
    void showMessage(const QString& text) override;
    std::optional<int> askZerosWidth() override;
    std::optional<QString> askValueText() override;
    std::optional<CutParameters> askCut() override;
    CaseChoice askCase() override;
    void runStarted() override;
    void runEnded(const RecordRunResult& result) override;
    void betweenRecords() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    void operate(void (*operation)(Table&, WorkbenchHost&, int));
    void chooseIndex(int item);
    // Status panel 0: the record count, and the filter when one is on.
    void showRecordCount();

    Table* table_;
    QLabel* panel0_;
    QLabel* panel1_;
    bool running_ = false;
    QElapsedTimer sinceEvents_;
    int recordsSinceClock_ = 0;
    int shownPercent_ = -1;  // the percentage in the status panel; -1 when it shows other text
    SummaryShower showSummary_;
    std::optional<RecordRunResult> lastRun_;  // the counts of the run the button started
};

}  // namespace quillora::workbench::ui
