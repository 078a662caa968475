#include "tables/check/DbaseIndexTree.h"

#include "tables/io/Endian.h"
#include "tables/io/File.h"

namespace quillora::check {

namespace {

// Far more levels than any real index has (each level multiplies the entries by two at
// least): past it the tree is looping through pages it has not seen yet, or is not a tree.
constexpr int kMaxDepth = 40;
constexpr qint64 kUnit = 512;

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
    nodes_ = file_.size() / kUnit;
    seen_.assign(size_t(std::max<qint64>(nodes_, 0)), false);
    // No tree holds more entries than its file has room for.
    const qint64 most = file_.size() / layout_.itemLength;
    entries_.keys.reserve(most * layout_.keyLength);
    entries_.records.reserve(size_t(most));
    visit(layout_.root, 0);
}

IndexTreeWalk::Span IndexTreeWalk::visit(quint32 node, int depth)
{
    Span span;
    const QString here = nodeName(node);
    if (depth > kMaxDepth) {
        fault(here, QStringLiteral("a árvore passa de %1 níveis (laço entre páginas)").arg(kMaxDepth));
        return span;
    }
    if (node < layout_.firstNode || qint64(node) * kUnit + layout_.nodeSize > file_.size()) {
        fault(here, QStringLiteral("aponta para fora do arquivo do índice (%1 páginas de 512 bytes)").arg(nodes_));
        return span;
    }
    if (seen_[node]) {
        fault(here, QStringLiteral("alcançada de novo (laço ou página usada duas vezes na árvore)"));
        return span;
    }
    seen_[node] = true;
    QByteArray bytes(layout_.nodeSize, Qt::Uninitialized);
    if (file_.readSome(qint64(node) * kUnit, bytes.data(), bytes.size()) != bytes.size()) {
        fault(here, QStringLiteral("não pôde ser lida"));
        return span;
    }
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
