// Character fields and the memo pointers (M, B, G).

#include "tables/Error.h"
#include "tables/dbase/DbaseCodecKinds.h"
#include "tables/dbase/DbaseMemo.h"
#include "tables/dbase/DbaseNumberText.h"
#include "tables/io/Endian.h"

#include <algorithm>
#include <cstring>

namespace quillora::dbase {

namespace {

class CharacterCodec final : public DbaseFieldCodec {
public:
    using DbaseFieldCodec::DbaseFieldCodec;

    Value decode(const char* p) const override
    {
        const char* e = trimEnd(p, p + column_.length);
        if (e == p)
            return {};
        return Value::text(rules_.codePage().decode(QByteArrayView(p, e - p)));
    }

    bool appendDisplayUtf8(const char* p, const Regional&, std::string& out) const override
    {
        rules_.codePage().appendUtf8(QByteArrayView(p, trimEnd(p, p + column_.length) - p), out);
        return true;
    }

    Value normalize(const Value& v) const override
    {
        if (v.kind() != Value::Kind::Text)
            wrongKind(v);
        const QString& s = v.asText();
        // The usual text: one byte a character, no need to encode it to know its length.
        if (rules_.fitsSingleBytes(s))
            return s.size() <= column_.length ? v : Value::text(s.left(column_.length));
        const QByteArray bytes = rules_.encode(name_, s);
        if (bytes.size() <= column_.length)
            return v;
        if (rules_.codePage().isSingleByte())
            return Value::text(s.left(column_.length));
        // Cut whole characters (surrogate pairs and multi-byte sequences stay together).
        qsizetype used = 0, keep = 0;
        while (keep < s.size()) {
            const qsizetype step = (s[keep].isHighSurrogate() && keep + 1 < s.size()) ? 2 : 1;
            QByteArray one;
            rules_.codePage().encode(s.mid(keep, step), &one);
            if (used + one.size() > column_.length)
                break;
            used += one.size();
            keep += step;
        }
        return Value::text(s.left(keep));
    }

    void encode(const Value& v, char* dst, QByteArray*) const override
    {
        const QByteArray bytes = rules_.encode(name_, v.asText());
        std::memset(dst, ' ', size_t(column_.length));
        std::memcpy(dst, bytes.constData(), size_t(std::min<qsizetype>(bytes.size(), column_.length)));
    }

    bool encodeDirect(const Value& v, char* dst) const override
    {
        if (v.kind() != Value::Kind::Text)
            return false;
        if (rules_.encodeFixed(name_, v.asText(), dst, column_.length))
            return true;
        QByteArray bytes = rules_.encode(name_, v.asText());
        if (bytes.size() > column_.length)
            bytes = rules_.encode(name_, normalize(v).asText());
        std::memset(dst, ' ', size_t(column_.length));
        std::memcpy(dst, bytes.constData(), size_t(bytes.size()));
        return true;
    }

    ExprValue exprValue(const char* p) const override
    {
        return ExprValue::character(p ? rules_.codePage().decode(QByteArrayView(p, column_.length))
                                      : QString(column_.length, QLatin1Char(' ')));
    }
    ExprValue::Type exprType() const override { return ExprValue::Type::Character; }

    std::optional<QByteArray> sortKey(const Value& value) const override
    {
        // Index keys are the field's bytes, blank padded; a blank field is all blanks.
        QByteArray bytes;
        if (!value.isNull() && value.kind() == Value::Kind::Text && !rules_.codePage().encode(value.asText(), &bytes))
            return std::nullopt;
        if (bytes.size() < column_.length)
            bytes.append(QByteArray(column_.length - bytes.size(), ' '));
        return rules_.textKey(bytes);
    }
};

class MemoCodec final : public DbaseFieldCodec {
public:
    using DbaseFieldCodec::DbaseFieldCodec;

    Value decode(const char* p) const override
    {
        qint64 block = 0;
        if (column_.length == 4) {
            block = io::le32(p);
        } else if (!parseBlock(p, p + column_.length, &block)) {
            throw FileError(QStringLiteral("Tabela dBase danificada: %1 (ponteiro de memo inválido no campo %2)")
                                .arg(rules_.path(), name_));
        }
        if (block == 0)
            return {};
        const DbaseMemo& memo = rules_.memo();
        if (!memo.isOpen())
            throw FileError(rules_.missingMemoText());
        const QByteArray data = memo.read(block);
        if (data.isEmpty())
            return {};
        if (column_.type == 'M')
            return Value::text(rules_.codePage().decode(data));
        return Value::bytes(data);
    }

    Value normalize(const Value& v) const override
    {
        const bool dbase3 = rules_.memo().style() == DbaseMemo::Style::III;
        if (column_.type == 'M') {
            if (v.kind() != Value::Kind::Text)
                wrongKind(v);
            const QByteArray bytes = rules_.encode(name_, v.asText());
            if (dbase3 && bytes.contains('\x1A'))
                throw Error(QStringLiteral("O memo do campo %1 contém o caractere 0x1A, que marca o fim do memo em "
                                           "tabelas dBase III")
                                .arg(name_));
            return v;
        }
        if (v.kind() != Value::Kind::Bytes)
            wrongKind(v);
        if (dbase3 && v.asBytes().contains('\x1A'))
            throw Error(QStringLiteral("O conteúdo binário do campo %1 contém o byte 0x1A, que um memo dBase III "
                                       "não pode guardar")
                            .arg(name_));
        return v;
    }

    void encode(const Value& v, char*, QByteArray* memoOut) const override
    {
        *memoOut = column_.type == 'M' ? rules_.encode(name_, v.asText()) : v.asBytes();
    }

    ExprValue::Type exprType() const override
    {
        return column_.type == 'M' ? ExprValue::Type::Character : ExprValue::Type::Numeric;
    }

    bool keepsMemo() const override { return true; }

    void putMemoBlock(char* dst, qint64 block) const override
    {
        if (column_.length == 4) {
            io::putLe32(dst, quint32(block));
        } else {
            // dBASE 7 writes the number zero-padded, the others space-padded.
            const QByteArray n = QByteArray::number(block).rightJustified(column_.length, rules_.level7() ? '0' : ' ');
            std::memcpy(dst, n.constData(), size_t(column_.length));
        }
    }
};

}  // namespace

CodecPtr makeTextCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def)
{
    switch (column.type) {
    case 'C': return std::make_unique<CharacterCodec>(rules, column, def);
    default: return std::make_unique<MemoCodec>(rules, column, def);
    }
}

}  // namespace quillora::dbase
