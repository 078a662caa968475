#pragma once

#include "tables/dbase/DbaseIndexKeys.h"

#include <QString>
#include <QStringList>

namespace quillora::io {
class File;
}

namespace quillora::check {

// Where a tree starts and how its nodes are laid out: an .mdx tag (pages of 512 bytes, nodes of
// a block, items "pointer, key") or an .ndx (blocks of 512 bytes, groups "child, record, key").
struct IndexTreeLayout {
    bool mdx = false;
    quint32 root = 0;
    qint64 nodeSize = 512;   // bytes of one node
    int keyLength = 0;
    int itemLength = 0;      // bytes of one item (mdx) or group (ndx)
    quint32 firstNode = 1;   // nodes before it are headers
};

// One fault of the tree: where (page/block) and what, in words for the user.
struct TreeFault {
    QString place;
    QString text;
};

// Walks a tree from its root, every node at most once, and gathers its leaf entries in the
// order the file keeps them. Pages out of range, nodes reached twice (loops), entry counts
// that do not fit a node and leaves at different depths are faults; the walk never leaves the
// file and never visits more nodes than the file holds. `keyOrder` gives the bytes whose byte
// order is the index's order for a key as stored; separators of interior nodes are checked
// against the keys of their subtrees with it.
class IndexTreeWalk {
public:
    using KeyOrder = std::function<QByteArray(const char* key)>;

    IndexTreeWalk(const io::File& file, const IndexTreeLayout& layout, KeyOrder keyOrder, bool descending);
    void run();

    dbase::IndexKeys takeEntries() { return std::move(entries_); }
    const std::vector<TreeFault>& faults() const { return faults_; }

private:
    struct Span {
        bool any = false;
        QByteArray first, last;  // orders of the first and last key below a node
    };
    Span visit(quint32 node, int depth);
    void fault(const QString& place, const QString& text);
    QString nodeName(quint32 node) const;
    const char* readNode(quint32 node);  // null when the node cannot be read whole

    const io::File& file_;
    IndexTreeLayout layout_;
    KeyOrder keyOrder_;
    bool descending_;
    qint64 nodes_ = 0;
    qint64 fileSize_ = 0;
    QByteArray window_;
    qint64 windowStart_ = -1;
    std::vector<bool> seen_;
    int leafDepth_ = -1;
    dbase::IndexKeys entries_;
    std::vector<TreeFault> faults_;
};

}  // namespace quillora::check
