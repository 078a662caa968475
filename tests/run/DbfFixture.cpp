#include "tests/run/DbfFixture.h"

#include "tables/Table.h"
#include "tables/dbase/DbaseFormat.h"

namespace quillora::test {

void makeDbf(const QString& path, const QList<FieldDef>& fields, const QList<QList<Value>> records)
{
    createDbaseTable(path, fields, DbaseLevel::III);
    if (records.isEmpty())
        return;
    Table t(QStringLiteral("Fixture"));
    t.Bind(path);
    t.Open();
    for (const QList<Value>& r : records) {
        t.Append();
        for (int i = 0; i < r.size(); ++i)
            t.Fields(i)->SetValue(r[i]);
        t.Post();
    }
    t.Close();
}

QList<QStringList> rowsOf(const QString& path)
{
    Table t(QStringLiteral("Check"));
    t.Bind(path);
    t.Open();
    QList<QStringList> rows;
    for (t.First(); !t.Eof(); t.Next()) {
        QStringList row;
        for (int i = 0; i < t.FieldCount(); ++i)
            row << t.Fields(i)->AsString();
        rows << row;
    }
    t.Close();
    return rows;
}

QStringList columnOf(const QString& path, const QString& field)
{
    Table t(QStringLiteral("Check"));
    t.Bind(path);
    t.Open();
    QStringList out;
    for (t.First(); !t.Eof(); t.Next())
        out << t.FieldByName(field)->AsString();
    t.Close();
    return out;
}

}  // namespace quillora::test
