#pragma once

#include <QDialog>

class QLabel;

namespace quillora {
class Table;
}

namespace quillora::toolkit {
class NavigatorBar;
}

namespace quillora::views {

class ViewerGrid;
class ViewerGridModel;

// "Consulta de Dados": a table in a grid under a navigator bar, for browsing and, on request,
// editing. It has no buttons of its own; the close box closes it (Esc does not).
class TF_Consulta : public QDialog {
    Q_OBJECT

public:
    explicit TF_Consulta(QWidget* parent = nullptr);

    // Shows a table (open) in the grid and the navigator bar.
    void attach(Table* table);

    toolkit::NavigatorBar* DBNavigator1 = nullptr;
    ViewerGrid* DBGrid1 = nullptr;
    // The status line under the grid: record count, order and filter (the caption stays the
    // window's own).
    QLabel* StatusText = nullptr;
    ViewerGridModel* model() const { return model_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The navigator bar's refresh: rereads the table from its file, on the same position.
    void refresh(Table& table);

    ViewerGridModel* model_ = nullptr;
};

// "Ver": nothing before a file is bound; else opens the table (as bound), shows it in the
// viewer modally and closes it afterwards, which discards a record still pending. An error
// opening the table is thrown before the window appears.
void BVerClick(QWidget* owner, Table& table);

}  // namespace quillora::views
