#include "tables/Collation.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillora {

namespace {
#include "tables/collations/CollationTables.inc"

int trimmedLength(const char* s, int n)
{
    int len = 0;
    while (len < n && s[len])
        ++len;
    while (len > 0 && s[len - 1] == ' ')
        --len;
    return len;
}

struct Element {
    quint8 p, s, t;
    bool expandHead;
};

// One element per byte, two for a byte that sorts as a pair of letters (ä = a + e).
void elements(const CollationRow* rows, const char* s, int n, std::vector<Element>& out)
{
    out.clear();
    for (int i = 0; i < n; ++i) {
        const CollationRow& r = rows[uchar(s[i])];
        out.push_back({r.primary, r.secondary, r.tertiary, r.expands != 0});
        if (r.expands) {
            const CollationRow& r2 = rows[r.second];
            out.push_back({r2.primary, r2.secondary, r2.tertiary, false});
        }
    }
}
}  // namespace

int Collation::compare(const char* a, int na, const char* b, int nb) const
{
    na = trimmedLength(a, na);
    nb = trimmedLength(b, nb);
    if (!rows_) {
        const int r = std::memcmp(a, b, size_t(std::min(na, nb)));
        if (r)
            return r < 0 ? -1 : 1;
        return na == nb ? 0 : (na < nb ? -1 : 1);
    }
    thread_local std::vector<Element> ea, eb;
    elements(rows_, a, na, ea);
    elements(rows_, b, nb, eb);
    const size_t n = std::min(ea.size(), eb.size());
    int secondary = 0, tertiary = 0, expansion = 0;
    for (size_t i = 0; i < n; ++i) {
        const Element& x = ea[i];
        const Element& y = eb[i];
        if (x.p != y.p)
            return x.p < y.p ? -1 : 1;
        if (!secondary && x.s != y.s)
            secondary = x.s < y.s ? -1 : 1;
        if (!tertiary && x.s == y.s && x.t != y.t)
            tertiary = x.t < y.t ? -1 : 1;
        if (!expansion && x.expandHead != y.expandHead)
            expansion = x.expandHead ? 1 : -1;
    }
    if (ea.size() != eb.size())
        return ea.size() < eb.size() ? -1 : 1;
    if (secondary)
        return secondary;
    if (tertiary)
        return tertiary;
    return expansion;
}

QByteArray Collation::sortKey(QByteArrayView text) const
{
    const int n = trimmedLength(text.data(), int(text.size()));
    if (!rows_ || n == 0)
        return QByteArray(text.data(), n);  // blank text: empty, before every other key
    thread_local std::vector<Element> e;
    elements(rows_, text.data(), n, e);
    // Primaries as 16-bit units (all non-zero) closed by a zero unit, so a string whose
    // primaries are a prefix of another's is smaller whatever follows. Past that point both
    // keys have as many elements, so each later level lines up: every secondary, then every
    // tertiary, then which elements start an expansion.
    QByteArray key;
    key.reserve(int(e.size()) * 5 + 2);
    for (const Element& x : e) {
        key.append(char(x.p >> 8));
        key.append(char(x.p & 0xFF));
    }
    key.append('\0');
    key.append('\0');
    for (const Element& x : e)
        key.append(char(x.s));
    for (const Element& x : e)
        key.append(char(x.t));
    for (const Element& x : e)
        key.append(x.expandHead ? '\x01' : '\0');
    return key;
}

const Collation* Collation::byteOrder()
{
    static const Collation c(QStringLiteral("ordem dos bytes"), nullptr);
    return &c;
}

const Collation* Collation::forParadox(const QString& sortOrderId, int sortByte, bool* known)
{
    static const Collation intl(QStringLiteral("intl"), kPdoxIntl);
    static const Collation ansiIntl(QStringLiteral("ANSIINTL"), kPxwIntl);
    static const Collation ansiI850(QStringLiteral("ANSII850"), kPxwIntl850);
    static const Collation ptb850(QStringLiteral("DB850PT0"), kDbPtb850);
    static const Collation uk850(QStringLiteral("DB850UK0"), kDbUk850);
    *known = true;
    const QString id = sortOrderId.toLower();
    if (id.isEmpty()) {
        // Paradox 3.x: only the byte. 0 = ascii, 0xB7 = intl.
        if (sortByte == 0x00)
            return byteOrder();
        if (sortByte == 0xB7)
            return &intl;
        *known = false;
        return byteOrder();
    }
    // Drivers whose sort type is ASCII order by the byte.
    if (id == u"ascii" || id == u"dbwinus0" || id == u"db437us0" || id == u"db850us0")
        return byteOrder();
    if (id == u"intl")
        return &intl;
    if (id == u"ansiintl")
        return &ansiIntl;
    if (id == u"ansii850")
        return &ansiI850;
    // A Paradox table may name a dBase driver too.
    if (id == u"db850pt0")
        return &ptb850;
    if (id == u"db850uk0" || id == u"db850fr0" || id == u"db850it1" || id == u"db850nl0")
        return &uk850;
    *known = false;
    return byteOrder();
}

const Collation* Collation::forDbase(const QByteArray& driverName, int ldid, bool* known)
{
    if (!driverName.isEmpty())
        return forParadox(QString::fromLatin1(driverName).trimmed(), -1, known);
    switch (ldid) {
    case 0x00:  // no driver: plain bytes
    case 0x01:  // cp437, cp850, cp1252: code-page marks written by programs (FoxPro-era and
    case 0x02:  // later tools) that order character keys by byte value, as the indexes found on
    case 0x03:  // tables without a driver are
    case 0x1B:  // DB437US0
    case 0x37:  // DB850US0
    case 0x57:  // DBWINUS0
        *known = true;
        return byteOrder();
    case 0x25: return forParadox(QStringLiteral("DB850PT0"), -1, known);
    case 0x1A:  // DB850UK0
    case 0x0E:  // DB850FR0
    case 0x12:  // DB850IT1
    case 0x0A:  // DB850NL0
        return forParadox(QStringLiteral("DB850UK0"), -1, known);
    default:
        *known = false;
        return byteOrder();
    }
}

}  // namespace quillora
