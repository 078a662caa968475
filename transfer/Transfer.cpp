#include "transfer/Transfer.h"

#include "tables/Error.h"
#include "tables/Field.h"
#include "tables/FieldConvert.h"
#include "tables/LocateIndex.h"
#include "tables/Table.h"

namespace quillora {

QStringList operationNames()
{
    return {QStringLiteral("Adicionar"), QStringLiteral("Adicionar/Atualizar"), QStringLiteral("Copiar"),
            QStringLiteral("Apagar"), QStringLiteral("Atualizar")};
}

int operationFromText(const QString& text)
{
    bool isNumber = false;
    const int n = text.toInt(&isNumber);
    if (isNumber)
        return n >= -1 && n <= 4 ? n : -2;
    const QStringList names = operationNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -2;
}

QString KeySearch::keysCutWarning(const QString& fieldName, int width)
{
    return QStringLiteral("Aviso: chaves maiores que o campo %1 do destino foram cortadas para %2 %3")
        .arg(fieldName)
        .arg(width)
        .arg(width == 1 ? QStringLiteral("caractere") : QStringLiteral("caracteres"));
}

bool KeySearch::find(const QString& fieldName, const Value& key)
{
    constexpr int options = Table::loCaseInsensitive | Table::loIgnoreTrailingBlanks;
    // A list of fields, or a name the table does not have: Locate says what is wrong.
    if (!field_ || fieldName != fieldName_) {
        field_ = fieldName.contains(QLatin1Char(';')) ? nullptr : destination_.FindField(fieldName.trimmed());
        fieldName_ = field_ ? fieldName : QString();
    }
    Field* field = field_;
    TableFile* file = destination_.file();
    if (!field || !file || key.isNull())
        return destination_.Locate(fieldName, key, options);

    Value wanted = key;
    try {
        // What a write of the key would store: Field::SetValue converts, the format cuts.
        const Value converted = convertForField(field->def(), key);
        wanted = converted.isNull() ? converted : file->normalize(field->Index(), converted);
        if (converted.kind() == Value::Kind::Text && !warned_) {
            const qsizetype kept = wanted.isNull() ? 0 : lengthWithoutTrailingBlanks(wanted.asText());
            if (kept < lengthWithoutTrailingBlanks(converted.asText())) {
                warned_ = true;
                if (host_)
                    host_->warning(keysCutWarning(field->FieldName(), field->def().size));
            }
        }
    } catch (const Error&) {
        // A key the field cannot take is searched as it is: Locate reports a kind that does
        // not convert; a value the format refuses finds nothing, and writing it fails with
        // the reason.
    }
    return destination_.Locate(fieldName, wanted, options);
}

Transfer::Transfer(Table& source, Table& destination, const QStringList& lines, Operacao operation,
                   RecordRunHost* host)
    : source_(source), destination_(destination), operation_(operation), search_(destination, host)
{
    // Empty lines are skipped: applying the previous pair a second time would write it twice
    // or consume an extra sequence number.
    QString destino;
    QString fonte;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        SeparaLinha(line, destino, fonte);
        mappings_.push_back(Mapping{destino, fonte, termKind(fonte)});
    }
}

Field* Transfer::destinationField(Mapping& m)
{
    if (!m.destinationField)
        m.destinationField = destination_.FieldByName(m.destination);
    return m.destinationField;
}

Field* Transfer::sourceField(Mapping& m)
{
    if (!m.sourceField)
        m.sourceField = source_.FieldByName(m.term);
    return m.sourceField;
}

void Transfer::fill()
{
    for (Mapping& m : mappings_) {
        switch (m.kind) {
        case TermKind::Sequence: {
            const QString number = counter_.apply(m.term);
            destinationField(m)->SetValue(Value::text(number));
            break;
        }
        case TermKind::FixedText:
            destinationField(m)->SetValue(Value::text(fixedText(m.term)));
            break;
        case TermKind::Field: {
            const Value v = sourceField(m)->Value();
            destinationField(m)->SetValue(v);
            break;
        }
        }
    }
}

bool Transfer::findDestination()
{
    if (mappings_.empty())
        return false;
    Mapping& key = mappings_.front();
    if (key.kind != TermKind::Field)
        return false;
    return search_.find(key.destination, sourceField(key)->Value());
}

RecordOutcome Transfer::update()
{
    std::vector<Value> before;
    before.reserve(mappings_.size());
    for (Mapping& m : mappings_)
        before.push_back(destinationField(m)->Value());
    destination_.Edit();
    fill();
    bool changed = false;
    for (size_t i = 0; i < mappings_.size() && !changed; ++i)
        changed = !(mappings_[i].destinationField->Value() == before[i]);
    destination_.Post();
    return changed ? RecordOutcome::Updated : RecordOutcome::Unchanged;
}

QString Transfer::recordKey()
{
    for (Mapping& m : mappings_) {
        if (m.kind == TermKind::Field)
            return sourceField(m)->AsString();
    }
    return {};
}

RecordOutcome Transfer::processRecord()
{
    switch (operation_) {
    case Operacao::Adicionar:
        destination_.Append();
        fill();
        destination_.Post();
        return RecordOutcome::Appended;
    case Operacao::AdicionarAtualizar:
        // What the name says: the matching destination record is updated, a source record
        // without one is added. A sequence or fixed text on the first line has nothing to
        // match by, so it always adds.
        if (findDestination())
            return update();
        destination_.Append();
        fill();
        destination_.Post();
        return RecordOutcome::Appended;
    case Operacao::Copiar:
        if (!findDestination())
            return RecordOutcome::NotMatched;
        return update();
    case Operacao::Nenhuma:
    case Operacao::Apagar:
    case Operacao::Atualizar:
        break;
    }
    return RecordOutcome::Unchanged;
}

RecordRunResult processar(Table& source, Table& destination, RecordRunHost& host, const QString& sourcePath,
                          const QString& destinationPath, const QString& mappingText, Operacao operation)
{
    Transfer transfer(source, destination, mappingLines(mappingText), operation, &host);
    RecordRun run(source, destination, host);
    const int item = int(operation);
    if (item >= 0 && item < operationNames().size())
        run.operationName = operationNames().at(item);
    run.beforeWalk = [&] { transfer.reset(); };
    run.perRecord = [&] { run.tell(transfer.processRecord()); };
    run.recordKey = [&] { return transfer.recordKey(); };
    return run.run(sourcePath, destinationPath);
}

}  // namespace quillora
