#include "tests/tables/dbase/DbaseTestSupport.h"

#include "tests/support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <QJsonDocument>

#include <cmath>

namespace quillora::test {

FieldDef fieldDef(const char* name, FieldType type, int size, int decimals)
{
    FieldDef f;
    f.name = QString::fromLatin1(name);
    f.type = type;
    f.size = size;
    f.decimals = decimals;
    return f;
}

QString show(const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Null: return QStringLiteral("null");
    case Value::Kind::Text: return v.asText().isEmpty() ? QStringLiteral("null") : QStringLiteral("s:") + v.asText();
    case Value::Kind::Integer: return QStringLiteral("n:%1").arg(v.asInteger());
    case Value::Kind::Float: return QStringLiteral("n:%1").arg(v.asFloat(), 0, 'g', 17);
    case Value::Kind::Boolean: return v.asBoolean() ? QStringLiteral("b:true") : QStringLiteral("b:false");
    case Value::Kind::Date: return QStringLiteral("d:") + v.asDate().toString(Qt::ISODate);
    case Value::Kind::DateTime:
        return QStringLiteral("t:") + v.asDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    case Value::Kind::Bytes: return QStringLiteral("x:") + QString::fromLatin1(v.asBytes().toHex());
    default: return QStringLiteral("?:") + v.debugString();
    }
}

QList<QStringList> readVisible(TableFile& table)
{
    QList<QStringList> rows;
    QByteArray raw;
    for (RecordId id = table.first(); id != NoRecord; id = table.next(id)) {
        table.read(id, raw);
        QStringList row;
        for (int f = 0; f < table.fields().size(); ++f)
            row << show(table.value(raw, f));
        rows << row;
    }
    return rows;
}

QStringList column(TableFile& table, const QString& field)
{
    int index = -1;
    for (int f = 0; f < table.fields().size(); ++f)
        if (table.fields()[f].name.compare(field, Qt::CaseInsensitive) == 0)
            index = f;
    EXPECT_GE(index, 0) << "no field " << field.toStdString();
    QStringList out;
    QByteArray raw;
    for (RecordId id = table.first(); id != NoRecord && index >= 0; id = table.next(id)) {
        table.read(id, raw);
        out << show(table.value(raw, index));
    }
    return out;
}

QJsonObject dbfreadOracle(const QString& path, const QString& encoding, bool skipMemos)
{
    QStringList args{QStringLiteral(QUILLORA_SOURCE_DIR "/tests/tables/dbase/dbf_oracle.py"), path, encoding};
    if (skipMemos)
        args << QStringLiteral("nomemo");
    QString out, err;
    // python3-dbfread is a Debian package: use the system interpreter, not one found first on PATH.
    const QString python = QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                   : QStringLiteral("python3");
    const int rc = runProgram(python, args, &out, &err);
    if (rc != 0)
        return QJsonObject{{QStringLiteral("error"), QStringLiteral("python3 failed: ") + err}};
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

bool sameShown(const QString& ours, const QString& theirs)
{
    if (ours == theirs || theirs == QLatin1String("skip"))
        return true;
    if (ours.startsWith(QLatin1String("n:")) && theirs.startsWith(QLatin1String("n:"))) {
        const double a = ours.mid(2).toDouble();
        const double b = theirs.mid(2).toDouble();
        return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
    }
    return false;
}

QString codePageOf(const TableFile& table)
{
    return table.codePageName().section(QLatin1Char(' '), 0, 0);
}

QString copyTableWithForTag(const QString& dir, const QByteArray& condition)
{
    const QString base = sample(QStringLiteral("dbase/generated-xbase64-4.1.11/"));
    const QString dbf = copyInto(dir, {base + QStringLiteral("XSQL.DBF"), base + QStringLiteral("XSQL.MDX")});
    const QString mdx = dir + QStringLiteral("/XSQL.MDX");
    QFile::setPermissions(dbf, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(mdx, QFile::ReadOwner | QFile::WriteOwner);
    QByteArray bytes = readFile(mdx);
    const qsizetype header = qsizetype(qFromLittleEndian<quint32>(bytes.constData() + 544)) * 512;
    bytes[header + 245] = 1;
    bytes.replace(header + 762, condition.size() + 1, condition + '\0');
    writeFile(mdx, bytes);
    return dbf;
}

}  // namespace quillora::test
