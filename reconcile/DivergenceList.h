#pragma once

#include <QSaveFile>
#include <QString>
#include <QStringEncoder>

namespace quillora {

class Table;

// Where the comparison writes its list: "C:\LISTADIVERGENCIAS.txt" on Windows, the file
// LISTADIVERGENCIAS.txt in the user's home directory elsewhere.
QString divergenceListPath();

// The lines of the list, without their line ends. The headers show each table's full path
// (absolute and clean, "./x.dbf" and "../t/x.dbf" as the folder they name), however it was typed.
QString destinationHeader(const Table& destination);  // "Destino: " + directory + file name
QString sourceHeader(const Table& source);            // "Fonte..: " + directory + file name
QString ruleLine();                                   // 94 hyphens
QString differenceLine(const QString& key, const QString& destinationName, const QString& destinationValue,
                       const QString& sourceName, const QString& sourceValue);
// The same difference as the record options dialog shows it (one carriage return, no line feed).
QString recordOptionsText(const QString& key, const QString& destinationName, const QString& destinationValue,
                          const QString& sourceName, const QString& sourceValue);

// The list being written: every line ends in CR LF, in the system's 8-bit code page (the
// locale's encoding outside Windows), no byte-order mark. Lines go to a temporary file beside
// the list, so memory stays flat however many differences there are, and commit() puts it in
// place of the old list at once: a save that fails leaves the old list as it was.
class DivergenceWriter {
public:
    explicit DivergenceWriter(const QString& path);

    // Throws, with the reason in Portuguese, when the list cannot be written (its folder does
    // not exist or cannot be written): checked before a run starts, so that nothing is done
    // for a list that would be lost.
    void checkOpen() const;
    void append(const QString& line);
    // Throws the reason when the list cannot be written.
    void commit();

private:
    QSaveFile file_;
    QStringEncoder encoder_;
    QString openError_;
};

}  // namespace quillora
