#include "tables/filter/LikePattern.h"

namespace quillora::filter {

bool LikePattern::matches(QStringView text) const
{
    // Greedy walk that backtracks only to the last "%": linear for the usual patterns and
    // never worse than text length times pattern length.
    const QStringView p(pattern_);
    qsizetype t = 0, k = 0;
    qsizetype starK = -1, starT = 0;
    while (t < text.size()) {
        if (k < p.size() && p[k] == u'%') {
            starK = k++;
            starT = t;
        } else if (k < p.size() && (p[k] == u'_' || p[k] == text[t])) {
            ++k;
            ++t;
        } else if (starK >= 0) {
            k = starK + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (k < p.size() && p[k] == u'%')
        ++k;
    return k == p.size();
}

}  // namespace quillora::filter
