#include "tables/Table.h"

#include "tables/Error.h"
#include "tables/FieldConvert.h"
#include "tables/Regional.h"
#include "tables/TableFormats.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaMethod>

#include <algorithm>
#include <utility>

namespace quillora {

Table::Table(const QString& componentName, QObject* parent) : QObject(parent), name_(componentName)
{
    setObjectName(componentName);
}

Table::~Table()
{
    try {
        Close();
    } catch (...) {
        // Closing only discards; a failing flush must not escape a destructor.
    }
}

Error Table::tableError(const QString& text) const
{
    return Error(name_ + QStringLiteral(": ") + text);
}

void Table::checkActive() const
{
    if (!Active())
        throw tableError(QStringLiteral("Não é possível realizar esta operação em um dataset fechado"));
}

void Table::checkInactive() const
{
    if (Active())
        throw tableError(QStringLiteral("Não é possível realizar esta operação em um dataset aberto"));
}

// --- Binding ----------------------------------------------------------------------------

void Table::SetDatabaseName(const QString& directory)
{
    checkInactive();
    databaseName_ = directory;
}

void Table::SetTableName(const QString& fileName)
{
    checkInactive();
    tableName_ = fileName;
}

void Table::Bind(const QString& filePath)
{
    checkInactive();
    // Everything up to and including the last separator (or drive colon) is the directory.
    qsizetype cut = -1;
    for (qsizetype i = filePath.size() - 1; i >= 0; --i) {
        const QChar c = filePath[i];
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')) {
            cut = i;
            break;
        }
    }
    databaseName_ = filePath.left(cut + 1);
    tableName_ = filePath.mid(cut + 1);
}

QString Table::FilePath() const
{
    if (databaseName_.isEmpty())
        return tableName_;
    const QChar last = databaseName_.back();
    if (last == QLatin1Char('/') || last == QLatin1Char('\\') || last == QLatin1Char(':'))
        return databaseName_ + tableName_;
    return databaseName_ + QLatin1Char('/') + tableName_;
}

// --- Opening ----------------------------------------------------------------------------

void Table::Open()
{
    if (Active())
        return;
    if (tableName_.isEmpty())
        throw tableError(QStringLiteral("Propriedade TableName faltando"));
    file_ = TableFormats::open(FilePath());
    const QList<FieldDef>& defs = file_->fields();
    fields_.clear();
    fields_.reserve(size_t(defs.size()));
    for (int i = 0; i < defs.size(); ++i)
        fields_.push_back(std::make_unique<Field>(this, i, defs[i]));
    try {
        // A condition or an order the newly bound table cannot give fails the opening.
        condition_ = compileFilter(filter_);
        applyOrder();
    } catch (...) {
        condition_.reset();
        fields_.clear();
        file_.reset();
        throw;
    }
    visibleCount_ = -1;
    visible_.reset();
    scratchId_ = NoRecord;
    state_ = State::Browse;
    writeStarted_ = false;
    locateIndexes_.clear();
    locateNames_.clear();
    locateFields_.clear();
    locateLast_ = NoRecord;
    indexGeneration_ = file_->idGeneration();
    clearPending();
    setCurrent(firstVisible());
    bof_ = true;
    eof_ = current_ == NoRecord;
    emit activeChanged(true);
    notifyState();
    notifyData();
}

void Table::Close()
{
    if (!Active())
        return;
    clearPending();
    std::unique_ptr<TableFile> closing = std::move(file_);
    fields_.clear();
    locateIndexes_.clear();
    order_.reset();
    condition_.reset();
    visible_.reset();
    visibleCount_ = -1;
    scratchId_ = NoRecord;
    state_ = State::Inactive;
    current_ = NoRecord;
    raw_.clear();
    bof_ = eof_ = true;
    closing->flush();
    closing.reset();
    emit activeChanged(false);
    notifyState();
    notifyData();
}

// --- Cursor -----------------------------------------------------------------------------

RecordId Table::orderFirst() { return order_ ? order_->first() : file_->first(); }
RecordId Table::orderLast() { return order_ ? order_->last() : file_->last(); }
RecordId Table::orderNext(RecordId id) { return order_ ? order_->next(id) : file_->next(id); }
RecordId Table::orderPrior(RecordId id) { return order_ ? order_->prior(id) : file_->prior(id); }

bool Table::precedesInOrder(RecordId a, RecordId b)
{
    return order_ ? order_->position(a) < order_->position(b) : file_->precedes(a, b);
}

QByteArray Table::orderKey(const QByteArray& raw, RecordId id)
{
    // Each field's key is escaped and terminated so that concatenated keys keep the order of
    // their first field, then the next; a descending index inverts every byte.
    QByteArray key;
    auto appendPart = [&key](const QByteArray& part) {
        for (char c : part) {
            key.append(c);
            if (c == '\0')
                key.append('\xFF');
        }
        key.append('\0');
        key.append('\0');
    };
    if (orderExpression_)
        appendPart(file_->expressionKey(*orderExpression_, id, raw));
    for (int f : orderFields_) {
        Value v = file_->value(raw, f);
        if (orderCaseInsensitive_ && v.kind() == Value::Kind::Text)
            v = Value::text(Regional::current().toUpper(v.asText()));
        appendPart(file_->sortKey(f, v));
    }
    if (orderDescending_)
        for (char& c : key)
            c = char(~uchar(c));
    return key;
}

void Table::applyOrder()
{
    order_.reset();
    orderFields_.clear();
    orderExpression_.reset();
    orderDescending_ = orderCaseInsensitive_ = false;
    if (indexFieldNames_.isEmpty() && indexName_.isEmpty())
        return;
    const QList<IndexDef> defs = file_->indexes();
    const IndexDef* chosen = nullptr;
    if (!indexFieldNames_.isEmpty()) {
        QStringList names;
        for (const QString& n : indexFieldNames_.split(QLatin1Char(';'))) {
            if (n.trimmed().isEmpty())
                continue;
            names.append(n.trimmed());
            orderFields_.append(FieldByName(n.trimmed())->Index());
        }
        // An index whose leading key fields are the ones named gives the order.
        for (const IndexDef& def : defs) {
            if (def.has(ixExpression) || def.fields.size() < names.size())
                continue;
            bool same = true;
            for (int i = 0; i < names.size() && same; ++i)
                same = def.fields[i].compare(names[i], Qt::CaseInsensitive) == 0;
            if (same && (!chosen || (def.has(ixPrimary) && !chosen->has(ixPrimary))))
                chosen = &def;
        }
        if (!chosen)
            throw tableError(QStringLiteral("Nenhum índice para os campos %1").arg(indexFieldNames_));
    } else {
        for (const IndexDef& def : defs)
            if (def.name.compare(indexName_, Qt::CaseInsensitive) == 0)
                chosen = &def;
        if (!chosen)
            throw tableError(QStringLiteral("Índice %1 não encontrado").arg(indexName_));
        if (chosen->has(ixExpression))
            orderExpression_ = *chosen;  // the file evaluates the key of each record
        for (const QString& n : chosen->fields)
            orderFields_.append(FieldByName(n)->Index());
    }
    orderDescending_ = chosen->has(ixDescending);
    orderCaseInsensitive_ = chosen->has(ixCaseInsensitive);
    if (chosen->has(ixPrimary) && !orderDescending_) {
        // The file keeps its records in primary key order already.
        orderFields_.clear();
        return;
    }
    std::vector<std::pair<QByteArray, RecordId>> entries;
    entries.reserve(size_t(std::max<qint64>(0, file_->count())));
    QByteArray raw;
    for (RecordId id = file_->first(); id != NoRecord; id = file_->next(id)) {
        file_->read(id, raw);
        entries.emplace_back(orderKey(raw, id), id);
    }
    // Stable: equal keys keep the table's own order, as indexes keep duplicates.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    TableFile* file = file_.get();
    order_ = std::make_unique<OrderIndex>([file](RecordId a, RecordId b) { return file->precedes(a, b); });
    order_->assign(std::move(entries));
}

void Table::setCurrent(RecordId id)
{
    current_ = id;
    if (id == NoRecord) {
        raw_.clear();
    } else if (id == scratchId_) {
        raw_.swap(scratch_);
        scratchId_ = NoRecord;
    } else {
        file_->read(id, raw_);
    }
}

// --- Filtering --------------------------------------------------------------------------

std::unique_ptr<filter::CompiledFilter> Table::compileFilter(const QString& text) const
{
    return filter::CompiledFilter::compile(text, file_->fields(),
                                           [this](const QString& name) { return FieldByName(name)->Index(); });
}

bool Table::visible(RecordId id)
{
    if (!filtering())
        return true;
    file_->read(id, scratch_);
    scratchId_ = id;
    return condition_->matches(*file_, scratch_);
}

RecordId Table::firstVisible()
{
    if (visible_)
        return visible_->first();
    RecordId id = orderFirst();
    while (id != NoRecord && !visible(id))
        id = orderNext(id);
    return id;
}

RecordId Table::lastVisible()
{
    if (visible_)
        return visible_->last();
    RecordId id = orderLast();
    while (id != NoRecord && !visible(id))
        id = orderPrior(id);
    return id;
}

RecordId Table::nextVisible(RecordId id)
{
    if (visible_ && visible_->contains(id))
        return visible_->next(id);
    do
        id = orderNext(id);
    while (id != NoRecord && !visible(id));
    return id;
}

RecordId Table::priorVisible(RecordId id)
{
    if (visible_ && visible_->contains(id))
        return visible_->prior(id);
    do
        id = orderPrior(id);
    while (id != NoRecord && !visible(id));
    return id;
}

OrderIndex* Table::visibleIndex()
{
    if (!visible_) {
        std::vector<std::pair<QByteArray, RecordId>> ids;
        for (RecordId id = orderFirst(); id != NoRecord; id = orderNext(id))
            if (visible(id))
                ids.emplace_back(QByteArray(), id);
        // Equal (empty) keys: the current order alone places a record that joins later.
        visible_ = std::make_unique<OrderIndex>([this](RecordId a, RecordId b) { return precedesInOrder(a, b); });
        visible_->assign(std::move(ids));
        visibleCount_ = visible_->count();
    }
    return visible_.get();
}

void Table::filterChanged()
{
    visible_.reset();
    visibleCount_ = -1;
    scratchId_ = NoRecord;
    if (!Active())
        return;
    setCurrent(firstVisible());
    bof_ = true;
    eof_ = current_ == NoRecord;
    notifyData();
    notifyCurrent();
}

void Table::First()
{
    checkActive();
    checkBrowseMode();
    setCurrent(firstVisible());
    bof_ = true;
    eof_ = current_ == NoRecord;
    notifyCurrent();
}

void Table::Last()
{
    checkActive();
    checkBrowseMode();
    setCurrent(lastVisible());
    eof_ = true;
    bof_ = current_ == NoRecord;
    notifyCurrent();
}

void Table::Next()
{
    checkActive();
    checkBrowseMode();
    if (current_ == NoRecord) {
        eof_ = true;
        return;
    }
    const RecordId next = nextVisible(current_);
    if (next == NoRecord) {
        eof_ = true;
    } else {
        setCurrent(next);
        eof_ = false;
        bof_ = false;
        notifyCurrent();
    }
}

void Table::Prior()
{
    checkActive();
    checkBrowseMode();
    if (current_ == NoRecord) {
        bof_ = true;
        return;
    }
    const RecordId prior = priorVisible(current_);
    if (prior == NoRecord) {
        bof_ = true;
    } else {
        setCurrent(prior);
        bof_ = false;
        eof_ = false;
        notifyCurrent();
    }
}

qint64 Table::RecordCount()
{
    checkActive();
    if (!filtering())
        return file_->count();
    if (visible_)
        return visible_->count();
    if (visibleCount_ < 0) {
        qint64 n = 0;
        QByteArray raw;
        for (RecordId id = file_->first(); id != NoRecord; id = file_->next(id)) {
            file_->read(id, raw);
            n += condition_->matches(*file_, raw) ? 1 : 0;
        }
        visibleCount_ = n;
    }
    return visibleCount_;
}

qint64 Table::RecNo()
{
    checkActive();
    if (state_ == State::Insert || current_ == NoRecord)
        return -1;
    if (filtering() && file_->recordNumberIsPosition())
        return visibleIndex()->position(current_);
    if (order_ && file_->recordNumberIsPosition())
        return order_->position(current_);
    return file_->recordNumber(current_);
}

bool Table::MoveToPosition(qint64 position)
{
    checkActive();
    checkBrowseMode();
    const RecordId id = filtering() ? visibleIndex()->atPosition(position)
                                    : order_ ? order_->atPosition(position) : file_->atPosition(position);
    if (id == NoRecord)
        return false;
    setCurrent(id);
    bof_ = eof_ = false;
    notifyCurrent();
    return true;
}

qint64 Table::Position()
{
    checkActive();
    if (current_ == NoRecord)
        return -1;
    if (filtering())
        return visibleIndex()->position(current_);  // -1 for a record posted out of the view
    return order_ ? order_->position(current_) : file_->position(current_);
}

QList<QList<quillora::Value>> Table::ReadRows(qint64 firstPosition, int count)
{
    checkActive();
    QList<QList<quillora::Value>> rows;
    RecordId id = filtering() ? visibleIndex()->atPosition(firstPosition)
                  : order_    ? order_->atPosition(firstPosition)
                              : file_->atPosition(firstPosition);
    QByteArray raw;
    const int n = int(fields_.size());
    for (int k = 0; k < count && id != NoRecord; ++k, id = nextVisible(id)) {
        file_->read(id, raw);
        QList<quillora::Value> values;
        values.reserve(n);
        for (int i = 0; i < n; ++i)
            values.append(file_->value(raw, i));
        rows.append(std::move(values));
    }
    return rows;
}

bool Table::MoveToRecordId(RecordId id)
{
    checkActive();
    checkBrowseMode();
    if (id == NoRecord)
        return false;
    setCurrent(id);
    bof_ = eof_ = false;
    notifyCurrent();
    return true;
}

std::vector<RecordId> Table::RecordIdsFromCurrent()
{
    checkActive();
    std::vector<RecordId> ids;
    for (RecordId id = current_; id != NoRecord; id = nextVisible(id))
        ids.push_back(id);
    return ids;
}

// --- Fields -----------------------------------------------------------------------------

QList<FieldDef> Table::FieldDefs() const
{
    if (!Active())
        return {};
    return file_->fields();
}

Field* Table::FindField(const QString& name) const
{
    for (const auto& f : fields_) {
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field* Table::FieldByName(const QString& name) const
{
    Field* f = FindField(name);
    if (!f)
        throw tableError(QStringLiteral("Campo %1 não encontrado").arg(name));
    return f;
}

quillora::Value Table::fieldValue(int index) const
{
    if (!Active())
        return {};
    if (state_ == State::Insert || (state_ == State::Edit && assigned_.value(index)))
        return pending_.value(index);
    if (current_ == NoRecord)
        return {};
    return file_->value(raw_, index);
}

void Table::setFieldValue(int index, const quillora::Value& converted)
{
    checkActive();
    if (state_ != State::Edit && state_ != State::Insert)
        throw tableError(QStringLiteral("Tabela não está em modo de edição ou inserção"));
    const FieldDef& def = fields_.at(size_t(index))->def();
    if (def.readOnly)
        throw Error(QStringLiteral("O campo '%1' não pode ser modificado").arg(def.name));
    pending_[index] = converted.isNull() ? converted : file_->normalize(index, converted);
    assigned_[index] = true;
    modified_ = true;
    notifyCurrent();
}

// --- Editing ----------------------------------------------------------------------------

void Table::clearPending()
{
    pending_.clear();
    assigned_.clear();
    modified_ = false;
    returnTo_ = NoRecord;
    insertBefore_ = NoRecord;
}

void Table::startPending(State s)
{
    if (!writeStarted_) {
        file_->beginWrite();
        writeStarted_ = true;
    }
    const int n = int(fields_.size());
    pending_ = s == State::Insert ? file_->newRecordValues() : QList<quillora::Value>(n);
    pending_.resize(n);
    assigned_ = QList<bool>(n, s == State::Insert);
    modified_ = false;
    setState(s);
}

void Table::checkBrowseMode()
{
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    if (modified_)
        Post();
    else
        Cancel();
}

void Table::startInsert(RecordId before)
{
    checkActive();
    checkBrowseMode();
    const RecordId current = current_;
    startPending(State::Insert);
    returnTo_ = current;
    insertBefore_ = before == NoRecord ? NoRecord : current;
    eof_ = true;
    bof_ = false;
    notifyCurrent();
}

void Table::Append()
{
    startInsert(NoRecord);
}

void Table::Insert()
{
    // Formats that keep the user's order put the new record before the current one; keyed
    // and append-only formats put it where their order says.
    startInsert(current_);
}

void Table::Edit()
{
    checkActive();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    if (current_ == NoRecord) {
        Append();
        return;
    }
    startPending(State::Edit);
    notifyCurrent();
}

void Table::Post()
{
    checkActive();
    lastPostWrote_ = false;
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    for (const auto& f : fields_) {
        const FieldDef& def = f->def();
        if (def.required && fieldValue(f->Index()).isNull())
            throw Error(QStringLiteral("Campo '%1' deve ter um valor").arg(def.name));
    }
    RecordId id;
    if (state_ == State::Insert) {
        id = file_->insert(pending_, insertBefore_);
        indexesAfterWrite(NoRecord, {}, id, false);
        lastPostWrote_ = true;
    } else if (modified_ && assignedValuesDiffer()) {
        // Values not assigned are not written; the file keeps them as they are. The searched
        // fields' values before the write matter only when some of them were assigned.
        const bool searchedAssigned = assignsSearchedField();
        const QList<QList<quillora::Value>> before = searchedAssigned ? indexedValuesOfCurrent()
                                                                      : QList<QList<quillora::Value>>{};
        const bool wasVisible = rawVisible(raw_);
        const RecordId old = current_;
        id = file_->update(current_, pending_, assigned_);
        indexesAfterWrite(old, before, id, wasVisible, searchedAssigned);
        lastPostWrote_ = true;
    } else {
        id = current_;
    }
    clearPending();
    setState(State::Browse);
    setCurrent(id);
    bof_ = eof_ = false;
    notifyData();
    notifyCurrent();
}

bool Table::assignedValuesDiffer() const
{
    // Values assigned as they already are change nothing: no write, no index upkeep.
    for (qsizetype i = 0; i < assigned_.size(); ++i)
        if (assigned_[i] && !(pending_.value(i) == file_->value(raw_, int(i))))
            return true;
    return false;
}

void Table::Cancel()
{
    checkActive();
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    const bool wasInsert = state_ == State::Insert;
    const RecordId back = returnTo_;
    clearPending();
    setState(State::Browse);
    if (wasInsert) {
        setCurrent(back != NoRecord ? back : firstVisible());
        bof_ = eof_ = current_ == NoRecord;
    }
    notifyCurrent();
}

void Table::Delete()
{
    checkActive();
    if (state_ == State::Insert) {
        Cancel();
        return;
    }
    if (current_ == NoRecord)
        throw tableError(QStringLiteral("Não é possível realizar esta operação em um arquivo vazio"));
    if (state_ == State::Edit) {
        clearPending();
        setState(State::Browse);
    }
    if (!writeStarted_) {
        file_->beginWrite();
        writeStarted_ = true;
    }
    const QList<QList<quillora::Value>> before = indexedValuesOfCurrent();
    const bool wasVisible = rawVisible(raw_);
    const RecordId removed = current_;
    // In an index order or a filtered view, the next record is the next one shown, which the
    // file cannot tell; it stays valid unless the write moved records.
    const bool ownOrder = order_ || filtering();
    const RecordId shownNext = ownOrder ? nextVisible(current_) : NoRecord;
    const quint64 generation = file_->idGeneration();
    RecordId next = file_->remove(current_);
    const bool moved = file_->idGeneration() != generation;
    indexesAfterWrite(removed, before, NoRecord, wasVisible);
    if (ownOrder && !moved)
        next = shownNext;
    else if (next != NoRecord && !visible(next))
        next = nextVisible(next);
    if (next != NoRecord) {
        setCurrent(next);
        bof_ = eof_ = false;
    } else {
        // Deleted the last one: the new last record is current, at the end.
        setCurrent(lastVisible());
        eof_ = true;
        bof_ = current_ == NoRecord;
    }
    notifyData();
    notifyCurrent();
}

bool Table::matches(RecordId id, const QList<int>& fields, const QList<quillora::Value>& values, int options)
{
    // Read where setCurrent() finds it, so that the record found is not read twice.
    file_->read(id, scratch_);
    scratchId_ = id;
    const QByteArray& raw = scratch_;
    const bool trim = options & loIgnoreTrailingBlanks;
    // Ignoring trailing blanks, text of blanks only counts as an empty field.
    auto empty = [trim](const quillora::Value& v) {
        return v.isNull()
               || (trim && v.kind() == quillora::Value::Kind::Text && lengthWithoutTrailingBlanks(v.asText()) == 0);
    };
    for (int k = 0; k < fields.size(); ++k) {
        const int index = fields[k];
        const quillora::Value stored = file_->value(raw, index);
        const quillora::Value& wanted = values[k];
        const bool wantedEmpty = empty(wanted);
        const bool storedEmpty = empty(stored);
        if (wantedEmpty || storedEmpty) {
            if (wantedEmpty != storedEmpty)
                return false;
            continue;
        }
        if (wanted.kind() == quillora::Value::Kind::Text && stored.kind() == quillora::Value::Kind::Text) {
            QStringView a = stored.asText();
            QStringView b = wanted.asText();
            if (trim) {
                a = a.first(lengthWithoutTrailingBlanks(a));
                b = b.first(lengthWithoutTrailingBlanks(b));
            }
            bool same;
            if (options & loPartialKey)
                same = (options & loCaseInsensitive) ? searchCapitals(a).startsWith(searchCapitals(b)) : a.startsWith(b);
            else
                same = (options & loCaseInsensitive) ? sameSearchCapitals(a, b) : a == b;
            if (!same)
                return false;
            continue;
        }
        if (!(stored == wanted))
            return false;
    }
    return rawVisible(raw);
}

LocateIndex* Table::locateIndexFor(const QList<int>& fields, int options)
{
    const bool caseInsensitive = options & loCaseInsensitive;
    const bool partial = options & loPartialKey;
    const bool trim = options & loIgnoreTrailingBlanks;
    // Prefix searches go through an index only on one text field; the scan handles the rest.
    if (partial && (fields.size() != 1 || !isTextType(fields_.at(size_t(fields[0]))->DataType())))
        return nullptr;
    if (file_->idGeneration() != indexGeneration_) {
        locateIndexes_.clear();
        locateLast_ = NoRecord;
        indexGeneration_ = file_->idGeneration();
    }
    for (const auto& index : locateIndexes_)
        if (index->serves(fields, caseInsensitive, partial, trim))
            return index.get();
    auto index = std::make_unique<LocateIndex>(fields, caseInsensitive, partial, trim);
    index->build(*file_);
    locateIndexes_.push_back(std::move(index));
    return locateIndexes_.back().get();
}

QList<QList<quillora::Value>> Table::indexedValuesOfCurrent()
{
    QList<QList<quillora::Value>> values;
    if (current_ == NoRecord)
        return values;
    for (const auto& index : locateIndexes_)
        values.append(index->valuesOf(*file_, raw_));
    return values;
}

bool Table::assignsSearchedField() const
{
    for (const auto& index : locateIndexes_)
        for (int f : index->fields())
            if (assigned_.value(f))
                return true;
    return false;
}

void Table::indexesAfterWrite(RecordId oldId, const QList<QList<quillora::Value>>& oldValues, RecordId newId,
                              bool oldVisible, bool searchedAssigned)
{
    scratchId_ = NoRecord;
    const bool moved = file_->idGeneration() != indexGeneration_;
    if (moved || newId != oldId)
        locateLast_ = NoRecord;
    // The record written is read where setCurrent() finds it (when nothing moved).
    QByteArray& raw = scratch_;
    bool read = false;
    if (newId != NoRecord && (filtering() || (!moved && (order_ || !locateIndexes_.empty())))) {
        file_->read(newId, raw);
        read = true;
    }
    const bool newVisible = filtering() && newId != NoRecord && condition_->matches(*file_, raw);
    if (filtering() && visibleCount_ >= 0)
        visibleCount_ += qint64(newVisible) - qint64(oldVisible);
    if (moved) {
        // The write moved other records: search indexes and the filtered view are rebuilt
        // when next needed, the order at once.
        locateIndexes_.clear();
        visible_.reset();
        indexGeneration_ = file_->idGeneration();
        if (order_)
            applyOrder();
        return;
    }
    if (order_) {
        if (oldId != NoRecord)
            order_->remove(oldId);
        if (newId != NoRecord)
            order_->insert(orderKey(raw, newId), newId);
    }
    if (visible_) {
        if (oldId != NoRecord)
            visible_->remove(oldId);
        if (newVisible)
            visible_->insert(QByteArray(), newId);
    }
    for (size_t i = 0; i < locateIndexes_.size(); ++i) {
        LocateIndex& index = *locateIndexes_[i];
        const bool hadOld = oldId != NoRecord && qsizetype(i) < oldValues.size();
        if (newId == NoRecord) {
            if (hadOld)
                index.remove(oldId, oldValues[qsizetype(i)]);
            continue;
        }
        // An update that left the searched fields alone (the usual case when records are
        // matched by key and their other fields rewritten) leaves the index as it is, unless
        // the record moved; its searched values are then the same before as after.
        if (!searchedAssigned && oldId != NoRecord) {
            if (oldId != newId) {
                const QList<quillora::Value> now = index.valuesOf(*file_, raw);
                index.remove(oldId, now);
                index.add(newId, now);
            }
            continue;
        }
        QList<quillora::Value> now = index.valuesOf(*file_, raw);
        if (hadOld && oldId == newId && oldValues[qsizetype(i)] == now)
            continue;
        if (hadOld)
            index.remove(oldId, oldValues[qsizetype(i)]);
        index.add(newId, now);
    }
    if (read)
        scratchId_ = newId;
}

bool Table::Locate(const QString& fieldNames, const QList<quillora::Value>& values, int options)
{
    checkActive();
    checkBrowseMode();
    if (fieldNames != locateNames_) {
        const QStringList names = fieldNames.split(QLatin1Char(';'));
        if (names.size() != values.size())
            throw tableError(QStringLiteral("Número de valores diferente do número de campos em Locate"));
        QList<int> fields;
        for (const QString& name : names)
            fields.append(FieldByName(name.trimmed())->Index());
        locateFields_ = fields;
        locateNames_ = fieldNames;
    }
    const QList<int>& indexes = locateFields_;
    if (indexes.size() != values.size())
        throw tableError(QStringLiteral("Número de valores diferente do número de campos em Locate"));
    QList<quillora::Value> wanted = std::move(locateWanted_);
    wanted.resize(values.size());
    for (int k = 0; k < indexes.size(); ++k) {
        // The wanted value in the field's kind: text for text fields, numbers for numbers.
        wanted[k] = convertForField(Fields(indexes[k])->def(), values[k]);
    }
    RecordId found = NoRecord;
    if (LocateIndex* index = locateIndexFor(indexes, options)) {
        // Where no two records share a key, a record that matches is the one the index would
        // give: the one after the last record found is tried first.
        const bool exact = !(options & loPartialKey) && index->keysUnique();
        const RecordId guess = exact && locateLast_ != NoRecord ? file_->next(locateLast_) : NoRecord;
        if (guess != NoRecord && matches(guess, indexes, wanted, options)) {
            found = guess;
        } else {
            index->candidates(wanted, options & loPartialKey, locateCandidates_);
            for (RecordId id : locateCandidates_) {
                // The index may hold more than the search asks (capitals of other letters): check.
                if ((found == NoRecord || precedesInOrder(id, found)) && matches(id, indexes, wanted, options))
                    found = id;
            }
        }
        if (found != NoRecord)
            locateLast_ = found;
    } else {
        for (RecordId id = orderFirst(); id != NoRecord; id = orderNext(id)) {
            if (matches(id, indexes, wanted, options)) {
                found = id;
                break;
            }
        }
    }
    locateWanted_ = std::move(wanted);
    if (found == NoRecord)
        return false;
    setCurrent(found);
    bof_ = eof_ = false;
    notifyCurrent();
    return true;
}

bool Table::Locate(const QString& fieldName, const quillora::Value& value, int options)
{
    QList<quillora::Value> one = std::move(locateOne_);
    one.resize(1);
    one[0] = value;
    const bool found = Locate(fieldName, one, options);
    locateOne_ = std::move(one);
    return found;
}

bool Table::LocatePrimaryKey(const QString& fieldNames, const QList<quillora::Value>& values)
{
    checkActive();
    checkBrowseMode();
    // A format that keeps its records in key order finds a key without an index of ours, which
    // would be rebuilt after every write that moves records.
    RecordId found = NoRecord;
    if (!file_->findPrimaryKey(values, &found))
        return Locate(fieldNames, values, 0);
    if (found == NoRecord || !visible(found))
        return false;
    setCurrent(found);
    bof_ = eof_ = false;
    notifyCurrent();
    return true;
}

// --- Indexes, order, filter -------------------------------------------------------------

QList<IndexDef> Table::IndexDefs() const
{
    return Active() ? file_->indexes() : QList<IndexDef>();
}

void Table::SetIndexFieldNames(const QString& names)
{
    const QString oldNames = indexFieldNames_;
    const QString oldName = indexName_;
    indexFieldNames_ = names;
    if (!names.isEmpty())
        indexName_.clear();
    reorder(oldNames, oldName);
}

void Table::SetIndexName(const QString& name)
{
    const QString oldNames = indexFieldNames_;
    const QString oldName = indexName_;
    indexName_ = name;
    if (!name.isEmpty())
        indexFieldNames_.clear();
    reorder(oldNames, oldName);
}

void Table::reorder(const QString& oldNames, const QString& oldName)
{
    if (!Active())
        return;
    checkBrowseMode();
    try {
        applyOrder();
    } catch (...) {
        indexFieldNames_ = oldNames;
        indexName_ = oldName;
        applyOrder();
        throw;
    }
    visible_.reset();
    // The current record stays current; only the order around it changed.
    notifyData();
    notifyCurrent();
}

void Table::SetFilter(const QString& condition)
{
    if (!Active()) {
        filter_ = condition;
        return;
    }
    std::unique_ptr<filter::CompiledFilter> compiled = compileFilter(condition);
    if (filtered_)
        checkBrowseMode();
    filter_ = condition;
    condition_ = std::move(compiled);
    if (filtered_)
        filterChanged();
}

void Table::SetFiltered(bool on)
{
    if (on == filtered_)
        return;
    if (Active())
        checkBrowseMode();
    filtered_ = on;
    filterChanged();
}

// --- Notifications ----------------------------------------------------------------------

void Table::DisableControls()
{
    ++disableCount_;
}

void Table::EnableControls()
{
    if (disableCount_ == 0)
        return;
    if (--disableCount_ == 0 && changedWhileDisabled_) {
        changedWhileDisabled_ = false;
        emit dataChanged();
        emit currentChanged();
    }
}

void Table::setState(State s)
{
    if (state_ == s)
        return;
    state_ = s;
    notifyState();
}

void Table::notifyCurrent()
{
    if (disableCount_ > 0)
        changedWhileDisabled_ = true;
    else if (currentHeard_)
        emit currentChanged();
}

void Table::notifyData()
{
    if (disableCount_ > 0)
        changedWhileDisabled_ = true;
    else if (dataHeard_)
        emit dataChanged();
}

void Table::notifyState()
{
    if (disableCount_ > 0)
        changedWhileDisabled_ = true;
    else if (stateHeard_)
        emit stateChanged();
}

void Table::connectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&Table::currentChanged))
        currentHeard_ = true;
    else if (signal == QMetaMethod::fromSignal(&Table::dataChanged))
        dataHeard_ = true;
    else if (signal == QMetaMethod::fromSignal(&Table::stateChanged))
        stateHeard_ = true;
}

}  // namespace quillora
