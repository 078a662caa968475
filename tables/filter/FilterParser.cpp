#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/filter/FilterCondition.h"
#include "tables/filter/FilterLexer.h"
#include "tables/filter/FilterNodes.h"

#include <algorithm>
#include <map>

namespace quillora::filter {

namespace {

using Op = Token::Op;
using Word = Token::Word;

Error arithmetic() { return Error(QStringLiteral("Filtro de expressão aritmética não suportada")); }
Error unknownType() { return Error(QStringLiteral("Tipo de expressão desconhecida")); }
Error nullOperator() { return Error(QStringLiteral("NULL somente permitido com '=' e '<>'")); }
Error notACondition() { return Error(QStringLiteral("Expressão de filtro formada incorretamente")); }

Op mirrored(Op op)
{
    switch (op) {
    case Op::Lt: return Op::Gt;
    case Op::Gt: return Op::Lt;
    case Op::Le: return Op::Ge;
    case Op::Ge: return Op::Le;
    default: return op;
    }
}

// What an operand turned out to be while parsing, before it becomes part of the tree.
struct Term {
    enum class Kind { Field, Text, Number, Null, Logical, Condition } kind = Kind::Null;
    int index = -1;
    FieldDef def;            // Field
    QString text;            // Text, Number: as written
    bool logical = false;    // Logical
    ConditionPtr condition;  // Condition
    qsizetype at = 0;        // where it starts in the text, for the place of a fault

    bool isConstant() const { return kind == Kind::Text || kind == Kind::Number || kind == Kind::Logical; }
};

// A fault that lies in a term: the message placed at the term's first character.
[[noreturn]] void failAt(const Term& t, const Error& e)
{
    throw FilterError(e.text(), t.at);
}

Value readConstant(const Term& t, const FieldDef& field);

// A text or number constant read as a value of a field's kind under the regional settings;
// a constant that does not fit the field is the fault.
Value constantFor(const Term& t, const FieldDef& field)
{
    try {
        return readConstant(t, field);
    } catch (const FilterError&) {
        throw;
    } catch (const Error& e) {
        failAt(t, e);
    }
}

Value readConstant(const Term& t, const FieldDef& field)
{
    if (t.kind == Term::Kind::Logical) {
        if (field.type != ftBoolean)
            throw unknownType();
        return Value::boolean(t.logical);
    }
    const Regional& r = Regional::current();
    const QString& s = t.text;
    switch (field.type) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
        // An empty constant stands for an empty field, as assigning "" empties one.
        return s.isEmpty() ? Value() : Value::text(s);
    case ftSmallint:
    case ftWord: {
        qint64 v = 0;
        if (!r.tryParseInteger(s, &v, std::numeric_limits<qint64>::min() + 1, std::numeric_limits<qint64>::max()))
            r.parseInteger(s);  // throws the message for text that is no integer
        const qint64 lo = field.type == ftSmallint ? -32768 : 0;
        const qint64 hi = field.type == ftSmallint ? 32767 : 65535;
        if (v < lo || v > hi)
            throw Error(QStringLiteral("Constante fora de faixa"));
        return Value::integer(v);
    }
    case ftInteger:
    case ftAutoInc:
        return Value::integer(r.parseInteger(s));
    case ftLargeint:
        return Value::integer(r.parseLargeInteger(s));
    case ftFloat:
    case ftCurrency:
        return Value::floating(r.parseFloat(s));
    case ftBCD:
        return Value::fixed(r.parseCurrency(s));
    case ftDate:
        return Value::date(r.parseDate(s));
    case ftTime:
        return Value::time(r.parseTime(s));
    case ftDateTime:
        return Value::dateTime(r.parseDateTime(s));
    case ftBoolean: {
        bool ok = false;
        const bool b = r.parseBoolean(s, &ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' não é um valor lógico válido").arg(s));
        return Value::boolean(b);
    }
    default:
        throw unknownType();
    }
}

// A constant compared with no field: text stays text, numbers are read as decimals.
Value constantAlone(const Term& t)
{
    switch (t.kind) {
    case Term::Kind::Text: return Value::text(t.text);
    case Term::Kind::Number:
        try {
            return Value::floating(Regional::current().parseFloat(t.text));
        } catch (const Error& e) {
            failAt(t, e);
        }
    case Term::Kind::Logical: return Value::boolean(t.logical);
    default: return Value();
    }
}

const FieldDef logicalDef{QString(), ftBoolean};

// The field a constant beside this term is read for, if any.
const FieldDef* partnerDef(const Term& t)
{
    if (t.kind == Term::Kind::Field)
        return &t.def;
    if (t.kind == Term::Kind::Condition || t.kind == Term::Kind::Logical)
        return &logicalDef;
    return nullptr;
}

OperandPtr operandOf(Term& t, const FieldDef* partner)
{
    switch (t.kind) {
    case Term::Kind::Field: return std::make_unique<FieldOperand>(t.index, t.def);
    case Term::Kind::Condition: return std::make_unique<ConditionOperand>(std::move(t.condition));
    case Term::Kind::Null: return std::make_unique<ConstantOperand>(Value());
    default: return std::make_unique<ConstantOperand>(partner ? constantFor(t, *partner) : constantAlone(t));
    }
}

bool isLargeObject(const Term& t)
{
    return t.kind == Term::Kind::Field && isBlobType(t.def.type);
}

// The prefix of a text constant ending in "*" (two characters at least), else nothing.
bool prefixOf(const Term& t, QString* prefix)
{
    if (t.kind != Term::Kind::Text || t.text.size() < 2 || !t.text.endsWith(QLatin1Char('*')))
        return false;
    *prefix = t.text.chopped(1);
    return true;
}

ConditionPtr conditionOf(Term& t)
{
    switch (t.kind) {
    case Term::Kind::Condition: return std::move(t.condition);
    case Term::Kind::Logical: return std::make_unique<ConstantCondition>(t.logical);
    case Term::Kind::Field:
        if (t.def.type == ftBoolean)
            return std::make_unique<LogicalFieldCondition>(t.index);
        break;
    default: break;
    }
    failAt(t, notACondition());
}

// Equalities of one field with constants, joined by OR (A = 1 OR A = 2 OR ...), become one
// lookup in a hash set once there are a few of them; the other parts stay as they are.
std::vector<ConditionPtr> equalitiesAsSets(std::vector<ConditionPtr> parts)
{
    constexpr size_t kWorthASet = 4;
    auto equalityOf = [](const ConditionPtr& c) -> const FieldConstantCondition* {
        const auto* e = dynamic_cast<const FieldConstantCondition*>(c.get());
        return e && e->op() == Op::Eq ? e : nullptr;
    };
    std::map<int, size_t> perField;
    for (const ConditionPtr& c : parts)
        if (const FieldConstantCondition* e = equalityOf(c))
            ++perField[e->index()];
    if (std::none_of(perField.begin(), perField.end(), [&](const auto& f) { return f.second >= kWorthASet; }))
        return parts;
    std::map<int, ValueSet> sets;
    std::vector<ConditionPtr> out;
    std::vector<std::pair<size_t, int>> setPlaces;  // where each set goes, by field
    for (ConditionPtr& c : parts) {
        const FieldConstantCondition* e = equalityOf(c);
        if (!e || perField[e->index()] < kWorthASet) {
            out.push_back(std::move(c));
            continue;
        }
        auto [it, isNew] = sets.try_emplace(e->index());
        if (isNew) {
            setPlaces.emplace_back(out.size(), e->index());
            out.push_back(nullptr);
        }
        it->second.add(e->constant());
    }
    for (const auto& [place, field] : setPlaces)
        out[place] = std::make_unique<InSetCondition>(std::make_unique<FieldOperand>(field, FieldDef{}), std::move(sets[field]));
    return out;
}

Term conditionTerm(ConditionPtr c, qsizetype at)
{
    Term t;
    t.kind = Term::Kind::Condition;
    t.condition = std::move(c);
    t.at = at;
    return t;
}

ConditionPtr buildCompare(Term& a, Op op, Term& b)
{
    if (isLargeObject(a))
        failAt(a, unknownType());
    if (isLargeObject(b))
        failAt(b, unknownType());
    if (a.kind == Term::Kind::Null || b.kind == Term::Kind::Null) {
        if (op != Op::Eq && op != Op::Ne)
            failAt(a.kind == Term::Kind::Null ? a : b, nullOperator());
        Term& other = a.kind == Term::Kind::Null ? b : a;
        if (other.kind == Term::Kind::Null)
            return std::make_unique<ConstantCondition>(op == Op::Eq);
        if (other.isConstant())
            return std::make_unique<ConstantCondition>(op == Op::Ne);
        return std::make_unique<IsNullCondition>(operandOf(other, nullptr), op == Op::Ne);
    }
    if (a.isConstant() && b.kind == Term::Kind::Field)
        return buildCompare(b, mirrored(op), a);
    if (a.kind == Term::Kind::Field && b.isConstant()) {
        QString prefix;
        if ((op == Op::Eq || op == Op::Ne) && isTextType(a.def.type) && prefixOf(b, &prefix))
            return std::make_unique<PrefixCondition>(a.index, prefix, op == Op::Ne);
        return std::make_unique<FieldConstantCondition>(a.index, op, constantFor(b, a.def));
    }
    const FieldDef* forB = partnerDef(a);
    const FieldDef* forA = partnerDef(b);
    OperandPtr left = operandOf(a, forA);
    OperandPtr right = operandOf(b, forB);
    return std::make_unique<CompareCondition>(std::move(left), op, std::move(right));
}

ConditionPtr buildLike(Term& a, Term& b)
{
    if (a.kind == Term::Kind::Null || b.kind == Term::Kind::Null)
        failAt(a.kind == Term::Kind::Null ? a : b, nullOperator());
    OperandPtr subject = operandOf(a, nullptr);
    if (b.kind == Term::Kind::Text || b.kind == Term::Kind::Number) {
        QString pattern = b.text;
        QString prefix;
        if (prefixOf(b, &prefix))
            pattern = prefix + QLatin1Char('%');
        return std::make_unique<LikeCondition>(std::move(subject), std::make_unique<LikePattern>(pattern), nullptr);
    }
    return std::make_unique<LikeCondition>(std::move(subject), nullptr, operandOf(b, nullptr));
}

class Parser {
public:
    Parser(QList<Token> tokens, const CompiledFilter::FieldLookup& lookup, const QList<FieldDef>& fields)
        : tokens_(std::move(tokens)), lookup_(lookup), fields_(fields) {}

    ConditionPtr parseAll()
    {
        if (peek().kind == Token::Kind::End)
            return nullptr;
        Term t = parseOr();
        if (peek().kind == Token::Kind::Arithmetic)
            throw arithmetic();
        if (peek().kind != Token::Kind::End)
            throw Error(QStringLiteral("Expressão de filtro incorretamente terminada"));
        return conditionOf(t);
    }

    // Where the parser stands: the first character of the token it looks at.
    qsizetype position() const { return peek().start; }

private:
    const Token& peek() const { return tokens_[pos_]; }
    bool isWord(Word w) const { return peek().kind == Token::Kind::Keyword && peek().word == w; }
    const Token& take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

    Term parseOr()
    {
        Term first = parseAnd();
        if (!isWord(Word::Or))
            return first;
        std::vector<ConditionPtr> parts;
        parts.push_back(conditionOf(first));
        while (isWord(Word::Or)) {
            take();
            Term next = parseAnd();
            parts.push_back(conditionOf(next));
        }
        return conditionTerm(std::make_unique<OrCondition>(equalitiesAsSets(std::move(parts))), first.at);
    }

    Term parseAnd()
    {
        Term first = parseNot();
        if (!isWord(Word::And))
            return first;
        std::vector<ConditionPtr> parts;
        parts.push_back(conditionOf(first));
        while (isWord(Word::And)) {
            take();
            Term next = parseNot();
            parts.push_back(conditionOf(next));
        }
        return conditionTerm(std::make_unique<AndCondition>(std::move(parts)), first.at);
    }

    Term parseNot()
    {
        if (!isWord(Word::Not))
            return parseComparison();
        const qsizetype at = take().start;
        Term t = parseComparison();
        return conditionTerm(std::make_unique<NotCondition>(conditionOf(t)), at);
    }

    Term parseComparison()
    {
        Term left = parseOperand();
        const Token& t = peek();
        if (t.kind == Token::Kind::Arithmetic)
            throw arithmetic();
        if (t.kind == Token::Kind::Compare) {
            const Op op = take().op;
            Term right = parseOperand();
            return conditionTerm(buildCompare(left, op, right), left.at);
        }
        if (t.kind != Token::Kind::Keyword)
            return left;
        switch (t.word) {
        case Word::Like: {
            take();
            Term right = parseOperand();
            return conditionTerm(buildLike(left, right), left.at);
        }
        case Word::In:
            take();
            return conditionTerm(parseInList(left), left.at);
        case Word::Is: {
            take();
            bool negated = false;
            if (isWord(Word::Not)) {
                take();
                negated = true;
            }
            if (!isWord(Word::Null))
                throw Error(QStringLiteral("Uso de Keyword inválido"));
            take();
            if (left.kind == Term::Kind::Null)
                return conditionTerm(std::make_unique<ConstantCondition>(!negated), left.at);
            if (left.isConstant())
                return conditionTerm(std::make_unique<ConstantCondition>(negated), left.at);
            return conditionTerm(std::make_unique<IsNullCondition>(operandOf(left, nullptr), negated), left.at);
        }
        default:
            return left;
        }
    }

    ConditionPtr parseInList(Term& left)
    {
        if (peek().kind != Token::Kind::LParen)
            throw Error(QStringLiteral("')' esperado mas %1 encontrado").arg(peek().shown()));
        take();
        if (peek().kind == Token::Kind::RParen)
            throw Error(QStringLiteral("Lista de predicados IN pode não estar vazia"));
        std::vector<Term> items;
        while (true) {
            items.push_back(parseOperand());
            if (peek().kind == Token::Kind::Comma) {
                take();
                continue;
            }
            if (peek().kind == Token::Kind::RParen) {
                take();
                break;
            }
            if (peek().kind == Token::Kind::Arithmetic)
                throw arithmetic();
            throw Error(QStringLiteral("')' ou ',' aguardado mas %1 existe").arg(peek().shown()));
        }
        if (left.kind == Term::Kind::Null)
            failAt(left, nullOperator());
        if (isLargeObject(left))
            failAt(left, unknownType());
        const FieldDef* forItems = partnerDef(left);
        if (std::all_of(items.begin(), items.end(), [](const Term& t) { return t.isConstant(); })) {
            // A list of constants (the long ones are lists of codes pasted in) is a hash set.
            ValueSet set;
            for (const Term& item : items)
                set.add(forItems ? constantFor(item, *forItems) : constantAlone(item));
            return std::make_unique<InSetCondition>(operandOf(left, nullptr), std::move(set));
        }
        std::vector<OperandPtr> operands;
        for (Term& item : items) {
            if (isLargeObject(item))
                failAt(item, unknownType());
            operands.push_back(operandOf(item, item.isConstant() ? forItems : partnerDef(left)));
        }
        // Constants alone in front of a list of fields are read for the first field.
        const FieldDef* forLeft = nullptr;
        for (const Term& item : items)
            if (!forLeft && item.kind == Term::Kind::Field)
                forLeft = &item.def;
        return std::make_unique<InCondition>(operandOf(left, forLeft), std::move(operands));
    }

    Term parseOperand()
    {
        const Token& t = peek();
        Term term;
        term.at = t.start;
        switch (t.kind) {
        case Token::Kind::Name: {
            term.kind = Term::Kind::Field;
            term.index = lookup_(t.text);
            term.def = fields_.at(term.index);
            take();
            return term;
        }
        case Token::Kind::Text:
        case Token::Kind::Number:
            term.kind = t.kind == Token::Kind::Text ? Term::Kind::Text : Term::Kind::Number;
            term.text = t.text;
            take();
            return term;
        case Token::Kind::LParen: {
            // Each level of parentheses costs stack while parsing and testing: a sane limit
            // keeps a hostile text from exhausting it.
            if (++depth_ > maxDepth)
                throw Error(QStringLiteral("Expressão de filtro com parênteses aninhados demais"));
            take();
            Term inner = parseOr();
            --depth_;
            if (peek().kind == Token::Kind::Arithmetic)
                throw arithmetic();
            if (peek().kind != Token::Kind::RParen)
                throw Error(QStringLiteral("')' esperado mas %1 encontrado").arg(peek().shown()));
            take();
            return conditionTerm(conditionOf(inner), term.at);
        }
        case Token::Kind::Arithmetic:
            throw arithmetic();
        case Token::Kind::Keyword:
            if (t.word == Word::Null) {
                take();
                term.kind = Term::Kind::Null;
                return term;
            }
            if (t.word == Word::True || t.word == Word::False) {
                term.kind = Term::Kind::Logical;
                term.logical = t.word == Word::True;
                take();
                return term;
            }
            break;
        default:
            break;
        }
        throw Error(QStringLiteral("Expressão esperada mas %1 encontrada").arg(t.shown()));
    }

    static constexpr int maxDepth = 200;

    QList<Token> tokens_;
    qsizetype pos_ = 0;
    int depth_ = 0;
    const CompiledFilter::FieldLookup& lookup_;
    const QList<FieldDef>& fields_;
};

}  // namespace

CompiledFilter::CompiledFilter(std::unique_ptr<Condition> root) : root_(std::move(root)) {}
CompiledFilter::~CompiledFilter() = default;

std::unique_ptr<CompiledFilter> CompiledFilter::compile(const QString& text, const QList<FieldDef>& fields,
                                                        const FieldLookup& lookup)
{
    Parser parser(tokenize(text, Regional::current().decimalSeparator()), lookup, fields);
    ConditionPtr root;
    try {
        root = parser.parseAll();
    } catch (const FilterError&) {
        throw;
    } catch (const Error& e) {
        // Every other fault lies at the token the parser looks at (the lookup's "field not
        // found" at the name, an unexpected token at itself).
        throw FilterError(e.text(), parser.position());
    }
    if (!root)
        return nullptr;
    return std::make_unique<CompiledFilter>(std::move(root));
}

bool CompiledFilter::matches(TableFile& file, const QByteArray& raw) const
{
    return root_->test(Row{file, raw});
}

}  // namespace quillora::filter
