#pragma once

#include <QByteArray>

#include <string>

namespace quillora {
class Regional;
}

namespace quillora::px {

struct TableHeader;

// The text a user sees for one field of a record image, appended as UTF-8 straight from its
// bytes, the same text the decoded value gives: for dumps of many records. False, with nothing
// appended, for kinds and values that go through the value (blobs, BCD, times, dates past 9999).
bool appendDisplayText(const TableHeader& h, const QByteArray& raw, int field, const Regional& regional,
                       std::string& out);

}  // namespace quillora::px
