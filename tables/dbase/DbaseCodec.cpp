#include "tables/dbase/DbaseCodec.h"

#include "tables/Error.h"
#include "tables/FieldConvert.h"
#include "tables/dbase/DbaseCodecKinds.h"
#include "tables/dbase/DbaseMemo.h"

#include <cstring>

namespace quillora::dbase {

DbaseTextRules::DbaseTextRules(const QString& path, const DbaseHeader& head, const DbaseMemo& memo)
    : path_(path), codePage_(head.codePage), collation_(head.collation), level7_(head.level7), memo_(memo)
{
}

QByteArray DbaseTextRules::textKey(const QByteArray& bytes) const
{
    return collation_->isByteOrder() ? bytes : collation_->sortKey(bytes);
}

QByteArray DbaseTextRules::encode(const QString& field, const QString& text) const
{
    QByteArray out;
    QChar bad;
    if (!codePage_->encode(text, &out, &bad))
        badCharacter(field, bad);
    return out;
}

void DbaseTextRules::badCharacter(const QString& field, QChar bad) const
{
    throw Error(QStringLiteral("O caractere '%1' (U+%2) do campo %3 não existe na página de código %4 da "
                               "tabela %5")
                    .arg(bad)
                    .arg(bad.unicode(), 4, 16, QLatin1Char('0'))
                    .arg(field, codePage_->name(), path_));
}

bool DbaseTextRules::encodeFixed(const QString& field, const QString& text, char* dst, int width) const
{
    if (encodeTable_.empty())
        return false;
    // The whole text is checked, as normalize() does, though only `width` characters are kept.
    const QChar* src = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const quint16 b = encodeTable_[src[i].unicode()];
        if (b == 0)
            badCharacter(field, src[i]);
        if (i < width)
            dst[i] = char(b - 1);
    }
    if (n < width)
        std::memset(dst + n, ' ', size_t(width - n));
    return true;
}

bool DbaseTextRules::fitsSingleBytes(const QString& text) const
{
    if (encodeTable_.empty())
        return false;
    for (QChar c : text)
        if (encodeTable_[c.unicode()] == 0)
            return false;
    return true;
}

void DbaseTextRules::prepareWriting()
{
    if (!codePage_->isSingleByte() || !encodeTable_.empty())
        return;
    encodeTable_.assign(0x10000, 0);
    // Where two bytes decode to one character, the lower byte is written back.
    for (int b = 255; b >= 0; --b) {
        const char byte = char(b);
        const QString u = codePage_->decode(QByteArrayView(&byte, 1));
        if (u.size() == 1 && u[0].unicode() != 0xFFFD)
            encodeTable_[u[0].unicode()] = quint16(b + 1);
    }
}

QString DbaseTextRules::missingMemoText() const
{
    return QStringLiteral("a tabela %1 tem campos memo, mas o arquivo de memo (.dbt) não foi encontrado ao lado dela")
        .arg(path_);
}

DbaseFieldCodec::DbaseFieldCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def)
    : rules_(rules), column_(column), name_(def.name), floating_(def.type == ftFloat)
{
}

QString DbaseFieldCodec::label() const
{
    const QChar type = QChar::fromLatin1(column_.type);
    const QString kind = column_.type == 'N' || column_.type == 'F'
                             ? QStringLiteral("%1 %2,%3").arg(type).arg(column_.length).arg(column_.decimals)
                             : QStringLiteral("%1 %2").arg(type).arg(column_.length);
    return QStringLiteral("%1 (%2)").arg(name_, kind);
}

void DbaseFieldCodec::wrongKind(const Value& v) const
{
    throw Error(QStringLiteral("Valor %1 não serve para o campo %2").arg(messageValue(v), label()));
}

std::unique_ptr<DbaseFieldCodec> makeDbaseCodec(const DbaseTextRules& rules, const DbaseColumn& column,
                                                const FieldDef& def)
{
    switch (column.type) {
    case 'C': case 'M': case 'B': case 'G': return makeTextCodec(rules, column, def);
    case 'N': case 'F': case 'I': case '+': case 'O': return makeNumberCodec(rules, column, def);
    case 'D': case 'L': case '@': return makeDateCodec(rules, column, def);
    default:
        // The header reader refuses any other type.
        throw FileError(QStringLiteral("Tabela dBase danificada: %1 (tipo de campo desconhecido no campo %2)")
                            .arg(rules.path(), def.name));
    }
}

}  // namespace quillora::dbase
