// The language-driver orders: the compare against the driver notes' checks, and sort keys that
// give exactly the compare's order by plain byte comparison.

#include "tables/Collation.h"
#include "tables/CodePage.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

using namespace quillora;

namespace {

const Collation* paradox(const char* id)
{
    bool known = false;
    const Collation* c = Collation::forParadox(QString::fromLatin1(id), -1, &known);
    EXPECT_TRUE(known) << id;
    return c;
}

const Collation* dbase(const char* name, int ldid)
{
    bool known = false;
    const Collation* c = Collation::forDbase(QByteArray(name), ldid, &known);
    EXPECT_TRUE(known) << name << ldid;
    return c;
}

QByteArray encode(const QString& s, const char* codePage)
{
    QByteArray out;
    EXPECT_TRUE(CodePage::byName(QString::fromLatin1(codePage))->encode(s, &out)) << s.toStdString();
    return out;
}

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

QStringList sortedByKey(const Collation* c, const QStringList& words, const char* codePage)
{
    std::vector<std::pair<QByteArray, QString>> keyed;
    for (const QString& w : words)
        keyed.emplace_back(c->sortKey(encode(w, codePage)), w);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList out;
    for (const auto& k : keyed)
        out << k.second;
    return out;
}

}  // namespace

TEST(Collation, sortKeysOrderExactlyAsTheCompareOnRandomStrings)
{
    const std::vector<const Collation*> all = {
        Collation::byteOrder(), paradox("intl"), paradox("ANSIINTL"), paradox("ANSII850"),
        dbase("DB850PT0", 0), dbase("", 0x1A)};
    // Mostly letters (plain, accented, expanding) with blanks and NULs, so that primaries tie
    // often and the later levels decide; a share of any byte at all.
    const QByteArray common = QByteArray("aAbBeEsSz 0_-'") + QByteArray::fromPercentEncoding(
        "%E4%C4%E1%C1%C3%E3%DF%E6%C6%84%8E%A0%B5%C7%87%E9%90%00");
    QRandomGenerator rng(20261210);
    auto randomText = [&] {
        QByteArray s;
        const int n = int(rng.bounded(7));
        for (int i = 0; i < n; ++i)
            s.append(rng.bounded(4) == 0 ? char(rng.bounded(256)) : common[int(rng.bounded(int(common.size())))]);
        return s;
    };
    for (const Collation* c : all) {
        int mismatches = 0;
        for (int i = 0; i < 40000; ++i) {
            const QByteArray a = randomText(), b = randomText();
            const int byCompare = c->compare(a.constData(), int(a.size()), b.constData(), int(b.size()));
            const QByteArray ka = c->sortKey(a), kb = c->sortKey(b);
            const int byKey = ka < kb ? -1 : (kb < ka ? 1 : 0);
            if (sign(byCompare) != byKey && ++mismatches <= 5)
                ADD_FAILURE() << c->name().toStdString() << ": " << a.toHex().constData() << " vs "
                              << b.toHex().constData() << " compare " << byCompare << " key " << byKey;
        }
        EXPECT_EQ(mismatches, 0) << c->name().toStdString();
    }
}

TEST(Collation, portugueseWordsInTheDriversOrders)
{
    const QStringList words = {
        QStringLiteral("Ação"), QStringLiteral("acao"), QStringLiteral("ACAO"), QStringLiteral("Água"),
        QStringLiteral("agua"), QStringLiteral("Zé"),   QStringLiteral("ze"),   QStringLiteral("éter"),
        QStringLiteral("Éden"), QStringLiteral("Ñandu"), QStringLiteral("über"), QStringLiteral("ÇA"),
        QStringLiteral("ca"),   QStringLiteral("1abc"), QStringLiteral(" abc"), QStringLiteral("abc ")};
    const QStringList ansi = {
        QStringLiteral(" abc"), QStringLiteral("1abc"), QStringLiteral("abc "), QStringLiteral("acao"),
        QStringLiteral("Ação"), QStringLiteral("ACAO"), QStringLiteral("agua"), QStringLiteral("Água"),
        QStringLiteral("ca"),   QStringLiteral("ÇA"),   QStringLiteral("Éden"), QStringLiteral("éter"),
        QStringLiteral("Ñandu"), QStringLiteral("über"), QStringLiteral("ze"),  QStringLiteral("Zé")};
    QStringList ptb = ansi;  // upper case first
    ptb.move(5, 3);
    ASSERT_EQ(ptb.mid(3, 3), (QStringList{QStringLiteral("ACAO"), QStringLiteral("acao"), QStringLiteral("Ação")}));
    const QStringList cp1252Bytes = {
        QStringLiteral(" abc"), QStringLiteral("1abc"), QStringLiteral("ACAO"), QStringLiteral("Ação"),
        QStringLiteral("Zé"),   QStringLiteral("abc "), QStringLiteral("acao"), QStringLiteral("agua"),
        QStringLiteral("ca"),   QStringLiteral("ze"),   QStringLiteral("Água"), QStringLiteral("ÇA"),
        QStringLiteral("Éden"), QStringLiteral("Ñandu"), QStringLiteral("éter"), QStringLiteral("über")};

    EXPECT_EQ(sortedByKey(paradox("ANSIINTL"), words, "windows-1252"), ansi);
    EXPECT_EQ(sortedByKey(paradox("ANSII850"), words, "windows-1252"), ansi);
    EXPECT_EQ(sortedByKey(dbase("DB850PT0", 0), words, "IBM850"), ptb);
    EXPECT_EQ(sortedByKey(dbase("", 0x25), words, "IBM850"), ptb);
    EXPECT_EQ(sortedByKey(dbase("DBWINUS0", 0), words, "windows-1252"), cp1252Bytes);
}

TEST(Collation, expansionsLengthAndTrailingBlanks)
{
    struct Case {
        const char* driver;
        const char* codePage;
        QString less, greater;
    };
    const Case cases[] = {
        {"ANSIINTL", "windows-1252", QStringLiteral("ae"), QStringLiteral("ä")},
        {"ANSIINTL", "windows-1252", QStringLiteral("ä"), QStringLiteral("af")},
        {"ANSIINTL", "windows-1252", QStringLiteral("ss"), QStringLiteral("ß")},
        {"ANSIINTL", "windows-1252", QStringLiteral("ß"), QStringLiteral("st")},
        {"ANSIINTL", "windows-1252", QStringLiteral("Á"), QStringLiteral("ab")},  // length beats accents
        {"ANSII850", "windows-1252", QStringLiteral("á"), QStringLiteral("Ã")},   // full 5-bit accents
        {"DB850PT0", "IBM850", QStringLiteral("Á"), QStringLiteral("ab")},
        {"DB850PT0", "IBM850", QStringLiteral("#"), QStringLiteral("0")},         // digits after symbols
        {"DB850PT0", "IBM850", QStringLiteral("N"), QStringLiteral("Ñ")},
        {"DB850PT0", "IBM850", QStringLiteral("Nz"), QStringLiteral("Ña")},      // Ñ its own letter
        {"DB850UK0", "IBM850", QStringLiteral("a"), QStringLiteral("A")},        // lower first
        {"DB850UK0", "IBM850", QStringLiteral("9"), QStringLiteral("a")},
        {"DB850UK0", "IBM850", QStringLiteral("ae"), QStringLiteral("æ")},
        {"DB850UK0", "IBM850", QStringLiteral("z"), QStringLiteral("!")},        // punctuation after letters
        {"DB437US0", "IBM437", QStringLiteral("Z"), QStringLiteral("a")},        // byte order
        {"ascii", "IBM437", QStringLiteral("~"), QStringLiteral("ä")},
    };
    for (const Case& c : cases) {
        const Collation* coll = paradox(c.driver);
        const QByteArray a = encode(c.less, c.codePage), b = encode(c.greater, c.codePage);
        EXPECT_LT(coll->compare(a.constData(), int(a.size()), b.constData(), int(b.size())), 0)
            << c.driver << " " << c.less.toStdString() << " < " << c.greater.toStdString();
        EXPECT_LT(coll->sortKey(a), coll->sortKey(b)) << c.driver << " " << c.less.toStdString();
    }
    for (const char* id : {"ascii", "intl", "ANSIINTL", "ANSII850", "DB850PT0", "DB850UK0"}) {
        const Collation* coll = paradox(id);
        // Blank padding (dBase) and NUL padding (Paradox) do not count.
        EXPECT_EQ(coll->sortKey("abc"), coll->sortKey("abc   ")) << id;
        EXPECT_EQ(coll->sortKey("abc"), coll->sortKey(QByteArrayView("abc\0\0x", 6))) << id;
        EXPECT_EQ(coll->compare("abc", 3, "abc  ", 5), 0) << id;
        EXPECT_LT(coll->sortKey(" abc"), coll->sortKey("abc")) << id;
    }
}

TEST(Collation, driversPickTheirOrder)
{
    struct Case {
        const char* name;
        int ldid;
        const char* order;  // empty = byte order
        bool known;
    };
    const Case cases[] = {
        {"", 0x00, "", true},          {"", 0x01, "", true},          {"", 0x02, "", true},
        {"", 0x03, "", true},          {"", 0x1B, "", true},          {"", 0x37, "", true},
        {"", 0x57, "", true},          {"", 0x25, "DB850PT0", true},  {"", 0x1A, "DB850UK0", true},
        {"", 0x0E, "DB850UK0", true},  {"", 0x12, "DB850UK0", true},  {"", 0x0A, "DB850UK0", true},
        {"DB850FR0", 0, "DB850UK0", true}, {"DB437US0", 0x25, "", true}, {"", 0x22, "", false},
        {"DBWINWE0", 0, "", false},    {"db852hdc", 0, "", false},
    };
    for (const Case& c : cases) {
        bool known = !c.known;
        const Collation* coll = Collation::forDbase(QByteArray(c.name), c.ldid, &known);
        EXPECT_EQ(known, c.known) << c.name << " " << c.ldid;
        EXPECT_EQ(coll->isByteOrder() ? QString() : coll->name(), QString::fromLatin1(c.order)) << c.name << " " << c.ldid;
    }
}
