#include "tables/check/DbaseCopy.h"

#include "tables/Error.h"
#include "tables/check/DbaseCheck.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseTable.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"
#include "tables/io/FileOps.h"

#include <QDate>
#include <QFileInfo>

#include <cstring>
#include <memory>

namespace quillora::check {

namespace {

using dbase::DbaseHeader;

constexpr qint64 kSliceBytes = 1 << 20;

// The files of the new table, removed again unless the copy completes.
class NewFiles {
public:
    ~NewFiles()
    {
        if (kept_)
            return;
        for (const QString& f : files_) {
            try {
                if (io::exists(f))
                    io::remove(f);
            } catch (const Error&) {
            }
        }
    }
    void create(const QString& path, const QByteArray& bytes)
    {
        if (io::exists(path))
            throw FileError(QStringLiteral("%1 já existe; nada foi gravado").arg(path));
        files_ << path << dbase::staleNdxName(path);
        io::File f;
        if (const int err = f.tryOpen(path, io::OpenMode::Create); err < 0)
            throw FileError(QStringLiteral("Não foi possível criar %1: %2").arg(path, io::errorText(err)));
        f.write(0, bytes);
        f.sync();
        f.close();
    }
    void drop(const QString& path)
    {
        io::remove(path);
        files_.removeAll(path);
    }
    void keep() { kept_ = true; }

private:
    QStringList files_;
    bool kept_ = false;
};

QString beside(const QString& table, const QString& suffix)
{
    const QFileInfo info(table);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('.') + suffix;
}

QByteArray readAll(const QString& path)
{
    io::File f;
    if (const int err = f.tryOpen(path, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir %1: %2").arg(path, io::errorText(err)));
    return f.readAll();
}

// An empty memo file of the style the table's version byte asks for.
QByteArray emptyMemo(const DbaseHeader& head, const QString& out)
{
    QByteArray memo(512, '\0');
    memo[0] = 1;  // next free block
    const bool iv = head.version == 0x8B || head.version == 0x7B || head.version == 0x8C || head.level7
                    || head.version == 0x05;
    if (iv) {
        const QByteArray base = QFileInfo(out).completeBaseName().toLatin1().toUpper().left(8);
        std::memcpy(memo.data() + 8, base.constData(), size_t(base.size()));
        memo[18] = 0x02;
        memo[19] = 0x01;
        memo[20] = 0x00;  // block size 512
        memo[21] = 0x02;
    } else {
        memo[16] = 0x03;
    }
    return memo;
}

// The header without the production index: byte 28 and the fields' index flags cleared.
void dropIndexFlags(QByteArray& header, const DbaseHeader& head)
{
    header[28] = 0;
    for (const dbase::DbaseColumn& c : head.columns) {
        const int flag = c.descriptor + (head.level7 ? 37 : 31);
        if (flag < header.size())
            header[flag] = 0;
    }
}

class DbaseCopier {
public:
    DbaseCopier(const QString& path, const QString& out, const CheckProgress& progress)
        : path_(path), out_(out), progress_(progress)
    {
    }

    RepairOutcome run()
    {
        if (QFileInfo(out_).suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) != 0)
            throw FileError(QStringLiteral("%1: a cópia reparada de uma tabela dBase precisa da extensão .dbf").arg(out_));
        for (const char* suffix : {"dbf", "dbt", "mdx", "ndx"})
            if (io::exists(beside(out_, QLatin1String(suffix))))
                throw FileError(QStringLiteral("%1 já existe; nada foi gravado").arg(beside(out_, QLatin1String(suffix))));
        source_ = std::make_unique<dbase::DbaseTable>(path_);
        {
            io::File file;
            if (const int err = file.tryOpen(path_, io::OpenMode::Read); err < 0)
                throw FileError(QStringLiteral("Não foi possível abrir %1: %2").arg(path_, io::errorText(err)));
            head_ = dbase::readDbaseHeader(file, path_, QString());
        }
        for (const dbase::DbaseColumn& c : head_.columns)
            if ((c.type == 'M' || c.type == 'B' || c.type == 'G') && dbase::siblingFile(path_, QStringLiteral("dbt")).isEmpty())
                memoMissing_ = true;
        NewFiles files;
        try {
            createFiles(files);
            openCopy(files);
            copyRecords();
            if (!autoBytes_.isEmpty()) {
                target_.reset();
                restoreAutoIncrement();
                target_ = std::make_unique<dbase::DbaseTable>(out_);
            }
            target_->rebuildIndexes();
            target_.reset();
        } catch (...) {
            target_.reset();  // closed before its files go
            throw;
        }
        files.keep();
        if (memosLost_ > 0)
            outcome_.lost << QStringLiteral("o arquivo de memo %1.dbt não existe: %2 memos gravados vazios")
                                 .arg(QFileInfo(path_).completeBaseName())
                                 .arg(memosLost_);
        outcome_.done << QStringLiteral("%1 registros gravados em %2").arg(saved_).arg(out_);
        return outcome_;
    }

private:
    void createFiles(NewFiles& files)
    {
        QByteArray header = head_.bytes;
        io::putLe32(header.data() + 4, 0);
        const QDate today = QDate::currentDate();
        header[1] = char(today.year() - 1900);
        header[2] = char(today.month());
        header[3] = char(today.day());
        header[28] = 0;  // set again once the new .mdx is written
        bool memoFields = false;
        for (const dbase::DbaseColumn& c : head_.columns)
            memoFields = memoFields || c.type == 'M' || c.type == 'B' || c.type == 'G';
        if (memoFields)
            files.create(beside(out_, QStringLiteral("dbt")), emptyMemo(head_, out_));

        const QString mdx = dbase::siblingFile(path_, QStringLiteral("mdx"));
        bool mdxCopied = false;
        if (!mdx.isEmpty()) {
            try {
                dbase::readMdxTags(mdx);
                QByteArray bytes = readAll(mdx);
                // The new table's name, as dBase writes it in the header.
                const QByteArray base = QFileInfo(out_).completeBaseName().toLatin1().toUpper().left(15);
                std::memset(bytes.data() + 4, 0, 16);
                std::memcpy(bytes.data() + 4, base.constData(), size_t(base.size()));
                files.create(beside(out_, QStringLiteral("mdx")), bytes);
                mdxCopied = true;
            } catch (const FileError& e) {
                if (io::exists(beside(out_, QStringLiteral("mdx"))))
                    throw;
                outcome_.lost << QStringLiteral("o índice %1 não pôde ser lido e não foi copiado: %2").arg(mdx, e.text());
            }
        }
        if (!mdxCopied)
            dropIndexFlags(header, head_);

        QString ndx = dbase::siblingFile(path_, QStringLiteral("ndx"));
        if (ndx.isEmpty())
            ndx = dbase::staleNdxFile(path_);
        if (!ndx.isEmpty()) {
            try {
                dbase::readNdxHeader(ndx);
                // Only the header (expression, key kind): the tree is written from the records.
                files.create(beside(out_, QStringLiteral("ndx")), readAll(ndx).left(512));
            } catch (const FileError& e) {
                if (io::exists(beside(out_, QStringLiteral("ndx"))))
                    throw;
                outcome_.lost << QStringLiteral("o índice %1 não pôde ser lido e não foi copiado: %2").arg(ndx, e.text());
            }
        }
        files.create(out_, header + QByteArray(1, '\x1A'));
        header_ = header;
    }

    // Opens the new table for writing; indexes Quillora cannot keep are left out of it, named.
    void openCopy(NewFiles& files)
    {
        target_ = std::make_unique<dbase::DbaseTable>(out_);
        try {
            target_->beginWrite();
            return;
        } catch (const FileError& e) {
            const QString mdx = beside(out_, QStringLiteral("mdx"));
            const QString ndx = beside(out_, QStringLiteral("ndx"));
            if (!io::exists(mdx) && !io::exists(ndx))
                throw;
            outcome_.lost << QStringLiteral("os índices não foram copiados: %1").arg(e.text());
            target_.reset();
            if (io::exists(mdx))
                files.drop(mdx);
            if (io::exists(ndx))
                files.drop(ndx);
        }
        dropIndexFlags(header_, head_);
        {
            io::File f(out_, io::OpenMode::ReadWrite);
            f.write(0, header_);
        }
        target_ = std::make_unique<dbase::DbaseTable>(out_);
        target_->beginWrite();
    }

    void copyRecords()
    {
        io::File file;
        if (const int err = file.tryOpen(path_, io::OpenMode::Read); err < 0)
            throw FileError(QStringLiteral("Não foi possível abrir %1: %2").arg(path_, io::errorText(err)));
        const qint64 size = file.size();
        const qint64 len = head_.recordLen;
        const qint64 whole = (size - head_.headerLen) / len;
        // Whole records past the header's count are records too (the count was not written).
        qint64 count = whole;
        if (head_.count > whole) {
            const qint64 rest = (size - head_.headerLen) % len;
            // A lone end mark is not a partial record.
            const bool partial = rest > 1 || (rest == 1 && [&] {
                                     char c = 0;
                                     file.read(size - 1, &c, 1);
                                     return c != '\x1A';
                                 }());
            qint64 firstLost = whole + 1;
            if (partial) {
                outcome_.lost << QStringLiteral("registro %1: incompleto (%2 de %3 bytes no arquivo), não pôde ser salvo")
                                     .arg(whole + 1)
                                     .arg(rest)
                                     .arg(len);
                ++firstLost;
            }
            if (firstLost < head_.count)
                outcome_.lost << QStringLiteral("registros %1 a %2: além do fim do arquivo (truncado), perdidos")
                                     .arg(firstLost)
                                     .arg(head_.count);
            else if (firstLost == head_.count)
                outcome_.lost << QStringLiteral("registro %1: além do fim do arquivo (truncado), perdido").arg(firstLost);
        }
        const int fields = int(head_.columns.size());
        QList<Value> values;
        const qint64 perSlice = std::max<qint64>(1, kSliceBytes / len);
        QByteArray slice, raw;
        for (qint64 first = 0; first < count; first += perSlice) {
            if (progress_ && !progress_(first, count))
                throw FileError(QStringLiteral("Cópia reparada interrompida; nada foi gravado em %1").arg(out_));
            const qint64 n = std::min(perSlice, count - first);
            slice.resize(n * len);
            file.read(head_.headerLen + first * len, slice.data(), slice.size());
            for (qint64 i = 0; i < n; ++i) {
                const qint64 rec = first + i + 1;
                raw = slice.mid(i * len, len);
                if (rec > head_.count && raw[0] != ' ' && raw[0] != '*') {
                    // Past the header's count, bytes that do not start like a record are not one.
                    outcome_.lost << QStringLiteral("%1 bytes depois do registro %2 não formam registros; ignorados")
                                         .arg(size - head_.headerLen - (rec - 1) * len)
                                         .arg(rec - 1);
                    count = 0;
                    break;
                }
                values.clear();
                for (int f = 0; f < fields; ++f)
                    values.append(fieldValue(rec, raw, f));
                for (const dbase::DbaseColumn& c : head_.columns)
                    if (c.type == '+')
                        autoBytes_.append(raw.constData() + 1 + c.offset, c.length);
                const RecordId id = target_->insert(values, NoRecord);
                if (raw[0] == '*')
                    target_->remove(id);
                else if (raw[0] != ' ')
                    outcome_.done << QStringLiteral("registro %1: marca de apagado 0x%2 inválida; gravado como não apagado")
                                         .arg(rec)
                                         .arg(int(uchar(raw[0])), 2, 16, QLatin1Char('0'));
                ++saved_;
            }
        }
        target_->flush();
    }

    // The writer numbers auto-increment fields anew; the copy keeps the numbers the records had
    // (other tables may refer to them), and the counter goes past the largest one.
    void restoreAutoIncrement()
    {
        io::File file(out_, io::OpenMode::ReadWrite);
        qsizetype at = 0;
        qint64 largest = 0;
        for (qint64 rec = 0; rec < saved_; ++rec) {
            for (const dbase::DbaseColumn& c : head_.columns) {
                if (c.type != '+')
                    continue;
                file.write(head_.headerLen + rec * head_.recordLen + 1 + c.offset, autoBytes_.constData() + at, c.length);
                if (c.length == 4)  // big-endian with the sign bit flipped
                    largest = std::max<qint64>(largest, qint32(io::be32(autoBytes_.constData() + at) ^ 0x80000000u));
                at += c.length;
            }
        }
        for (const dbase::DbaseColumn& c : head_.columns) {
            if (c.type != '+')
                continue;
            const qint64 next = std::max<qint64>(io::le32(head_.bytes.constData() + c.descriptor + 42), largest + 1);
            char counter[4];
            io::putLe32(counter, quint32(next));
            file.write(c.descriptor + 42, counter, 4);
        }
        file.sync();
    }

    Value fieldValue(qint64 rec, const QByteArray& raw, int f)
    {
        const dbase::DbaseColumn& c = head_.columns[size_t(f)];
        const QString name = head_.fields[f].name;
        if (!readableDbaseValue(c.type, raw.constData() + 1 + c.offset, c.length)) {
            outcome_.lost << QStringLiteral("registro %1: campo %2: valor ilegível \"%3\", gravado vazio")
                                 .arg(rec)
                                 .arg(name, QString::fromLatin1(raw.constData() + 1 + c.offset, c.length).trimmed());
            return {};
        }
        const bool memo = c.type == 'M' || c.type == 'B' || c.type == 'G';
        if (memo && memoMissing_) {
            // One line for the whole table, not one per record.
            const char* p = raw.constData() + 1 + c.offset;
            if (!QByteArrayView(p, c.length).trimmed().isEmpty() && !(c.length == 4 && io::le32(p) == 0))
                ++memosLost_;
            return {};
        }
        try {
            Value v = source_->value(raw, f);
            if (!v.isNull())
                v = target_->normalize(f, v);
            return v;
        } catch (const Error& e) {
            outcome_.lost << QStringLiteral("registro %1: campo %2: %3 ilegível (%4), gravado vazio")
                                 .arg(rec)
                                 .arg(name, memo ? QStringLiteral("memo") : QStringLiteral("valor"), e.text());
            return {};
        }
    }

    QString path_;
    QString out_;
    CheckProgress progress_;
    DbaseHeader head_;
    QByteArray header_;
    std::unique_ptr<dbase::DbaseTable> source_;
    std::unique_ptr<dbase::DbaseTable> target_;
    RepairOutcome outcome_;
    qint64 saved_ = 0;
    QByteArray autoBytes_;
    bool memoMissing_ = false;
    qint64 memosLost_ = 0;  // the auto-increment fields of each saved record, as they were
};

}  // namespace

RepairOutcome copyDbaseTable(const QString& path, const QString& out, const CheckProgress& progress)
{
    return DbaseCopier(path, out, progress).run();
}

}  // namespace quillora::check
