#include "tables/check/Fault.h"

namespace quillora::check {

QString formatFault(const Fault& fault)
{
    if (fault.place.isEmpty())
        return QStringLiteral("%1: %2").arg(fault.file, fault.text);
    return QStringLiteral("%1: %2: %3").arg(fault.file, fault.place, fault.text);
}

}  // namespace quillora::check
