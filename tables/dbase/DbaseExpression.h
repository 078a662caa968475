#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace quillora::dbase {

// A value of a dBase expression: character, numeric, date or logical.
struct ExprValue {
    enum class Type { Character, Numeric, Date, Logical };
    Type type = Type::Character;
    QString text;   // Character: as dBase sees it, fields padded to their width
    double number = 0;
    QDate date;     // invalid = blank date
    bool logical = false;

    static ExprValue character(QString s) { ExprValue v; v.text = std::move(s); return v; }
    static ExprValue numeric(double n) { ExprValue v; v.type = Type::Numeric; v.number = n; return v; }
    static ExprValue fromDate(QDate d) { ExprValue v; v.type = Type::Date; v.date = d; return v; }
    static ExprValue boolean(bool b) { ExprValue v; v.type = Type::Logical; v.logical = b; return v; }
};

// What an expression reads of the record it is evaluated on.
class ExprRecord {
public:
    virtual ~ExprRecord() = default;
    virtual ExprValue field(int index) const = 0;  // by the index given at parse time
    virtual bool deleted() const = 0;
    virtual qint64 recordNumber() const = 0;
};

// The key expressions of dBase index tags: field names, string, number and logical constants,
// + and - (also on strings and dates), * and /, comparisons, .AND./.OR./.NOT., and the
// functions real files use in tags: UPPER, LOWER, DTOS, DTOC, STR, SUBSTR, LEFT, RIGHT, TRIM,
// RTRIM, LTRIM, ALLTRIM, IIF, DELETED, RECNO, VAL, SPACE, CTOD.
class DbaseExpression {
public:
    struct Node;

    // Parses the text against the table's field names (compared without regard to case).
    // Throws quillora::Error saying what is not understood.
    static DbaseExpression parse(const QString& text, const QStringList& fieldNames,
                                 const std::vector<ExprValue::Type>& fieldTypes);

    ExprValue evaluate(const ExprRecord& record) const;
    ExprValue::Type type() const;
    const QString& text() const { return text_; }
    // The field indexes the expression reads.
    const std::vector<int>& fields() const { return fields_; }
    // A single field name and nothing else.
    bool isSingleField() const;

private:
    QString text_;
    std::shared_ptr<const Node> root_;
    std::vector<int> fields_;
};

}  // namespace quillora::dbase
