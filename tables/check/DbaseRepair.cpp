#include "tables/check/DbaseRepair.h"

#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseTable.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"

namespace quillora::check {

namespace {

// Whether the check found a fault in one of the table's index files.
bool indexFaults(const QString& path, const CheckReport& report)
{
    for (const Fault& f : report.faults) {
        if (f.minor || f.file == path)
            continue;
        for (const char* suffix : {".mdx", ".ndx", ".desatualizado"})
            if (f.file.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
                return true;
    }
    return false;
}

}  // namespace

QStringList repairDbaseInPlace(const QString& path, const CheckReport& report)
{
    QStringList done;
    io::File file(path, io::OpenMode::ReadWrite);
    const dbase::DbaseHeader head = dbase::readDbaseHeader(file, path, QString());
    const qint64 size = file.size();
    const qint64 whole = (size - head.headerLen) / head.recordLen;
    if (head.count != whole) {
        char count[4];
        io::putLe32(count, quint32(whole));
        file.write(4, count, 4);
        done << QStringLiteral("contagem de registros do cabeçalho corrigida de %1 para %2").arg(head.count).arg(whole);
    }
    const qint64 end = head.headerLen + whole * head.recordLen;
    char mark = 0;
    if (end < size)
        file.read(end, &mark, 1);
    if (mark != '\x1A') {
        file.write(end, "\x1A", 1);
        done << QStringLiteral("marca de fim de arquivo restaurada");
    }
    if (size > end + 1) {
        file.resize(end + 1);
        done << QStringLiteral("%1 bytes sobrando depois do último registro removidos").arg(size - end - 1);
    }
    if (head.bytes[28] != 0 && dbase::siblingFile(path, QStringLiteral("mdx")).isEmpty()) {
        // What dBase itself is told to do when the production index is gone: forget it.
        file.write(28, "\0", 1);
        for (const dbase::DbaseColumn& c : head.columns) {
            const int flag = c.descriptor + (head.level7 ? 37 : 31);  // "this field has a tag"
            if (flag < head.bytes.size() && head.bytes[flag] != 0)
                file.write(flag, "\0", 1);
        }
        done << QStringLiteral("marca de índice de produção removida do cabeçalho (o arquivo .mdx não existe)");
    }
    file.close();
    // Records that the corrected count shows or hides must be in the indexes as they are now.
    if (head.count != whole || indexFaults(path, report)) {
        dbase::DbaseTable table(path);
        if (!table.indexes().isEmpty()) {
            table.rebuildIndexes();
            done << QStringLiteral("índices reconstruídos a partir dos registros");
        }
    }
    return done;
}

}  // namespace quillora::check
