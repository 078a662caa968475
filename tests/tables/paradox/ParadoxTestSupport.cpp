#include "tests/tables/paradox/ParadoxTestSupport.h"

#include "tests/support/TestSupport.h"

#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/PxCodec.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QDateTime>

#include <sys/wait.h>
#include <unistd.h>

namespace quillora::test {

QList<QList<Value>> readAll(TableFile& t)
{
    QList<QList<Value>> out;
    QByteArray raw;
    for (RecordId id = t.first(); id != NoRecord; id = t.next(id)) {
        t.read(id, raw);
        QList<Value> r;
        for (int i = 0; i < t.fields().size(); ++i)
            r << t.value(raw, i);
        out << r;
    }
    return out;
}

QStringList dumpLikePxlib(ParadoxTable& t)
{
    QStringList lines;
    QByteArray raw;
    auto cp = CodePage::byName(t.codePageName().section(QLatin1Char(' '), 0, 0));
    for (RecordId id = t.first(); id != NoRecord; id = t.next(id)) {
        t.read(id, raw);
        QStringList cells;
        for (int i = 0; i < t.fields().size(); ++i) {
            const Value v = t.value(raw, i);
            const FieldDef& f = t.fields()[i];
            if (isBlobType(f.type)) {
                cells << QStringLiteral("BLOB");
                continue;
            }
            if (v.isNull()) {
                cells << QStringLiteral("NULL");
                continue;
            }
            switch (f.type) {
            case ftString: {
                QByteArray b;
                cp->encode(v.asText(), &b);
                cells << QString::fromLatin1(b.toHex());
                break;
            }
            case ftBytes: cells << QString::fromLatin1(v.asBytes().toHex()); break;
            case ftDate: cells << v.asDate().toString(Qt::ISODate); break;
            case ftTime: cells << QString::number(v.asTime().msecsSinceStartOfDay()); break;
            case ftDateTime:
                cells << QString::asprintf("%.17g", double(v.asDateTime().date().toJulianDay() - 1721425) * 86400000.0 +
                                                      v.asDateTime().time().msecsSinceStartOfDay());
                break;
            case ftFloat: case ftCurrency: cells << QString::asprintf("%.17g", v.asFloat()); break;
            case ftBoolean: cells << (v.asBoolean() ? QStringLiteral("true") : QStringLiteral("false")); break;
            case ftBCD: {
                const int d = f.decimals;
                QString s = QString::number(v.asFixed().toDouble(), 'f', d);
                if (d == 0)
                    s += QLatin1Char('.');
                cells << s;
                break;
            }
            default: cells << QString::number(v.asInteger()); break;
            }
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines;
}

bool pxlibDump(const QString& path, QStringList* records, QString* why, const QString& indexPath)
{
    const QString program = QStringLiteral(QUILLORA_PX_DUMP);
    if (program.isEmpty()) {
        *why = QStringLiteral("pxlib not installed");
        return false;
    }
    QString out, err;
    QStringList args{path};
    if (!indexPath.isEmpty())
        args << indexPath;
    const int rc = runProgram(program, args, &out, &err);
    if (rc != 0) {
        *why = QStringLiteral("px_dump exit %1: %2").arg(rc).arg(err);
        return false;
    }
    records->clear();
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.startsWith(QStringLiteral("records ")) && !line.startsWith(QStringLiteral("field ")))
            records->append(line);
    return true;
}

QList<Value> row(std::initializer_list<Value> values)
{
    return QList<Value>(values);
}

}  // namespace quillora::test

namespace quillora::test {

void addSecondaryIndex(const QString& table, const QString& ext, const QList<FieldDef>& indexed, const QList<int>& fieldNumbers,
                       const QByteArray& name, int options)
{
    const QFileInfo fi(table);
    const QString scratch = fi.absoluteDir().filePath(QStringLiteral("indextmp.db"));
    QList<FieldDef> fields = indexed;
    QString sortOrder;
    int level;
    {
        ParadoxTable t(table);
        fields << t.fields().first();
        sortOrder = t.sortOrderId();
        level = t.version() >= 0x0C ? 7 : 5;
    }
    fields << FieldDef{QStringLiteral("Blk Num"), ftSmallint};
    createParadoxTable(scratch, fields, ParadoxCreateOptions(level, int(fields.size()) - 1, sortOrder, 0, 1));
    QByteArray x = readFile(scratch), y = readFile(fi.absoluteDir().filePath(QStringLiteral("indextmp.px")));
    const QByteArray t = readFile(table);
    char* p = x.data();
    const bool composite = !name.isEmpty();
    p[4] = char(composite ? 8 : 5);
    p[0x15] = char(fieldNumbers.first() & 0xFF);
    p[0x2C] = char(0xFF);
    p[0x2E] = t[0x2E];
    p[0x55] = char(options);
    const int numbersAt = 0x58 + px::le16(p + 0x66);
    for (int i = 0; i < fieldNumbers.size(); ++i)
        px::putLe16(p + numbersAt + 2 * i, quint16(fieldNumbers[i]));
    if (composite) {
        const int at = px::le16(p + 0x51);
        std::memcpy(p + at, name.constData(), size_t(name.size()) + 1);
        px::putLe16(p + 0x68, quint16(at - 0x58));
        px::putLe16(p + 0x51, quint16(at + name.size() + 1));
    }
    y[4] = char(composite ? 7 : 4);
    y[0x2C] = p[0x2D];
    const QString base = fi.absoluteDir().filePath(fi.completeBaseName());
    writeFile(base + QStringLiteral(".X") + ext, x);
    writeFile(base + QStringLiteral(".Y") + ext, y);
    QFile::remove(scratch);
    QFile::remove(fi.absoluteDir().filePath(QStringLiteral("indextmp.px")));
}

ChildEnd runInChild(const std::function<void()>& write)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return ChildEnd::Other;
    if (pid == 0) {
        try {
            write();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return ChildEnd::Other;
    switch (WEXITSTATUS(status)) {
    case 0: return ChildEnd::Stopped;
    case 1: return ChildEnd::Threw;
    case 2: return ChildEnd::Finished;
    default: return ChildEnd::Other;
    }
}

void stopHere()
{
    ::_exit(0);
}

namespace {
int stopAtStep = -1;
}

void stopAtWriteStep(int step)
{
    stopAtStep = step;
    ParadoxTable::writeStepHook = [](int s) {
        if (s == stopAtStep)
            stopHere();
    };
}

}  // namespace quillora::test
