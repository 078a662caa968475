#include "tables/dbase/DbaseCodePages.h"

#include <QRegularExpression>

namespace quillora::dbase {

namespace {

struct DriverId {
    int id;
    const char* codePage;
};

// Language driver bytes as dBase, the BDE and other xBase tools write them.
const DriverId kDrivers[] = {
    {0x01, "IBM437"}, {0x02, "IBM850"}, {0x03, "windows-1252"}, {0x04, "macintosh"},
    {0x08, "IBM865"}, {0x09, "IBM437"}, {0x0A, "IBM850"}, {0x0B, "IBM437"}, {0x0D, "IBM437"},
    {0x0E, "IBM850"}, {0x0F, "IBM437"}, {0x10, "IBM850"}, {0x11, "IBM437"}, {0x12, "IBM850"},
    {0x13, "Shift_JIS"}, {0x14, "IBM850"}, {0x15, "IBM437"}, {0x16, "IBM850"}, {0x17, "IBM865"},
    {0x18, "IBM437"}, {0x19, "IBM437"}, {0x1A, "IBM850"}, {0x1B, "IBM437"}, {0x1C, "IBM863"},
    {0x1D, "IBM850"}, {0x1F, "IBM852"}, {0x22, "IBM852"}, {0x23, "IBM852"}, {0x24, "IBM860"},
    {0x25, "IBM850"}, {0x26, "IBM866"}, {0x37, "IBM850"}, {0x40, "IBM852"}, {0x4D, "GBK"},
    {0x4E, "windows-949"}, {0x4F, "Big5"}, {0x50, "windows-874"}, {0x57, "windows-1252"},
    {0x58, "windows-1252"}, {0x59, "windows-1252"}, {0x64, "IBM852"}, {0x65, "IBM866"},
    {0x66, "IBM865"}, {0x67, "IBM861"}, {0x6A, "ibm-737"}, {0x6B, "IBM857"}, {0x78, "Big5"},
    {0x79, "windows-949"}, {0x7A, "GBK"}, {0x7B, "Shift_JIS"}, {0x7C, "windows-874"},
    {0x7D, "windows-1255"}, {0x7E, "windows-1256"}, {0x96, "x-mac-cyrillic"},
    {0x97, "x-mac-centraleurroman"}, {0x98, "x-mac-greek"}, {0xC8, "windows-1250"},
    {0xC9, "windows-1251"}, {0xCA, "windows-1254"}, {0xCB, "windows-1253"},
};

// What we write for a code page: the most common driver of each.
struct Preferred {
    const char* codePage;
    int id;
    const char* name;  // level-7 driver name, or nullptr
};
const Preferred kPreferred[] = {
    {"IBM437", 0x1B, "DB437US0"},   {"IBM850", 0x02, "DB850US0"},
    {"windows-1252", 0x57, "DBWINUS0"}, {"IBM852", 0x64, "DB852CZ0"},
    {"IBM866", 0x65, "DB866RU0"},   {"IBM865", 0x66, "DB865NO0"},
    {"IBM860", 0x24, "DB860PT0"},   {"IBM861", 0x67, "DB861IS0"},
    {"IBM863", 0x1C, "DB863CF1"},   {"IBM857", 0x6B, "DB857TR0"},
    {"ibm-737", 0x6A, "DB737GR0"},  {"windows-1250", 0xC8, nullptr},
    {"windows-1251", 0xC9, nullptr}, {"windows-1253", 0xCB, nullptr},
    {"windows-1254", 0xCA, nullptr}, {"windows-1255", 0x7D, nullptr},
    {"windows-1256", 0x7E, nullptr}, {"windows-874", 0x7C, nullptr},
    {"Big5", 0x78, nullptr},        {"GBK", 0x7A, nullptr},
    {"windows-949", 0x79, nullptr}, {"Shift_JIS", 0x7B, nullptr},
    {"macintosh", 0x04, nullptr},
};

QString canonical(const QString& name)
{
    // Accept the spellings users type: cp850, ibm850, IBM-850, windows1252, cp1252.
    static const QRegularExpression dos(QStringLiteral("^(?:cp|ibm|ibm-)(\\d{3})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression win(QStringLiteral("^(?:cp|windows-?)(12\\d\\d)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto w = win.match(name);
    if (w.hasMatch())
        return QStringLiteral("windows-") + w.captured(1);
    const auto d = dos.match(name);
    if (d.hasMatch())
        return d.captured(1) == QLatin1String("737") ? QStringLiteral("ibm-737")
                                                     : QStringLiteral("IBM") + d.captured(1);
    return name;
}

}  // namespace

QString codePageForDriverId(int ldid)
{
    for (const DriverId& d : kDrivers)
        if (d.id == ldid)
            return QString::fromLatin1(d.codePage);
    return {};
}

QString codePageForDriverName(const QByteArray& rawName)
{
    const QByteArray name = rawName.toUpper();
    if (name.isEmpty())
        return {};
    // BDE names: DB<code page><country><n>, DBWIN<country><n> for Windows ANSI.
    if (name.startsWith("DBWIN"))
        return QStringLiteral("windows-1252");
    if (name.startsWith("DB") && name.size() >= 5) {
        const QByteArray digits = name.mid(2, 3);
        bool ok = false;
        const int cp = digits.toInt(&ok);
        if (ok) {
            switch (cp) {
            case 437: case 850: case 852: case 860: case 861: case 863: case 865: case 866:
            case 857:
                return QStringLiteral("IBM%1").arg(cp);
            case 737:
                return QStringLiteral("ibm-737");
            default:
                break;
            }
        }
    }
    return {};
}

int driverIdForCodePage(const QString& icuName)
{
    const QString name = canonical(icuName);
    for (const Preferred& p : kPreferred)
        if (name.compare(QLatin1String(p.codePage), Qt::CaseInsensitive) == 0)
            return p.id;
    return 0;
}

QByteArray driverNameForCodePage(const QString& icuName)
{
    const QString name = canonical(icuName);
    for (const Preferred& p : kPreferred)
        if (name.compare(QLatin1String(p.codePage), Qt::CaseInsensitive) == 0)
            return p.name ? QByteArray(p.name) : QByteArray();
    return {};
}

}  // namespace quillora::dbase
