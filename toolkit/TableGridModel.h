#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>

#include <list>
#include <unordered_map>

namespace quillora {
class Table;
}

namespace quillora::toolkit {

// The records of a Table as a Qt model, one row per visible record in the table's current
// order and one column per field (optionally preceded by a record indicator column). Only the
// rows a view asks for are read, in blocks kept in a small cache keyed by position, so that a
// table of a million records scrolls without being read whole. The table's current record is
// the current row; a record being edited or inserted shows its pending values.
class TableGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TableGridModel(Table* table, QObject* parent = nullptr);

    Table* table() const { return table_; }

    // A first column that marks the current record ("▶", "I" while inserting, "E" while editing).
    void setRecordIndicator(bool on);
    bool recordIndicator() const { return indicator_; }
    // The model column of a field, and the field of a model column (-1 for the indicator).
    int columnOfField(int field) const { return field + (indicator_ ? 1 : 0); }
    int fieldOfColumn(int column) const { return column - (indicator_ ? 1 : 0); }

    // Row of the table's current record; -1 when there is none.
    int currentRow() const;
    // The current row as the model last saw it (finding it again walks the table on some formats).
    int lastCurrentRow() const { return lastCurrent_; }
    // Makes the record of a row current (storing a changed pending record first).
    bool moveToRow(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Edits the cell's record in place: the record becomes current and pending with the text
    // parsed for its field; moving to another record stores it.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Blocks read from the table so far (for tests of the cache).
    int blocksRead() const { return blocksRead_; }
    static constexpr int blockRows = 64;
    static constexpr size_t maxBlocks = 32;

signals:
    // The current record moved to another row (or the same row changed).
    void currentRowChanged(int row);
    // An edit in place failed; the text is the error's.
    void editFailed(const QString& text);

private:
    void reload();            // count, fields and cache from scratch
    void onCurrentChanged();  // cursor moved or pending values changed
    const QStringList* rowTexts(int row) const;
    bool pendingRow(int row) const;

    Table* table_;
    bool indicator_ = false;
    int rows_ = 0;
    int fields_ = 0;
    int lastCurrent_ = -1;
    bool insertRow_ = false;  // a record being inserted shows as one more row at the end
    QStringList names_;
    QList<bool> editable_;

    // Blocks of rows (each row its display texts), least recently used first.
    mutable std::unordered_map<qint64, std::list<std::pair<qint64, QList<QStringList>>>::iterator> blockIndex_;
    mutable std::list<std::pair<qint64, QList<QStringList>>> blocks_;
    mutable int blocksRead_ = 0;
};

// A grid over a TableGridModel that keeps its current row on the table's current record both
// ways: moving the cursor in the grid moves the table, and the table's moves move the grid.
// When it is first shown it sizes its field columns to their titles and to the values in view,
// as spreadsheet programs do when they open a file; the user may resize them afterwards.
class TableGrid : public QTableView {
    Q_OBJECT

public:
    explicit TableGrid(QWidget* parent = nullptr);
    void setTableModel(TableGridModel* model);
    TableGridModel* tableModel() const { return model_; }
    // The field (table column number) of the current cell; -1 when there is none.
    int currentField() const;

    // Sizes every field column (not the record indicator) to its title and to the widest of
    // the values in the rows now in view, a long value up to two thirds of the grid's width.
    // Reads only those rows.
    void fitColumnsToView();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void showEvent(QShowEvent* event) override;

private:
    void followTable(int row);

    TableGridModel* model_ = nullptr;
    bool following_ = false;
    int lastColumn_ = 0;
    bool fitted_ = false;  // the columns were sized at the first showing
};

}  // namespace quillora::toolkit
