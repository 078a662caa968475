#include "tables/dbase/DbaseRecordBuilder.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseMemo.h"

#include <cstring>

namespace quillora::dbase {

DbaseRecordBuilder::DbaseRecordBuilder(const QString& tablePath, const DbaseHeader& head,
                                       const std::vector<std::unique_ptr<DbaseFieldCodec>>& codecs, DbaseMemo& memo)
    : path_(tablePath), head_(head), codecs_(codecs), memo_(memo), blank_(head.recordLen, ' ')
{
    for (size_t i = 0; i < codecs_.size(); ++i) {
        const DbaseColumn& c = head_.columns[i];
        std::memset(blank_.data() + 1 + c.offset, codecs_[i]->blankByte(), size_t(c.length));
    }
}

Value DbaseRecordBuilder::normalize(int field, const Value& v) const
{
    if (field < 0 || field >= int(codecs_.size()))
        throw Error(QStringLiteral("Campo %1 inexistente na tabela %2").arg(field).arg(path_));
    if (v.isNull())
        return v;
    return codecs_[size_t(field)]->normalize(v);
}

void DbaseRecordBuilder::encodeField(int field, const Value& v, char* dst, QByteArray* memoOut) const
{
    const DbaseFieldCodec& codec = *codecs_[size_t(field)];
    if (v.isNull())
        std::memset(dst, codec.blankByte(), size_t(codec.column().length));
    else
        codec.encode(v, dst, memoOut);
}

void DbaseRecordBuilder::build(char* rec, const QList<Value>& values, const QList<bool>* changed, qint64 autoInc) const
{
    if (values.size() != head_.fields.size())
        throw Error(QStringLiteral("Número de valores (%1) diferente do número de campos (%2) da tabela %3")
                        .arg(values.size())
                        .arg(head_.fields.size())
                        .arg(path_));
    const bool inserting = changed == nullptr;
    // Everything is checked before the first byte is written.
    struct Pending {
        int field;
        QByteArray data;
    };
    std::vector<Pending> memos;
    for (int i = 0; i < head_.fields.size(); ++i) {
        const DbaseColumn& c = head_.columns[size_t(i)];
        if (c.type == '+') {
            if (inserting) {
                if (autoInc > 2147483647LL)
                    throw Error(QStringLiteral("O campo %1 chegou ao maior valor possível").arg(head_.fields[i].name));
                encodeField(i, Value::integer(autoInc), rec + 1 + c.offset, nullptr);
            }
            continue;  // the file fills it; updates keep it
        }
        if (changed && !(*changed)[i])
            continue;
        // The common cases go straight into the record; the rest (and every error) through
        // normalize().
        char* const dst = rec + 1 + c.offset;
        const Value& in = values[i];
        if (codecs_[size_t(i)]->encodeDirect(in, dst))
            continue;
        const Value v = normalize(i, in);
        QByteArray memo;
        encodeField(i, v, dst, &memo);
        if (codecs_[size_t(i)]->keepsMemo()) {
            if (v.isNull() || memo.isEmpty())
                std::memset(dst, ' ', size_t(c.length));
            else
                memos.push_back({i, memo});
        }
    }
    for (const Pending& m : memos) {
        const qint64 block = memo_.append(m.data);
        codecs_[size_t(m.field)]->putMemoBlock(rec + 1 + head_.columns[size_t(m.field)].offset, block);
    }
}

}  // namespace quillora::dbase
