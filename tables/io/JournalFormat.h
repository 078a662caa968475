#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The bytes of a rollback journal (see Journal.h): a header, then records, each
//   type (1 byte) | payload length (4 bytes LE) | payload | CRC-32 of the three before (4 bytes LE).
// Integers in payloads are 8 bytes LE; strings are a length (8 bytes) and UTF-8.
// A record that is cut short or whose checksum is wrong ends the journal.
namespace quillora::io {

inline constexpr char kJournalSuffix[] = ".quillora-journal";

enum : int {
    kRecordBegin = 1,     // table path, operation name, start time
    kRecordFile = 2,      // id, path, existed, original size, mode
    kRecordPages = 3,     // id, offset, original bytes
    kRecordComplete = 4,  // count, then per file: id, exists, size, modification stamp
    kRecordUndo = 5,      // an undo of the completed operation has begun
};

QByteArray journalHeader();
QByteArray journalRecord(int type, const QByteArray& payload);
// Builds a record at the end of out without a copy of its payload: begin reserves the room and
// returns where the payload goes; end writes the checksum once the payload is in place.
char* beginJournalRecord(QByteArray& out, int type, qint64 payloadSize);
void endJournalRecord(QByteArray& out, qint64 recordStart);
void putInt(QByteArray& out, qint64 v);
void putString(QByteArray& out, const QString& s);
quint32 crc32(const char* data, qint64 len, quint32 crc = 0);

QString journalBeside(const QString& tableAbs);
QString journalInStateFolder(const QString& tableAbs);

struct JournalContent {
    struct FileInfo {
        qint64 id = 0;
        QString path;
        bool existed = false;
        qint64 originalSize = 0;
    };
    struct Pages {
        qint64 id = 0;
        qint64 offset = 0;
        qint64 at = 0;  // where the bytes are in the journal
        qint64 length = 0;
    };
    struct Final {
        qint64 id = 0;
        bool exists = false;
        qint64 size = 0;
        qint64 mtimeNs = 0;
    };
    bool valid = false;  // a header and a beginning record
    QString tablePath;
    QString operation;
    std::vector<FileInfo> files;
    std::vector<Pages> pages;
    bool complete = false;
    bool undoing = false;
    std::vector<Final> finals;
    qint64 validEnd = 0;  // where the last whole record ends

    // An operation that did not end, or an undo that did not end: to be rolled back.
    bool hot() const { return valid && (!complete || undoing); }
    const FileInfo* file(qint64 id) const;
};

// Reads a journal through an open handle, up to its last whole record.
JournalContent readJournal(int handle);
// Whether a journal is plainly of an operation that ended, with no undo begun: its records chain
// from the header to the end of the file and the last is the completion mark, both it and the
// first record whole. Reads the head of each record only, so that opening a table kept undoable
// after a long run does not read its whole journal; false sends the caller to readJournal().
bool journalSettled(int handle);
// Puts every file the journal names back as it was before the operation: files that grew are
// cut back first, saved pages are written back, sizes restored, created files removed, and
// everything synced. Throws FileError when a file cannot be restored.
void restoreFamily(const JournalContent& content, int journalHandle);

}  // namespace quillora::io
