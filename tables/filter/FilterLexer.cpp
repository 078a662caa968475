#include "tables/filter/FilterLexer.h"

#include "tables/Error.h"
#include "tables/filter/FilterCondition.h"

namespace quillora::filter {

namespace {

constexpr qsizetype maxTextLength = 256;

bool isBlank(QChar c) { return c.unicode() <= ' '; }
bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Letters outside ASCII may start a name (the old engine took any byte from 0x81 to 0xFE of
// the Windows code page), but only ASCII ones may continue it.
bool startsName(QChar c)
{
    const char16_t u = c.unicode();
    return isAsciiLetter(c) || u == u'_' || (u >= 0x81 && u <= 0xFE) || u > 0xFF;
}

bool continuesName(QChar c)
{
    return isAsciiLetter(c) || isDigit(c) || c == u'_' || c == u'.' || c == u'[' || c == u']';
}

Token::Word keywordOf(const QString& word)
{
    static const struct {
        const char* text;
        Token::Word word;
    } words[] = {{"AND", Token::Word::And},   {"OR", Token::Word::Or},   {"NOT", Token::Word::Not},
                 {"LIKE", Token::Word::Like}, {"IN", Token::Word::In},   {"IS", Token::Word::Is},
                 {"NULL", Token::Word::Null}, {"VERDADEIRO", Token::Word::True},
                 {"FALSO", Token::Word::False}};
    for (const auto& w : words)
        if (word.compare(QLatin1String(w.text), Qt::CaseInsensitive) == 0)
            return w.word;
    return Token::Word::None;
}

FilterError invalidCharacter(QChar c, qsizetype at)
{
    return FilterError(QStringLiteral("Caractere inválido na expressão de filtro: '%1'").arg(c), at);
}

// After a closing quote: whether a plain word (not a keyword) follows, past blanks and ")".
// Then the quote was meant as part of the text, as in 'O'Brien' or 'Bar's Place'.
bool plainWordFollows(const QString& s, qsizetype from)
{
    qsizetype k = from;
    while (k < s.size() && (isBlank(s[k]) || s[k] == u')'))
        ++k;
    if (k >= s.size() || !startsName(s[k]))
        return false;
    qsizetype end = k + 1;
    while (end < s.size() && (isAsciiLetter(s[end]) || isDigit(s[end]) || s[end] == u'_'))
        ++end;
    return keywordOf(s.mid(k, end - k)) == Token::Word::None;
}

bool operandExpected(const QList<Token>& tokens)
{
    if (tokens.isEmpty())
        return true;
    const Token& t = tokens.back();
    switch (t.kind) {
    case Token::Kind::LParen:
    case Token::Kind::Comma:
    case Token::Kind::Compare:
    case Token::Kind::Arithmetic:
        return true;
    case Token::Kind::Keyword:
        return t.word != Token::Word::Null && t.word != Token::Word::True && t.word != Token::Word::False;
    default:
        return false;
    }
}

}  // namespace

QString Token::shown() const
{
    if (kind == Kind::End)
        return QStringLiteral("Absolutamente");
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QList<Token> tokenize(const QString& s, QChar decimalSeparator)
{
    QList<Token> tokens;
    const qsizetype n = s.size();
    qsizetype i = 0;
    // Every token is pushed while i is still at its first character.
    auto push = [&tokens, &i](Token::Kind kind, QString text, Token::Op op = Token::Op::None) {
        Token t;
        t.start = i;
        t.kind = kind;
        t.text = std::move(text);
        t.op = op;
        tokens.append(std::move(t));
    };
    while (true) {
        while (i < n && isBlank(s[i]))
            ++i;
        if (i >= n)
            break;
        const QChar c = s[i];

        if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            // A comment ends at its first "*", which must be the one of "*/".
            const qsizetype star = s.indexOf(QLatin1Char('*'), i + 2);
            if (star < 0 || star + 1 >= n || s[star + 1] != u'/')
                throw invalidCharacter(c, i);
            i = star + 2;
            continue;
        }
        if (c == u'[') {
            const qsizetype close = s.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                throw FilterError(QStringLiteral("Nome de campo não terminado"), i);
            push(Token::Kind::Name, s.mid(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        if (startsName(c)) {
            qsizetype end = i + 1;
            while (end < n && continuesName(s[end]))
                ++end;
            const QString word = s.mid(i, end - i);
            const Token::Word w = keywordOf(word);
            push(w == Token::Word::None ? Token::Kind::Name : Token::Kind::Keyword, word);
            tokens.back().word = w;
            i = end;
            continue;
        }
        if (c == u'\'') {
            QString value;
            qsizetype j = i + 1;
            bool closed = false;
            while (j < n) {
                if (s[j] != u'\'') {
                    value.append(s[j++]);
                    continue;
                }
                if (j + 1 < n && s[j + 1] == u'\'') {
                    value.append(QLatin1Char('\''));
                    j += 2;
                    continue;
                }
                if (plainWordFollows(s, j + 1)) {
                    value.append(QLatin1Char('\''));
                    ++j;
                    continue;
                }
                closed = true;
                break;
            }
            if (!closed)
                throw FilterError(QStringLiteral("Constante de string não terminada"), i);
            push(Token::Kind::Text, value.left(maxTextLength));
            i = j + 1;
            continue;
        }
        if (isDigit(c) || (c == u'-' && operandExpected(tokens))) {
            qsizetype end = i + 1;
            while (end < n) {
                const QChar d = s[end];
                if (isDigit(d) || d == u'+' || d == u'-' || d == u'E' || d == u'e') {
                    ++end;
                } else if (d == decimalSeparator) {
                    // With a decimal comma, a comma followed by a blank separates list items.
                    if (d == u',' && (end + 1 >= n || isBlank(s[end + 1])))
                        break;
                    ++end;
                } else {
                    break;
                }
            }
            push(Token::Kind::Number, s.mid(i, end - i));
            i = end;
            continue;
        }
        switch (c.unicode()) {
        case u'=':
            push(Token::Kind::Compare, QStringLiteral("="), Token::Op::Eq);
            ++i;
            continue;
        case u'<':
            if (i + 1 < n && s[i + 1] == u'>') {
                push(Token::Kind::Compare, QStringLiteral("<>"), Token::Op::Ne);
                i += 2;
            } else if (i + 1 < n && s[i + 1] == u'=') {
                push(Token::Kind::Compare, QStringLiteral("<="), Token::Op::Le);
                i += 2;
            } else {
                push(Token::Kind::Compare, QStringLiteral("<"), Token::Op::Lt);
                ++i;
            }
            continue;
        case u'>':
            if (i + 1 < n && s[i + 1] == u'=') {
                push(Token::Kind::Compare, QStringLiteral(">="), Token::Op::Ge);
                i += 2;
            } else {
                push(Token::Kind::Compare, QStringLiteral(">"), Token::Op::Gt);
                ++i;
            }
            continue;
        case u'(': push(Token::Kind::LParen, QStringLiteral("(")); ++i; continue;
        case u')': push(Token::Kind::RParen, QStringLiteral(")")); ++i; continue;
        case u',': push(Token::Kind::Comma, QStringLiteral(",")); ++i; continue;
        case u'+': case u'-': case u'*': case u'/':
            push(Token::Kind::Arithmetic, QString(c));
            ++i;
            continue;
        default:
            throw invalidCharacter(c, i);
        }
    }
    i = n;
    push(Token::Kind::End, QString());
    return tokens;
}

}  // namespace quillora::filter
