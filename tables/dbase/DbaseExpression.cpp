#include "tables/dbase/DbaseExpression.h"

#include "tables/Error.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace quillora::dbase {

using Type = ExprValue::Type;

struct DbaseExpression::Node {
    enum class Kind { Constant, Field, Unary, Binary, Call };
    Kind kind = Kind::Constant;
    Type type = Type::Character;
    ExprValue constant;
    int field = -1;
    QString op;  // operator or function name, upper case
    std::vector<std::shared_ptr<const Node>> args;
};

namespace {

using NodePtr = std::shared_ptr<const DbaseExpression::Node>;
using Node = DbaseExpression::Node;

struct Token {
    enum class Kind { End, Number, String, Name, Symbol, Logical } kind = Kind::End;
    QString text;  // name in upper case, symbol, string contents, ".AND." etc. for logical words
};

class Parser {
public:
    Parser(const QString& text, const QStringList& names, const std::vector<Type>& types)
        : text_(text), names_(names), types_(types)
    {
        advance();
    }

    NodePtr parseAll()
    {
        NodePtr n = parseOr();
        if (tok_.kind != Token::Kind::End)
            fail(QStringLiteral("texto sobrando em '%1'").arg(tok_.text));
        return n;
    }

    std::vector<int> fields;

private:
    [[noreturn]] void fail(const QString& why) const
    {
        throw Error(QStringLiteral("Expressão de índice não suportada: %1 (%2)").arg(text_, why));
    }

    void advance()
    {
        while (pos_ < text_.size() && text_[pos_].isSpace())
            ++pos_;
        tok_ = Token();
        if (pos_ >= text_.size())
            return;
        const QChar c = text_[pos_];
        if (c.isDigit() || (c == QLatin1Char('.') && pos_ + 1 < text_.size() && text_[pos_ + 1].isDigit())) {
            const qsizetype start = pos_;
            while (pos_ < text_.size() && (text_[pos_].isDigit() || text_[pos_] == QLatin1Char('.')))
                ++pos_;
            tok_ = {Token::Kind::Number, text_.mid(start, pos_ - start)};
            return;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const qsizetype end = text_.indexOf(close, pos_ + 1);
            if (end < 0)
                fail(QStringLiteral("texto sem fim"));
            tok_ = {Token::Kind::String, text_.mid(pos_ + 1, end - pos_ - 1)};
            pos_ = end + 1;
            return;
        }
        if (c == QLatin1Char('.')) {
            const qsizetype end = text_.indexOf(QLatin1Char('.'), pos_ + 1);
            if (end > pos_) {
                const QString word = text_.mid(pos_, end - pos_ + 1).toUpper();
                static const QStringList words = {QStringLiteral(".AND."), QStringLiteral(".OR."),
                                                  QStringLiteral(".NOT."), QStringLiteral(".T."),
                                                  QStringLiteral(".F."), QStringLiteral(".Y."),
                                                  QStringLiteral(".N.")};
                if (words.contains(word)) {
                    tok_ = {Token::Kind::Logical, word};
                    pos_ = end + 1;
                    return;
                }
            }
        }
        if (c.isLetter() || c == QLatin1Char('_')) {
            const qsizetype start = pos_;
            while (pos_ < text_.size() && (text_[pos_].isLetterOrNumber() || text_[pos_] == QLatin1Char('_')))
                ++pos_;
            tok_ = {Token::Kind::Name, text_.mid(start, pos_ - start).toUpper()};
            // An alias ("A->FIELD") names the same table: keep the field.
            if (text_.mid(pos_, 2) == QLatin1String("->")) {
                pos_ += 2;
                advance();
            }
            return;
        }
        static const QStringList twoChar = {QStringLiteral("<>"), QStringLiteral("<="), QStringLiteral(">="),
                                            QStringLiteral("=="), QStringLiteral("!=")};
        const QString two = text_.mid(pos_, 2);
        if (twoChar.contains(two)) {
            tok_ = {Token::Kind::Symbol, two};
            pos_ += 2;
            return;
        }
        if (QStringLiteral("+-*/()=<>#$,!").contains(c)) {
            tok_ = {Token::Kind::Symbol, QString(c)};
            ++pos_;
            return;
        }
        fail(QStringLiteral("caractere '%1'").arg(c));
    }

    bool isSymbol(const char* s) const { return tok_.kind == Token::Kind::Symbol && tok_.text == QLatin1String(s); }
    bool isWord(const char* s) const { return tok_.kind == Token::Kind::Logical && tok_.text == QLatin1String(s); }
    void expectSymbol(const char* s)
    {
        if (!isSymbol(s))
            fail(QStringLiteral("esperado '%1'").arg(QLatin1String(s)));
        advance();
    }

    NodePtr make(Node::Kind kind, Type type, QString op, std::vector<NodePtr> args)
    {
        auto n = std::make_shared<Node>();
        n->kind = kind;
        n->type = type;
        n->op = std::move(op);
        n->args = std::move(args);
        return n;
    }

    NodePtr parseOr()
    {
        NodePtr left = parseAnd();
        while (isWord(".OR.")) {
            advance();
            NodePtr right = parseAnd();
            requireType(left, Type::Logical);
            requireType(right, Type::Logical);
            left = make(Node::Kind::Binary, Type::Logical, QStringLiteral(".OR."), {left, right});
        }
        return left;
    }

    NodePtr parseAnd()
    {
        NodePtr left = parseNot();
        while (isWord(".AND.")) {
            advance();
            NodePtr right = parseNot();
            requireType(left, Type::Logical);
            requireType(right, Type::Logical);
            left = make(Node::Kind::Binary, Type::Logical, QStringLiteral(".AND."), {left, right});
        }
        return left;
    }

    NodePtr parseNot()
    {
        if (isWord(".NOT.") || isSymbol("!")) {
            advance();
            NodePtr operand = parseNot();
            requireType(operand, Type::Logical);
            return make(Node::Kind::Unary, Type::Logical, QStringLiteral(".NOT."), {operand});
        }
        return parseComparison();
    }

    NodePtr parseComparison()
    {
        NodePtr left = parseAdditive();
        static const QStringList ops = {QStringLiteral("="), QStringLiteral("=="), QStringLiteral("<>"),
                                        QStringLiteral("#"), QStringLiteral("!="), QStringLiteral("<"),
                                        QStringLiteral(">"), QStringLiteral("<="), QStringLiteral(">="),
                                        QStringLiteral("$")};
        if (tok_.kind == Token::Kind::Symbol && ops.contains(tok_.text)) {
            const QString op = tok_.text;
            advance();
            NodePtr right = parseAdditive();
            if (left->type != right->type || (op == QLatin1String("$") && left->type != Type::Character))
                fail(QStringLiteral("comparação de tipos diferentes"));
            return make(Node::Kind::Binary, Type::Logical, op, {left, right});
        }
        return left;
    }

    NodePtr parseAdditive()
    {
        NodePtr left = parseTerm();
        while (isSymbol("+") || isSymbol("-")) {
            const QString op = tok_.text;
            advance();
            NodePtr right = parseTerm();
            Type t;
            if (left->type == Type::Character && right->type == Type::Character)
                t = Type::Character;
            else if (left->type == Type::Numeric && right->type == Type::Numeric)
                t = Type::Numeric;
            else if (left->type == Type::Date && right->type == Type::Numeric)
                t = Type::Date;
            else if (op == QLatin1String("+") && left->type == Type::Numeric && right->type == Type::Date)
                t = Type::Date;
            else if (op == QLatin1String("-") && left->type == Type::Date && right->type == Type::Date)
                t = Type::Numeric;
            else
                fail(QStringLiteral("'%1' entre tipos que não combinam").arg(op));
            left = make(Node::Kind::Binary, t, op, {left, right});
        }
        return left;
    }

    NodePtr parseTerm()
    {
        NodePtr left = parseUnary();
        while (isSymbol("*") || isSymbol("/")) {
            const QString op = tok_.text;
            advance();
            NodePtr right = parseUnary();
            requireType(left, Type::Numeric);
            requireType(right, Type::Numeric);
            left = make(Node::Kind::Binary, Type::Numeric, op, {left, right});
        }
        return left;
    }

    NodePtr parseUnary()
    {
        if (isSymbol("-")) {
            advance();
            NodePtr operand = parseUnary();
            requireType(operand, Type::Numeric);
            return make(Node::Kind::Unary, Type::Numeric, QStringLiteral("-"), {operand});
        }
        return parsePrimary();
    }

    void requireType(const NodePtr& n, Type t)
    {
        if (n->type != t)
            fail(QStringLiteral("tipo inesperado"));
    }

    NodePtr parsePrimary()
    {
        if (tok_.kind == Token::Kind::Number) {
            bool ok = false;
            const double v = tok_.text.toDouble(&ok);
            if (!ok)
                fail(QStringLiteral("número '%1'").arg(tok_.text));
            advance();
            auto n = std::make_shared<Node>();
            n->type = Type::Numeric;
            n->constant = ExprValue::numeric(v);
            return n;
        }
        if (tok_.kind == Token::Kind::String) {
            auto n = std::make_shared<Node>();
            n->constant = ExprValue::character(tok_.text);
            advance();
            return n;
        }
        if (tok_.kind == Token::Kind::Logical && (isWord(".T.") || isWord(".F.") || isWord(".Y.") || isWord(".N."))) {
            auto n = std::make_shared<Node>();
            n->type = Type::Logical;
            n->constant = ExprValue::boolean(isWord(".T.") || isWord(".Y."));
            advance();
            return n;
        }
        if (isSymbol("(")) {
            advance();
            NodePtr inner = parseOr();
            expectSymbol(")");
            return inner;
        }
        if (tok_.kind == Token::Kind::Name) {
            const QString name = tok_.text;
            advance();
            if (isSymbol("("))
                return parseCall(name);
            for (int i = 0; i < names_.size(); ++i) {
                if (names_[i].compare(name, Qt::CaseInsensitive) == 0) {
                    auto n = std::make_shared<Node>();
                    n->kind = Node::Kind::Field;
                    n->field = i;
                    n->type = types_[size_t(i)];
                    if (std::find(fields.begin(), fields.end(), i) == fields.end())
                        fields.push_back(i);
                    return n;
                }
            }
            fail(QStringLiteral("campo %1 não existe").arg(name));
        }
        fail(QStringLiteral("expressão incompleta"));
    }

    NodePtr parseCall(const QString& name)
    {
        expectSymbol("(");
        std::vector<NodePtr> args;
        if (!isSymbol(")")) {
            args.push_back(parseOr());
            while (isSymbol(",")) {
                advance();
                args.push_back(parseOr());
            }
        }
        expectSymbol(")");
        // name -> (result type, argument types; a trailing optional count)
        struct Signature {
            const char* name;
            Type result;
            std::vector<Type> args;
            size_t required;
        };
        static const std::vector<Signature> signatures = {
            {"UPPER", Type::Character, {Type::Character}, 1},
            {"LOWER", Type::Character, {Type::Character}, 1},
            {"DTOS", Type::Character, {Type::Date}, 1},
            {"DTOC", Type::Character, {Type::Date}, 1},
            {"STR", Type::Character, {Type::Numeric, Type::Numeric, Type::Numeric}, 1},
            {"SUBSTR", Type::Character, {Type::Character, Type::Numeric, Type::Numeric}, 2},
            {"LEFT", Type::Character, {Type::Character, Type::Numeric}, 2},
            {"RIGHT", Type::Character, {Type::Character, Type::Numeric}, 2},
            {"TRIM", Type::Character, {Type::Character}, 1},
            {"RTRIM", Type::Character, {Type::Character}, 1},
            {"LTRIM", Type::Character, {Type::Character}, 1},
            {"ALLTRIM", Type::Character, {Type::Character}, 1},
            {"SPACE", Type::Character, {Type::Numeric}, 1},
            {"VAL", Type::Numeric, {Type::Character}, 1},
            {"CTOD", Type::Date, {Type::Character}, 1},
            {"DELETED", Type::Logical, {}, 0},
            {"RECNO", Type::Numeric, {}, 0},
        };
        if (name == QLatin1String("IIF")) {
            if (args.size() != 3 || args[0]->type != Type::Logical || args[1]->type != args[2]->type)
                fail(QStringLiteral("IIF precisa de condição e dois valores do mesmo tipo"));
            const Type type = args[1]->type;  // read before the arguments move
            return make(Node::Kind::Call, type, name, std::move(args));
        }
        for (const Signature& s : signatures) {
            if (name != QLatin1String(s.name))
                continue;
            if (args.size() < s.required || args.size() > s.args.size())
                fail(QStringLiteral("número de argumentos de %1").arg(name));
            for (size_t i = 0; i < args.size(); ++i)
                if (args[i]->type != s.args[i])
                    fail(QStringLiteral("argumento %1 de %2").arg(i + 1).arg(name));
            return make(Node::Kind::Call, s.result, name, std::move(args));
        }
        fail(QStringLiteral("função %1 desconhecida").arg(name));
    }

    QString text_;
    const QStringList& names_;
    const std::vector<Type>& types_;
    qsizetype pos_ = 0;
    Token tok_;
};

QString strOf(double value, int length, int decimals)
{
    length = std::clamp(length, 1, 255);
    decimals = std::clamp(decimals, 0, 18);
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;  // halves away from zero
    QString s = QString::number(rounded, 'f', decimals);
    if (s.size() > length)
        return QString(length, QLatin1Char('*'));
    return s.rightJustified(length, QLatin1Char(' '));
}

int compareValues(const ExprValue& a, const ExprValue& b)
{
    switch (a.type) {
    case Type::Character: return a.text.compare(b.text);
    case Type::Numeric: return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    case Type::Date: {
        const qint64 x = a.date.isValid() ? a.date.toJulianDay() : 0;
        const qint64 y = b.date.isValid() ? b.date.toJulianDay() : 0;
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case Type::Logical: return int(a.logical) - int(b.logical);
    }
    return 0;
}

ExprValue eval(const Node& n, const ExprRecord& record)
{
    switch (n.kind) {
    case Node::Kind::Constant: return n.constant;
    case Node::Kind::Field: return record.field(n.field);
    case Node::Kind::Unary: {
        const ExprValue v = eval(*n.args[0], record);
        return n.op == QLatin1String("-") ? ExprValue::numeric(-v.number) : ExprValue::boolean(!v.logical);
    }
    case Node::Kind::Binary: {
        if (n.op == QLatin1String(".AND."))
            return ExprValue::boolean(eval(*n.args[0], record).logical && eval(*n.args[1], record).logical);
        if (n.op == QLatin1String(".OR."))
            return ExprValue::boolean(eval(*n.args[0], record).logical || eval(*n.args[1], record).logical);
        const ExprValue a = eval(*n.args[0], record);
        const ExprValue b = eval(*n.args[1], record);
        if (n.op == QLatin1String("+")) {
            if (n.type == Type::Character)
                return ExprValue::character(a.text + b.text);
            if (n.type == Type::Numeric)
                return ExprValue::numeric(a.number + b.number);
            const ExprValue& d = a.type == Type::Date ? a : b;
            const double days = a.type == Type::Date ? b.number : a.number;
            return ExprValue::fromDate(d.date.isValid() ? d.date.addDays(qint64(days)) : QDate());
        }
        if (n.op == QLatin1String("-")) {
            if (n.type == Type::Character) {
                // dBase's string minus: the left side's trailing blanks move to the end.
                QString left = a.text;
                qsizetype blanks = 0;
                while (left.endsWith(QLatin1Char(' '))) {
                    left.chop(1);
                    ++blanks;
                }
                return ExprValue::character(left + b.text + QString(blanks, QLatin1Char(' ')));
            }
            if (a.type == Type::Date && b.type == Type::Date)
                return ExprValue::numeric(double((a.date.isValid() ? a.date.toJulianDay() : 0)
                                                 - (b.date.isValid() ? b.date.toJulianDay() : 0)));
            if (a.type == Type::Date)
                return ExprValue::fromDate(a.date.isValid() ? a.date.addDays(-qint64(b.number)) : QDate());
            return ExprValue::numeric(a.number - b.number);
        }
        if (n.op == QLatin1String("*"))
            return ExprValue::numeric(a.number * b.number);
        if (n.op == QLatin1String("/"))
            return ExprValue::numeric(b.number == 0 ? 0 : a.number / b.number);
        if (n.op == QLatin1String("$"))
            return ExprValue::boolean(b.text.contains(a.text));
        if (n.op == QLatin1String("=") && a.type == Type::Character)
            return ExprValue::boolean(a.text.startsWith(b.text));  // dBase compares to the right side's length
        const int c = compareValues(a, b);
        if (n.op == QLatin1String("=") || n.op == QLatin1String("=="))
            return ExprValue::boolean(c == 0);
        if (n.op == QLatin1String("<>") || n.op == QLatin1String("#") || n.op == QLatin1String("!="))
            return ExprValue::boolean(c != 0);
        if (n.op == QLatin1String("<"))
            return ExprValue::boolean(c < 0);
        if (n.op == QLatin1String(">"))
            return ExprValue::boolean(c > 0);
        if (n.op == QLatin1String("<="))
            return ExprValue::boolean(c <= 0);
        return ExprValue::boolean(c >= 0);
    }
    case Node::Kind::Call: {
        const QString& f = n.op;
        if (f == QLatin1String("IIF"))
            return eval(*n.args[0], record).logical ? eval(*n.args[1], record) : eval(*n.args[2], record);
        if (f == QLatin1String("DELETED"))
            return ExprValue::boolean(record.deleted());
        if (f == QLatin1String("RECNO"))
            return ExprValue::numeric(double(record.recordNumber()));
        std::vector<ExprValue> a;
        for (const auto& arg : n.args)
            a.push_back(eval(*arg, record));
        auto num = [&](size_t i, double fallback) { return i < a.size() ? a[i].number : fallback; };
        if (f == QLatin1String("UPPER"))
            return ExprValue::character(a[0].text.toUpper());
        if (f == QLatin1String("LOWER"))
            return ExprValue::character(a[0].text.toLower());
        if (f == QLatin1String("DTOS"))
            return ExprValue::character(a[0].date.isValid() ? a[0].date.toString(QStringLiteral("yyyyMMdd"))
                                                            : QString(8, QLatin1Char(' ')));
        if (f == QLatin1String("DTOC"))
            return ExprValue::character(a[0].date.isValid() ? a[0].date.toString(QStringLiteral("MM/dd/yy"))
                                                            : QStringLiteral("  /  /  "));
        if (f == QLatin1String("STR"))
            return ExprValue::character(strOf(a[0].number, int(num(1, 10)), int(num(2, 0))));
        if (f == QLatin1String("SUBSTR")) {
            const qsizetype start = qsizetype(std::max(1.0, a[1].number)) - 1;
            const qsizetype count = a.size() > 2 ? qsizetype(std::max(0.0, a[2].number)) : a[0].text.size();
            return ExprValue::character(a[0].text.mid(start, count));
        }
        if (f == QLatin1String("LEFT"))
            return ExprValue::character(a[0].text.left(qsizetype(std::max(0.0, a[1].number))));
        if (f == QLatin1String("RIGHT"))
            return ExprValue::character(a[0].text.right(qsizetype(std::max(0.0, a[1].number))));
        if (f == QLatin1String("TRIM") || f == QLatin1String("RTRIM")) {
            QString s = a[0].text;
            while (s.endsWith(QLatin1Char(' ')))
                s.chop(1);
            return ExprValue::character(s);
        }
        if (f == QLatin1String("LTRIM")) {
            QString s = a[0].text;
            qsizetype i = 0;
            while (i < s.size() && s[i] == QLatin1Char(' '))
                ++i;
            return ExprValue::character(s.mid(i));
        }
        if (f == QLatin1String("ALLTRIM"))
            return ExprValue::character(a[0].text.trimmed());
        if (f == QLatin1String("SPACE"))
            return ExprValue::character(QString(qsizetype(std::clamp(a[0].number, 0.0, 255.0)), QLatin1Char(' ')));
        if (f == QLatin1String("VAL")) {
            bool ok = false;
            const double v = a[0].text.trimmed().toDouble(&ok);
            return ExprValue::numeric(ok ? v : 0);
        }
        if (f == QLatin1String("CTOD")) {
            QDate d = QDate::fromString(a[0].text.trimmed(), QStringLiteral("MM/dd/yyyy"));
            if (!d.isValid()) {
                d = QDate::fromString(a[0].text.trimmed(), QStringLiteral("MM/dd/yy"));
                if (d.isValid() && d.year() < 1950)
                    d = d.addYears(100);
            }
            return ExprValue::fromDate(d);
        }
        return {};
    }
    }
    return {};
}

}  // namespace

DbaseExpression DbaseExpression::parse(const QString& text, const QStringList& fieldNames,
                                       const std::vector<ExprValue::Type>& fieldTypes)
{
    Parser parser(text.trimmed(), fieldNames, fieldTypes);
    DbaseExpression e;
    e.text_ = text.trimmed();
    e.root_ = parser.parseAll();
    e.fields_ = parser.fields;
    return e;
}

ExprValue DbaseExpression::evaluate(const ExprRecord& record) const
{
    return eval(*root_, record);
}

ExprValue::Type DbaseExpression::type() const
{
    return root_->type;
}

bool DbaseExpression::isSingleField() const
{
    return root_->kind == Node::Kind::Field;
}

}  // namespace quillora::dbase
