#include "run/RunCsv.h"

#include <QStringList>

namespace quillora {

namespace {

void appendField(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n')) {
        out += utf8;
        return;
    }
    out += '"';
    for (char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendLine(QByteArray& out, const QStringList& fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        appendField(out, fields[i]);
    }
    out += "\r\n";
}

}  // namespace

QByteArray failedRecordsCsv(const RecordRunResult& result)
{
    QByteArray out;
    appendLine(out, {QStringLiteral("registro"), QStringLiteral("chave"), QStringLiteral("erro")});
    for (const FailedRecord& f : result.failures)
        appendLine(out, {QString::number(f.recordNumber), f.key, f.error});
    return out;
}

QByteArray unmatchedCsv(const RecordRunResult& result)
{
    QByteArray out;
    appendLine(out, {QStringLiteral("lado"), QStringLiteral("registro"), QStringLiteral("chave")});
    for (const UnmatchedRecord& u : result.unmatched)
        appendLine(out, {u.inSource ? QStringLiteral("fonte") : QStringLiteral("destino"),
                         QString::number(u.recordNumber), u.key});
    return out;
}

}  // namespace quillora
