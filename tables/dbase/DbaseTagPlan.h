#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "tables/dbase/DbaseExpression.h"
#include "tables/dbase/DbaseHeader.h"
#include "tables/dbase/DbaseIndexFiles.h"

namespace quillora::dbase {

// How one index (a tag of the production .mdx, or an .ndx) is computed from the records when
// it is written anew.
struct DbaseTagPlan {
    DbaseTagInfo tag;
    std::shared_ptr<const DbaseExpression> expression;
    std::shared_ptr<const DbaseExpression> condition;  // the FOR condition; null when none
    int field = -1;   // a character field whose bytes are the key
    int digits = 10;  // packed decimal keys: the digit count they declare
};

// Decides how a tag is kept, filling `plan` when given. Returns why it cannot be kept (a key
// type, expression, condition or collation this program cannot reproduce), or empty.
QString planDbaseTag(const DbaseTagInfo& tag, bool ndx, const DbaseHeader& head,
                     const std::function<DbaseExpression(const QString&)>& parse, DbaseTagPlan* plan);

}  // namespace quillora::dbase
