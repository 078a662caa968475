#include "tables/check/ParadoxRecordCheck.h"

#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/paradox/PxBlob.h"
#include "tables/paradox/PxCodec.h"

#include <QFileInfo>

#include <cstring>

namespace quillora::check {

using namespace px;

namespace {

// The last day a date field can name (9999-12-31) in Paradox day numbers.
constexpr qint64 kLastDay = 3652059;

}  // namespace

QString unreadableValue(const FieldDesc& f, const char* p)
{
    qint64 v = 0;
    switch (f.code) {
    case kDate:
        if (readInt(p, 4, &v) && (v <= 0 || v > kLastDay))
            return QStringLiteral("data inválida no campo '%1' (dia %2)").arg(f.name).arg(v);
        break;
    case kTime:
        if (readInt(p, 4, &v) && (v < 0 || v >= 86400000))
            return QStringLiteral("hora inválida no campo '%1' (%2 ms)").arg(f.name).arg(v);
        break;
    default:
        break;
    }
    return {};
}

int compareParadoxKeys(const TableHeader& h, const char* a, const char* b)
{
    for (int i = 0; i < h.keyFields; ++i) {
        const FieldDesc& f = h.fields[size_t(i)];
        const int r = f.code == kAlpha ? h.collation->compare(a + f.offset, f.size, b + f.offset, f.size)
                                       : std::memcmp(a + f.offset, b + f.offset, size_t(f.size));
        if (r)
            return r < 0 ? -1 : 1;
    }
    return 0;
}

bool keyOrderKnown(const TableHeader& h)
{
    return h.keyFields > 0 && (!h.hasAlphaKey || (h.collationKnown && h.collation));
}

ParadoxRecordCheck::ParadoxRecordCheck(const PxTableFile& table, FaultSink& sink)
    : t_(table), sink_(sink), ordered_(keyOrderKnown(table.h))
{
    mbPath_ = io::siblingNoCase(t_.path, QFileInfo(t_.path).completeBaseName() + QStringLiteral(".mb"));
}

ParadoxRecordCheck::~ParadoxRecordCheck() = default;

MbFile* ParadoxRecordCheck::blobFile()
{
    if (!mbTried_) {
        mbTried_ = true;
        if (!mbPath_.isEmpty()) {
            try {
                mb_ = std::make_unique<MbFile>(mbPath_, t_.h.key);
            } catch (const Error& e) {
                sink_.add(mbPath_, QStringLiteral("cabeçalho"), e.text(), true);
            }
        }
    }
    return mb_.get();
}

void ParadoxRecordCheck::checkBlobs(const char* rec, const QString& place)
{
    for (const FieldDesc& f : t_.h.fields) {
        if (!isBlobCode(f.code))
            continue;
        const int leader = f.size - 10;
        const char* d = rec + f.offset + leader;
        const quint32 at = le32(d);
        const quint32 len = le32(d + 4);
        if (len == 0)
            continue;
        if (at == 0) {
            if (len > quint32(leader))
                sink_.add(t_.path, place,
                          QStringLiteral("o campo '%1' diz ter %2 bytes, mais que os %3 do registro, e não aponta para o .MB")
                              .arg(f.name).arg(len).arg(leader),
                          true);
            continue;
        }
        MbFile* mb = blobFile();
        if (!mb) {
            if (mbPath_.isEmpty() && !mbMissingNamed_) {
                mbMissingNamed_ = true;
                sink_.add(familyMember(t_.path, QStringLiteral("MB")), QString(),
                          QStringLiteral("falta o arquivo de blobs (.MB) para onde os registros apontam"), true);
            }
            continue;
        }
        try {
            (void)mb->read(at, len);
        } catch (const Error& e) {
            sink_.add(mbPath_, place, QStringLiteral("o campo '%1' aponta para o deslocamento 0x%2 do .MB: %3")
                                          .arg(f.name).arg(at & 0xFFFFFF00u, 0, 16).arg(e.text()),
                      true);
            continue;
        }
        const auto owner = blobOwner_.constFind(at);
        if (owner != blobOwner_.cend())
            sink_.add(mbPath_, place, QStringLiteral("o campo '%1' aponta para o mesmo blob que o registro %2")
                                          .arg(f.name).arg(owner.value()),
                      true);
        else
            blobOwner_.insert(at, number_);
    }
}

void ParadoxRecordCheck::block(int block, const char* records, int count)
{
    const TableHeader& h = t_.h;
    const int rs = h.recordSize;
    if (h.keyFields > 0)
        firstKeys_.insert(block, QByteArray(records, h.keySize));
    bool hasBlobs = false;
    for (const FieldDesc& f : h.fields)
        hasBlobs = hasBlobs || isBlobCode(f.code);
    for (int i = 0; i < count; ++i) {
        const char* rec = records + qint64(i) * rs;
        ++number_;
        // Named only when something is wrong with it.
        auto place = [&] { return QStringLiteral("registro %1 (bloco %2)").arg(number_).arg(block); };
        if (ordered_ && !prev_.isEmpty()) {
            const int c = compareParadoxKeys(h, prev_.constData(), rec);
            if (c > 0)
                sink_.add(t_.path, place(), QStringLiteral("chave fora da ordem da tabela (menor que a do registro anterior)"), true);
            else if (c == 0)
                sink_.add(t_.path, place(), QStringLiteral("chave repetida (igual à do registro anterior)"), true);
        }
        if (ordered_) {
            prev_.resize(rs);
            std::memcpy(prev_.data(), rec, size_t(rs));
        }
        for (const FieldDesc& f : h.fields) {
            const QString why = unreadableValue(f, rec + f.offset);
            if (!why.isEmpty())
                sink_.add(t_.path, place(), why, true);
            qint64 v = 0;
            if (f.code == kAutoInc && readInt(rec + f.offset, 4, &v) && v > maxAutoInc_)
                maxAutoInc_ = v;
        }
        if (hasBlobs)
            checkBlobs(rec, place());
    }
}

void ParadoxRecordCheck::finish()
{
    bool hasAutoInc = false;
    for (const FieldDesc& f : t_.h.fields)
        hasAutoInc = hasAutoInc || f.code == kAutoInc;
    const quint32 counter = le32(t_.h.bytes.constData() + 0x49);
    if (hasAutoInc && maxAutoInc_ > qint64(counter))
        sink_.add(t_.path, QStringLiteral("cabeçalho"),
                  QStringLiteral("o contador de autoincremento (%1) está abaixo do maior valor já usado (%2)")
                      .arg(counter).arg(maxAutoInc_));
}

}  // namespace quillora::check
