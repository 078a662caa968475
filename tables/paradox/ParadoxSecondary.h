#pragma once

// The secondary indexes of a keyed Paradox table (.Xnn/.Ynn, .XGn/.YGn): listed and judged
// once when the table opens, marked out of date before its first change and rebuilt from the
// data when it is flushed.

#include <QList>
#include <QString>

#include <functional>
#include <vector>

#include "tables/TableFile.h"
#include "tables/paradox/ParadoxHeader.h"

namespace quillora::px {

// One index file as its header describes it, mapped onto the table's fields (ParadoxSecondary.cpp).
struct SecondaryIndexFile;

class SecondaryIndexes {
public:
    SecondaryIndexes(const QString& tablePath, const TableHeader& header);
    ~SecondaryIndexes();

    // Lists the index files beside the table and reads each one's header: which of them this
    // program keeps up to date is decided here, once.
    void open();
    // The index files beside the table as the engine describes them: fields, name, options.
    QList<IndexDef> definitions() const;
    // Before the first change of a session: every index file reads as out of date.
    void markStale();
    // The table's records, block by block in chain order.
    struct Records {
        const std::vector<int>& chain;
        const std::vector<int>& count;
        qint64 total;
        std::function<const char*(int block)> blockData;  // the block's first record
    };
    // On flush, after markStale(): the maintained indexes rebuilt from the records.
    void rebuild(const Records& records);

private:
    QString tablePath_;
    const TableHeader& h_;
    std::vector<SecondaryIndexFile> files_;
    bool stale_ = false;  // this session marked the indexes out of date
};

}  // namespace quillora::px
