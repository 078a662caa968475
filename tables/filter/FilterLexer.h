#pragma once

#include <QChar>
#include <QList>
#include <QString>

namespace quillora::filter {

// One token of a filter condition.
struct Token {
    enum class Kind { Name, Text, Number, Compare, LParen, RParen, Comma, Arithmetic, Keyword, End };
    enum class Word { None, And, Or, Not, Like, In, Is, Null, True, False };
    enum class Op { None, Eq, Ne, Lt, Gt, Le, Ge };

    Kind kind = Kind::End;
    QString text;  // names and numbers as written, the value of a text constant, the keyword as typed
    Word word = Word::None;
    Op op = Op::None;
    qsizetype start = 0;  // index of its first character in the text (the text's length for End)

    // How messages name the token: its text in single quotes, or "Absolutamente" at the end.
    QString shown() const;
};

// Splits a condition into tokens, ending with one End token. Throws FilterError with the
// message for a character that starts no token, an unclosed name or text constant, or a bad
// comment, placed at the character, the "[", the opening quote or the "/*".
// The decimal separator decides which characters a number may hold.
QList<Token> tokenize(const QString& text, QChar decimalSeparator);

}  // namespace quillora::filter
