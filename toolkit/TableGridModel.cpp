#include "toolkit/TableGridModel.h"

#include "tables/Error.h"
#include "tables/FieldConvert.h"
#include "tables/Table.h"

#include <QHeaderView>

#include <algorithm>
#include <climits>

namespace quillora::toolkit {

namespace {

bool isMemo(FieldType type)
{
    return isTextType(type) && isBlobType(type);
}

// What a cell shows of a memo: its first line.
QString firstLine(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'\r' || text[i] == u'\n')
            return text.left(i);
    return text;
}

// The text of a cell: memos by their first line, other large objects and binary fields by
// their kind ("(Graphic)"), the rest as the table layer writes them.
QString cellText(const Field& field, const Value& value)
{
    const FieldType type = field.DataType();
    if (isMemo(type))
        return value.isNull() ? QString() : firstLine(displayText(field.def(), value));
    if (isBinaryType(type) || isBlobType(type))
        return value.isNull() ? QString() : QStringLiteral("(%1)").arg(fieldTypeName(type).mid(2));
    return displayText(field.def(), value);
}

}  // namespace

TableGridModel::TableGridModel(Table* table, QObject* parent) : QAbstractTableModel(parent), table_(table)
{
    connect(table_, &Table::activeChanged, this, [this] { reload(); });
    connect(table_, &Table::dataChanged, this, [this] { reload(); });
    connect(table_, &Table::currentChanged, this, [this] { onCurrentChanged(); });
    connect(table_, &Table::stateChanged, this, [this] {
        // An insert adds a row at the end; other state changes only repaint the current row.
        const bool inserting = table_->state() == Table::State::Insert;
        if (inserting != insertRow_)
            reload();
        else
            onCurrentChanged();
    });
    reload();
}

void TableGridModel::setRecordIndicator(bool on)
{
    if (on == indicator_)
        return;
    beginResetModel();
    indicator_ = on;
    endResetModel();
}

void TableGridModel::reload()
{
    int rows = 0;
    int fields = 0;
    QStringList names;
    QList<bool> editable;
    const bool insertRow = table_->Active() && table_->state() == Table::State::Insert;
    if (table_->Active()) {
        rows = int(std::clamp<qint64>(table_->RecordCount(), 0, INT_MAX - 1));
        fields = table_->FieldCount();
        for (int i = 0; i < fields; ++i) {
            const FieldDef& def = table_->Fields(i)->def();
            names << def.name;
            editable << (!def.readOnly && !isBinaryType(def.type) && !isBlobType(def.type));
        }
    }
    blocks_.clear();
    blockIndex_.clear();
    // The same rows and columns with new values (a stored record, the end of a run): the
    // cells are read again in place. A reset would make the views rebuild their headers,
    // one section per row, which on a large table costs more than the values in view.
    const bool sameShape = rows == rows_ && fields == fields_ && insertRow == insertRow_ && names == names_ &&
                           editable == editable_;
    if (sameShape) {
        lastCurrent_ = currentRow();
        if (rowCount() > 0 && columnCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    } else {
        beginResetModel();
        rows_ = rows;
        fields_ = fields;
        insertRow_ = insertRow;
        names_ = names;
        editable_ = editable;
        lastCurrent_ = currentRow();
        endResetModel();
    }
    emit currentRowChanged(lastCurrent_);
}

int TableGridModel::currentRow() const
{
    if (!table_->Active())
        return -1;
    if (insertRow_)
        return rows_;
    const qint64 p = table_->Position();
    return p < 1 ? -1 : int(p - 1);
}

bool TableGridModel::pendingRow(int row) const
{
    const Table::State s = table_->state();
    return (s == Table::State::Edit || s == Table::State::Insert) && row == currentRow();
}

void TableGridModel::onCurrentChanged()
{
    if (!table_->Active())
        return;
    const int now = currentRow();
    const int last = columnCount() - 1;
    if (last < 0)
        return;
    // Pending values may differ from what the cache holds: drop the block of the current row.
    if (now >= 0) {
        const qint64 block = now / blockRows;
        auto it = blockIndex_.find(block);
        if (it != blockIndex_.end()) {
            blocks_.erase(it->second);
            blockIndex_.erase(it);
        }
    }
    if (lastCurrent_ >= 0 && lastCurrent_ < rowCount())
        emit dataChanged(index(lastCurrent_, 0), index(lastCurrent_, last));
    if (now >= 0 && now < rowCount())
        emit dataChanged(index(now, 0), index(now, last));
    lastCurrent_ = now;
    emit currentRowChanged(now);
}

bool TableGridModel::moveToRow(int row)
{
    if (!table_->Active() || row < 0)
        return false;
    if (row == currentRow())
        return true;
    if (row >= rows_)
        return false;
    return table_->MoveToPosition(row + 1);
}

int TableGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return rows_ + (insertRow_ ? 1 : 0);
}

int TableGridModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return fields_ + (indicator_ ? 1 : 0);
}

const QStringList* TableGridModel::rowTexts(int row) const
{
    const qint64 block = row / blockRows;
    auto it = blockIndex_.find(block);
    if (it != blockIndex_.end()) {
        blocks_.splice(blocks_.end(), blocks_, it->second);  // most recently used last
    } else {
        QList<QStringList> texts;
        const QList<QList<Value>> values = table_->ReadRows(block * blockRows + 1, blockRows);
        texts.reserve(values.size());
        for (const QList<Value>& r : values) {
            QStringList t;
            t.reserve(r.size());
            for (int i = 0; i < r.size(); ++i)
                t << cellText(*table_->Fields(i), r[i]);
            texts << t;
        }
        ++blocksRead_;
        blocks_.emplace_back(block, std::move(texts));
        blockIndex_[block] = std::prev(blocks_.end());
        if (blocks_.size() > maxBlocks) {
            blockIndex_.erase(blocks_.front().first);
            blocks_.pop_front();
        }
    }
    const QList<QStringList>& rows = blocks_.back().second;
    const qsizetype k = row % blockRows;
    return k < rows.size() ? &rows[k] : nullptr;
}

QVariant TableGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !table_->Active() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const int row = index.row();
    const int field = fieldOfColumn(index.column());
    if (field < 0) {
        if (role != Qt::DisplayRole || row != currentRow())
            return QString();
        switch (table_->state()) {
        case Table::State::Insert:
            return QStringLiteral("I");
        case Table::State::Edit:
            return QStringLiteral("E");
        default:
            return QStringLiteral("\u25B6");
        }
    }
    if (field >= fields_)
        return {};
    try {
        if (pendingRow(row)) {
            const Field* f = table_->Fields(field);
            return isMemo(f->DataType()) ? firstLine(f->AsString()) : f->AsString();
        }
        if (row >= rows_)
            return QString();
        const QStringList* texts = rowTexts(row);
        return texts ? texts->value(field) : QString();
    } catch (const Error&) {
        // A record that cannot be read shows empty cells rather than failing the paint.
        return QString();
    }
}

QVariant TableGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    const int field = fieldOfColumn(section);
    return field < 0 ? QVariant(QString()) : QVariant(names_.value(field));
}

Qt::ItemFlags TableGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int field = fieldOfColumn(index.column());
    if (field >= 0 && editable_.value(field) && !table_->ControlsDisabled())
        f |= Qt::ItemIsEditable;
    return f;
}

bool TableGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int field = fieldOfColumn(index.column());
    if (role != Qt::EditRole || !index.isValid() || field < 0 || !table_->Active())
        return false;
    try {
        if (!moveToRow(index.row()))
            return false;
        Field* f = table_->Fields(field);
        const QString text = value.toString();
        if (!pendingRow(index.row()) && text == f->AsString())
            return true;  // nothing typed: no pending record
        table_->Edit();
        f->SetAsString(text);
    } catch (const Error& e) {
        emit editFailed(e.text());
        return false;
    }
    const QModelIndex i = this->index(index.row(), index.column());
    emit dataChanged(i, i);
    return true;
}

// --- TableGrid ------------------------------------------------------------------------------

TableGrid::TableGrid(QWidget* parent) : QTableView(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void TableGrid::setTableModel(TableGridModel* model)
{
    model_ = model;
    lastColumn_ = model->columnOfField(0);
    setModel(model);
    connect(model, &TableGridModel::currentRowChanged, this, &TableGrid::followTable);
    connect(model, &QAbstractItemModel::modelReset, this, [this] { followTable(model_->lastCurrentRow()); });
    followTable(model->currentRow());
}

int TableGrid::currentField() const
{
    if (!model_)
        return -1;
    const QModelIndex i = currentIndex();
    const int field = model_->fieldOfColumn(i.isValid() ? i.column() : lastColumn_);
    if (field >= 0 && field < model_->columnCount())
        return field;
    // No cell chosen yet: the first field, as a grid starts in its first column.
    return model_->columnCount() > (model_->recordIndicator() ? 1 : 0) ? 0 : -1;
}

void TableGrid::fitColumnsToView()
{
    if (!model_)
        return;
    const int rows = model_->rowCount();
    const int top = std::max(0, rowAt(0));
    const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
    const int bottom = std::min(rows, top + viewport()->height() / rowHeight + 1);
    const int widest = std::max(horizontalHeader()->minimumSectionSize(), viewport()->width() * 2 / 3);
    const int gridLine = showGrid() ? 1 : 0;
    for (int column = 0; column < model_->columnCount(); ++column) {
        if (model_->fieldOfColumn(column) < 0)
            continue;  // the record indicator keeps its own width
        int values = 0;
        for (int row = top; row < bottom; ++row)
            values = std::max(values, sizeHintForIndex(model_->index(row, column)).width() + gridLine);
        const int title = horizontalHeader()->sectionSizeHint(column);
        setColumnWidth(column, std::max(title, std::min(values, widest)));
    }
}

void TableGrid::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    if (!fitted_ && model_) {
        fitted_ = true;
        fitColumnsToView();
    }
}

void TableGrid::followTable(int row)
{
    if (!model_ || row < 0 || row >= model_->rowCount())
        return;
    const QModelIndex now = currentIndex();
    // A reset of the model forgets the cell: the grid keeps the column the user was in.
    int column = now.isValid() ? now.column() : lastColumn_;
    if (column < 0 || column >= model_->columnCount())
        column = model_->columnOfField(0);
    if (now.isValid() && now.row() == row && now.column() == column)
        return;
    following_ = true;
    setCurrentIndex(model_->index(row, column));
    following_ = false;
}

void TableGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        lastColumn_ = current.column();
    if (following_ || !model_ || !current.isValid() || (previous.isValid() && previous.row() == current.row()))
        return;
    try {
        if (!model_->moveToRow(current.row()))
            followTable(model_->currentRow());
    } catch (const Error& e) {
        // Storing the pending record failed: stay on it and say why.
        emit model_->editFailed(e.text());
        followTable(model_->currentRow());
    }
}

}  // namespace quillora::toolkit
