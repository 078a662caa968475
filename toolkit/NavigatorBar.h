#pragma once

#include <QWidget>

class QToolButton;

namespace quillora {
class Table;
}

namespace quillora::toolkit {

// A navigator bar over a Table: flat buttons that move the cursor and edit the current record.
// Which of the ten buttons show is chosen when it is made; they are enabled as the table's
// state allows. Errors are shown in the default error box.
class NavigatorBar : public QWidget {
    Q_OBJECT

public:
    enum Button {
        First = 1 << 0,
        Prior = 1 << 1,
        Next = 1 << 2,
        Last = 1 << 3,
        Insert = 1 << 4,
        Delete = 1 << 5,
        Edit = 1 << 6,
        Post = 1 << 7,
        Cancel = 1 << 8,
        Refresh = 1 << 9,
        All = (1 << 10) - 1,
    };
    using Buttons = int;

    NavigatorBar(Table* table, Buttons visible, QWidget* parent = nullptr);

    // The button of one kind (nullptr when not shown); object names "First", "Prior", ...
    QToolButton* button(Button which) const;
    // Delete asks "Apagar registro?" first (OK / Cancel) unless turned off.
    void setConfirmDelete(bool on) { confirmDelete_ = on; }

    // Presses a button as a click would (tests and keyboard shortcuts).
    void press(Button which);

signals:
    // Refresh was pressed: the views re-read the table.
    void refreshRequested();

private:
    void updateButtons();

    Table* table_;
    QList<QPair<Button, QToolButton*>> buttons_;
    bool confirmDelete_ = true;
};

}  // namespace quillora::toolkit
