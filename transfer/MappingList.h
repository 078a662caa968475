#pragma once

#include <QString>
#include <QStringList>

namespace quillora {

// The field mapping list: one line per destination field, "DESTINO=termo".
//
// The list is the text's own lines (the window's word wrap never splits a line). A text that
// ends in a line break has no empty line after it; any other empty line is kept here and
// skipped by the operations that read the list.
QStringList mappingLines(const QString& text);

// Splits a line at its first "=": the part before it is the destination field name, the part
// after it the source term; nothing is trimmed. A line without "=" gives an empty destination
// and the line without its first character. An empty line leaves both variables as they were.
void SeparaLinha(const QString& line, QString& destino, QString& fonte);

// What a source term stands for. A term with "@" anywhere is a sequence term (both markers:
// still a sequence term), else one with "#" is a fixed text, else it names a source field.
enum class TermKind { Field, Sequence, FixedText };
TermKind termKind(const QString& term);

// The fixed text of a "#" term: everything after its first character.
inline QString fixedText(const QString& term) { return term.mid(1); }

// The number shared by every sequence term of one "Processar" run. The first term applied
// gives its own start number; every later application of any sequence term gives one more.
// A counter at zero or below restarts from the start text each time.
class SequenceCounter {
public:
    void reset() { value_ = 0; }
    qint32 value() const { return value_; }

    // Applies a sequence term: advances (or restarts) the counter and returns it as text of at
    // least (term length - 1) digits. A width over 224 throws "Format string too long".
    QString apply(const QString& term);

private:
    qint32 value_ = 0;
};

// The counter as text of at least `width` digits, zero-filled, a minus sign in front when
// negative ("%.*d").
QString zeroPadded(qint32 value, int width);

}  // namespace quillora
