#pragma once

// The orders of text keys of the Borland language drivers, shared by the Paradox and dBase
// formats: a three-level dictionary compare (all primaries, then accents, then case) driven by
// a 256-row table per driver, or plain byte order for the drivers whose sort type is ASCII.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace quillora {

struct CollationRow {
    quint8 primary, secondary, tertiary, expands, second;
};

class Collation {
public:
    // Byte order (trailing blanks and NUL padding ignored).
    static const Collation* byteOrder();
    // The order of a Paradox sort-order name (or, for Paradox 3.x, only the header byte).
    // `known` is false for orders whose exact tables we do not have; the result is then byte
    // order, and keyed writes must be refused.
    static const Collation* forParadox(const QString& sortOrderId, int sortByte, bool* known);
    static const Collation* forSortOrder(const QString& sortOrderId, int sortByte, bool* known)
    {
        return forParadox(sortOrderId, sortByte, known);
    }
    // The order of a dBase language driver: the level-7 driver name when there is one, else
    // the LDID byte of the header. Same `known` rule as forParadox.
    static const Collation* forDbase(const QByteArray& driverName, int ldid, bool* known);

    // Compares two key images in the driver's code page. Text ends at the first NUL; trailing
    // blanks do not count.
    int compare(const char* a, int na, const char* b, int nb) const;
    // Bytes whose plain byte order is exactly compare()'s order (equal keys for equal texts;
    // empty for blank text).
    QByteArray sortKey(QByteArrayView text) const;

    bool isByteOrder() const { return rows_ == nullptr; }
    QString name() const { return name_; }

    Collation(QString name, const CollationRow* rows) : name_(std::move(name)), rows_(rows) {}

private:
    QString name_;
    const CollationRow* rows_;  // null = byte order
};

}  // namespace quillora
