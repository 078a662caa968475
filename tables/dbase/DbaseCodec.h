#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tables/CodePage.h"
#include "tables/Collation.h"
#include "tables/Regional.h"
#include "tables/TableFile.h"
#include "tables/dbase/DbaseExpression.h"
#include "tables/dbase/DbaseHeader.h"

namespace quillora::dbase {

class DbaseMemo;

// What the codecs of one table share: its text encoding and order, its memo store, and the
// path their messages name.
class DbaseTextRules {
public:
    DbaseTextRules(const QString& path, const DbaseHeader& head, const DbaseMemo& memo);

    const QString& path() const { return path_; }
    const CodePage& codePage() const { return *codePage_; }
    bool level7() const { return level7_; }
    const DbaseMemo& memo() const { return memo_; }

    // Character keys in the order of the table's language driver.
    QByteArray textKey(const QByteArray& bytes) const;
    // The text in the table's code page; throws naming the field and the character it lacks.
    QByteArray encode(const QString& field, const QString& text) const;
    [[noreturn]] void badCharacter(const QString& field, QChar bad) const;
    // Single-byte code pages: the text straight into a field of `width` bytes, cut and padded.
    // False when the code page needs the general path (or prepareWriting() was not called).
    bool encodeFixed(const QString& field, const QString& text, char* dst, int width) const;
    // Whether every character of the text has one byte in a single-byte code page (so that it
    // encodes to as many bytes as it has characters); false also where encodeFixed() cannot say.
    bool fitsSingleBytes(const QString& text) const;
    // Builds what encodeFixed() needs; called once writing begins.
    void prepareWriting();
    QString missingMemoText() const;

private:
    QString path_;
    std::shared_ptr<const CodePage> codePage_;
    const Collation* collation_;
    bool level7_;
    const DbaseMemo& memo_;
    // Unicode code unit -> byte + 1 (0: not in the code page), single-byte code pages only.
    std::vector<quint16> encodeTable_;
};

// How the values of one field kind sit in a record image. `p` and `dst` point at the field's
// first byte; the field is column().length bytes long.
class DbaseFieldCodec {
public:
    DbaseFieldCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def);
    virtual ~DbaseFieldCodec() = default;

    const DbaseColumn& column() const { return column_; }
    // "NAME (N 10,2)", as messages show a field.
    QString label() const;

    virtual Value decode(const char* p) const = 0;
    // The text the user sees for the field's value (the text of decode(p) in `regional`'s
    // notation), appended as UTF-8 straight from the bytes: for writers of millions of values.
    // False, with nothing appended, where the value must be decoded first.
    virtual bool appendDisplayUtf8(const char*, const Regional&, std::string&) const { return false; }
    // A value (not null) as the field will hold it; throws Error when it cannot.
    virtual Value normalize(const Value& v) const = 0;
    // A normalized value (not null) into the field; memo kinds hand their data back in memoOut.
    virtual void encode(const Value& v, char* dst, QByteArray* memoOut) const = 0;
    // The usual values written without normalize(); false when the value must go through it.
    virtual bool encodeDirect(const Value&, char*) const { return false; }
    // The byte an empty field is filled with.
    virtual char blankByte() const { return ' '; }
    // The field as key expressions see it; p is null when there is no record image.
    virtual ExprValue exprValue(const char*) const { return ExprValue::character(QString()); }
    virtual ExprValue::Type exprType() const { return ExprValue::Type::Numeric; }
    // The key dBase orders this field's values by; none when the generic order serves.
    virtual std::optional<QByteArray> sortKey(const Value&) const { return std::nullopt; }
    // Memo kinds: the field holds the number of a block of the memo store.
    virtual bool keepsMemo() const { return false; }
    virtual void putMemoBlock(char*, qint64) const {}

protected:
    [[noreturn]] void wrongKind(const Value& v) const;

    const DbaseTextRules& rules_;
    DbaseColumn column_;
    QString name_;
    bool floating_;  // read as ftFloat
};

// The codec of a column, chosen by its type letter.
std::unique_ptr<DbaseFieldCodec> makeDbaseCodec(const DbaseTextRules& rules, const DbaseColumn& column,
                                                const FieldDef& def);

}  // namespace quillora::dbase
