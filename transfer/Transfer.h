#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "run/RecordRun.h"
#include "tables/Value.h"
#include "transfer/MappingList.h"

namespace quillora {

class Field;
class Table;

// The items of the operation list, by index; -1 is no item selected.
enum class Operacao : int {
    Nenhuma = -1,
    Adicionar = 0,
    AdicionarAtualizar = 1,
    Copiar = 2,
    Apagar = 3,
    Atualizar = 4,
};

// The search of the destination by a key, shared by "Processar" ("Adicionar/Atualizar",
// "Copiar"), "Atualizar" and "Comparar". The key is searched as the destination's key field
// would store it (brought to the field's kind and cut to its width, as a write cuts it), so
// that a record written from a key is found again by the same key; text is compared without
// letter case and without trailing blanks on both sides (a dBase field gives its text back
// without the blanks a Paradox key may end in). The whole value must match: "12" never finds
// "123". When a key is cut to fit, the host is told once per run.
class KeySearch {
public:
    KeySearch(Table& destination, RecordRunHost* host) : destination_(destination), host_(host) {}

    // A new run: keys cut will be reported again, fields are looked up again.
    void reset()
    {
        warned_ = false;
        fieldName_.clear();
        field_ = nullptr;
    }
    // Moves the destination to the first record, in its current order, whose field `fieldName`
    // holds the key; false (nothing moves) when there is none. Errors are those of
    // Table::Locate (a field the destination does not have, a key its kind cannot take).
    bool find(const QString& fieldName, const Value& key);

    // The warning given when keys were cut.
    static QString keysCutWarning(const QString& fieldName, int width);

private:
    Table& destination_;
    RecordRunHost* host_;
    bool warned_ = false;
    // The key field found for fieldName_, looked up once a run.
    QString fieldName_;
    Field* field_ = nullptr;
};

// The operation list's texts, in index order.
QStringList operationNames();
// An index 0-4 or an item text (letter case ignored); -2 when it is neither.
int operationFromText(const QString& text);

// "Processar"'s work on one source record: the mapping list applied to the destination.
// Lines are split once; field names are looked up on the first record that needs them and
// every time they fail, so a missing field fails each record with the same message.
class Transfer {
public:
    // host, when given, hears the run's warnings (keys cut to the destination's width).
    Transfer(Table& source, Table& destination, const QStringList& lines, Operacao operation,
             RecordRunHost* host = nullptr);

    void reset()
    {
        counter_.reset();
        search_.reset();
    }
    const SequenceCounter& counter() const { return counter_; }

    // The work for the current source record, and what it did (a matched record whose mapped
    // fields already held what was written counts as unchanged); throws the record's error,
    // leaving a pending destination record for the run to cancel.
    RecordOutcome processRecord();
    // The current source record's key for the failed-records list: the value of the first
    // line that names a source field (empty when none does).
    QString recordKey();

private:
    struct Mapping {
        QString destination;
        QString term;
        TermKind kind;
        Field* destinationField = nullptr;
        Field* sourceField = nullptr;
    };

    Field* destinationField(Mapping& m);
    Field* sourceField(Mapping& m);
    void fill();
    // Edits the current destination record with the mapped values: Updated, or Unchanged when
    // no mapped field changed.
    RecordOutcome update();
    // Moves the destination to the record whose first-line field holds the source value
    // (the search of KeySearch); false when there is none or the first line is not a field
    // term.
    bool findDestination();

    Table& source_;
    Table& destination_;
    Operacao operation_;
    std::vector<Mapping> mappings_;
    SequenceCounter counter_;
    KeySearch search_;
};

// "Processar": a record run over the source table with the operation's per-record work.
// mappingText is the list as typed (one mapping per line; empty lines are skipped).
RecordRunResult processar(Table& source, Table& destination, RecordRunHost& host, const QString& sourcePath,
                          const QString& destinationPath, const QString& mappingText, Operacao operation);

}  // namespace quillora
