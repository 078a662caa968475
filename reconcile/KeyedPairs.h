#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "transfer/Transfer.h"

namespace quillora {

class Field;
class Table;

// What "Atualizar" and "Comparar" share: the source record's key, the search of the
// destination by it, and the mapping lines as pairs of field names. Every right part names a
// source field (a sequence or fixed text is looked up as a name and fails). Empty lines are
// skipped, as "Processar" skips them. Field names are looked up once and again after each
// failure, so a missing field fails every record with the same message.
class KeyedPairs {
public:
    // host, when given, hears the run's warnings (keys cut to the destination's width).
    KeyedPairs(Table& source, Table& destination, const QStringList& lines, const QString& sourceKey,
               const QString& destinationKey, RecordRunHost* host = nullptr);

    struct Pair {
        QString destinationName;
        QString sourceName;
        Field* destinationField = nullptr;
        Field* sourceField = nullptr;
    };

    // The source key field of the current record (throws when the name is not a field).
    Field* sourceKeyField();
    // Moves the destination to the first record whose key equals the source record's key as
    // the destination's key field would store it, letter case and trailing blanks ignored, the
    // whole value (a key "12" never finds "123"): the search of KeySearch. False: no match.
    bool findDestination();

    // The key of the current destination record as text (the values of a list of key fields
    // joined by ";"), for the list of records that found no partner.
    QString destinationKeyText();

    std::vector<Pair>& pairs() { return pairs_; }
    Field* destinationField(Pair& p);
    Field* sourceField(Pair& p);

private:
    Table& source_;
    Table& destination_;
    QString sourceKey_;
    QString destinationKey_;
    Field* sourceKeyField_ = nullptr;
    std::vector<Pair> pairs_;
    KeySearch search_;
};

}  // namespace quillora
