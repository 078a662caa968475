#include "tables/FieldType.h"

namespace quillora {

QString fieldTypeName(FieldType type)
{
    static const char* const names[] = {
        "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
        "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes", "ftAutoInc",
        "ftBlob", "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle", "ftTypedBinary",
        "ftLargeint",
    };
    const int i = int(type);
    if (i < 0 || i >= int(sizeof(names) / sizeof(names[0])))
        return QStringLiteral("ftUnknown");
    return QString::fromLatin1(names[i]);
}

bool isTextType(FieldType type)
{
    return type == ftString || type == ftMemo || type == ftFmtMemo;
}

bool isBinaryType(FieldType type)
{
    switch (type) {
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary:
        return true;
    default:
        return false;
    }
}

bool isIntegerType(FieldType type)
{
    switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        return true;
    default:
        return false;
    }
}

bool isBlobType(FieldType type)
{
    switch (type) {
    case ftMemo: case ftFmtMemo: case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary:
        return true;
    default:
        return false;
    }
}

int FieldDef::dataSize() const
{
    switch (type) {
    case ftString: return size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
    case ftFloat: case ftCurrency: case ftDateTime: case ftLargeint: return 8;
    case ftBCD: return 34;
    case ftBytes: return size;
    case ftVarBytes: return size + 2;
    default: return 0;
    }
}

}  // namespace quillora
