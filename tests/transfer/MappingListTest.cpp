// The mapping list: lines, the split, the kinds of term and the shared sequence counter.
#include "tables/Error.h"
#include "transfer/MappingList.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;

TEST(MappingList, LinesAreTheTextsOwnLinesWithoutTheBreakAtTheEnd)
{
    EXPECT_EQ(mappingLines(""), QStringList());
    EXPECT_EQ(mappingLines("A=B"), QStringList({"A=B"}));
    EXPECT_EQ(mappingLines("A=B\n"), QStringList({"A=B"}));
    EXPECT_EQ(mappingLines("A=B\n\n"), QStringList({"A=B", ""}));
    EXPECT_EQ(mappingLines("A=B\r\n\r\nC=D"), QStringList({"A=B", "", "C=D"}));
    // A long line stays one line however narrow the box that shows it.
    const QString longLine = QStringLiteral("OBS=#") + QString(500, QLatin1Char('x'));
    EXPECT_EQ(mappingLines(longLine), QStringList({longLine}));
}

TEST(MappingList, SeparaLinhaSplitsAtTheFirstEqualsSign)
{
    struct Case {
        const char* line;
        const char* dest;
        const char* term;
    };
    const Case cases[] = {
        {"NOME=NOME_CLI", "NOME", "NOME_CLI"},
        {"OBS=#A=B", "OBS", "#A=B"},
        {"NOME = NOME_CLI", "NOME ", " NOME_CLI"},
        {"NOMECLI", "", "OMECLI"},
        {"=X", "", "X"},
        {"A=", "A", ""},
    };
    for (const Case& c : cases) {
        QString dest = QStringLiteral("antes");
        QString term = QStringLiteral("antes");
        SeparaLinha(QString::fromUtf8(c.line), dest, term);
        EXPECT_EQ(dest, QString::fromUtf8(c.dest)) << c.line;
        EXPECT_EQ(term, QString::fromUtf8(c.term)) << c.line;
    }
    QString dest = QStringLiteral("D");
    QString term = QStringLiteral("T");
    SeparaLinha(QString(), dest, term);
    EXPECT_EQ(dest, QStringLiteral("D"));
    EXPECT_EQ(term, QStringLiteral("T"));
}

TEST(MappingList, TermKinds)
{
    EXPECT_EQ(termKind("NOME_CLI"), TermKind::Field);
    EXPECT_EQ(termKind(""), TermKind::Field);
    EXPECT_EQ(termKind("@001"), TermKind::Sequence);
    EXPECT_EQ(termKind("X@7"), TermKind::Sequence);
    EXPECT_EQ(termKind("#@1"), TermKind::Sequence);  // both markers: a sequence
    EXPECT_EQ(termKind("#A=B"), TermKind::FixedText);
    EXPECT_EQ(termKind("AB#"), TermKind::FixedText);
    EXPECT_EQ(fixedText("#A=B"), QStringLiteral("A=B"));
    EXPECT_EQ(fixedText("#"), QString());
}

TEST(SequenceCounter, NumberingRule)
{
    struct Case {
        QStringList terms;  // applied in this order from a fresh counter
        QStringList out;
    };
    const Case cases[] = {
        {{"@001", "@001", "@001"}, {"001", "002", "003"}},
        // Two lines share the counter; the second start number is never read.
        {{"@1", "@5", "@1", "@5"}, {"1", "2", "3", "4"}},
        {{"@0", "@0", "@0"}, {"0", "0", "0"}},
        {{"@-2", "@-2"}, {"-02", "-02"}},
        {{"@", "@"}, {"0", "0"}},
        {{"X@7", "X@7"}, {"00", "00"}},
        {{"@0010", "@1"}, {"0010", "11"}},
        {{"@7", "@0000"}, {"7", "0008"}},
        {{"@123", "@1"}, {"123", "124"}},  // more digits than the width: written whole
        {{"@2147483647", "@5"}, {"2147483647", "-2147483648"}},
    };
    for (const Case& c : cases) {
        SequenceCounter counter;
        QStringList out;
        for (const QString& t : c.terms)
            out << counter.apply(t);
        EXPECT_EQ(out, c.out) << c.terms.join(' ').toStdString();
    }
}

TEST(SequenceCounter, WidthOver224IsRefused)
{
    SequenceCounter counter;
    EXPECT_EQ(counter.apply(QStringLiteral("@") + QString(224, QLatin1Char('1'))).size(), 224);
    SequenceCounter fresh;
    try {
        fresh.apply(QStringLiteral("@") + QString(225, QLatin1Char('1')));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Format string too long"));
    }
    EXPECT_EQ(fresh.value(), 0);
}
