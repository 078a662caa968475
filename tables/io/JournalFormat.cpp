#include "tables/io/JournalFormat.h"

#include "tables/Error.h"
#include "tables/io/Backend.h"
#include "tables/io/Endian.h"

#include <array>
#include <cstring>
#include <map>
#include <cerrno>
#include <set>

namespace quillora::io {

namespace {

constexpr char kMagic[] = "QUILLORA-JOURNAL";  // 16 bytes, then a version
constexpr quint32 kVersion = 1;
constexpr qint64 kHeaderSize = 20;
// A record claiming more than this is damage, not data.
constexpr qint64 kMaxPayload = qint64(64) << 20;

class Reader {
public:
    explicit Reader(const QByteArray& b) : b_(b) {}
    bool ok() const { return ok_; }
    qint64 integer()
    {
        if (pos_ + 8 > b_.size()) {
            ok_ = false;
            return 0;
        }
        const qint64 v = qint64(le64(b_.constData() + pos_));
        pos_ += 8;
        return v;
    }
    QString string()
    {
        const qint64 n = integer();
        if (!ok_ || n < 0 || pos_ + n > b_.size()) {
            ok_ = false;
            return {};
        }
        const QString s = QString::fromUtf8(b_.constData() + pos_, n);
        pos_ += n;
        return s;
    }
    qint64 position() const { return pos_; }

private:
    const QByteArray& b_;
    qint64 pos_ = 0;
    bool ok_ = true;
};

bool readExact(int handle, qint64 offset, char* buf, qint64 len)
{
    qint64 done = 0;
    while (done < len) {
        const qint64 n = backend().pread(handle, buf + done, len - done, offset + done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

[[noreturn]] void restoreError(const QString& path, int err)
{
    throw FileError(QStringLiteral("Não foi possível restaurar %1: %2").arg(path, errorText(err)));
}

}  // namespace

quint32 crc32(const char* data, qint64 len, quint32 crc)
{
    // CRC-32 (the polynomial of zip and PNG), eight bytes a step through eight tables: the
    // journal checksums every byte a run replaces, and a byte at a time cost a sixth of a
    // large update.
    static const auto tables = [] {
        std::array<std::array<quint32, 256>, 8> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (quint32 i = 0; i < 256; ++i)
            for (size_t k = 1; k < 8; ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }();
    const auto* p = reinterpret_cast<const uchar*>(data);
    crc = ~crc;
    for (; len >= 8; len -= 8, p += 8) {
        const quint32 lo = crc ^ (quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
        crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^ tables[4][lo >> 24]
              ^ tables[3][p[4]] ^ tables[2][p[5]] ^ tables[1][p[6]] ^ tables[0][p[7]];
    }
    for (; len > 0; --len, ++p)
        crc = tables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

QByteArray journalHeader()
{
    QByteArray h(kMagic, 16);
    h.resize(kHeaderSize);
    putLe32(h.data() + 16, kVersion);
    return h;
}

QByteArray journalRecord(int type, const QByteArray& payload)
{
    QByteArray r;
    std::memcpy(beginJournalRecord(r, type, payload.size()), payload.constData(), size_t(payload.size()));
    endJournalRecord(r, 0);
    return r;
}

char* beginJournalRecord(QByteArray& out, int type, qint64 payloadSize)
{
    const qint64 start = out.size();
    out.resize(start + 5 + payloadSize + 4);
    char* r = out.data() + start;
    r[0] = char(type);
    putLe32(r + 1, quint32(payloadSize));
    return r + 5;
}

void endJournalRecord(QByteArray& out, qint64 recordStart)
{
    char* r = out.data() + recordStart;
    const qint64 covered = out.size() - recordStart - 4;
    putLe32(r + covered, crc32(r, covered));
}

void putInt(QByteArray& out, qint64 v)
{
    char b[8];
    putLe64(b, quint64(v));
    out.append(b, 8);
}

void putString(QByteArray& out, const QString& s)
{
    const QByteArray u = s.toUtf8();
    putInt(out, u.size());
    out += u;
}

const JournalContent::FileInfo* JournalContent::file(qint64 id) const
{
    for (const FileInfo& f : files)
        if (f.id == id)
            return &f;
    return nullptr;
}

namespace {

// Whether a file of `size` bytes opens with the header of a journal this program writes.
bool hasJournalHeader(int handle, qint64 size)
{
    char head[kHeaderSize];
    return size >= kHeaderSize && readExact(handle, 0, head, kHeaderSize) && std::memcmp(head, kMagic, 16) == 0 &&
           le32(head + 16) == kVersion;
}

}  // namespace

JournalContent readJournal(int handle)
{
    JournalContent c;
    const qint64 size = backend().size(handle);
    if (!hasJournalHeader(handle, size))
        return c;
    qint64 pos = kHeaderSize;
    c.validEnd = pos;
    while (pos + 9 <= size) {
        char rh[5];
        if (!readExact(handle, pos, rh, 5))
            break;
        const int type = uchar(rh[0]);
        const qint64 len = le32(rh + 1);
        if (len > kMaxPayload || pos + 5 + len + 4 > size)
            break;
        const bool pages = type == kRecordPages;
        // Page records are checked in full but only their head is kept in memory.
        QByteArray payload(len, Qt::Uninitialized);
        if (!readExact(handle, pos + 5, payload.data(), len))
            break;
        char crcBytes[4];
        if (!readExact(handle, pos + 5 + len, crcBytes, 4))
            break;
        quint32 crc = crc32(rh, 5);
        crc = crc32(payload.constData(), len, crc);
        if (crc != le32(crcBytes))
            break;
        Reader r(payload);
        bool understood = true;
        switch (type) {
        case kRecordBegin:
            c.tablePath = r.string();
            c.operation = r.string();
            c.valid = r.ok();
            break;
        case kRecordFile: {
            JournalContent::FileInfo f;
            f.id = r.integer();
            f.path = r.string();
            f.existed = r.integer() != 0;
            f.originalSize = r.integer();
            understood = r.ok() && !f.path.isEmpty() && f.originalSize >= 0;
            if (understood)
                c.files.push_back(f);
            break;
        }
        case kRecordPages: {
            JournalContent::Pages p;
            p.id = r.integer();
            p.offset = r.integer();
            p.at = pos + 5 + r.position();
            p.length = len - r.position();
            understood = r.ok() && p.offset >= 0 && c.file(p.id);
            if (understood)
                c.pages.push_back(p);
            break;
        }
        case kRecordComplete: {
            const qint64 n = r.integer();
            std::vector<JournalContent::Final> finals;
            for (qint64 i = 0; r.ok() && i < n && i < 100000; ++i) {
                JournalContent::Final f;
                f.id = r.integer();
                f.exists = r.integer() != 0;
                f.size = r.integer();
                f.mtimeNs = r.integer();
                finals.push_back(f);
            }
            understood = r.ok();
            if (understood) {
                c.complete = true;
                c.finals = std::move(finals);
            }
            break;
        }
        case kRecordUndo:
            c.undoing = c.complete;
            break;
        default:
            understood = false;
        }
        Q_UNUSED(pages);
        if (!understood || !c.valid)
            break;
        pos += 5 + len + 4;
        c.validEnd = pos;
    }
    return c;
}

namespace {

// The record at pos, read whole with its check sum; empty when it is not whole.
QByteArray wholeRecord(int handle, qint64 pos, qint64 len)
{
    QByteArray r(5 + len + 4, Qt::Uninitialized);
    if (!readExact(handle, pos, r.data(), r.size()) || crc32(r.constData(), 5 + len) != le32(r.constData() + 5 + len))
        return {};
    return r;
}

}  // namespace

bool journalSettled(int handle)
{
    const qint64 size = backend().size(handle);
    if (!hasJournalHeader(handle, size))
        return false;
    qint64 pos = kHeaderSize;
    qint64 last = -1, lastLen = 0;
    while (pos < size) {
        char rh[5];
        if (pos + 9 > size || !readExact(handle, pos, rh, 5))
            return false;
        const qint64 len = le32(rh + 1);
        if (len > kMaxPayload || pos + 9 + len > size)
            return false;
        if (pos == kHeaderSize) {
            const QByteArray begin = wholeRecord(handle, pos, len);
            if (begin.isEmpty() || uchar(begin[0]) != kRecordBegin)
                return false;
        }
        last = pos;
        lastLen = len;
        pos += 9 + len;
    }
    if (last < 0)
        return false;
    const QByteArray mark = wholeRecord(handle, last, lastLen);
    return !mark.isEmpty() && uchar(mark[0]) == kRecordComplete;
}

void restoreFamily(const JournalContent& content, int journalHandle)
{
    struct Open {
        int handle = -1;
        ~Open()
        {
            if (handle >= 0)
                backend().close(handle);
        }
    };
    std::map<qint64, Open> handles;
    std::set<QString> folders;
    // Files that existed: opened (recreated when gone) and cut back to their size first, so that
    // a full disk has room for what comes back.
    for (const auto& f : content.files) {
        folders.insert(f.path.left(f.path.lastIndexOf(QLatin1Char('/'))));
        if (!f.existed)
            continue;
        Open& o = handles[f.id];
        o.handle = backend().open(f.path, OpenMode::Create);
        if (o.handle < 0)
            restoreError(f.path, o.handle);
        const qint64 now = backend().size(o.handle);
        if (now > f.originalSize) {
            const int rc = backend().truncate(o.handle, f.originalSize);
            if (rc < 0)
                restoreError(f.path, rc);
        }
    }
    QByteArray buf;
    for (const auto& p : content.pages) {
        const auto* f = content.file(p.id);
        if (!f || !f->existed)
            continue;
        buf.resize(p.length);
        if (!readExact(journalHandle, p.at, buf.data(), p.length))
            throw FileError(QStringLiteral("Não foi possível ler o diário de recuperação de %1").arg(content.tablePath));
        qint64 done = 0;
        while (done < p.length) {
            const qint64 n = backend().pwrite(handles[p.id].handle, buf.constData() + done, p.length - done, p.offset + done);
            if (n <= 0)
                restoreError(f->path, n < 0 ? int(-n) : EIO);
            done += n;
        }
    }
    for (const auto& f : content.files) {
        if (f.existed) {
            const int h = handles[f.id].handle;
            int rc = backend().size(h) != f.originalSize ? backend().truncate(h, f.originalSize) : 0;
            if (rc == 0)
                rc = backend().sync(h);
            if (rc < 0)
                restoreError(f.path, rc);
        } else if (backend().stat(f.path).exists) {
            const int rc = backend().remove(f.path);
            if (rc < 0 && rc != -ENOENT)
                restoreError(f.path, rc);
        }
    }
    for (const QString& folder : folders)
        backend().syncFolder(folder);
}

}  // namespace quillora::io
