#include "tables/check/DbaseIndexTree.h"

#include "tables/io/Endian.h"
#include "tables/io/File.h"

namespace quillora::check {

namespace {

// Far more levels than any real index has (each level multiplies the entries by two at
// least): past it the tree is looping through pages it has not seen yet, or is not a tree.
constexpr int kMaxDepth = 40;
constexpr qint64 kUnit = 512;
// Nodes are read through a window of this many bytes: trees written in key order keep the
// nodes of a walk close together, so one read serves many of them.
constexpr qint64 kWindow = 64 * 1024;

}  // namespace

IndexTreeWalk::IndexTreeWalk(const io::File& file, const IndexTreeLayout& layout, KeyOrder keyOrder, bool descending)
    : file_(file), layout_(layout), keyOrder_(std::move(keyOrder)), descending_(descending)
{
    entries_.keyLength = layout_.keyLength;
}

QString IndexTreeWalk::nodeName(quint32 node) const
{
    return (layout_.mdx ? QStringLiteral("página %1") : QStringLiteral("bloco %1")).arg(node);
}

void IndexTreeWalk::fault(const QString& place, const QString& text)
{
    faults_.push_back(TreeFault{place, text});
}

void IndexTreeWalk::run()
{
    fileSize_ = file_.size();
    nodes_ = fileSize_ / kUnit;
    seen_.assign(size_t(std::max<qint64>(nodes_, 0)), false);
    // No tree holds more entries than its file has room for.
    const qint64 most = fileSize_ / layout_.itemLength;
    entries_.keys.reserve(most * layout_.keyLength);
    entries_.records.reserve(size_t(most));
    visit(layout_.root, 0);
}

const char* IndexTreeWalk::readNode(quint32 node)
{
    const qint64 offset = qint64(node) * kUnit;
    if (offset < windowStart_ || offset + layout_.nodeSize > windowStart_ + window_.size()) {
        window_.resize(std::min(std::max<qint64>(kWindow, layout_.nodeSize), fileSize_ - offset));
        windowStart_ = offset;
        const qint64 got = file_.readSome(offset, window_.data(), window_.size());
        window_.resize(got);
        if (got < layout_.nodeSize)
            return nullptr;
    }
    return window_.constData() + (offset - windowStart_);
}

IndexTreeWalk::Span IndexTreeWalk::visit(quint32 node, int depth)
{
    Span span;
    // Named only when something is wrong with it.
    struct Here {
        const IndexTreeWalk& walk;
        quint32 node;
        operator QString() const { return walk.nodeName(node); }
    } here{*this, node};
    if (depth > kMaxDepth) {
        fault(here, QStringLiteral("a árvore passa de %1 níveis (laço entre páginas)").arg(kMaxDepth));
        return span;
    }
    if (node < layout_.firstNode || qint64(node) * kUnit + layout_.nodeSize > fileSize_) {
        fault(here, QStringLiteral("aponta para fora do arquivo do índice (%1 páginas de 512 bytes)").arg(nodes_));
        return span;
    }
    if (seen_[node]) {
        fault(here, QStringLiteral("alcançada de novo (laço ou página usada duas vezes na árvore)"));
        return span;
    }
    seen_[node] = true;
    // The node's bytes are copied: the window moves while its children are read.
    const char* inWindow = readNode(node);
    if (!inWindow) {
        fault(here, QStringLiteral("não pôde ser lida"));
        return span;
    }
    const QByteArray bytes(inWindow, layout_.nodeSize);
    const char* p = bytes.constData();
    const qint64 count = io::le32(p);
    const int firstItem = layout_.mdx ? 8 : 4;
    const qint64 room = (layout_.nodeSize - firstItem) / layout_.itemLength;
    if (count > room) {
        fault(here, QStringLiteral("diz ter %1 chaves, mas só cabem %2").arg(count).arg(room));
        return span;
    }
    auto item = [&](qint64 i) { return p + firstItem + i * layout_.itemLength; };
    const qint64 after = firstItem + count * layout_.itemLength;  // the pointer past the last item
    const bool pointerAfter = after + 4 <= layout_.nodeSize;
    bool leaf;
    if (layout_.mdx)
        leaf = !pointerAfter || io::le32(p + after) == 0;
    else
        leaf = count > 0 ? io::le32(item(0)) == 0 : !pointerAfter || io::le32(p + after) == 0;
    const int keyAt = layout_.mdx ? 4 : 8;

    if (leaf) {
        if (leafDepth_ < 0)
            leafDepth_ = depth;
        else if (leafDepth_ != depth)
            fault(here, QStringLiteral("folha no nível %1, mas outras estão no nível %2").arg(depth).arg(leafDepth_));
        for (qint64 i = 0; i < count; ++i) {
            const char* it = item(i);
            entries_.records.push_back(io::le32(it + (layout_.mdx ? 0 : 4)));
            entries_.keys.append(it + keyAt, layout_.keyLength);
        }
        if (count > 0) {
            span.any = true;
            span.first = keyOrder_(item(0) + keyAt);
            span.last = keyOrder_(item(count - 1) + keyAt);
        }
        return span;
    }
    if (!pointerAfter) {
        fault(here, QStringLiteral("página interna sem lugar para o último ponteiro"));
        return span;
    }
    // a comes no later than b in the index's order
    auto inOrder = [&](const QByteArray& a, const QByteArray& b) { return descending_ ? b <= a : a <= b; };
    QByteArray separator;
    for (qint64 i = 0; i <= count; ++i) {
        const char* it = i < count ? item(i) : p + after;
        const Span child = visit(io::le32(it), depth + 1);
        if (i > 0 && child.any && !inOrder(separator, child.first))
            fault(here, QStringLiteral("a chave %1 da página vem depois da primeira chave da página %2, à direita dela")
                            .arg(i)
                            .arg(io::le32(it)));
        if (i < count) {
            separator = keyOrder_(it + keyAt);
            if (child.any && !inOrder(child.last, separator))
                fault(here, QStringLiteral("a chave %1 da página vem antes da última chave da página %2, à esquerda dela")
                                .arg(i + 1)
                                .arg(io::le32(it)));
        }
        if (child.any) {
            if (!span.any)
                span.first = child.first;
            span.last = child.last;
            span.any = true;
        }
    }
    return span;
}

}  // namespace quillora::check
