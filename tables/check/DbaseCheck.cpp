#include "tables/check/DbaseCheck.h"

#include "tables/check/DbaseIndexCheck.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"

#include <QDate>
#include <QFileInfo>

#include <unordered_map>

namespace quillora::check {

namespace {

using dbase::DbaseColumn;
using dbase::DbaseHeader;

// A damaged file can hold a fault in every record; past this many the rest are only counted.
constexpr size_t kMaxFaults = 10000;
// Records are read in slices of about this many bytes.
constexpr qint64 kSliceBytes = 1 << 20;

class Collector {
public:
    explicit Collector(CheckReport& report) : report_(report) {}
    void add(const QString& file, const QString& place, const QString& text, bool inRecords, bool minor = false)
    {
        if (report_.faults.size() < kMaxFaults)
            report_.faults.push_back(Fault{file, place, text, inRecords, minor});
        else
            ++dropped_;
    }
    void finish(const QString& file)
    {
        if (dropped_ > 0)
            report_.faults.push_back(Fault{file, QString(),
                                           QStringLiteral("mais %1 falhas não listadas").arg(dropped_), true});
    }

private:
    CheckReport& report_;
    qint64 dropped_ = 0;
};

bool allOf(const char* p, int len, char c)
{
    for (int i = 0; i < len; ++i)
        if (p[i] != c)
            return false;
    return true;
}

bool blankOrNul(const char* p, int len)
{
    for (int i = 0; i < len; ++i)
        if (p[i] != ' ' && p[i] != '\0')
            return false;
    return true;
}

bool readableDate(const char* p, int len)
{
    if (len != 8 || blankOrNul(p, len) || allOf(p, len, '0'))
        return true;
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        v[i] = p[i] - '0';
    }
    const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    return QDate(y, v[4] * 10 + v[5], v[6] * 10 + v[7]).isValid();
}

// Blank, or a decimal number with an optional sign, point and exponent, blanks around it.
bool readableNumber(const char* p, int len)
{
    int i = 0;
    while (i < len && (p[i] == ' ' || p[i] == '\0'))
        ++i;
    int end = len;
    while (end > i && (p[end - 1] == ' ' || p[end - 1] == '\0'))
        --end;
    if (i == end || allOf(p + i, end - i, '*'))
        return true;  // empty, or the asterisks dBase writes for a value too wide to show
    if (p[i] == '-' || p[i] == '+')
        ++i;
    int digits = 0;
    while (i < end && p[i] >= '0' && p[i] <= '9')
        ++i, ++digits;
    if (i < end && (p[i] == '.' || p[i] == ','))
        ++i;
    while (i < end && p[i] >= '0' && p[i] <= '9')
        ++i, ++digits;
    if (digits == 0)
        return false;
    if (i < end && (p[i] == 'e' || p[i] == 'E')) {
        ++i;
        if (i < end && (p[i] == '-' || p[i] == '+'))
            ++i;
        int exp = 0;
        while (i < end && p[i] >= '0' && p[i] <= '9')
            ++i, ++exp;
        if (exp == 0)
            return false;
    }
    return i == end;
}

bool readableLogical(char c)
{
    return QByteArrayView("YyNnTtFf? ").contains(c) || c == '\0';
}

// The memo file of a table: its size, block size and first free block.
struct MemoFile {
    QString path;
    bool present = false;
    qint64 size = 0;
    qint64 blockSize = 512;
    qint64 nextFree = 0;
};

MemoFile openMemo(const QString& table, const DbaseHeader& head, Collector& faults)
{
    MemoFile m;
    m.path = dbase::siblingFile(table, QStringLiteral("dbt"));
    const QFileInfo info(table);
    const QString shown = m.path.isEmpty() ? info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".dbt")
                                           : m.path;
    if (m.path.isEmpty()) {
        faults.add(shown, QString(), QStringLiteral("o arquivo de memo da tabela não existe"), true);
        return m;
    }
    io::File file;
    if (const int err = file.tryOpen(m.path, io::OpenMode::Read); err < 0) {
        faults.add(shown, QString(), QStringLiteral("não foi possível abrir: %1").arg(io::errorText(err)), true);
        return m;
    }
    m.size = file.size();
    if (m.size < 512) {
        faults.add(shown, QStringLiteral("cabeçalho"),
                   QStringLiteral("o arquivo tem %1 bytes, menos que o cabeçalho de memo (512)").arg(m.size), true);
        return m;
    }
    char h[22];
    file.read(0, h, 22);
    const bool iv = head.version == 0x8B || head.version == 0x7B || head.version == 0x8C || head.level7
                    || head.version == 0x05;
    if (iv && io::le16(h + 20) != 0)
        m.blockSize = io::le16(h + 20);
    if (m.blockSize < 16) {
        faults.add(shown, QStringLiteral("cabeçalho"),
                   QStringLiteral("tamanho de bloco %1 inválido").arg(m.blockSize), true);
        return m;
    }
    m.nextFree = io::le32(h);
    const qint64 blocks = (m.size + m.blockSize - 1) / m.blockSize;
    if (m.nextFree > blocks)
        faults.add(shown, QStringLiteral("cabeçalho"),
                   QStringLiteral("o próximo bloco livre (%1) passa do fim do arquivo (%2 blocos)")
                       .arg(m.nextFree).arg(blocks),
                   false, true);
    m.present = true;
    return m;
}

// The block a memo field points at: -1 when the bytes are not a block number.
qint64 memoBlock(const char* p, int len)
{
    if (len == 4)
        return io::le32(p);
    qint64 n = 0;
    bool any = false;
    for (int i = 0; i < len; ++i) {
        if (p[i] == ' ' || p[i] == '\0') {
            if (any && i + 1 < len && p[i + 1] >= '0' && p[i + 1] <= '9')
                return -1;
            continue;
        }
        if (p[i] < '0' || p[i] > '9')
            return -1;
        any = true;
        if (n > (qint64(1) << 40))
            return -1;
        n = n * 10 + (p[i] - '0');
    }
    return n;
}

class DbfChecker {
public:
    DbfChecker(const QString& path, CheckReport& report) : path_(path), report_(report), faults_(report) {}

    // Returns false when progress asked to stop.
    bool run(bool records, const CheckProgress& progress = {}, bool indexes = false)
    {
        io::File file;
        if (const int err = file.tryOpen(path_, io::OpenMode::Read); err < 0) {
            faults_.add(path_, QString(), QStringLiteral("não foi possível abrir: %1").arg(io::errorText(err)), true);
            report_.unreadable = true;
            return true;
        }
        DbaseHeader head;
        try {
            head = dbase::readDbaseHeader(file, path_, QString());
        } catch (const Error& e) {
            faults_.add(path_, QStringLiteral("cabeçalho"), e.text(), true);
            report_.unreadable = true;
            return true;
        }
        checkSize(file, head);
        if (!records) {
            faults_.finish(path_);
            return true;
        }
        const qint64 count = std::min(head.count, (file.size() - head.headerLen) / head.recordLen);
        const qint64 total = count * (1 + (indexes ? dbaseIndexPasses(path_) : 0));
        const bool whole = checkRecords(file, head, progress, total);
        faults_.finish(path_);
        if (!whole)
            return false;
        file.close();
        return !indexes || checkDbaseIndexes(path_, report_, progress, count, total);
    }

private:
    void checkSize(const io::File& file, const DbaseHeader& head)
    {
        const qint64 size = file.size();
        const qint64 body = size - head.headerLen;
        const qint64 whole = body / head.recordLen;
        const qint64 rest = body % head.recordLen;
        const QString header = QStringLiteral("cabeçalho");
        if (head.count > whole) {
            faults_.add(path_, header,
                        QStringLiteral("o cabeçalho conta %1 registros, mas o arquivo só tem %2 completos "
                                       "(arquivo truncado ou contagem errada)")
                            .arg(head.count).arg(whole),
                        true);
        } else if (head.count < whole) {
            // A trailing end mark alone does not make a record.
            faults_.add(path_, header,
                        QStringLiteral("o cabeçalho conta %1 registros, mas o arquivo tem %2")
                            .arg(head.count).arg(whole),
                        false);
        }
        const qint64 endOfRecords = head.headerLen + std::min(head.count, whole) * head.recordLen;
        if (head.count <= whole) {
            if (endOfRecords >= size) {
                faults_.add(path_, QStringLiteral("offset %1").arg(endOfRecords),
                            QStringLiteral("falta a marca de fim de arquivo (0x1A)"), false, true);
            } else if (head.count == whole) {
                char mark = 0;
                file.read(endOfRecords, &mark, 1);
                if (mark != '\x1A')
                    faults_.add(path_, QStringLiteral("offset %1").arg(endOfRecords),
                                QStringLiteral("falta a marca de fim de arquivo (0x1A)"), false, true);
                if (rest > 1)
                    faults_.add(path_, QStringLiteral("offset %1").arg(endOfRecords),
                                QStringLiteral("%1 bytes sobrando depois do último registro").arg(rest), false);
            }
        } else if (rest > 0) {
            faults_.add(path_, QStringLiteral("registro %1").arg(whole + 1),
                        QStringLiteral("registro incompleto: o arquivo termina %1 bytes depois do início dele")
                            .arg(rest),
                        true);
        }
    }

    bool checkRecords(const io::File& file, const DbaseHeader& head, const CheckProgress& progress, qint64 total)
    {
        const qint64 size = file.size();
        const qint64 whole = (size - head.headerLen) / head.recordLen;
        const qint64 count = std::min(head.count, whole);
        bool memoFields = false;
        for (const DbaseColumn& c : head.columns)
            memoFields = memoFields || c.type == 'M' || c.type == 'B' || c.type == 'G';
        MemoFile memo;
        if (memoFields)
            memo = openMemo(path_, head, faults_);
        const QString memoName = memo.path.isEmpty() ? path_ : memo.path;
        std::unordered_map<qint64, qint64> memoOwner;  // first block -> record

        const qint64 perSlice = std::max<qint64>(1, kSliceBytes / head.recordLen);
        QByteArray slice;
        for (qint64 first = 0; first < count; first += perSlice) {
            if (progress && !progress(first, total))
                return false;
            const qint64 n = std::min(perSlice, count - first);
            slice.resize(n * head.recordLen);
            file.read(head.headerLen + first * head.recordLen, slice.data(), slice.size());
            for (qint64 i = 0; i < n; ++i) {
                const qint64 recno = first + i + 1;
                const char* r = slice.constData() + i * head.recordLen;
                // Named only when a fault is found: most records have none.
                const auto place = [recno] { return QStringLiteral("registro %1").arg(recno); };
                if (r[0] != ' ' && r[0] != '*')
                    faults_.add(path_, place(),
                                QStringLiteral("marca de apagado 0x%1 não é espaço nem '*'")
                                    .arg(int(uchar(r[0])), 2, 16, QLatin1Char('0')),
                                true);
                for (size_t k = 0; k < head.columns.size(); ++k) {
                    const DbaseColumn& c = head.columns[k];
                    const char* v = r + 1 + c.offset;
                    const QString& field = head.fields[int(k)].name;
                    switch (c.type) {
                    case 'D':
                        if (!readableDate(v, c.length))
                            faults_.add(path_, place(),
                                        QStringLiteral("campo %1: data ilegível \"%2\"")
                                            .arg(field, QString::fromLatin1(v, c.length)),
                                        true);
                        break;
                    case 'N': case 'F':
                        if (!readableNumber(v, c.length))
                            faults_.add(path_, place(),
                                        QStringLiteral("campo %1: número ilegível \"%2\"")
                                            .arg(field, QString::fromLatin1(v, c.length)),
                                        true);
                        break;
                    case 'L':
                        if (c.length != 1 || !readableLogical(v[0]))
                            faults_.add(path_, place(),
                                        QStringLiteral("campo %1: valor lógico ilegível 0x%2")
                                            .arg(field)
                                            .arg(int(uchar(v[0])), 2, 16, QLatin1Char('0')),
                                        true);
                        break;
                    case 'M': case 'B': case 'G':
                        checkMemo(v, c.length, memo, memoName, field, recno, memoOwner);
                        break;
                    default:
                        break;
                    }
                }
            }
        }
        return true;
    }

    void checkMemo(const char* v, int len, const MemoFile& memo, const QString& memoName, const QString& field,
                   qint64 recno, std::unordered_map<qint64, qint64>& owner)
    {
        if (blankOrNul(v, len) || (len == 4 && io::le32(v) == 0))
            return;
        const QString place = QStringLiteral("registro %1").arg(recno);
        const qint64 block = memoBlock(v, len);
        if (block < 0) {
            faults_.add(path_, place,
                        QStringLiteral("campo %1: ponteiro de memo ilegível \"%2\"")
                            .arg(field, QString::fromLatin1(v, len).trimmed()),
                        true);
            return;
        }
        if (block == 0 || !memo.present)
            return;
        if (block * memo.blockSize >= memo.size) {
            faults_.add(memoName, place,
                        QStringLiteral("campo %1: o memo aponta para o bloco %2, além do fim do arquivo de memo")
                            .arg(field)
                            .arg(block),
                        true);
            return;
        }
        if (memo.nextFree > 0 && block >= memo.nextFree)
            faults_.add(memoName, place,
                        QStringLiteral("campo %1: o memo aponta para o bloco livre %2").arg(field).arg(block), true);
        const auto [it, fresh] = owner.emplace(block, recno);
        if (!fresh)
            faults_.add(memoName, place,
                        QStringLiteral("campo %1: o bloco de memo %2 também é usado pelo registro %3")
                            .arg(field)
                            .arg(block)
                            .arg(it->second),
                        true);
    }

    QString path_;
    CheckReport& report_;
    Collector faults_;
};

}  // namespace

bool readableDbaseValue(char type, const char* p, int length)
{
    switch (type) {
    case 'D': return readableDate(p, length);
    case 'N': case 'F': return readableNumber(p, length);
    case 'L': return length == 1 && readableLogical(p[0]);
    default: return true;
    }
}

CheckReport checkDbaseTable(const QString& path, const CheckProgress& progress, bool indexes)
{
    CheckReport report;
    report.table = path;
    if (!DbfChecker(path, report).run(true, progress, indexes))
        report.faults.push_back(Fault{path, QString(), QStringLiteral("verificação interrompida antes do fim"), false,
                                      true});
    return report;
}

CheckReport checkDbaseStructure(const QString& path)
{
    CheckReport report;
    report.table = path;
    DbfChecker(path, report).run(false);
    return report;
}

}  // namespace quillora::check
