#pragma once

#include "toolkit/TableGridModel.h"

namespace quillora::views {

// The grid model with editing started only on request: cells take typing only while the
// current record is being edited or inserted (through the navigator bar or the grid's keys).
class ViewerGridModel : public toolkit::TableGridModel {
    Q_OBJECT

public:
    using TableGridModel::TableGridModel;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
};

// The grid's own keys: Insert inserts a record before the current one, moving down past the
// last row appends one, Ctrl+Delete deletes the current record after "Apagar registro?".
// Errors go to the default error box and leave the record as it was.
class ViewerGrid : public toolkit::TableGrid {
    Q_OBJECT

public:
    using TableGrid::TableGrid;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace quillora::views
