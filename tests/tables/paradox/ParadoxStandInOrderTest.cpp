// Keyed Paradox tables whose sort order is only approximated here (intl850, DBWINWE0) are read
// but never written: an order that is not the one Paradox keeps would leave a .PX it searches
// wrongly.
#include "tables/Table.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxCodec.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace quillora;
using namespace quillora::test;

TEST(ParadoxStandInOrder, keyedTablesInAnApproximatedOrderRefuseEveryWrite)
{
    struct Case {
        const char* order;
        char sortByte;
    };
    const Case cases[] = {{"intl850", '\x5D'}, {"DBWINWE0", '\x40'}};
    using Write = std::function<void(ParadoxTable&)>;
    const std::pair<const char*, Write> writes[] = {
        {"insert", [](ParadoxTable& t) { t.insert({Value::text(QStringLiteral("Érico")), Value::integer(3)}, NoRecord); }},
        {"update", [](ParadoxTable& t) {
             t.update(t.first(), {Value::text(QStringLiteral("Zé")), Value::integer(9)}, {true, true});
         }},
        {"remove", [](ParadoxTable& t) { t.remove(t.first()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.order);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ordem.db"));
        createParadoxTable(path, {FieldDef{QStringLiteral("Nome"), ftString, 20}, FieldDef{QStringLiteral("Qtd"), ftInteger}},
                               {7, 1, QStringLiteral("ANSIINTL")});
        {
            ParadoxTable t(path);
            t.insert({Value::text(QStringLiteral("Ana")), Value::integer(1)}, NoRecord);
            t.insert({Value::text(QStringLiteral("Ângela")), Value::integer(2)}, NoRecord);
            t.flush();
        }
        // The order named where the table keeps it (its length kept: the name is NUL-ended).
        QByteArray b = readFile(path);
        const int at = 0x58 + px::le16(b.constData() + 0x6E);
        ASSERT_EQ(b.mid(at, 9), QByteArray("ANSIINTL", 9));
        const QByteArray name(c.order);
        b.replace(at, 9, name + QByteArray(9 - name.size(), '\0'));
        b[0x29] = c.sortByte;
        writeFile(path, b);
        const QByteArray pxBefore = readFile(dir.filePath(QStringLiteral("ordem.PX")));
        for (const auto& entry : writes) {
            const auto& write = entry.second;  // a plain name: lambdas cannot capture a structured binding
            SCOPED_TRACE(entry.first);
            ParadoxTable t(path);
            EXPECT_EQ(t.count(), 2);  // still read
            const QString e = errorText([&] { write(t); t.flush(); });
            EXPECT_TRUE(e.contains(QString::fromLatin1(c.order))) << e.toStdString();
            EXPECT_EQ(readFile(path), b);
            EXPECT_EQ(readFile(dir.filePath(QStringLiteral("ordem.PX"))), pxBefore);
        }
    }
}
