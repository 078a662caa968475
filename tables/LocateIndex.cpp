#include "tables/LocateIndex.h"

#include "tables/Regional.h"

#include <algorithm>

namespace quillora {

namespace {

// Plain ASCII text, most keys, has the capitals A to Z in every language but Turkish and
// Azerbaijani (whose capital of i is a dotted I): it skips the locale's case mapping, which
// costs more than the rest of a search.
bool asciiCapitalsApply(QStringView text)
{
    const QLocale::Language language = Regional::current().locale().language();
    if (language == QLocale::Turkish || language == QLocale::Azerbaijani)
        return false;
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

char16_t asciiCapital(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
}

}  // namespace

QString searchCapitals(QStringView text)
{
    QString out;
    appendSearchCapitals(out, text);
    return out;
}

void appendSearchCapitals(QString& out, QStringView text)
{
    if (!asciiCapitalsApply(text)) {
        out += Regional::current().toUpper(text.toString());
        return;
    }
    const qsizetype start = out.size();
    out.resize(start + text.size());
    QChar* c = out.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i)
        c[i] = QChar(asciiCapital(text[i].unicode()));
}

bool sameSearchCapitals(QStringView a, QStringView b)
{
    if (!asciiCapitalsApply(a) || !asciiCapitalsApply(b))
        return searchCapitals(a) == searchCapitals(b);
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (asciiCapital(a[i].unicode()) != asciiCapital(b[i].unicode()))
            return false;
    return true;
}

LocateIndex::LocateIndex(QList<int> fields, bool caseInsensitive, bool forPrefixes, bool ignoreTrailingBlanks)
    : fields_(std::move(fields)), caseInsensitive_(caseInsensitive), forPrefixes_(forPrefixes),
      ignoreTrailingBlanks_(ignoreTrailingBlanks)
{
}

bool LocateIndex::serves(const QList<int>& fields, bool caseInsensitive, bool partial, bool ignoreTrailingBlanks) const
{
    return fields == fields_ && caseInsensitive == caseInsensitive_ && ignoreTrailingBlanks == ignoreTrailingBlanks_
           && (!partial || forPrefixes_);
}

QList<Value> LocateIndex::valuesOf(TableFile& file, const QByteArray& raw) const
{
    QList<Value> values;
    valuesInto(file, raw, values);
    return values;
}

void LocateIndex::valuesInto(TableFile& file, const QByteArray& raw, QList<Value>& out) const
{
    out.resize(fields_.size());
    for (qsizetype i = 0; i < fields_.size(); ++i)
        out[i] = file.value(raw, fields_[i]);
}

// One string per key, equal exactly when the scan's comparison calls the values equal: text
// as it is (or in capitals, or without its trailing blanks), other kinds by their exact
// payload, each tagged with its kind. Text that ignoring trailing blanks leaves empty is
// tagged as an empty field, as the scan takes it.
const QString& LocateIndex::keyOf(const QList<Value>& values) const
{
    QString& key = key_;
    key.truncate(0);  // keeps the buffer, where clear() would free it
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            key += QChar(0x1F);
        const Value& v = values[i];
        if (v.kind() == Value::Kind::Text) {
            const QString& text = v.asText();
            const qsizetype n = ignoreTrailingBlanks_ ? lengthWithoutTrailingBlanks(text) : text.size();
            if (n == 0 && ignoreTrailingBlanks_) {
                key += QChar(u'A' + int(Value::Kind::Null));
                continue;
            }
            key += QChar(u'A' + int(Value::Kind::Text));
            if (caseInsensitive_)
                appendSearchCapitals(key, QStringView(text).first(n));
            else
                key += QStringView(text).first(n);
            continue;
        }
        key += QChar(u'A' + int(v.kind()));
        if (!v.isNull())
            key += v.debugString();
    }
    return key;
}

quint64 LocateIndex::hashOf(const QString& key) const
{
    // qHash gives 64 bits on the platforms we build for; mix once more so that the low bits
    // that pick the slot depend on all of them.
    quint64 h = quint64(qHash(key, size_t(0x9E3779B97F4A7C15ull)));
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

void LocateIndex::grow(size_t minimumSlots)
{
    size_t size = 64;
    while (size < minimumSlots)
        size *= 2;
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(size, Slot());
    used_ = live_ = 0;
    for (const Slot& s : old)
        if (s.id >= 0)
            insertHashed(s.hash, s.id);
}

void LocateIndex::insertHashed(quint64 hash, RecordId id)
{
    if ((used_ + 1) * 2 > slots_.size())
        grow(std::max<size_t>(64, (live_ + 1) * 4));
    const size_t mask = slots_.size() - 1;
    // A record that is written again is removed and added under its new key: take the first
    // removal mark on the way, so that rewrites do not fill the array with marks.
    Slot* reusable = nullptr;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (s.id == kRemoved && !reusable) {
            reusable = &s;
        } else if (s.id >= 0 && s.hash == hash) {
            // Every record of one hash lies between its home slot and the first empty one.
            sharedHash_ = true;
        } else if (s.id == kEmpty) {
            if (reusable) {
                *reusable = Slot{hash, id};
            } else {
                s = Slot{hash, id};
                ++used_;
            }
            ++live_;
            return;
        }
    }
}

void LocateIndex::build(TableFile& file)
{
    slots_.clear();
    used_ = live_ = 0;
    sharedHash_ = false;
    ordered_.clear();
    QByteArray raw;
    if (forPrefixes_) {
        for (RecordId id = file.first(); id != NoRecord; id = file.next(id)) {
            file.read(id, raw);
            add(id, valuesOf(file, raw));
        }
        return;
    }
    grow(size_t(std::max<qint64>(0, file.count())) * 2 + 64);
    // The slots of a large table are far apart in memory: the hashes of a batch of records are
    // made first and their slots fetched ahead, so that the inserts do not wait for each one.
    constexpr int kBatch = 16;
    struct Pending {
        quint64 hash;
        RecordId id;
    } batch[kBatch];
    int pending = 0;
    auto insertBatch = [&] {
        for (int i = 0; i < pending; ++i)
            insertHashed(batch[i].hash, batch[i].id);
        pending = 0;
    };
    QList<Value> values;  // one list for the whole scan
    for (RecordId id = file.first(); id != NoRecord; id = file.next(id)) {
        file.read(id, raw);
        valuesInto(file, raw, values);
        const quint64 hash = hashOf(keyOf(values));
#if defined(__GNUC__)
        __builtin_prefetch(&slots_[size_t(hash) & (slots_.size() - 1)], 1);
#endif
        batch[pending++] = {hash, id};
        if (pending == kBatch)
            insertBatch();
    }
    insertBatch();
}

void LocateIndex::add(RecordId id, const QList<Value>& values)
{
    const QString& key = keyOf(values);
    if (forPrefixes_)
        ordered_[key].push_back(id);
    else
        insertHashed(hashOf(key), id);
}

void LocateIndex::remove(RecordId id, const QList<Value>& values)
{
    const QString& key = keyOf(values);
    if (!forPrefixes_) {
        if (slots_.empty())
            return;
        const quint64 hash = hashOf(key);
        const size_t mask = slots_.size() - 1;
        for (size_t i = size_t(hash) & mask; slots_[i].id != kEmpty; i = (i + 1) & mask) {
            if (slots_[i].id == id && slots_[i].hash == hash) {
                slots_[i].id = kRemoved;
                --live_;
                return;
            }
        }
        return;
    }
    auto it = ordered_.find(key);
    if (it == ordered_.end())
        return;
    auto& ids = it->second;
    ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
    if (ids.empty())
        ordered_.erase(it);
}

std::vector<RecordId> LocateIndex::candidates(const QList<Value>& wanted, bool partial) const
{
    std::vector<RecordId> out;
    candidates(wanted, partial, out);
    return out;
}

void LocateIndex::candidates(const QList<Value>& wanted, bool partial, std::vector<RecordId>& out) const
{
    out.clear();
    const QString& key = keyOf(wanted);
    if (!forPrefixes_) {
        if (slots_.empty())
            return;
        const quint64 hash = hashOf(key);
        const size_t mask = slots_.size() - 1;
        for (size_t i = size_t(hash) & mask; slots_[i].id != kEmpty; i = (i + 1) & mask)
            if (slots_[i].id >= 0 && slots_[i].hash == hash)
                out.push_back(slots_[i].id);
        return;
    }
    if (!partial) {
        auto it = ordered_.find(key);
        if (it != ordered_.end())
            out = it->second;
        return;
    }
    for (auto it = ordered_.lower_bound(key); it != ordered_.end() && it->first.startsWith(key); ++it)
        out.insert(out.end(), it->second.begin(), it->second.end());
}

}  // namespace quillora
