#include "tables/check/DbaseIndexCheck.h"

#include "tables/Error.h"
#include "tables/check/DbaseIndexTree.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/DbaseIndexKeys.h"
#include "tables/dbase/DbaseTable.h"
#include "tables/io/Endian.h"
#include "tables/io/File.h"

#include <QFileInfo>

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>

namespace quillora::check {

namespace {

using dbase::DbaseHeader;
using dbase::DbaseTagInfo;

// Faults about records listed per index before the rest are only counted.
constexpr int kListedPerIndex = 20;

// One index (an .mdx tag or the .ndx) being compared with the records.
struct IndexUnderCheck {
    DbaseTagInfo tag;
    QString file;   // path of the index file
    QString where;  // "tag NAME" for an .mdx tag, empty for an .ndx
    bool ndx = false;
    dbase::IndexKeys entries;
    std::vector<qint32> entryOf;  // by record number: its entry, -1 when absent
    std::unordered_set<std::string> uniqueOrders;
    dbase::DbaseIndexUpkeep::RecordKey recordKey;
    IndexTreeWalk::KeyOrder order;
    int listed = 0;
    qint64 unlisted = 0;
};

QString place(const IndexUnderCheck& ix, const QString& rest)
{
    if (ix.where.isEmpty())
        return rest;
    return rest.isEmpty() ? ix.where : ix.where + QStringLiteral(", ") + rest;
}

double leDouble(const char* p)
{
    return std::bit_cast<double>(io::le64(p));
}

// The order of a key as the file stores it.
IndexTreeWalk::KeyOrder keyOrder(const DbaseHeader& head, const DbaseTagInfo& tag, bool ndx)
{
    const int length = tag.keyLength;
    if (tag.keyType == 'C') {
        const Collation* collation = head.collation;
        if (!collation || collation->isByteOrder())
            return [length](const char* key) { return QByteArray(key, length); };
        return [length, collation](const char* key) { return collation->sortKey(QByteArrayView(key, length)); };
    }
    if (!ndx && tag.keyType != 'D')
        return [](const char* key) {
            QByteArray out;
            dbase::appendOrderedDouble(out, dbase::mdxNumberValue(key));
            return out;
        };
    return [](const char* key) {
        QByteArray out;
        dbase::appendOrderedDouble(out, leDouble(key));
        return out;
    };
}

QByteArray trimmedKey(QByteArrayView key)
{
    qsizetype n = key.size();
    while (n > 0 && (key[n - 1] == ' ' || key[n - 1] == '\0'))
        --n;
    return key.first(n).toByteArray();
}

QString shownKey(const DbaseTagInfo& tag, QByteArrayView key, const QByteArray& order)
{
    if (tag.keyType == 'C')
        return QStringLiteral("\"%1\"").arg(QString::fromLatin1(trimmedKey(key)));
    // The order bytes of a number, back to the number.
    quint64 bits = 0;
    for (int i = 0; i < 8 && i < order.size(); ++i)
        bits = (bits << 8) | uchar(order[i]);
    bits = (bits >> 63) ? (bits & ~(quint64(1) << 63)) : ~bits;
    return QString::number(std::bit_cast<double>(bits), 'g', 15);
}

class IndexChecker {
public:
    IndexChecker(const QString& path, CheckReport& report) : path_(path), report_(report) {}

    // Finds the indexes and walks their trees; false when there is nothing to compare.
    bool gather()
    {
        io::File file;
        if (file.tryOpen(path_, io::OpenMode::Read) < 0)
            return false;
        try {
            head_ = dbase::readDbaseHeader(file, path_, QString());
        } catch (const Error&) {
            return false;  // the header check names it
        }
        count_ = std::min(head_.count, head_.available);
        gatherMdx();
        gatherNdx();
        return !indexes_.empty();
    }

    bool compare(const CheckProgress& progress, qint64 done, qint64 total)
    {
        std::unique_ptr<dbase::DbaseTable> table;
        try {
            table = std::make_unique<dbase::DbaseTable>(path_);
        } catch (const Error& e) {
            for (const IndexUnderCheck& ix : indexes_)
                add(ix.file, ix.where, QStringLiteral("não pôde ser comparado com os registros: %1").arg(e.text()), true);
            return true;
        }
        std::vector<IndexUnderCheck*> live;
        for (IndexUnderCheck& ix : indexes_) {
            try {
                ix.recordKey = table->indexUpkeep().recordKey(ix.tag, ix.ndx);
            } catch (const Error& e) {
                add(ix.file, ix.where, QStringLiteral("não pode ser verificado: %1").arg(e.text()), true);
                continue;
            }
            checkEntries(ix);
            live.push_back(&ix);
        }
        if (live.empty())
            return true;
        QByteArray raw, key, order;
        for (qint64 rec = 1; rec <= count_; ++rec) {
            if (progress && (rec & 0x3FFF) == 0 && !progress(done + rec, total))
                return false;
            table->read(rec, raw);
            for (IndexUnderCheck* ix : live)
                checkRecord(*ix, rec, raw, key, order);
        }
        for (IndexUnderCheck* ix : live)
            if (ix->unlisted > 0)
                add(ix->file, ix->where, QStringLiteral("mais %1 falhas neste índice").arg(ix->unlisted));
        return true;
    }

private:
    void add(const QString& file, const QString& where, const QString& text, bool minor = false)
    {
        report_.faults.push_back(Fault{file, where, text, false, minor});
    }

    void addRecordFault(IndexUnderCheck& ix, const QString& where, const QString& text)
    {
        if (ix.listed < kListedPerIndex) {
            ++ix.listed;
            add(ix.file, place(ix, where), text);
        } else {
            ++ix.unlisted;
        }
    }

    void gatherMdx()
    {
        const QString mdx = dbase::siblingFile(path_, QStringLiteral("mdx"));
        if (mdx.isEmpty()) {
            if (head_.bytes.size() > 28 && head_.bytes[28] != 0) {
                const QFileInfo info(path_);
                add(path_, QStringLiteral("cabeçalho"),
                    QStringLiteral("o cabeçalho indica um índice de produção, mas %1.mdx não existe (dBase e o BDE "
                                   "recusam abrir a tabela)")
                        .arg(info.completeBaseName()));
            }
            return;
        }
        io::File file;
        if (const int err = file.tryOpen(mdx, io::OpenMode::Read); err < 0) {
            add(mdx, QString(), QStringLiteral("não foi possível abrir: %1").arg(io::errorText(err)));
            return;
        }
        QList<DbaseTagInfo> tags;
        try {
            tags = dbase::readMdxTags(mdx);
        } catch (const Error& e) {
            add(mdx, QStringLiteral("cabeçalho"), e.text());
            return;
        }
        char h[48];
        file.read(0, h, 48);
        const QByteArray owner = QByteArray(h + 4, 16).left(int(qstrnlen(h + 4, 16))).trimmed();
        const QByteArray base = QFileInfo(path_).completeBaseName().toLatin1();
        // The name field is short: a long table name is kept cut.
        if (!owner.isEmpty() && !QString::fromLatin1(base).startsWith(QString::fromLatin1(owner), Qt::CaseInsensitive))
            add(mdx, QStringLiteral("cabeçalho"),
                QStringLiteral("o índice foi feito para a tabela %1, não para %2")
                    .arg(QString::fromLatin1(owner), QString::fromLatin1(base)),
                true);
        const qint64 pages = file.size() / 512;
        if (qint64(io::le32(h + 32)) > pages)
            add(mdx, QStringLiteral("cabeçalho"),
                QStringLiteral("o cabeçalho conta %1 páginas, mas o arquivo tem %2 (arquivo truncado)")
                    .arg(io::le32(h + 32))
                    .arg(pages));
        const qint64 blockSize = io::le16(h + 22);
        // Tag entries of 32 bytes (dBase IV) or 48 (level 7): the tags' own pages are alike.
        if (uchar(h[26]) != 32 && uchar(h[26]) != 48) {
            for (const DbaseTagInfo& tag : tags)
                add(mdx, QStringLiteral("tag %1").arg(tag.name),
                    QStringLiteral("não pode ser verificada: entradas de tag de %1 bytes").arg(uchar(h[26])), true);
            return;
        }
        if (blockSize < 512 || blockSize > 32 * 512 || blockSize % 512 != 0) {
            add(mdx, QStringLiteral("cabeçalho"), QStringLiteral("tamanho de bloco %1 inválido").arg(blockSize));
            return;
        }
        for (const DbaseTagInfo& tag : tags) {
            IndexUnderCheck ix;
            ix.tag = tag;
            ix.file = mdx;
            ix.where = QStringLiteral("tag %1").arg(tag.name);
            char th[20];
            file.read(qint64(tag.headerPage) * 512, th, 20);  // readMdxTags read this far already
            IndexTreeLayout layout;
            layout.mdx = true;
            layout.root = io::le32(th);
            layout.nodeSize = blockSize;
            layout.keyLength = tag.keyLength;
            layout.itemLength = io::le16(th + 18);
            if (layout.itemLength < 4 + tag.keyLength || 8 + layout.itemLength > blockSize) {
                add(mdx, ix.where, QStringLiteral("tamanho de item %1 inválido para chaves de %2 bytes")
                                       .arg(layout.itemLength)
                                       .arg(tag.keyLength));
                continue;
            }
            walk(file, layout, ix);
        }
    }

    void gatherNdx()
    {
        const QString ndx = dbase::siblingFile(path_, QStringLiteral("ndx"));
        const QString stale = dbase::staleNdxFile(path_);
        if (!stale.isEmpty())
            add(stale, QString(),
                QStringLiteral("índice marcado como desatualizado (uma gravação não terminou); o reparo o reconstrói"));
        if (ndx.isEmpty())
            return;
        io::File file;
        if (const int err = file.tryOpen(ndx, io::OpenMode::Read); err < 0) {
            add(ndx, QString(), QStringLiteral("não foi possível abrir: %1").arg(io::errorText(err)));
            return;
        }
        IndexUnderCheck ix;
        ix.ndx = true;
        ix.file = ndx;
        try {
            ix.tag = dbase::readNdxHeader(ndx);
        } catch (const Error& e) {
            add(ndx, QStringLiteral("cabeçalho"), e.text());
            return;
        }
        char h[20];
        file.read(0, h, 20);
        const qint64 blocks = file.size() / 512;
        if (qint64(io::le32(h + 4)) > blocks)
            add(ndx, QStringLiteral("cabeçalho"),
                QStringLiteral("o cabeçalho conta %1 blocos, mas o arquivo tem %2 (arquivo truncado)")
                    .arg(io::le32(h + 4))
                    .arg(blocks));
        IndexTreeLayout layout;
        layout.root = io::le32(h);
        layout.keyLength = ix.tag.keyLength;
        layout.itemLength = io::le16(h + 18);
        if (layout.itemLength < 8 + ix.tag.keyLength || 4 + layout.itemLength > 512) {
            add(ndx, QStringLiteral("cabeçalho"), QStringLiteral("tamanho de grupo %1 inválido para chaves de %2 bytes")
                                                      .arg(layout.itemLength)
                                                      .arg(ix.tag.keyLength));
            return;
        }
        walk(file, layout, ix);
    }

    void walk(const io::File& file, const IndexTreeLayout& layout, IndexUnderCheck& ix)
    {
        ix.order = keyOrder(head_, ix.tag, ix.ndx);
        IndexTreeWalk tree(file, layout, ix.order, ix.tag.descending);
        tree.run();
        for (const TreeFault& f : tree.faults())
            add(ix.file, place(ix, f.place), f.text);
        ix.entries = tree.takeEntries();
        indexes_.push_back(std::move(ix));
    }

    // The entries alone: records in range and listed once, keys in order.
    void checkEntries(IndexUnderCheck& ix)
    {
        ix.entryOf.assign(size_t(count_ + 1), -1);
        QByteArray prior, order;
        const int length = ix.tag.keyLength;
        for (qsizetype i = 0; i < ix.entries.size(); ++i) {
            const quint32 rec = ix.entries.records[size_t(i)];
            order = ix.order(ix.entries.key(i));
            if (i > 0) {
                const bool ordered = ix.tag.descending ? order <= prior : prior <= order;
                if (!ordered)
                    addRecordFault(ix, QStringLiteral("registro %1").arg(rec),
                                   QStringLiteral("chave %1 fora de ordem (posição %2 do índice)")
                                       .arg(shownKey(ix.tag, QByteArrayView(ix.entries.key(i), length), order))
                                       .arg(i + 1));
                else if (ix.tag.unique && order == prior)
                    addRecordFault(ix, QStringLiteral("registro %1").arg(rec),
                                   QStringLiteral("chave %1 repetida num índice único")
                                       .arg(shownKey(ix.tag, QByteArrayView(ix.entries.key(i), length), order)));
            }
            if (ix.tag.unique)
                ix.uniqueOrders.insert(order.toStdString());
            prior.swap(order);
            if (rec < 1 || qint64(rec) > count_) {
                addRecordFault(ix, QStringLiteral("posição %1").arg(i + 1),
                               QStringLiteral("aponta para o registro %1, que a tabela não tem (%2 registros)")
                                   .arg(rec)
                                   .arg(count_));
                continue;
            }
            qint32& at = ix.entryOf[rec];
            if (at >= 0)
                addRecordFault(ix, QStringLiteral("registro %1").arg(rec),
                               QStringLiteral("aparece duas vezes no índice (posições %1 e %2)").arg(at + 1).arg(i + 1));
            else
                at = qint32(i);
        }
    }

    void checkRecord(IndexUnderCheck& ix, qint64 rec, const QByteArray& raw, QByteArray& key, QByteArray& order)
    {
        bool member = true;
        try {
            member = ix.recordKey(rec, raw, key, order);
        } catch (const Error& e) {
            addRecordFault(ix, QStringLiteral("registro %1").arg(rec),
                           QStringLiteral("a chave não pode ser calculada: %1").arg(e.text()));
            return;
        }
        const qint32 at = ix.entryOf[size_t(rec)];
        if (!member) {
            if (at >= 0)
                addRecordFault(ix, QStringLiteral("registro %1").arg(rec),
                               QStringLiteral("está no índice, mas não atende à condição FOR (%1)")
                                   .arg(ix.tag.forExpression));
            return;
        }
        if (at < 0) {
            if (ix.tag.unique && ix.uniqueOrders.count(order.toStdString()))
                return;  // a unique index keeps only the first record of a key
            addRecordFault(ix, QStringLiteral("registro %1").arg(rec),
                           QStringLiteral("não está no índice (chave %1)").arg(shownKey(ix.tag, key, order)));
            return;
        }
        const QByteArrayView stored(ix.entries.key(at), ix.tag.keyLength);
        if (key.size() == stored.size() && std::memcmp(key.constData(), stored.data(), size_t(key.size())) == 0)
            return;
        // Other programs pad differently, and write the digit count of numbers their own way.
        const bool same = ix.tag.keyType == 'C' ? trimmedKey(stored) == trimmedKey(key) : ix.order(stored.data()) == order;
        if (!same)
            addRecordFault(ix, QStringLiteral("registro %1").arg(rec),
                           QStringLiteral("a chave no índice é %1, mas o registro dá %2")
                               .arg(shownKey(ix.tag, stored, ix.order(stored.data())), shownKey(ix.tag, key, order)));
    }

    QString path_;
    CheckReport& report_;
    DbaseHeader head_;
    qint64 count_ = 0;
    std::vector<IndexUnderCheck> indexes_;
};

}  // namespace

int dbaseIndexPasses(const QString& path)
{
    const bool any = !dbase::siblingFile(path, QStringLiteral("mdx")).isEmpty()
                     || !dbase::siblingFile(path, QStringLiteral("ndx")).isEmpty();
    return any ? 1 : 0;
}

bool checkDbaseIndexes(const QString& path, CheckReport& report, const CheckProgress& progress, qint64 done,
                       qint64 total)
{
    IndexChecker checker(path, report);
    if (!checker.gather())
        return true;
    return checker.compare(progress, done, total);
}

}  // namespace quillora::check
