#include "tests/run/DbfFixture.h"

#include "tables/Table.h"
#include "tables/dbase/DbaseFormat.h"
#include "tests/support/TestSupport.h"

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

bool haveXBase()
{
    return haveProgram(QStringLiteral("perl"))
           && runProgram(QStringLiteral("perl"), {QStringLiteral("-MXBase"), QStringLiteral("-e1")}) == 0;
}

bool makeDbfWithXBase(const QString& path, const QString& fields, const QStringList& records, const QList<int>& deleted)
{
    QStringList args = {QStringLiteral(QUILLORA_XBASE_MAKE), QStringLiteral("create"), path, fields};
    for (int d : deleted)
        args << QStringLiteral("--delete") << QString::number(d);
    args << records;
    QString err;
    const int status = runProgram(QStringLiteral("perl"), args, nullptr, &err);
    if (status != 0)
        ADD_FAILURE() << "Perl XBase could not write " << path.toStdString() << ": " << err.toStdString();
    return status == 0;
}

QStringList xbaseDump(const QString& path)
{
    QString out, err;
    if (runProgram(QStringLiteral("perl"), {QStringLiteral(QUILLORA_XBASE_MAKE), QStringLiteral("dump"), path}, &out,
                   &err) != 0)
        ADD_FAILURE() << "Perl XBase could not read " << path.toStdString() << ": " << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool havePxlibWriter()
{
    return !QStringLiteral(QUILLORA_PX_MAKE).isEmpty();
}

bool makeDbWithPxlib(const QString& path, const QString& fields, const QStringList& records)
{
    QString err;
    const int status = runProgram(QStringLiteral(QUILLORA_PX_MAKE), QStringList{path, fields} + records, nullptr, &err);
    if (status != 0)
        ADD_FAILURE() << "pxlib could not write " << path.toStdString() << ": " << err.toStdString();
    return status == 0;
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
