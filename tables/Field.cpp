#include "tables/Field.h"

#include "tables/FieldConvert.h"
#include "tables/Table.h"

namespace quillora {

quillora::Value Field::Value() const
{
    return table_->fieldValue(index_);
}

void Field::SetValue(const quillora::Value& value)
{
    table_->setFieldValue(index_, convertForField(def_, value));
}

QString Field::AsString() const
{
    return displayText(def_, Value());
}

void Field::SetAsString(const QString& text)
{
    table_->setFieldValue(index_, parseForField(def_, text));
}

}  // namespace quillora
