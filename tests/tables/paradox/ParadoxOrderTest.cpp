// Ordering a Paradox table by a secondary index in memory gives the order the index file keeps
// on disk.

#include "tables/Table.h"
#include "tables/TableFile.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

// The records of a .X?? index in the order it stores them. The file is a keyed table of its
// own; a copy whose header type says "keyed table" opens as one.
QList<QList<Value>> indexRecords(const QString& xPath, const QString& tempDir)
{
    QByteArray bytes = readFile(xPath);
    if (bytes.size() < 0x78)
        return {};
    bytes[4] = 0;
    const QString copy = tempDir + QStringLiteral("/INDEXREC.DB");
    writeFile(copy, bytes);
    ParadoxTable t(copy);
    QList<QList<Value>> out;
    QByteArray raw;
    for (RecordId id = t.first(); id != NoRecord; id = t.next(id)) {
        t.read(id, raw);
        QList<Value> row;
        for (int f = 0; f < t.fields().size(); ++f)
            row << t.value(raw, f);
        out << row;
    }
    return out;
}

QString render(const QList<Value>& row)
{
    QStringList parts;
    for (const Value& v : row)
        parts << (v.debugString());
    return parts.join(QLatin1Char('|'));
}

}  // namespace

TEST(ParadoxOrder, secondaryIndexOrderMatchesTheIndexFile)
{
    QUILLORA_REQUIRE_SAMPLES();
    registerParadoxFormat();
    struct Case {
        const char* table;
        const char* indexFile;
        bool caseInsensitive;
    };
    const Case cases[] = {
        {"paradox/paradoxdriver/db/CUSTOMER.DB", "paradox/paradoxdriver/db/CUSTOMER.X06", false},
        {"paradox/paradoxdriver/db/AREACODES.DB", "paradox/paradoxdriver/db/AREACODES.XG0", true},
        {"paradox/paradox-reader/zakazky.db", "paradox/paradox-reader/zakazky.XG0", true},
        {"paradox/paradox-reader/testtab.DB", "paradox/paradox-reader/testtab.XG0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.indexFile);
        QTemporaryDir dir;
        const QList<QList<Value>> stored = indexRecords(sample(QString::fromLatin1(c.indexFile)), dir.path());
        ASSERT_FALSE(stored.isEmpty());

        Table table(QStringLiteral("Table1"));
        table.Bind(sample(QString::fromLatin1(c.table)));
        // The index the file holds, as the table lists it; the order is asked by its fields.
        IndexDef chosen;
        {
            auto probe = std::make_unique<ParadoxTable>(sample(QString::fromLatin1(c.table)));
            const QString xName = QFileInfo(QString::fromLatin1(c.indexFile)).fileName();
            for (const IndexDef& d : probe->indexes())
                if (d.fileName.compare(xName, Qt::CaseInsensitive) == 0)
                    chosen = d;
        }
        ASSERT_FALSE(chosen.fields.isEmpty()) << "no IndexDef for the file";
        EXPECT_EQ(chosen.has(ixCaseInsensitive), c.caseInsensitive);
        table.SetIndexFieldNames(chosen.fields.join(QLatin1Char(';')));
        table.Open();
        // Each index record: the key fields, the table's primary key fields, then bookkeeping.
        QStringList keyNames = chosen.fields;
        for (const IndexDef& d : table.IndexDefs())
            if (d.has(ixPrimary))
                for (const QString& f : d.fields)
                    if (!keyNames.contains(f, Qt::CaseInsensitive))
                        keyNames << f;
        QStringList fromIndex, fromTable;
        for (const QList<Value>& r : stored)
            fromIndex << render(r.mid(0, keyNames.size()));
        for (table.First(); !table.Eof(); table.Next()) {
            QList<Value> row;
            for (const QString& n : keyNames)
                row << table.fieldValue(table.FieldByName(n)->Index());
            fromTable << render(row);
        }
        // A case-insensitive index stores its text keys in upper case.
        if (chosen.has(ixCaseInsensitive)) {
            for (QString& s : fromTable)
                s = s.toUpper();
            for (QString& s : fromIndex)
                s = s.toUpper();
        }
        EXPECT_EQ(fromTable.size(), stored.size());
        EXPECT_EQ(fromTable, fromIndex);
    }
}

TEST(ParadoxOrder, alphaKeysFollowTheTableSortOrder)
{
    QTemporaryDir dir;
    auto keys = [&](const char* sortOrder, const QStringList& words) {
        const QString path = dir.path() + QStringLiteral("/%1.db").arg(QString::fromLatin1(sortOrder));
        createParadoxTable(path, {FieldDef{QStringLiteral("Nome"), ftString, 20}, FieldDef{QStringLiteral("N"), ftInteger, 0}},
                           {7, 0, QString::fromLatin1(sortOrder)});
        ParadoxTable t(path);
        QList<QByteArray> out;
        for (const QString& w : words)
            out << t.sortKey(0, Value::text(w));
        return out;
    };
    const QStringList words = {QStringLiteral("acao"), QStringLiteral("Ação"), QStringLiteral("ACAO"), QStringLiteral("b")};
    // International order: accents and case after the letters, lower case first.
    const QList<QByteArray> intl = keys("ANSIINTL", words);
    EXPECT_LT(intl[0], intl[1]);
    EXPECT_LT(intl[1], intl[2]);
    EXPECT_LT(intl[2], intl[3]);
    // ascii: by code, upper case first ("ACAO" < "Ação" < "acao" < "b").
    const QList<QByteArray> ascii = keys("ascii", words);
    EXPECT_LT(ascii[2], ascii[1]);
    EXPECT_LT(ascii[1], ascii[0]);
    EXPECT_LT(ascii[0], ascii[3]);
    // Blank text and null are the same key, before every value; trailing blanks do not count.
    const QList<QByteArray> blanks = keys("intl", {QString(), QStringLiteral("   "), QStringLiteral("a"), QStringLiteral("a  ")});
    EXPECT_EQ(blanks[0], blanks[1]);
    EXPECT_EQ(blanks[2], blanks[3]);
    {
        const QString path = dir.path() + QStringLiteral("/intl.db");
        ParadoxTable t(path);
        EXPECT_EQ(t.sortKey(0, Value()), blanks[0]);
        EXPECT_LT(blanks[0], blanks[2]);
        // Upper-casing can leave the code page (cp437 has ÿ, not Ÿ): such a letter keeps its case.
        EXPECT_EQ(t.sortKey(0, Value::text(QStringLiteral("Ÿ"))), t.sortKey(0, Value::text(QStringLiteral("ÿ"))));
        // Numbers order by value, negative ones first.
        EXPECT_LT(t.sortKey(1, Value::integer(-5)), t.sortKey(1, Value::integer(3)));
        EXPECT_LT(t.sortKey(1, Value()), t.sortKey(1, Value::integer(-5)));
    }
}
