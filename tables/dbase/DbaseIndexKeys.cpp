#include "tables/dbase/DbaseIndexKeys.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

namespace quillora::dbase {

void IndexKeyCollector::reserve(qsizetype records)
{
    keys_.reserve(records * keyLength_);
    records_.reserve(size_t(records));
}

void IndexKeyCollector::add(quint32 record, const char* key, QByteArrayView order)
{
    keys_.append(key, keyLength_);
    records_.push_back(record);
    if (!order.isNull() || !orderEnds_.empty()) {
        if (orderEnds_.empty() && records_.size() > 1) {
            // The earlier entries ordered by their keys: copy those keys as their orders.
            for (size_t i = 0; i + 1 < records_.size(); ++i) {
                orders_.append(keys_.constData() + qsizetype(i) * keyLength_, size_t(keyLength_));
                orderEnds_.push_back(orders_.size());
            }
        }
        if (order.isNull())
            orders_.append(key, size_t(keyLength_));
        else
            orders_.append(order.data(), size_t(order.size()));
        orderEnds_.push_back(orders_.size());
    }
}

IndexKeys IndexKeyCollector::sorted(bool descending, bool unique) const
{
    const size_t n = records_.size();
    auto orderOf = [&](quint32 i) -> std::string_view {
        if (orderEnds_.empty())
            return {keys_.constData() + qsizetype(i) * keyLength_, size_t(keyLength_)};
        const size_t begin = i == 0 ? 0 : orderEnds_[i - 1];
        return {orders_.data() + begin, orderEnds_[i] - begin};
    };
    std::vector<quint32> index(n);
    std::iota(index.begin(), index.end(), 0u);
    // Stable: entries come in record order, and equal keys keep it.
    if (descending)
        std::stable_sort(index.begin(), index.end(), [&](quint32 a, quint32 b) { return orderOf(b) < orderOf(a); });
    else
        std::stable_sort(index.begin(), index.end(), [&](quint32 a, quint32 b) { return orderOf(a) < orderOf(b); });

    IndexKeys out;
    out.keyLength = keyLength_;
    out.keys.reserve(qsizetype(n) * keyLength_);
    out.records.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const quint32 i = index[k];
        if (unique && k > 0 && orderOf(index[k - 1]) == orderOf(i))
            continue;
        out.keys.append(keys_.constData() + qsizetype(i) * keyLength_, keyLength_);
        out.records.push_back(records_[i]);
    }
    return out;
}

void appendOrderedDouble(QByteArray& out, double v)
{
    if (v == 0 || std::isnan(v))
        v = 0;  // -0 sorts with 0
    quint64 bits = std::bit_cast<quint64>(v);
    bits = (bits >> 63) ? ~bits : (bits | (quint64(1) << 63));
    for (int shift = 56; shift >= 0; shift -= 8)
        out.append(char(bits >> shift));
}

QByteArray doubleKey(double v)
{
    if (v == 0 || !std::isfinite(v))
        v = 0;
    const quint64 bits = std::bit_cast<quint64>(v);
    QByteArray out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[i] = char(bits >> (8 * i));
    return out;
}

QByteArray mdxNumberKey(double v, int digits)
{
    QByteArray out(12, '\0');
    if (!std::isfinite(v))
        v = 0;
    const bool negative = v < 0;
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed);
    const std::string_view text(buf, r.ec == std::errc() ? size_t(r.ptr - buf) : 0);
    const size_t point = std::min(text.find('.'), text.size());
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point < text.size() ? text.substr(point + 1) : std::string_view();
    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    std::string significant;
    int exponent = 0;  // the value is 0.<significant> * 10^exponent
    if (!whole.empty()) {
        exponent = int(whole.size());
        significant.assign(whole);
        significant.append(fraction);
    } else {
        size_t zeros = 0;
        while (zeros < fraction.size() && fraction[zeros] == '0')
            ++zeros;
        exponent = -int(zeros);
        significant.assign(fraction.substr(zeros));
    }
    while (!significant.empty() && significant.back() == '0')
        significant.pop_back();
    if (significant.size() > 20)
        significant.resize(20);
    if (significant.empty())
        exponent = 0;
    exponent = std::clamp(exponent, -0x34, 0xFF - 0x34);
    const int count = std::clamp(std::max<int>(digits, int(significant.size())), 1, 31);
    out[0] = char(0x34 + exponent);
    out[1] = char((count << 2) | 0x01 | (negative && !significant.empty() ? 0x80 : 0));
    for (size_t i = 0; i < significant.size(); ++i) {
        const int d = significant[i] - '0';
        out[2 + qsizetype(i / 2)] = char(uchar(out[2 + qsizetype(i / 2)]) | (i % 2 == 0 ? d << 4 : d));
    }
    return out;
}

double mdxNumberValue(const char* key)
{
    const auto* k = reinterpret_cast<const uchar*>(key);
    std::string text = "0.";
    for (int i = 0; i < 20; ++i)
        text += char('0' + ((i % 2 == 0) ? (k[2 + i / 2] >> 4) : (k[2 + i / 2] & 0x0F)) % 10);
    text += 'e' + std::to_string(int(k[0]) - 0x34);
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return (k[1] & 0x80) ? -v : v;
}

}  // namespace quillora::dbase
