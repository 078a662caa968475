#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "tables/TableFile.h"

namespace quillora::test {

// The records of an in-memory table, shared between the test and the file objects opened on it.
struct MemoryTableData {
    QList<FieldDef> fields;
    std::vector<std::optional<QList<Value>>> records;  // nullopt = deleted
    int writesStarted = 0;
    int updates = 0;  // records rewritten
    QString refuseWrite;  // when set, beginWrite() throws this text
    quint64 generation = 0;  // bumped by a test to act as a format that moved records
    bool updateMovesRecord = false;  // an update stores the record anew at the end, under a new id
    QList<IndexDef> indexes;
};

// A table format kept in memory, to test the Table dataset's rules without any file format.
// Register it for the "mem" extension with registerMemoryFormat(); a path "<name>.mem" opens
// the data stored under that path with MemoryTableFile::store.
class MemoryTableFile : public TableFile {
public:
    static std::shared_ptr<MemoryTableData> store(const QString& path, QList<FieldDef> fields);
    static void registerMemoryFormat();

    explicit MemoryTableFile(QString path, std::shared_ptr<MemoryTableData> data)
        : path_(std::move(path)), data_(std::move(data)) {}

    QString path() const override { return path_; }
    QString formatName() const override { return QStringLiteral("memória"); }
    QString codePageName() const override { return QStringLiteral("UTF-16"); }
    const QList<FieldDef>& fields() const override { return data_->fields; }
    QList<IndexDef> indexes() const override { return data_->indexes; }
    RecordId first() override;
    RecordId last() override;
    RecordId next(RecordId id) override;
    RecordId prior(RecordId id) override;
    qint64 count() override;
    qint64 recordNumber(RecordId id) override { return id + 1; }
    quint64 idGeneration() const override { return data_->generation; }
    void read(RecordId id, QByteArray& raw) override;
    Value value(const QByteArray& raw, int field) override;
    void beginWrite() override;
    Value normalize(int field, const Value& value) override;
    RecordId insert(const QList<Value>& values, RecordId before) override;
    RecordId update(RecordId id, const QList<Value>& values, const QList<bool>& changed) override;
    RecordId remove(RecordId id) override;

private:
    QString path_;
    std::shared_ptr<MemoryTableData> data_;
};

}  // namespace quillora::test
