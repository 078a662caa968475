#include "tables/LocateIndex.h"

#include "tables/Regional.h"

#include <algorithm>

namespace quillora {

LocateIndex::LocateIndex(QList<int> fields, bool caseInsensitive, bool forPrefixes)
    : fields_(std::move(fields)), caseInsensitive_(caseInsensitive), forPrefixes_(forPrefixes)
{
}

bool LocateIndex::serves(const QList<int>& fields, bool caseInsensitive, bool partial) const
{
    return fields == fields_ && caseInsensitive == caseInsensitive_ && (!partial || forPrefixes_);
}

QList<Value> LocateIndex::valuesOf(TableFile& file, const QByteArray& raw) const
{
    QList<Value> values;
    values.reserve(fields_.size());
    for (int f : fields_)
        values.append(file.value(raw, f));
    return values;
}

// One string per key, equal exactly when the scan's comparison calls the values equal: text
// as it is (or in capitals), other kinds by their exact payload, each tagged with its kind.
QString LocateIndex::keyOf(const QList<Value>& values) const
{
    QString key;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            key += QChar(0x1F);
        const Value& v = values[i];
        key += QChar(u'A' + int(v.kind()));
        if (v.kind() == Value::Kind::Text)
            key += caseInsensitive_ ? Regional::current().toUpper(v.asText()) : v.asText();
        else if (!v.isNull())
            key += v.debugString();
    }
    return key;
}

void LocateIndex::build(TableFile& file)
{
    exact_.clear();
    ordered_.clear();
    QByteArray raw;
    for (RecordId id = file.first(); id != NoRecord; id = file.next(id)) {
        file.read(id, raw);
        add(id, valuesOf(file, raw));
    }
}

void LocateIndex::add(RecordId id, const QList<Value>& values)
{
    const QString key = keyOf(values);
    if (forPrefixes_)
        ordered_[key].push_back(id);
    else
        exact_[key].push_back(id);
}

void LocateIndex::remove(RecordId id, const QList<Value>& values)
{
    const QString key = keyOf(values);
    auto drop = [id](auto& map, const QString& k) {
        auto it = map.find(k);
        if (it == map.end())
            return;
        auto& ids = it->second;
        ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
        if (ids.empty())
            map.erase(it);
    };
    if (forPrefixes_)
        drop(ordered_, key);
    else
        drop(exact_, key);
}

std::vector<RecordId> LocateIndex::candidates(const QList<Value>& wanted, bool partial) const
{
    const QString key = keyOf(wanted);
    if (!forPrefixes_) {
        auto it = exact_.find(key);
        return it == exact_.end() ? std::vector<RecordId>() : it->second;
    }
    if (!partial) {
        auto it = ordered_.find(key);
        return it == ordered_.end() ? std::vector<RecordId>() : it->second;
    }
    std::vector<RecordId> out;
    for (auto it = ordered_.lower_bound(key); it != ordered_.end() && it->first.startsWith(key); ++it)
        out.insert(out.end(), it->second.begin(), it->second.end());
    return out;
}

}  // namespace quillora
