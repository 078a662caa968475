#include "tables/dbase/DbaseTable.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseCodePages.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseIndexKeys.h"
#include "tables/dbase/MdxWriter.h"
#include "tables/dbase/NdxWriter.h"
#include "tables/io/Endian.h"
#include "tables/io/FileOps.h"

#include <QDate>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quillora::dbase {

namespace {

constexpr qint64 kCacheBytes = 64 * 1024;
constexpr qint64 kJumpCacheBytes = 1024;
// Appends are written in batches of about this size, each followed by one header update.
constexpr qint64 kAppendBatchBytes = 64 * 1024;
constexpr qint64 kAppendBatchRecords = 1000;
// Day number 1 of the level-7 timestamp is 0001-01-01.
constexpr qint64 kTimestampJulianOffset = 1721425;
constexpr double kMsPerDay = 86400000.0;

using io::le16;
using io::le32;
using io::putBe32;
using io::putLe32;

// Level-7 binary fields keep 8-byte big-endian values.
quint64 be64(const char* p)
{
    return (quint64(io::be32(p)) << 32) | io::be32(p + 4);
}
void putBe64(char* p, quint64 v)
{
    putBe32(p, quint32(v >> 32));
    putBe32(p + 4, quint32(v));
}
bool allBytes(const char* p, int n, char c)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != c)
            return false;
    return true;
}
bool isBlank(char c)
{
    return c == ' ' || c == '\0';
}

// Trims blanks (spaces and NULs, both seen as padding) from both ends of a numeric field.
std::pair<const char*, const char*> trimmed(const char* b, const char* e)
{
    while (b < e && isBlank(*b))
        ++b;
    while (e > b && isBlank(e[-1]))
        --e;
    return {b, e};
}

enum class NumParse { Null, Ok };

// End of the text of a field once trailing blanks are dropped; whole runs of spaces go 8 at a time.
const char* trimEnd(const char* b, const char* e)
{
    static constexpr char kSpaces[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (e - b >= 8 && std::memcmp(e - 8, kSpaces, 8) == 0)
        e -= 8;
    while (e > b && isBlank(e[-1]))
        --e;
    return e;
}

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The usual numeric text ("-123.45", up to 15 digits) without from_chars: mantissa and power of
// ten are both exact doubles, so their quotient is the correctly rounded value from_chars gives.
// False for anything else, which then takes the general path.
bool plainDecimal(const char* b, const char* e, double* out)
{
    const bool negative = b < e && *b == '-';
    b += negative;
    quint64 mantissa = 0;
    int digits = 0;
    int decimals = -1;
    for (; b < e; ++b) {
        const unsigned digit = unsigned(uchar(*b)) - '0';
        if (digit <= 9) {
            if (++digits > 15)
                return false;
            mantissa = mantissa * 10 + digit;
            decimals += decimals >= 0;
        } else if (*b == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    double d = double(mantissa);
    if (decimals > 0)
        d /= kPow10[decimals];
    *out = negative ? -d : d;
    return true;
}

// Numeric text as dBase and other writers leave it: optional '+', ',' as decimal point in some
// files, '*' when the number did not fit (no value).
NumParse parseDouble(const char* b, const char* e, double* out)
{
    std::tie(b, e) = trimmed(b, e);
    if (b < e && *b == '+')
        ++b;
    if (plainDecimal(b, e, out))
        return NumParse::Ok;
    if (b == e || std::find(b, e, '*') != e)
        return NumParse::Null;
    char buf[256];
    const qint64 n = std::min<qint64>(e - b, sizeof(buf));
    for (qint64 i = 0; i < n; ++i)
        buf[i] = b[i] == ',' ? '.' : b[i];
    auto r = std::from_chars(buf, buf + n, *out);
    if (r.ec != std::errc() || r.ptr != buf + n)
        return NumParse::Null;
    return NumParse::Ok;
}

NumParse parseInteger(const char* b, const char* e, qint64* out)
{
    std::tie(b, e) = trimmed(b, e);
    if (b < e && *b == '+')
        ++b;
    // Plain digits, the usual case, without from_chars.
    const bool negative = b < e && *b == '-';
    qint64 v = 0;
    int digits = 0;
    const char* q = b + negative;
    for (; q < e && digits < 18 && unsigned(uchar(*q)) - '0' <= 9; ++q, ++digits)
        v = v * 10 + (*q - '0');
    if (q == e && digits > 0) {
        *out = negative ? -v : v;
        return NumParse::Ok;
    }
    auto r = std::from_chars(b, e, *out);
    if (r.ec == std::errc() && r.ptr == e && b != e)
        return NumParse::Ok;
    double d = 0;
    if (parseDouble(b, e, &d) == NumParse::Null || !std::isfinite(d) || std::fabs(d) > 9e18)
        return NumParse::Null;
    *out = std::llround(d);
    return NumParse::Ok;
}

QString fieldTypeLabel(char type, int length, int decimals)
{
    if (type == 'N' || type == 'F')
        return QStringLiteral("%1 %2,%3").arg(QChar::fromLatin1(type)).arg(length).arg(decimals);
    return QStringLiteral("%1 %2").arg(QChar::fromLatin1(type)).arg(length);
}

// Whether d lies exactly halfway between two numbers of `decimals` places: its lowest set bit
// is then worth 2^-(decimals + 1).
bool roundsAtHalf(double d, int decimals)
{
    if (d == 0 || !std::isfinite(d))
        return false;
    int exp = 0;
    const double frac = std::frexp(std::fabs(d), &exp);
    const auto mantissa = quint64(std::ldexp(frac, 53));
    return exp - 53 + std::countr_zero(mantissa) == -(decimals + 1);
}

// The text of a number as a numeric field holds it, with exactly `decimals` places, into buf.
// Returns its length, or -1 when the value is no finite number or needs more than cap bytes.
int numberChars(const Value& v, int decimals, char* buf, int cap)
{
    std::to_chars_result r;
    if (v.kind() == Value::Kind::Integer && decimals == 0) {
        r = std::to_chars(buf, buf + cap, v.asInteger());
    } else {
        double d = 0;
        if (!v.toNumber(&d) || !std::isfinite(d))
            return -1;
        if (!roundsAtHalf(d, decimals)) {
            r = std::to_chars(buf, buf + cap, d, std::chars_format::fixed, decimals);
        } else {
            // to_chars rounds an exact half to even; dBase (and the rest of this program) round
            // it away from zero. The value then has exactly one more decimal, a 5: drop it and
            // add one unit to what is left.
            r = std::to_chars(buf, buf + cap - 1, d, std::chars_format::fixed, decimals + 1);
            if (r.ec != std::errc())
                return -1;
            int len = int(r.ptr - buf) - (decimals == 0 ? 2 : 1);
            int i = len - 1;
            for (; i >= 0 && buf[i] != '-'; --i) {
                if (buf[i] == '.')
                    continue;
                if (buf[i] != '9') {
                    ++buf[i];
                    break;
                }
                buf[i] = '0';
            }
            if (i < 0 || buf[i] == '-') {  // carried past the first digit: 9.5 -> 10
                const int at = i + 1;
                std::memmove(buf + at + 1, buf + at, size_t(len - at));
                buf[at] = '1';
                ++len;
            }
            r.ptr = buf + len;
        }
    }
    if (r.ec != std::errc())
        return -1;
    int len = int(r.ptr - buf);
    // "-0.00" is a zero to every reader; write it without the sign.
    if (len > 1 && buf[0] == '-' && std::all_of(buf + 1, buf + len, [](char c) { return c == '0' || c == '.'; })) {
        std::memmove(buf, buf + 1, size_t(len - 1));
        --len;
    }
    return len;
}

// YYYYMMDD of a date with a year from 1 to 9999.
void putDate(char* dst, const QDate& d)
{
    auto digits = [](char* p, int v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            p[i] = char('0' + v % 10);
            v /= 10;
        }
    };
    digits(dst, d.year(), 4);
    digits(dst + 4, d.month(), 2);
    digits(dst + 6, d.day(), 2);
}

}  // namespace

DbaseTable::DbaseTable(const QString& path, const QString& codePage)
    : path_(path), overrideCodePage_(codePage)
{
    openFile();
    head_ = readDbaseHeader(file_, path_, overrideCodePage_);
    physCount_ = std::min(head_.count, head_.available);
    // Read what is there; writing is refused until the file is repaired.
    truncated_ = head_.available < head_.count;
    bool memoFields = false;
    for (const Column& c : head_.columns)
        memoFields = memoFields || c.type == 'M' || c.type == 'B' || c.type == 'G';
    if (memoFields) {
        const bool iv = head_.version == 0x8B || head_.version == 0x7B || head_.version == 0x8C || head_.level7 || head_.version == 0x05;
        memo_.open(path_, iv ? DbaseMemo::Style::IV : DbaseMemo::Style::III);
    }
}

DbaseTable::~DbaseTable()
{
    try {
        flush();
    } catch (...) {
    }
    // Closing the files (the members) also releases the write lock.
}

void DbaseTable::damaged(const QString& why) const
{
    throw FileError(QStringLiteral("Tabela dBase danificada: %1 (%2)").arg(path_, why));
}

void DbaseTable::openFile()
{
    const int err = file_.tryOpen(path_, io::OpenMode::Read);
    if (err == -ENOENT)
        throw FileError(QStringLiteral("Tabela não encontrada: %1").arg(path_));
    if (err == -EISDIR)
        throw FileError(QStringLiteral("%1 é uma pasta, não uma tabela dBase").arg(path_));
    if (err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir a tabela %1: %2").arg(path_, io::errorText(err)));
}

QString DbaseTable::missingMemoText() const
{
    return QStringLiteral("a tabela %1 tem campos memo, mas o arquivo de memo (.dbt) não foi encontrado ao lado dela")
        .arg(path_);
}

QString DbaseTable::formatName() const
{
    const bool memo = memo_.style() != DbaseMemo::Style::None;
    if (head_.level7)
        return memo ? QStringLiteral("dBase 7 com memo") : QStringLiteral("dBase 7");
    switch (head_.version) {
    case 0x83: return QStringLiteral("dBase III+ com memo");
    case 0x8B: case 0x7B: return QStringLiteral("dBase IV com memo");
    case 0x05: return QStringLiteral("dBase 5");
    default: return QStringLiteral("dBase III/IV");
    }
}

QString DbaseTable::codePageName() const
{
    return head_.codePageLabel;
}

QList<IndexDef> DbaseTable::indexes() const
{
    // Tags that writes cannot keep up to date (the table is then read-only) are listed as not
    // maintained.
    QList<IndexDef> out;
    auto add = [&](const DbaseTagInfo& tag, bool ndx) {
        IndexDef def;
        def.name = tag.name;
        def.fileName = tag.fileName;
        if (!tagProblem(tag, ndx, nullptr).isEmpty())
            def.options = ixNonMaintained;
        if (tag.descending)
            def.options |= ixDescending;
        if (tag.unique)
            def.options |= ixUnique;
        const QString key = tag.expression.trimmed();
        for (const FieldDef& f : head_.fields)
            if (f.name.compare(key, Qt::CaseInsensitive) == 0 && tag.forExpression.isEmpty())
                def.fields = QStringList{f.name};
        if (def.fields.isEmpty()) {
            def.options |= ixExpression;
            def.expression = tag.expression;
            if (!tag.forExpression.isEmpty()) {
                def.expression += QStringLiteral(" FOR ") + tag.forExpression;
                filteredTagExpressions_.insert(def.expression);
            }
        }
        out.append(def);
    };
    // A damaged index file is still listed (by its file name) so that `info` shows it; ordering
    // by its tags then reports that they are not there.
    auto listFile = [&](const QString& file) {
        IndexDef def;
        def.name = QFileInfo(file).fileName();
        def.fileName = def.name;
        def.options = ixNonMaintained;
        out.append(def);
    };
    const QString mdx = siblingFile(path_, QStringLiteral("mdx"));
    if (!mdx.isEmpty()) {
        try {
            for (const DbaseTagInfo& tag : readMdxTags(mdx))
                add(tag, false);
        } catch (const Error&) {
            listFile(mdx);
        }
    }
    QString ndx = siblingFile(path_, QStringLiteral("ndx"));
    QString ndxName;
    if (ndx.isEmpty()) {
        // Out of date while this table is written: listed under its own name all the same.
        ndx = staleNdxFile(path_);
        ndxName = QFileInfo(ndxPathOf(ndx)).fileName();
    }
    if (!ndx.isEmpty()) {
        try {
            DbaseTagInfo tag = readNdxHeader(ndx);
            if (!ndxName.isEmpty()) {
                tag.fileName = ndxName;
                tag.name = QFileInfo(ndxName).completeBaseName();
            }
            add(tag, true);
        } catch (const Error&) {
            listFile(ndx);
        }
    }
    return out;
}

QByteArray DbaseTable::textKey(const QByteArray& bytes) const
{
    return head_.collation->isByteOrder() ? bytes : head_.collation->sortKey(bytes);
}

ExprValue DbaseTable::exprField(const QByteArray& raw, int field)
{
    const Column& c = head_.columns[size_t(field)];
    switch (c.type) {
    case 'C':
        return ExprValue::character(raw.size() == head_.recordLen
                                        ? head_.codePage->decode(QByteArrayView(raw.constData() + 1 + c.offset, c.length))
                                        : QString(c.length, QLatin1Char(' ')));
    case 'D': {
        const Value v = value(raw, field);
        return ExprValue::fromDate(v.kind() == Value::Kind::Date ? v.asDate() : QDate());
    }
    case 'L': {
        const Value v = value(raw, field);
        return ExprValue::boolean(v.kind() == Value::Kind::Boolean && v.asBoolean());
    }
    case 'N': case 'F': case 'I': case '+': case 'O': {
        double d = 0;
        value(raw, field).toNumber(&d);
        return ExprValue::numeric(d);
    }
    default:
        return ExprValue::character(QString());
    }
}

QByteArray DbaseTable::expressionKey(const IndexDef& index, RecordId id, const QByteArray& raw)
{
    if (filteredTagExpressions_.contains(index.expression))
        throw Error(QStringLiteral("A ordem do índice %1 de %2 não é suportada: ele tem uma condição FOR (%3)")
                        .arg(index.name, path_, index.expression));
    auto& parsed = keyExpressions_[index.expression];
    if (!parsed) {
        try {
            parsed = std::make_shared<const DbaseExpression>(parseKeyExpression(index.expression));
        } catch (const Error& e) {
            keyExpressions_.erase(index.expression);
            throw Error(QStringLiteral("O índice %1 de %2 tem uma expressão que não se pode calcular: %3")
                            .arg(index.name, path_, e.text()));
        }
    }
    const ExprValue v = evaluate(*parsed, id, raw);
    QByteArray key;
    switch (v.type) {
    case ExprValue::Type::Character: {
        QByteArray bytes;
        QChar bad;
        if (!head_.codePage->encode(v.text, &bytes, &bad))
            throw Error(QStringLiteral("A chave do índice %1 de %2 tem o caractere '%3', que a página de código não tem")
                            .arg(index.name, path_, QString(bad)));
        return textKey(bytes);
    }
    case ExprValue::Type::Numeric:
        appendOrderedDouble(key, v.number);
        return key;
    case ExprValue::Type::Date:
        if (v.date.isValid())
            appendOrderedDouble(key, double(v.date.toJulianDay()));
        return key;
    case ExprValue::Type::Logical:
        key.append(v.logical ? '\x01' : '\0');
        return key;
    }
    return key;
}

ExprValue DbaseTable::evaluate(const DbaseExpression& expression, RecordId id, const QByteArray& raw)
{
    struct Record : ExprRecord {
        DbaseTable* table;
        const QByteArray* raw;
        RecordId id;
        ExprValue field(int i) const override { return table->exprField(*raw, i); }
        bool deleted() const override { return !raw->isEmpty() && raw->at(0) == '*'; }
        qint64 recordNumber() const override { return id; }
    } record;
    record.table = this;
    record.raw = &raw;
    record.id = id;
    return expression.evaluate(record);
}

QByteArray DbaseTable::sortKey(int field, const Value& value)
{
    if (field < 0 || field >= int(head_.columns.size()))
        return TableFile::sortKey(field, value);
    const Column& c = head_.columns[size_t(field)];
    QByteArray key;
    switch (c.type) {
    case 'C': {
        // Index keys are the field's bytes, blank padded; a blank field is all blanks.
        QByteArray bytes;
        if (!value.isNull() && value.kind() == Value::Kind::Text
            && !head_.codePage->encode(value.asText(), &bytes))
            return TableFile::sortKey(field, value);
        if (bytes.size() < c.length)
            bytes.append(QByteArray(c.length - bytes.size(), ' '));
        return textKey(bytes);
    }
    case 'N':
    case 'F': {
        double d = 0;  // a blank number is indexed as zero
        if (!value.isNull())
            value.toNumber(&d);
        appendOrderedDouble(key, d);
        return key;
    }
    case 'D':
        if (value.isNull() || value.kind() != Value::Kind::Date)
            return key;  // blank dates first
        appendOrderedDouble(key, double(value.asDate().toJulianDay()));
        return key;
    default:
        return TableFile::sortKey(field, value);
    }
}

// --- Navigation -----------------------------------------------------------------------------

void DbaseTable::fillCache(qint64 rec, bool backward)
{
    // A walk that runs on from the records in hand reads a large window; a jump elsewhere (a
    // search landing on one record) reads only a page's worth, so random access stays cheap.
    const bool continues = cacheCount_ > 0 && (backward ? rec == cacheFirst_ - 1 : rec == cacheFirst_ + cacheCount_);
    const qint64 bytes = continues ? kCacheBytes : kJumpCacheBytes;
    const qint64 window = std::max<qint64>(1, bytes / head_.recordLen);
    qint64 start = backward ? std::max<qint64>(0, rec - window + 1) : rec;
    const qint64 n = std::min(window, diskCount() - start);
    cache_.resize(n * head_.recordLen);
    cacheFirst_ = start;
    cacheCount_ = 0;
    file_.read(head_.headerLen + start * qint64(head_.recordLen), cache_.data(), n * head_.recordLen);
    cacheCount_ = n;
}

const char* DbaseTable::recordAt(qint64 rec, bool backward)
{
    const qint64 disk = diskCount();
    if (rec >= disk)
        return pending_.constData() + (rec - disk) * head_.recordLen;
    if (rec < cacheFirst_ || rec >= cacheFirst_ + cacheCount_)
        fillCache(rec, backward);
    return cache_.constData() + (rec - cacheFirst_) * head_.recordLen;
}

bool DbaseTable::isDeleted(RecordId id)
{
    checkId(id);
    return flagOf(id - 1) == '*';
}

RecordId DbaseTable::first()
{
    return next(0);
}

RecordId DbaseTable::last()
{
    return prior(physCount_ + 1);
}

RecordId DbaseTable::next(RecordId id)
{
    for (qint64 rec = std::max<qint64>(id, 0); rec < physCount_; ++rec)
        if (flagOf(rec) != '*')
            return rec + 1;
    return NoRecord;
}

RecordId DbaseTable::prior(RecordId id)
{
    for (qint64 rec = std::min(id, physCount_ + 1) - 2; rec >= 0; --rec)
        if (flagOf(rec, true) != '*')
            return rec + 1;
    return NoRecord;
}

qint64 DbaseTable::count()
{
    if (visible_ < 0) {
        qint64 n = 0;
        for (qint64 rec = 0; rec < physCount_; ++rec)
            n += flagOf(rec) != '*';
        visible_ = n;
    }
    return visible_;
}

void DbaseTable::checkId(RecordId id) const
{
    if (id < 1 || id > physCount_)
        throw FileError(QStringLiteral("Registro %1 não existe na tabela %2").arg(id).arg(path_));
}

// --- Reading --------------------------------------------------------------------------------

void DbaseTable::read(RecordId id, QByteArray& raw)
{
    checkId(id);
    const char* src = recordAt(id - 1);
    raw.resize(head_.recordLen);
    std::memcpy(raw.data(), src, size_t(head_.recordLen));
}

QString DbaseTable::fieldLabel(int field) const
{
    const Column& c = head_.columns[size_t(field)];
    return QStringLiteral("%1 (%2)").arg(head_.fields[field].name, fieldTypeLabel(c.type, c.length, c.decimals));
}

bool DbaseTable::appendTextUtf8(const QByteArray& raw, int field, std::string& out)
{
    if (field < 0 || field >= int(head_.columns.size()) || raw.size() != head_.recordLen || head_.columns[size_t(field)].type != 'C')
        return false;
    const Column& c = head_.columns[size_t(field)];
    const char* p = raw.constData() + 1 + c.offset;
    head_.codePage->appendUtf8(QByteArrayView(p, trimEnd(p, p + c.length) - p), out);
    return true;
}

Value DbaseTable::value(const QByteArray& raw, int field)
{
    if (field < 0 || field >= int(head_.columns.size()) || raw.size() != head_.recordLen)
        return {};
    const Column& c = head_.columns[size_t(field)];
    const FieldDef& def = head_.fields[field];
    const char* p = raw.constData() + 1 + c.offset;
    const char* e = p + c.length;
    switch (c.type) {
    case 'C': {
        e = trimEnd(p, e);
        if (e == p)
            return {};
        return Value::text(head_.codePage->decode(QByteArrayView(p, e - p)));
    }
    case 'N':
    case 'F': {
        if (def.type == ftFloat) {
            double d = 0;
            return parseDouble(p, e, &d) == NumParse::Ok ? Value::floating(d) : Value();
        }
        qint64 i = 0;
        return parseInteger(p, e, &i) == NumParse::Ok ? Value::integer(i) : Value();
    }
    case 'D': {
        int n[8];
        for (int i = 0; i < 8; ++i) {
            n[i] = int(uchar(p[i])) - '0';
            if (n[i] < 0 || n[i] > 9)
                return {};  // blank (no date) or not a date
        }
        return Value::date(QDate(n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3], n[4] * 10 + n[5], n[6] * 10 + n[7]));
    }
    case 'L':
        switch (*p) {
        case 'T': case 't': case 'Y': case 'y': return Value::boolean(true);
        case 'F': case 'f': case 'N': case 'n': return Value::boolean(false);
        default: return {};
        }
    case 'M':
    case 'B':
    case 'G': {
        qint64 block = 0;
        if (c.length == 4) {
            block = le32(p);
        } else {
            auto [b, t] = trimmed(p, e);
            if (b != t) {
                auto r = std::from_chars(b, t, block);
                if (r.ec != std::errc() || r.ptr != t || block < 0)
                    throw FileError(QStringLiteral("Tabela dBase danificada: %1 (ponteiro de memo inválido no campo %2)")
                                        .arg(path_, def.name));
            }
        }
        if (block == 0)
            return {};
        if (!memo_.isOpen())
            throw FileError(missingMemoText());
        const QByteArray data = memo_.read(block);
        if (data.isEmpty())
            return {};
        if (c.type == 'M')
            return Value::text(head_.codePage->decode(data));
        return Value::bytes(data);
    }
    case 'I':
    case '+':
        if (allBytes(p, 4, '\0'))
            return {};
        return Value::integer(qint32(io::be32(p) ^ 0x80000000u));
    case 'O': {
        if (allBytes(p, 8, '\0'))
            return {};
        quint64 u = be64(p);
        u = (u & 0x8000000000000000ull) ? (u ^ 0x8000000000000000ull) : ~u;
        double d;
        std::memcpy(&d, &u, 8);
        return Value::floating(d);
    }
    case '@': {
        if (allBytes(p, 8, '\0'))
            return {};
        const quint64 u = be64(p);
        double ms;
        std::memcpy(&ms, &u, 8);
        if (!std::isfinite(ms) || ms < kMsPerDay || ms > 4e14)
            return {};
        const qint64 total = qint64(std::llround(ms));
        const qint64 days = total / qint64(kMsPerDay);
        const QDate date = QDate::fromJulianDay(days + kTimestampJulianOffset);
        const QTime time = QTime::fromMSecsSinceStartOfDay(int(total % qint64(kMsPerDay)));
        QDateTime dt(date, time);
        if (!dt.isValid())
            dt = QDateTime(date, time, Qt::UTC);  // a local clock gap; keep the value as stored
        return Value::dateTime(dt);
    }
    default:
        return {};
    }
}

// --- Writing --------------------------------------------------------------------------------

void DbaseTable::requireWritable() const
{
    if (!writable_)
        throw Error(QStringLiteral("A tabela %1 não foi aberta para gravação").arg(path_));
}

void DbaseTable::beginWrite()
{
    if (writable_)
        return;
    auto refuse = [&](const QString& why) {
        throw FileError(QStringLiteral("Não é possível gravar na tabela %1: %2").arg(path_, why));
    };
    if (truncated_)
        refuse(QStringLiteral("o cabeçalho diz %1 registros, mas o arquivo só contém %2 (arquivo truncado)")
                   .arg(head_.count)
                   .arg(physCount_));
    planIndexes();

    if (memo_.style() != DbaseMemo::Style::None && !memo_.isOpen())
        refuse(missingMemoText());

    io::File file;
    if (const int err = file.tryOpen(path_, io::OpenMode::ReadWrite); err < 0)
        refuse(io::errorText(err));
    if (!file.tryLock(true))
        throw FileError(QStringLiteral("Tabela %1 em uso por outro programa (bloqueada para gravação)").arg(path_));
    io::File memo;
    if (memo_.isOpen())
        memo = memo_.openForWriting();
    // Another program may have appended before we held the lock: take the count again.
    char h[32];
    file.read(0, h, 32);
    if (le16(h + 8) != head_.headerLen || le16(h + 10) != head_.recordLen || uchar(h[0]) != head_.version)
        refuse(QStringLiteral("a estrutura mudou desde que foi aberta"));
    file_ = std::move(file);
    if (memo.isOpen())
        memo_.useForWriting(std::move(memo));
    std::memcpy(head_.bytes.data(), h, 32);
    head_.count = le32(h + 4);
    // What a session that did not finish left behind: indexes still marked out of date are
    // written anew at the end of this one.
    if (!mdxPlan_.empty() && head_.bytes[28] == 0)
        indexesStale_ = true;
    if (!ndxPlan_.empty()) {
        if (!io::exists(ndxPath_))
            indexesStale_ = true;
        else if (io::exists(ndxStalePath_))
            io::remove(ndxStalePath_);  // the .ndx beside it is the one written last
    }
    const qint64 available = (file_.size() - head_.headerLen) / head_.recordLen;
    physCount_ = std::min(head_.count, available);
    cacheCount_ = 0;
    visible_ = -1;
    writable_ = true;
    if (physCount_ < head_.count) {
        truncated_ = true;
        writable_ = false;
        refuse(QStringLiteral("o arquivo está truncado"));
    }

    blank_ = QByteArray(head_.recordLen, ' ');
    for (const Column& c : head_.columns)
        if (c.type == 'I' || c.type == '+' || c.type == 'O' || c.type == '@')
            std::memset(blank_.data() + 1 + c.offset, 0, size_t(c.length));
    if (head_.codePage->isSingleByte() && encodeTable_.empty()) {
        encodeTable_.assign(0x10000, 0);
        // Where two bytes decode to one character, the lower byte is written back.
        for (int b = 255; b >= 0; --b) {
            const char byte = char(b);
            const QString u = head_.codePage->decode(QByteArrayView(&byte, 1));
            if (u.size() == 1 && u[0].unicode() != 0xFFFD)
                encodeTable_[u[0].unicode()] = quint16(b + 1);
        }
    }

    // Auto-increment: the next value sits in the descriptor (bytes 42-45 in the files seen);
    // never hand out a value already present.
    for (size_t i = 0; i < head_.columns.size(); ++i) {
        const Column& c = head_.columns[i];
        if (c.type != '+')
            continue;
        qint64 next = le32(head_.bytes.constData() + c.descriptor + 42);
        QByteArray raw;
        for (RecordId id = 1; id <= physCount_; ++id) {
            read(id, raw);
            const Value v = value(raw, int(i));
            if (!v.isNull())
                next = std::max(next, v.asInteger() + 1);
        }
        nextAutoInc_ = std::max<qint64>(next, 1);
    }
}

QByteArray DbaseTable::encodeText(int field, const QString& text) const
{
    QByteArray out;
    QChar bad;
    if (!head_.codePage->encode(text, &out, &bad))
        badCharacter(field, bad);
    return out;
}

void DbaseTable::badCharacter(int field, QChar bad) const
{
    throw Error(QStringLiteral("O caractere '%1' (U+%2) do campo %3 não existe na página de código %4 da "
                               "tabela %5")
                    .arg(bad)
                    .arg(bad.unicode(), 4, 16, QLatin1Char('0'))
                    .arg(head_.fields[field].name, head_.codePage->name(), path_));
}

bool DbaseTable::encodeFixedText(int field, const QString& text, char* dst, int width) const
{
    if (encodeTable_.empty())
        return false;
    // The whole text is checked, as normalize() does, though only `width` characters are kept.
    const QChar* src = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const quint16 b = encodeTable_[src[i].unicode()];
        if (b == 0)
            badCharacter(field, src[i]);
        if (i < width)
            dst[i] = char(b - 1);
    }
    if (n < width)
        std::memset(dst + n, ' ', size_t(width - n));
    return true;
}

Value DbaseTable::normalize(int field, const Value& v)
{
    if (field < 0 || field >= int(head_.columns.size()))
        throw Error(QStringLiteral("Campo %1 inexistente na tabela %2").arg(field).arg(path_));
    if (v.isNull())
        return v;
    const Column& c = head_.columns[size_t(field)];
    const FieldDef& def = head_.fields[field];
    auto wrongKind = [&]() -> Value {
        throw Error(QStringLiteral("Valor %1 não serve para o campo %2").arg(v.debugString(), fieldLabel(field)));
    };
    switch (c.type) {
    case 'C': {
        if (v.kind() != Value::Kind::Text)
            return wrongKind();
        const QString& s = v.asText();
        const QByteArray bytes = encodeText(field, s);
        if (bytes.size() <= c.length)
            return v;
        if (head_.codePage->isSingleByte())
            return Value::text(s.left(c.length));
        // Cut whole characters (surrogate pairs and multi-byte sequences stay together).
        qsizetype used = 0, keep = 0;
        while (keep < s.size()) {
            const qsizetype step = (s[keep].isHighSurrogate() && keep + 1 < s.size()) ? 2 : 1;
            QByteArray one;
            head_.codePage->encode(s.mid(keep, step), &one);
            if (used + one.size() > c.length)
                break;
            used += one.size();
            keep += step;
        }
        return Value::text(s.left(keep));
    }
    case 'M': {
        if (v.kind() != Value::Kind::Text)
            return wrongKind();
        const QByteArray bytes = encodeText(field, v.asText());
        if (memo_.style() == DbaseMemo::Style::III && bytes.contains('\x1A'))
            throw Error(QStringLiteral("O memo do campo %1 contém o caractere 0x1A, que marca o fim do memo em "
                                       "tabelas dBase III")
                            .arg(def.name));
        return v;
    }
    case 'B':
    case 'G':
        if (v.kind() != Value::Kind::Bytes)
            return wrongKind();
        if (memo_.style() == DbaseMemo::Style::III && v.asBytes().contains('\x1A'))
            throw Error(QStringLiteral("O conteúdo binário do campo %1 contém o byte 0x1A, que um memo dBase III "
                                       "não pode guardar")
                            .arg(def.name));
        return v;
    case 'N':
    case 'F': {
        QByteArray text;
        Value result;
        if (v.kind() == Value::Kind::Integer && c.decimals == 0) {
            text = QByteArray::number(v.asInteger());
            result = def.type == ftFloat ? Value::floating(double(v.asInteger())) : v;
        } else {
            double d = 0;
            if (!v.toNumber(&d) || v.kind() == Value::Kind::Boolean)
                return wrongKind();
            char buf[640];  // the widest double with the most decimals a field can declare
            const int len = numberChars(Value::floating(d), c.decimals, buf, int(sizeof buf));
            if (len < 0)
                throw Error(QStringLiteral("O valor %1 não é um número que o campo %2 possa guardar")
                                .arg(v.debugString(), fieldLabel(field)));
            text = QByteArray(buf, len);
            if (def.type == ftFloat)
                result = Value::floating(text.toDouble());
            else
                result = Value::integer(text.toLongLong());
        }
        if (text.size() > c.length)
            throw Error(QStringLiteral("O valor %1 não cabe no campo %2: são %3 caracteres para %4")
                            .arg(QString::fromLatin1(text), fieldLabel(field))
                            .arg(text.size())
                            .arg(c.length));
        return result;
    }
    case 'D':
        if (v.kind() == Value::Kind::DateTime)
            return normalize(field, Value::date(v.asDateTime().date()));
        if (v.kind() != Value::Kind::Date)
            return wrongKind();
        if (v.asDate().year() < 1 || v.asDate().year() > 9999)
            throw Error(QStringLiteral("A data %1 do campo %2 está fora do intervalo 0001-9999")
                            .arg(v.asDate().toString(Qt::ISODate), def.name));
        return v;
    case 'L':
        if (v.kind() != Value::Kind::Boolean)
            return wrongKind();
        return v;
    case 'I':
    case '+': {
        if (v.kind() != Value::Kind::Integer)
            return wrongKind();
        // Zero bytes mean "empty", so -2^31 has no form in these fields.
        if (v.asInteger() < -2147483647LL || v.asInteger() > 2147483647LL)
            throw Error(QStringLiteral("O valor %1 não cabe no campo %2 (de -2147483647 a 2147483647)")
                            .arg(v.asInteger())
                            .arg(fieldLabel(field)));
        return v;
    }
    case 'O': {
        double d = 0;
        if (!v.toNumber(&d) || v.kind() == Value::Kind::Boolean)
            return wrongKind();
        if (!std::isfinite(d))
            throw Error(QStringLiteral("O valor %1 não é um número que o campo %2 possa guardar")
                            .arg(v.debugString(), fieldLabel(field)));
        return Value::floating(d);
    }
    case '@':
        if (v.kind() == Value::Kind::Date)
            return Value::dateTime(QDateTime(v.asDate(), QTime(0, 0)));
        if (v.kind() != Value::Kind::DateTime)
            return wrongKind();
        if (v.asDateTime().date().year() < 1)
            throw Error(QStringLiteral("A data %1 do campo %2 é anterior ao ano 1")
                            .arg(v.asDateTime().toString(Qt::ISODate), def.name));
        return v;
    default:
        return wrongKind();
    }
}

// Writes a normalized value into its place in the record image. Memo data is returned in
// memoOut for the caller to append first.
void DbaseTable::encodeField(int field, const Value& v, char* dst, QByteArray* memoOut) const
{
    const Column& c = head_.columns[size_t(field)];
    const bool binary7 = c.type == 'I' || c.type == '+' || c.type == 'O' || c.type == '@';
    if (v.isNull()) {
        std::memset(dst, binary7 ? 0 : ' ', size_t(c.length));
        return;
    }
    switch (c.type) {
    case 'C': {
        const QByteArray bytes = encodeText(field, v.asText());
        std::memset(dst, ' ', size_t(c.length));
        std::memcpy(dst, bytes.constData(), size_t(std::min<qsizetype>(bytes.size(), c.length)));
        break;
    }
    case 'M':
        *memoOut = encodeText(field, v.asText());
        break;
    case 'B':
    case 'G':
        *memoOut = v.asBytes();
        break;
    case 'N':
    case 'F': {
        // normalize() has checked that the text fits.
        char buf[256];
        const int len = std::max(0, numberChars(v, c.decimals, buf, c.length));
        std::memset(dst, ' ', size_t(c.length));
        std::memcpy(dst + c.length - len, buf, size_t(len));
        break;
    }
    case 'D':
        putDate(dst, v.asDate());
        break;
    case 'L':
        *dst = v.asBoolean() ? 'T' : 'F';
        break;
    case 'I':
    case '+':
        putBe32(dst, quint32(qint32(v.asInteger())) ^ 0x80000000u);
        break;
    case 'O': {
        double d = v.asFloat();
        if (d == 0)
            d = 0;  // no negative zero: it would sort below every positive value
        quint64 u;
        std::memcpy(&u, &d, 8);
        u = (u & 0x8000000000000000ull) ? ~u : (u | 0x8000000000000000ull);
        putBe64(dst, u);
        break;
    }
    case '@': {
        const QDateTime& dt = v.asDateTime();
        const double ms = double(dt.date().toJulianDay() - kTimestampJulianOffset) * kMsPerDay
                          + double(dt.time().msecsSinceStartOfDay());
        quint64 u;
        std::memcpy(&u, &ms, 8);
        putBe64(dst, u);
        break;
    }
    default:
        break;
    }
}

void DbaseTable::buildRecord(char* rec, const QList<Value>& values, const QList<bool>* changed)
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
        const Column& c = head_.columns[size_t(i)];
        if (c.type == '+') {
            if (inserting) {
                if (nextAutoInc_ > 2147483647LL)
                    throw Error(QStringLiteral("O campo %1 chegou ao maior valor possível").arg(head_.fields[i].name));
                encodeField(i, Value::integer(nextAutoInc_), rec + 1 + c.offset, nullptr);
            }
            continue;  // the file fills it; updates keep it
        }
        if (changed && !(*changed)[i])
            continue;
        // The common cases go straight into the record; the rest (and every error) through
        // normalize().
        char* const dst = rec + 1 + c.offset;
        const Value& in = values[i];
        const Value::Kind kind = in.kind();
        if (c.type == 'C' && kind == Value::Kind::Text) {
            if (encodeFixedText(i, in.asText(), dst, c.length))
                continue;
            QByteArray bytes = encodeText(i, values[i].asText());
            if (bytes.size() > c.length)
                bytes = encodeText(i, normalize(i, values[i]).asText());
            std::memset(dst, ' ', size_t(c.length));
            std::memcpy(dst, bytes.constData(), size_t(bytes.size()));
            continue;
        }
        if ((c.type == 'N' || c.type == 'F') && (kind == Value::Kind::Integer || kind == Value::Kind::Float)) {
            char buf[256];
            const int len = numberChars(in, c.decimals, buf, c.length);
            if (len >= 0) {
                std::memset(dst, ' ', size_t(c.length - len));
                std::memcpy(dst + c.length - len, buf, size_t(len));
                continue;
            }
        } else if (c.type == 'D' && kind == Value::Kind::Date && in.asDate().year() >= 1
                   && in.asDate().year() <= 9999) {
            putDate(dst, in.asDate());
            continue;
        } else if (c.type == 'L' && kind == Value::Kind::Boolean) {
            *dst = in.asBoolean() ? 'T' : 'F';
            continue;
        }
        const Value v = normalize(i, in);
        QByteArray memo;
        encodeField(i, v, dst, &memo);
        if (c.type == 'M' || c.type == 'B' || c.type == 'G') {
            if (v.isNull() || memo.isEmpty())
                std::memset(dst, ' ', size_t(c.length));
            else
                memos.push_back({i, memo});
        }
    }
    for (const Pending& m : memos) {
        const Column& c = head_.columns[size_t(m.field)];
        const qint64 block = memo_.append(m.data);
        char* dst = rec + 1 + c.offset;
        if (c.length == 4) {
            putLe32(dst, quint32(block));
        } else {
            // dBASE 7 writes the number zero-padded, the others space-padded.
            const QByteArray n = QByteArray::number(block).rightJustified(c.length, head_.level7 ? '0' : ' ');
            std::memcpy(dst, n.constData(), size_t(c.length));
        }
    }
}

void DbaseTable::writeHeaderDate()
{
    // Asked once per writing session: the clock costs a time zone lookup.
    if (!today_.isValid())
        today_ = QDate::currentDate();
    const QDate today = today_;
    head_.bytes[1] = char(today.year() - 1900);
    head_.bytes[2] = char(today.month());
    head_.bytes[3] = char(today.day());
}

void DbaseTable::writeHeaderCount()
{
    writeHeaderDate();
    putLe32(head_.bytes.data() + 4, quint32(head_.count));
    file_.write(1, head_.bytes.constData() + 1, 7);
    dateWritten_ = true;
}

RecordId DbaseTable::insert(const QList<Value>& values, RecordId)
{
    requireWritable();
    if (physCount_ >= 0xFFFFFFFFLL)
        throw FileError(QStringLiteral("A tabela %1 chegou ao número máximo de registros").arg(path_));
    // Built in place at the end of the batch; a value refused leaves the batch as it was.
    const qsizetype at = pending_.size();
    pending_.resize(at + head_.recordLen);
    std::memcpy(pending_.data() + at, blank_.constData(), size_t(head_.recordLen));
    try {
        buildRecord(pending_.data() + at, values, nullptr);
    } catch (...) {
        pending_.resize(at);
        throw;
    }
    if (nextAutoInc_ > 0) {
        ++nextAutoInc_;
        autoIncDirty_ = true;
    }
    ++pendingCount_;
    ++physCount_;
    if (visible_ >= 0)
        ++visible_;
    if (pending_.size() >= kAppendBatchBytes || pendingCount_ >= kAppendBatchRecords)
        writePending();
    return physCount_;
}

void DbaseTable::writePending()
{
    if (pendingCount_ == 0)
        return;
    markIndexesStale();
    if (autoIncDirty_) {
        // The counter goes first: a crash then costs numbers, never a duplicate.
        for (const Column& c : head_.columns) {
            if (c.type != '+')
                continue;
            putLe32(head_.bytes.data() + c.descriptor + 42, quint32(nextAutoInc_));
            file_.write(c.descriptor + 42, head_.bytes.constData() + c.descriptor + 42, 4);
        }
        autoIncDirty_ = false;
    }
    // Records and end mark, then the count: readers trust the count, so a crash before it
    // leaves the table as it was.
    const qint64 counted = head_.count;
    const qint64 pos = head_.headerLen + diskCount() * qint64(head_.recordLen);
    pending_.append('\x1A');
    try {
        file_.write(pos, pending_);
        head_.count = physCount_;
        writeHeaderCount();
    } catch (...) {
        // The batch stays in memory; on disk nothing may lie past what the header counts
        // (other readers take records up to the end mark, whatever the count says).
        pending_.chop(1);
        head_.count = counted;
        cutBackToCount(counted);
        throw;
    }
    pending_.resize(0);  // keeps its capacity for the next batch
    pendingCount_ = 0;
}

void DbaseTable::cutBackToCount(qint64 count) noexcept
{
    const qint64 end = head_.headerLen + count * qint64(head_.recordLen);
    try {
        file_.resize(end);
    } catch (...) {
    }
    try {
        file_.write(end, "\x1A", 1);
    } catch (...) {
    }
    try {
        // The count may have been half written.
        putLe32(head_.bytes.data() + 4, quint32(count));
        file_.write(4, head_.bytes.constData() + 4, 4);
    } catch (...) {
    }
}

RecordId DbaseTable::update(RecordId id, const QList<Value>& values, const QList<bool>& changed)
{
    requireWritable();
    checkId(id);
    if (changed.size() != head_.fields.size())
        throw Error(QStringLiteral("Lista de campos alterados com tamanho errado para a tabela %1").arg(path_));
    writePending();
    // The record was almost always just read (the caller edited it): take it from the cache
    // instead of reading it again.
    QByteArray rec(recordAt(id - 1), head_.recordLen);
    const qint64 pos = head_.headerLen + (id - 1) * qint64(head_.recordLen);
    buildRecord(rec.data(), values, &changed);
    markIndexesStale();
    file_.write(pos, rec.constData(), head_.recordLen);
    const qint64 rec0 = id - 1;
    if (rec0 >= cacheFirst_ && rec0 < cacheFirst_ + cacheCount_)
        std::memcpy(cache_.data() + (rec0 - cacheFirst_) * head_.recordLen, rec.constData(), size_t(head_.recordLen));
    if (!dateWritten_) {
        writeHeaderDate();
        file_.write(1, head_.bytes.constData() + 1, 3);
        dateWritten_ = true;
    }
    return id;
}

RecordId DbaseTable::remove(RecordId id)
{
    requireWritable();
    checkId(id);
    writePending();
    if (!isDeleted(id)) {
        const qint64 rec0 = id - 1;
        markIndexesStale();
        file_.write(head_.headerLen + rec0 * qint64(head_.recordLen), "*", 1);
        if (rec0 >= cacheFirst_ && rec0 < cacheFirst_ + cacheCount_)
            cache_[(rec0 - cacheFirst_) * head_.recordLen] = '*';
        if (visible_ >= 0)
            --visible_;
        if (!dateWritten_) {
            writeHeaderDate();
            file_.write(1, head_.bytes.constData() + 1, 3);
            dateWritten_ = true;
        }
    }
    return next(id);
}

DbaseExpression DbaseTable::parseKeyExpression(const QString& expression) const
{
    QStringList names;
    std::vector<ExprValue::Type> types;
    for (int i = 0; i < int(head_.columns.size()); ++i) {
        names << head_.fields[i].name;
        const char t = head_.columns[size_t(i)].type;
        types.push_back(t == 'C' || t == 'M' ? ExprValue::Type::Character
                        : t == 'D'           ? ExprValue::Type::Date
                        : t == 'L'           ? ExprValue::Type::Logical
                                             : ExprValue::Type::Numeric);
    }
    return DbaseExpression::parse(expression, names, types);
}

void DbaseTable::flush()
{
    if (!writable_)
        return;
    writePending();
    file_.sync();
    memo_.sync();
    if (indexesStale_) {
        rebuildIndexes();
        indexesStale_ = false;
    }
}

}  // namespace quillora::dbase
