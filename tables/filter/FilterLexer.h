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

    // How messages name the token: its text in single quotes, or "Absolutamente" at the end.
    QString shown() const;
};

// Splits a condition into tokens, ending with one End token. Throws Error with the message
// for a character that starts no token, an unclosed name or text constant, or a bad comment.
// The decimal separator decides which characters a number may hold.
QList<Token> tokenize(const QString& text, QChar decimalSeparator);

}  // namespace quillora::filter
