// libFuzzer target for the filter condition language: the input is a condition (UTF-8),
// compiled against a fixed set of fields and tested on a few records, so that any text can
// only ever produce an Error or a yes/no per record.
#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/TableFile.h"
#include "tables/filter/FilterCondition.h"

#include <QByteArray>
#include <QLocale>

#include <cstdint>

using namespace quillora;

namespace {

FieldDef field(const char* name, FieldType type, int size = 0)
{
    FieldDef d;
    d.name = QString::fromUtf8(name);
    d.type = type;
    d.size = size;
    return d;
}

// Records held in memory; a raw image is the record's number.
class Records : public TableFile {
public:
    Records()
    {
        fields_ = {field("NOME", ftString, 20), field("IDADE", ftSmallint), field("VALOR", ftFloat),
                   field("NASC", ftDate),        field("ATIVO", ftBoolean),  field("NOME COMPLETO", ftString, 30),
                   field("OBS", ftMemo),         field("GRANDE", ftLargeint), field("PRECO", ftBCD),
                   field("HORA", ftTime),        field("QUANDO", ftDateTime), field("FOTO", ftGraphic)};
        rows_ = {
            {Value::text(QStringLiteral("ABC")), Value::integer(30), Value::floating(1.5),
             Value::date(QDate(2000, 2, 1)), Value::boolean(true), Value::text(QStringLiteral("Ana Bia")),
             Value::text(QStringLiteral("nota")), Value::integer(1LL << 40), Value::fixed(Fixed{15000}),
             Value::time(QTime(10, 30)), Value::dateTime(QDateTime(QDate(2001, 1, 1), QTime(8, 0))),
             Value::bytes(QByteArray("\x89PNG", 4))},
            QList<Value>(12),
            {Value::text(QStringLiteral("O'Brien")), Value::integer(-5), Value::floating(-0.0), Value(),
             Value::boolean(false), Value::text(QStringLiteral("%_*")), Value(), Value::integer(0),
             Value::fixed(Fixed{-1}), Value(), Value(), Value()},
        };
    }
    QString path() const override { return QStringLiteral("fuzz"); }
    QString formatName() const override { return QStringLiteral("fuzz"); }
    QString codePageName() const override { return {}; }
    const QList<FieldDef>& fields() const override { return fields_; }
    RecordId first() override { return 0; }
    RecordId last() override { return RecordId(rows_.size()) - 1; }
    RecordId next(RecordId id) override { return id + 1 < RecordId(rows_.size()) ? id + 1 : NoRecord; }
    RecordId prior(RecordId id) override { return id > 0 ? id - 1 : NoRecord; }
    qint64 count() override { return qint64(rows_.size()); }
    qint64 recordNumber(RecordId id) override { return id + 1; }
    void read(RecordId id, QByteArray& raw) override { raw = QByteArray::number(id); }
    Value value(const QByteArray& raw, int f) override { return rows_.at(raw.toLongLong()).at(f); }
    void beginWrite() override {}
    Value normalize(int, const Value& v) override { return v; }
    RecordId insert(const QList<Value>&, RecordId) override { return NoRecord; }
    RecordId update(RecordId id, const QList<Value>&, const QList<bool>&) override { return id; }
    RecordId remove(RecordId) override { return NoRecord; }

private:
    QList<FieldDef> fields_;
    QList<QList<Value>> rows_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool regional = [] {
        Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
        return true;
    }();
    (void)regional;
    static Records records;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const auto compiled = filter::CompiledFilter::compile(text, records.fields(), [](const QString& name) {
            for (int i = 0; i < records.fields().size(); ++i)
                if (records.fields()[i].name.compare(name, Qt::CaseInsensitive) == 0)
                    return i;
            throw Error(QStringLiteral("Table1: Campo %1 não encontrado").arg(name));
        });
        if (!compiled)
            return 0;
        QByteArray raw;
        for (RecordId id = records.first(); id != NoRecord; id = records.next(id)) {
            records.read(id, raw);
            (void)compiled->matches(records, raw);
        }
    } catch (const Error&) {
        // A faulty condition: its message is the whole outcome.
    }
    return 0;
}
