#include "tests/tables/MemoryTableFile.h"

#include "tables/Error.h"
#include "tables/TableFormats.h"

#include <QFile>
#include <QMutex>

namespace quillora::test {

namespace {
QHash<QString, std::shared_ptr<MemoryTableData>>& stores()
{
    static QHash<QString, std::shared_ptr<MemoryTableData>> s;
    return s;
}
}  // namespace

std::shared_ptr<MemoryTableData> MemoryTableFile::store(const QString& path, QList<FieldDef> fields)
{
    auto data = std::make_shared<MemoryTableData>();
    data->fields = std::move(fields);
    stores().insert(path, data);
    QFile f(path);  // the registry checks that the file exists
    f.open(QIODevice::WriteOnly);
    return data;
}

void MemoryTableFile::registerMemoryFormat()
{
    TableFormats::add(QStringLiteral("mem"), [](const QString& path) -> std::unique_ptr<TableFile> {
        auto data = stores().value(path);
        if (!data)
            throw FileError(QStringLiteral("sem dados para %1").arg(path));
        return std::make_unique<MemoryTableFile>(path, data);
    });
}

RecordId MemoryTableFile::first()
{
    return next(-1);
}

RecordId MemoryTableFile::last()
{
    return prior(RecordId(data_->records.size()));
}

RecordId MemoryTableFile::next(RecordId id)
{
    for (RecordId i = id + 1; i < RecordId(data_->records.size()); ++i)
        if (data_->records[size_t(i)])
            return i;
    return NoRecord;
}

RecordId MemoryTableFile::prior(RecordId id)
{
    for (RecordId i = id - 1; i >= 0; --i)
        if (data_->records[size_t(i)])
            return i;
    return NoRecord;
}

qint64 MemoryTableFile::count()
{
    qint64 n = 0;
    for (const auto& r : data_->records)
        n += r.has_value();
    return n;
}

void MemoryTableFile::read(RecordId id, QByteArray& raw)
{
    raw = QByteArray::number(id);
}

Value MemoryTableFile::value(const QByteArray& raw, int field)
{
    const auto& rec = data_->records.at(size_t(raw.toLongLong()));
    return rec ? rec->value(field) : Value();
}

void MemoryTableFile::beginWrite()
{
    if (!data_->refuseWrite.isEmpty())
        throw FileError(data_->refuseWrite);
    ++data_->writesStarted;
}

Value MemoryTableFile::normalize(int field, const Value& value)
{
    const FieldDef& def = data_->fields[field];
    if (def.type == ftString && value.kind() == Value::Kind::Text)
        return Value::text(value.asText().left(def.size));
    return value;
}

RecordId MemoryTableFile::insert(const QList<Value>& values, RecordId)
{
    data_->records.emplace_back(values);
    return RecordId(data_->records.size() - 1);
}

RecordId MemoryTableFile::update(RecordId id, const QList<Value>& values, const QList<bool>& changed)
{
    auto& rec = *data_->records.at(size_t(id));
    ++data_->updates;
    for (int i = 0; i < values.size(); ++i)
        if (changed[i])
            rec[i] = values[i];
    if (!data_->updateMovesRecord)
        return id;
    data_->records.push_back(rec);
    data_->records.at(size_t(id)).reset();
    return RecordId(data_->records.size() - 1);
}

RecordId MemoryTableFile::remove(RecordId id)
{
    data_->records.at(size_t(id)).reset();
    return next(id);
}

}  // namespace quillora::test
