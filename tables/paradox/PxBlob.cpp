#include "tables/paradox/PxBlob.h"

#include "tables/Error.h"
#include "tables/paradox/PxCodec.h"

namespace quillora {

using namespace px;

namespace {
constexpr int kUnit = 4096;
constexpr int kSlots = 64;
constexpr int kSubDataStart = 0x150;
}  // namespace

MbFile::MbFile(const QString& path, quint32 key) : path_(path), key_(key)
{
    if (const int err = file_.tryOpen(path, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir o arquivo de blobs %1: %2").arg(path, io::errorText(err)));
    size_ = file_.size();
    if (size_ < kUnit)
        damaged(QStringLiteral("arquivo menor que o cabeçalho"));
    const QByteArray h = readUnits(0, 1);
    if (h[0] != 0)
        damaged(QStringLiteral("cabeçalho de tipo %1").arg(int(uchar(h[0]))));
    modCounter_ = le16(h.constData() + 3);
    const int t = le16(h.constData() + 0x13);
    if (t > 0 && t < kUnit)
        threshold_ = t;
}

void MbFile::create(const QString& path, quint32 key)
{
    QByteArray h(kUnit, '\0');
    char* p = h.data();
    putLe16(p + 1, 1);
    putLe16(p + 3, 1);
    const char magic[] = {char(0x82), 0x73, 0x02, 0x00, 0x29, 0x00};
    std::memcpy(p + 5, magic, 6);
    putLe16(p + 0x0B, 0x1000);
    putLe16(p + 0x0D, 0x1000);
    p[0x10] = 0x10;
    putLe16(p + 0x11, 0x40);
    putLe16(p + 0x13, 0x800);
    putLe16(p + 0x29, 0x02A1);
    if (key)
        encryptBlob(h.data(), h.size(), key);
    io::File f;
    if (const int err = f.tryOpen(path, io::OpenMode::Replace); err < 0)
        throw FileError(QStringLiteral("Não foi possível criar o arquivo de blobs %1: %2").arg(path, io::errorText(err)));
    f.write(0, h);
    f.close();
}

void MbFile::damaged(const QString& what) const
{
    throw FileError(QStringLiteral("Arquivo de blobs danificado: %1 (%2)").arg(path_, what));
}

QByteArray MbFile::readUnits(qint64 offset, int units)
{
    const qint64 bytes = qint64(units) * kUnit;
    if (offset < 0 || units <= 0 || offset + bytes > size_)
        damaged(QStringLiteral("bloco na posição %1 passa do fim do arquivo").arg(offset));
    QByteArray data(bytes, Qt::Uninitialized);
    if (file_.readSome(offset, data.data(), bytes) != bytes)
        damaged(QStringLiteral("leitura falhou na posição %1").arg(offset));
    if (key_)
        decryptBlob(data.data(), bytes, key_);
    return data;
}

void MbFile::writeUnits(qint64 offset, QByteArray data)
{
    if (key_)
        encryptBlob(data.data(), data.size(), key_);
    file_.write(offset, data);
    size_ = std::max(size_, offset + data.size());
}

QByteArray MbFile::read(quint32 offsetIndex, quint32 length)
{
    const qint64 offset = offsetIndex & 0xFFFFFF00u;
    const int index = int(offsetIndex & 0xFF);
    if (offset == 0 || offset % kUnit)
        damaged(QStringLiteral("posição de blob inválida %1").arg(offset));
    const QByteArray first = readUnits(offset, 1);
    const int type = uchar(first[0]);
    if (index == 0xFF) {
        if (type != 2)
            damaged(QStringLiteral("esperado bloco de blob único na posição %1, encontrado tipo %2").arg(offset).arg(type));
        const int units = le16(first.constData() + 1);
        const quint32 stored = le32(first.constData() + 3);
        if (units <= 0 || qint64(units) * kUnit < 9 + qint64(stored) || stored != length)
            damaged(QStringLiteral("tamanho do blob na posição %1 não confere").arg(offset));
        const QByteArray all = units == 1 ? first : readUnits(offset, units);
        return all.mid(9, length);
    }
    if (type != 3)
        damaged(QStringLiteral("esperado bloco subdividido na posição %1, encontrado tipo %2").arg(offset).arg(type));
    if (index >= kSlots)
        damaged(QStringLiteral("índice de blob %1 inválido").arg(index));
    const char* e = first.constData() + 12 + 5 * index;
    const int start = uchar(e[0]) * 16;
    const int chunks = uchar(e[1]);
    const int lastBytes = uchar(e[4]);
    if (start == 0 || chunks == 0 || lastBytes == 0 || lastBytes > 16)
        damaged(QStringLiteral("blob %1 da posição %2 não existe").arg(index).arg(offset));
    const quint32 stored = quint32((chunks - 1) * 16 + lastBytes);
    if (stored != length || start + qint64(stored) > kUnit)
        damaged(QStringLiteral("tamanho do blob %1 da posição %2 não confere").arg(index).arg(offset));
    return first.mid(start, length);
}

void MbFile::beginWrite()
{
    if (writable_)
        return;
    io::File writer;
    if (const int err = writer.tryOpen(path_, io::OpenMode::ReadWrite); err < 0)
        throw FileError(QStringLiteral("Não foi possível gravar o arquivo de blobs %1: %2").arg(path_, io::errorText(err)));
    file_ = std::move(writer);
    size_ = file_.size();
    writable_ = true;
    scan();
}

void MbFile::scan()
{
    free_.clear();
    subBlocks_.clear();
    // Units past the last whole one are ignored; the allocator appends after them.
    const qint64 whole = size_ / kUnit * kUnit;
    for (qint64 off = kUnit; off < whole;) {
        const QByteArray u = readUnits(off, 1);
        const int type = uchar(u[0]);
        int units = le16(u.constData() + 1);
        if (type == 3)
            units = 1;
        if ((type != 2 && type != 3 && type != 4) || units <= 0 || off + qint64(units) * kUnit > whole)
            damaged(QStringLiteral("bloco de tipo %1 e tamanho %2 na posição %3").arg(type).arg(units).arg(off));
        if (type == 4) {
            if (!free_.empty() && free_.back().offset + qint64(free_.back().units) * kUnit == off)
                free_.back().units += units;  // adjacent free blocks count as one
            else
                free_.push_back({off, units});
        } else if (type == 3) {
            subBlocks_.push_back(off);
        }
        off += qint64(units) * kUnit;
    }
    size_ = whole;
}

qint64 MbFile::takeUnits(int units)
{
    for (size_t i = 0; i < free_.size(); ++i) {
        Free& f = free_[i];
        if (f.units < units)
            continue;
        const qint64 off = f.offset;
        if (f.units > units) {
            f.offset += qint64(units) * kUnit;
            f.units -= units;
            QByteArray rest(kUnit, '\0');
            rest[0] = 4;
            putLe16(rest.data() + 1, quint16(std::min(f.units, 0xFFFF)));
            writeUnits(f.offset, rest);
        } else {
            free_.erase(free_.begin() + qsizetype(i));
        }
        return off;
    }
    return size_;
}

quint32 MbFile::write(const QByteArray& data, quint16* mod)
{
    if (!writable_)
        beginWrite();
    ++modCounter_;
    if (modCounter_ == 0)
        modCounter_ = 1;
    headerDirty_ = true;
    *mod = modCounter_;
    const qint64 len = data.size();
    if (len > threshold_) {
        const qint64 units64 = (9 + len + kUnit - 1) / kUnit;
        if (units64 > 0xFFFF)
            throw FileError(QStringLiteral("Blob grande demais para o arquivo %1 (%2 bytes)").arg(path_).arg(len));
        const int units = int(units64);
        const qint64 off = takeUnits(units);
        QByteArray block(units * qint64(kUnit), '\0');
        block[0] = 2;
        putLe16(block.data() + 1, quint16(units));
        putLe32(block.data() + 3, quint32(len));
        putLe16(block.data() + 7, modCounter_);
        std::memcpy(block.data() + 9, data.constData(), size_t(len));
        writeUnits(off, block);
        if (off > 0xFFFFFF00LL)
            throw FileError(QStringLiteral("Arquivo de blobs cheio: %1").arg(path_));
        return quint32(off) | 0xFF;
    }
    const int need = int((len + 15) / 16);
    auto place = [&](qint64 off, QByteArray& u) -> int {
        int slot = -1;
        for (int s = kSlots - 1; s >= 0; --s)
            if (uchar(u[12 + 5 * s]) == 0) {
                slot = s;
                break;
            }
        if (slot < 0)
            return -1;
        bool used[256] = {};
        for (int s = 0; s < kSlots; ++s) {
            const char* e = u.constData() + 12 + 5 * s;
            if (!uchar(e[0]))
                continue;
            for (int c = uchar(e[0]); c < uchar(e[0]) + uchar(e[1]) && c < 256; ++c)
                used[c] = true;
        }
        for (int startChunk = kSubDataStart / 16; startChunk + need <= 256; ++startChunk) {
            bool ok = true;
            for (int c = startChunk; c < startChunk + need && ok; ++c)
                ok = !used[c];
            if (!ok)
                continue;
            char* e = u.data() + 12 + 5 * slot;
            e[0] = char(startChunk);
            e[1] = char(need);
            putLe16(e + 2, modCounter_);
            e[4] = char(len % 16 == 0 ? 16 : len % 16);
            std::memset(u.data() + startChunk * 16, 0, size_t(need) * 16);
            std::memcpy(u.data() + startChunk * 16, data.constData(), size_t(len));
            writeUnits(off, u);
            return slot;
        }
        return -1;
    };
    for (qint64 off : subBlocks_) {
        QByteArray u = readUnits(off, 1);
        const int slot = place(off, u);
        if (slot >= 0)
            return quint32(off) | quint32(slot);
    }
    const qint64 off = takeUnits(1);
    QByteArray u(kUnit, '\0');
    u[0] = 3;
    putLe16(u.data() + 1, 1);
    const int slot = place(off, u);
    subBlocks_.push_back(off);
    return quint32(off) | quint32(slot);
}

void MbFile::release(quint32 offsetIndex)
{
    const qint64 offset = offsetIndex & 0xFFFFFF00u;
    const int index = int(offsetIndex & 0xFF);
    if (!writable_)
        beginWrite();
    if (offset == 0 || offset % kUnit || offset + kUnit > size_)
        return;  // nothing we can free safely
    QByteArray u = readUnits(offset, 1);
    if (index == 0xFF) {
        if (uchar(u[0]) != 2)
            return;
        const int units = le16(u.constData() + 1);
        u[0] = 4;
        writeUnits(offset, u);
        free_.push_back({offset, units});
        std::sort(free_.begin(), free_.end(), [](const Free& a, const Free& b) { return a.offset < b.offset; });
    } else if (uchar(u[0]) == 3 && index < kSlots) {
        std::memset(u.data() + 12 + 5 * index, 0, 5);
        writeUnits(offset, u);
    }
}

void MbFile::flush()
{
    if (!headerDirty_)
        return;
    QByteArray h = readUnits(0, 1);
    putLe16(h.data() + 3, modCounter_);
    writeUnits(0, h);
    headerDirty_ = false;
}

std::vector<MbFile::Area> MbFile::usedAreas()
{
    std::vector<Area> out;
    const qint64 whole = size_ / kUnit * kUnit;
    for (qint64 off = kUnit; off < whole;) {
        const QByteArray u = readUnits(off, 1);
        const int type = uchar(u[0]);
        int units = type == 3 ? 1 : le16(u.constData() + 1);
        if (units <= 0)
            damaged(QStringLiteral("bloco vazio na posição %1").arg(off));
        if (type == 2) {
            out.push_back({off, qint64(units) * kUnit});
        } else if (type == 3) {
            for (int s = 0; s < kSlots; ++s) {
                const char* e = u.constData() + 12 + 5 * s;
                if (uchar(e[0]))
                    out.push_back({off + uchar(e[0]) * 16, qint64(uchar(e[1])) * 16});
            }
        }
        off += qint64(units) * kUnit;
    }
    return out;
}

}  // namespace quillora
