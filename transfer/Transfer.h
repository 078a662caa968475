#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "run/RecordRun.h"
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

// The operation list's texts, in index order.
QStringList operationNames();
// An index 0-4 or an item text (letter case ignored); -2 when it is neither.
int operationFromText(const QString& text);

// "Processar"'s work on one source record: the mapping list applied to the destination.
// Lines are split once; field names are looked up on the first record that needs them and
// every time they fail, so a missing field fails each record with the same message.
class Transfer {
public:
    Transfer(Table& source, Table& destination, const QStringList& lines, Operacao operation);

    void reset() { counter_.reset(); }
    const SequenceCounter& counter() const { return counter_; }

    // The work for the current source record; throws the record's error, leaving a pending
    // destination record for the run to cancel.
    void processRecord();

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
    // Moves the destination to the record whose first-line field holds the source value
    // (whole value, letter case ignored); false when there is none or the first line is not
    // a field term.
    bool findDestination();

    Table& source_;
    Table& destination_;
    Operacao operation_;
    std::vector<Mapping> mappings_;
    SequenceCounter counter_;
};

// "Processar": a record run over the source table with the operation's per-record work.
// mappingText is the list as typed (one mapping per line; empty lines are skipped).
RecordRunResult processar(Table& source, Table& destination, RecordRunHost& host, const QString& sourcePath,
                          const QString& destinationPath, const QString& mappingText, Operacao operation);

}  // namespace quillora
