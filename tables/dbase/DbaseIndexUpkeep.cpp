// Keeping a dBase table's indexes (the production .mdx and the .ndx beside it) up to date.
//
// Before the first change of a writing session each index is marked out of date where other
// programs look: header byte 28 of the .dbf is cleared (dBase and the BDE then leave the .mdx
// alone) and the .ndx is moved to another name (a program that opens it fails instead of
// trusting it). At flush every index is written anew from the records, whole, into a file
// beside it that is then renamed over it; only then are the marks undone. A crash in between
// leaves indexes that say they are out of date, never ones that claim to be current.

#include "tables/dbase/DbaseIndexUpkeep.h"

#include "tables/Session.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseIndexKeys.h"
#include "tables/dbase/DbaseRecordFile.h"
#include "tables/dbase/MdxWriter.h"
#include "tables/dbase/NdxWriter.h"
#include "tables/io/FileOps.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace quillora::dbase {

DbaseIndexUpkeep::DbaseIndexUpkeep(const QString& tablePath, DbaseHeader& head, DbaseRecordFile& records, Parse parse,
                                   Evaluate evaluate)
    : path_(tablePath), head_(head), records_(records), parse_(std::move(parse)), evaluate_(std::move(evaluate))
{
}

void DbaseIndexUpkeep::plan()
{
    try {
        planFiles();
    } catch (...) {
        refusal_ = std::current_exception();
    }
}

void DbaseIndexUpkeep::requireKeepable() const
{
    if (refusal_)
        std::rethrow_exception(refusal_);
}

QList<IndexDef> DbaseIndexUpkeep::listed(QStringList* filtered) const
{
    QList<IndexDef> out;
    auto add = [&](const DbaseTagInfo& tag, bool ndx) {
        IndexDef def;
        def.name = tag.name;
        def.fileName = tag.fileName;
        if (!tagProblem(tag, ndx).isEmpty())
            def.options = ixNonMaintained;
        if (tag.descending)
            def.options |= ixDescending;
        if (tag.unique)
            def.options |= ixUnique;
        const QString key = tag.expression.trimmed();
        for (const FieldDef& f : head_.fields)
            if (f.name.compare(key, Qt::CaseInsensitive) == 0 && tag.forExpression.isEmpty())
                def.fields = QStringList{f.name};
        if (def.fields.isEmpty()) {
            def.options |= ixExpression;
            def.expression = tag.expression;
            if (!tag.forExpression.isEmpty()) {
                def.expression += QStringLiteral(" FOR ") + tag.forExpression;
                filtered->append(def.expression);
            }
        }
        out.append(def);
    };
    // A damaged index file is still listed (by its file name) so that `info` shows it; ordering
    // by its tags then reports that they are not there.
    auto listFile = [&](const QString& file) {
        IndexDef def;
        def.name = QFileInfo(file).fileName();
        def.fileName = def.name;
        def.options = ixNonMaintained;
        out.append(def);
    };
    const QString mdx = siblingFile(path_, QStringLiteral("mdx"));
    if (!mdx.isEmpty()) {
        try {
            const qsizetype first = out.size();
            for (const DbaseTagInfo& tag : readMdxTags(mdx))
                add(tag, false);
            if (mdxMarkedOutOfDate(mdx))
                for (qsizetype i = first; i < out.size(); ++i)
                    out[i].options |= ixOutOfDate;
        } catch (const Error&) {
            listFile(mdx);
        }
    }
    QString ndx = siblingFile(path_, QStringLiteral("ndx"));
    QString ndxName;
    if (ndx.isEmpty()) {
        // Out of date while this table is written: listed under its own name all the same.
        ndx = staleNdxFile(path_);
        ndxName = QFileInfo(ndxPathOf(ndx)).fileName();
    }
    if (!ndx.isEmpty()) {
        try {
            DbaseTagInfo tag = readNdxHeader(ndx);
            if (!ndxName.isEmpty()) {
                tag.fileName = ndxName;
                tag.name = QFileInfo(ndxName).completeBaseName();
            }
            add(tag, true);
            if (!ndxName.isEmpty())
                out.last().options |= ixOutOfDate;
        } catch (const Error&) {
            listFile(ndx);
        }
    }
    return out;
}

bool DbaseIndexUpkeep::mdxMarkedOutOfDate(const QString& mdx) const
{
    // A production .mdx (its own header says so) that the table no longer flags: dBase and the
    // BDE then leave it alone, and a writing session clears the flag until the tags are current.
    if (head_.bytes[28] != 0)
        return false;
    io::File f;
    char production = 0;
    return f.tryOpen(mdx, io::OpenMode::Read) == 0 && f.readSome(24, &production, 1) == 1 && production != 0;
}

QString DbaseIndexUpkeep::problem(const DbaseTagInfo& tag, bool ndx, Plan* plan) const
{
    return planDbaseTag(tag, ndx, head_, parse_, plan);
}

void DbaseIndexUpkeep::planFiles()
{
    mdxPlan_.clear();
    ndxPlan_.clear();
    mdxPath_.clear();
    ndxPath_.clear();
    ndxStalePath_.clear();
    mdxProduction_ = false;
    auto refuse = [&](const QString& why) {
        throw FileError(QStringLiteral("Não é possível gravar na tabela %1: %2; ela pode ser lida, mas não gravada, "
                                       "para não deixar o índice desatualizado")
                            .arg(path_, why));
    };
    auto plan = [&](const DbaseTagInfo& tag, bool ndx) {
        Plan p;
        const QString why = problem(tag, ndx, &p);
        if (!why.isEmpty())
            refuse(why);
        return p;
    };
    auto requireWritableFile = [&](const QString& file) {
        // The index is written anew beside itself and renamed over: both it and its folder
        // must take writes. Asked without opening anything for writing, since tables are
        // also opened only to be read.
        if (!io::canWrite(file) || !io::canWrite(QFileInfo(file).absolutePath()))
            refuse(QStringLiteral("o índice %1 não pode ser gravado (arquivo ou pasta somente para leitura)").arg(file));
    };

    const QString mdx = siblingFile(path_, QStringLiteral("mdx"));
    if (!mdx.isEmpty()) {
        QList<DbaseTagInfo> tags;
        QByteArray head;
        try {
            tags = readMdxTags(mdx);
            io::File f;
            if (f.tryOpen(mdx, io::OpenMode::Read) == 0) {
                head.resize(32);
                head.resize(f.readSome(0, head.data(), 32));
            }
        } catch (const Error& e) {
            refuse(e.text());
        }
        if (head.size() < 32)
            refuse(QStringLiteral("o índice %1 não pode ser lido").arg(mdx));
        // dBase IV tag entries are 32 bytes long, level 7 ones 48 (a longer name); the rest
        // of the file is laid out alike.
        if (uchar(head[26]) != 32 && uchar(head[26]) != 48)
            refuse(QStringLiteral("o índice %1 tem entradas de tag de %2 bytes, que o Quillora não sabe manter")
                       .arg(mdx)
                       .arg(uchar(head[26])));
        if (!tags.isEmpty())
            requireWritableFile(mdx);
        for (const DbaseTagInfo& tag : tags)
            mdxPlan_.push_back(plan(tag, false));
        mdxPath_ = mdx;
        mdxProduction_ = head_.bytes[28] != 0 || head[24] != 0;
    }

    const QString ndx = siblingFile(path_, QStringLiteral("ndx"));
    const QString stale = staleNdxFile(path_);
    if (!ndx.isEmpty() || !stale.isEmpty()) {
        ndxPath_ = ndx.isEmpty() ? ndxPathOf(stale) : ndx;
        ndxStalePath_ = staleNdxName(ndxPath_);
        const QString source = ndx.isEmpty() ? stale : ndx;
        DbaseTagInfo tag;
        try {
            tag = readNdxHeader(source);
        } catch (const Error& e) {
            refuse(e.text());
        }
        tag.fileName = QFileInfo(ndxPath_).fileName();
        tag.name = QFileInfo(ndxPath_).completeBaseName();
        requireWritableFile(source);
        ndxPlan_.push_back(plan(tag, true));
    }
}

void DbaseIndexUpkeep::resumeSession()
{
    if (!mdxPlan_.empty() && head_.bytes[28] == 0)
        stale_ = true;
    if (!ndxPlan_.empty()) {
        if (!io::exists(ndxPath_))
            stale_ = true;
        else if (io::exists(ndxStalePath_))
            io::remove(ndxStalePath_);  // the .ndx beside it is the one written last
    }
}

void DbaseIndexUpkeep::markStale()
{
    if (stale_ || (mdxPlan_.empty() && ndxPlan_.empty()))
        return;
    if (!mdxPlan_.empty() && head_.bytes[28] != 0) {
        head_.bytes[28] = 0;
        records_.file().write(28, head_.bytes.constData() + 28, 1);
        records_.file().sync();
    }
    if (!ndxPlan_.empty() && io::exists(ndxPath_))
        io::rename(ndxPath_, ndxStalePath_);  // syncs the folder
    stale_ = true;
}

void DbaseIndexUpkeep::markStaleIfKeysChange(RecordId id, const QByteArray& before, const QByteArray& after)
{
    if (stale_ || (mdxPlan_.empty() && ndxPlan_.empty()))
        return;
    QByteArray oldKey, newKey, oldOrder, newOrder;
    auto differs = [&](const Plan& plan, bool ndx) {
        const bool wasIn = inTag(plan, id, before);
        if (wasIn != inTag(plan, id, after))
            return true;
        if (!wasIn)
            return false;
        indexKey(plan, ndx, id, before, oldKey, oldOrder);
        indexKey(plan, ndx, id, after, newKey, newOrder);
        return oldKey != newKey;
    };
    try {
        for (const Plan& p : mdxPlan_)
            if (differs(p, false))
                return markStale();
        for (const Plan& p : ndxPlan_)
            if (differs(p, true))
                return markStale();
    } catch (const Error&) {
        // A key that cannot be made: the rebuild at the end of the session reports it.
        markStale();
    }
}

bool DbaseIndexUpkeep::indexKey(const Plan& plan, bool ndx, RecordId id, const QByteArray& raw, QByteArray& key,
                          QByteArray& order)
{
    const DbaseTagInfo& tag = plan.tag;
    const int length = tag.keyLength;
    if (tag.keyType == 'C') {
        if (plan.field >= 0) {
            const DbaseColumn& c = head_.columns[size_t(plan.field)];
            key = QByteArray(raw.constData() + 1 + c.offset, std::min(c.length, length));
        } else {
            const ExprValue v = evaluate_(*plan.expression, id, raw);
            key.clear();
            QChar bad;
            if (!head_.codePage->encode(v.text, &key, &bad))
                throw Error(QStringLiteral("A chave da tag %1 do índice %2 no registro %3 tem o caractere '%4', que a "
                                           "página de código não tem")
                                .arg(tag.name, tag.fileName)
                                .arg(id)
                                .arg(QString(bad)));
            key.truncate(length);
        }
        if (key.size() < length)
            key.append(QByteArray(length - key.size(), ' '));
        if (head_.collation->isByteOrder())
            return false;
        order = head_.collation->sortKey(key);
        return true;
    }
    const ExprValue v = evaluate_(*plan.expression, id, raw);
    double number = v.number;
    if (v.type == ExprValue::Type::Date)
        number = v.date.isValid() ? double(v.date.toJulianDay()) : 0;
    key = (!ndx && tag.keyType != 'D') ? mdxNumberKey(number, plan.digits) : doubleKey(number);
    order.clear();
    appendOrderedDouble(order, number);
    return true;
}

bool DbaseIndexUpkeep::inTag(const Plan& plan, RecordId id, const QByteArray& raw)
{
    if (!plan.condition)
        return true;
    const ExprValue v = evaluate_(*plan.condition, id, raw);
    return v.type == ExprValue::Type::Logical && v.logical;
}

DbaseIndexUpkeep::RecordKey DbaseIndexUpkeep::recordKey(const DbaseTagInfo& tag, bool ndx)
{
    Plan plan;
    if (const QString why = problem(tag, ndx, &plan); !why.isEmpty())
        throw Error(why);
    return [this, plan, ndx](RecordId id, const QByteArray& raw, QByteArray& key, QByteArray& order) {
        if (!inTag(plan, id, raw))
            return false;
        if (!indexKey(plan, ndx, id, raw, key, order))
            order = key;
        return true;
    };
}

void DbaseIndexUpkeep::rebuildIfStale()
{
    if (!stale_)
        return;
    rebuild();
    stale_ = false;
}

void DbaseIndexUpkeep::rebuild()
{
    std::vector<const Plan*> plans;
    for (const Plan& p : mdxPlan_)
        plans.push_back(&p);
    for (const Plan& p : ndxPlan_)
        plans.push_back(&p);
    if (plans.empty())
        return;
    std::vector<IndexKeyCollector> collectors;
    for (const Plan* p : plans) {
        collectors.emplace_back(p->tag.keyLength);
        collectors.back().reserve(records_.count());
    }
    BusyWork busy(QStringLiteral("Reconstruindo os índices de %1").arg(QFileInfo(records_.file().path()).fileName()),
                  records_.count());
    // Every record, deleted ones too: dBase keeps them in its indexes.
    QByteArray raw, key, order;
    for (RecordId id = 1; id <= records_.count(); ++id) {
        if ((id & 0xFFFF) == 0)
            busy.advance(id);
        raw.resize(head_.recordLen);
        std::memcpy(raw.data(), records_.record(id - 1), size_t(head_.recordLen));
        for (size_t i = 0; i < plans.size(); ++i) {
            if (!inTag(*plans[i], id, raw))
                continue;
            const bool ordered = indexKey(*plans[i], i >= mdxPlan_.size(), id, raw, key, order);
            collectors[i].add(quint32(id), key.constData(), ordered ? QByteArrayView(order) : QByteArrayView());
        }
    }
    const QDate today = QDate::currentDate();
    if (!mdxPlan_.empty()) {
        std::vector<IndexKeys> sorted;
        for (size_t i = 0; i < mdxPlan_.size(); ++i) {
            sorted.push_back(collectors[i].sorted(mdxPlan_[i].tag.descending, mdxPlan_[i].tag.unique));
            collectors[i] = IndexKeyCollector(0);
        }
        writeMdxFile(mdxPath_, sorted, today);
        if (mdxProduction_ && head_.bytes[28] != 1) {
            head_.bytes[28] = 1;
            records_.file().write(28, head_.bytes.constData() + 28, 1);
            records_.file().sync();
        }
    }
    if (!ndxPlan_.empty()) {
        const Plan& p = ndxPlan_.front();
        QByteArray header;
        io::File old;
        if (old.tryOpen(io::exists(ndxStalePath_) ? ndxStalePath_ : ndxPath_, io::OpenMode::Read) == 0) {
            header.resize(512);
            header.resize(old.readSome(0, header.data(), 512));
        }
        old.close();
        writeNdxKeys(ndxPath_, p.tag, collectors.back().sorted(false, p.tag.unique), header);
        if (io::exists(ndxStalePath_))
            io::remove(ndxStalePath_);  // syncs the folder
    }
}

}  // namespace quillora::dbase
