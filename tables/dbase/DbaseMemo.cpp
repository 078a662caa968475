#include "tables/dbase/DbaseMemo.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/io/Endian.h"

#include <algorithm>

namespace quillora::dbase {

namespace {
constexpr qint64 kMemoChunk = 16 * 1024;
using io::le16;
using io::le32;
using io::putLe32;
}  // namespace

void DbaseMemo::open(const QString& tablePath, Style style)
{
    style_ = style;
    path_ = siblingFile(tablePath, QStringLiteral("dbt"));
    if (path_.isEmpty())
        return;  // the rest of the table can still be read; memo values and writing are refused
    if (const int err = file_.tryOpen(path_, io::OpenMode::Read); err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir o arquivo de memo %1: %2")
                            .arg(path_, io::errorText(err)));
    size_ = file_.size();
    if (size_ < 4)
        throw FileError(QStringLiteral("Arquivo de memo danificado: %1 (menor que o cabeçalho)").arg(path_));
    blockSize_ = 512;
    if (style_ == Style::IV && size_ >= 22) {
        char h[22];
        file_.read(0, h, 22);
        const int bs = le16(h + 20);
        if (bs != 0) {
            if (bs < 16)
                throw FileError(QStringLiteral("Arquivo de memo danificado: %1 (tamanho de bloco %2)")
                                    .arg(path_)
                                    .arg(bs));
            blockSize_ = bs;
        }
    }
}


QByteArray DbaseMemo::read(qint64 block) const
{
    auto bad = [&](const QString& why) {
        throw FileError(QStringLiteral("Arquivo de memo danificado: %1 (%2)").arg(path_, why));
    };
    if (block <= 0)
        return {};
    if (block > size_ / blockSize_ || block * blockSize_ >= size_)
        bad(QStringLiteral("o bloco %1 está além do fim do arquivo").arg(block));
    const qint64 start = block * blockSize_;
    if (style_ == Style::IV && start + 8 <= size_) {
        char head[8];
        file_.read(start, head, 8);
        if (uchar(head[0]) == 0xFF && uchar(head[1]) == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
            const qint64 len = le32(head + 4);
            if (len < 8 || start + len > size_)
                bad(QStringLiteral("o memo do bloco %1 declara %2 bytes, fora do arquivo").arg(block).arg(len));
            QByteArray data(len - 8, Qt::Uninitialized);
            file_.read(start + 8, data.data(), len - 8);
            return data;
        }
        // No block marker: some writers put dBase III style text in these files.
    }
    QByteArray data;
    qint64 pos = start;
    while (pos < size_) {
        const qint64 n = std::min(kMemoChunk, size_ - pos);
        const qsizetype old = data.size();
        data.resize(old + n);
        file_.read(pos, data.data() + old, n);
        const qsizetype end = data.indexOf('\x1A', old);
        if (end >= 0) {
            data.truncate(end);
            return data;
        }
        pos += n;
    }
    return data;  // a last memo without its terminator: what is there
}

qint64 DbaseMemo::append(const QByteArray& data)
{
    // Never reuse blocks: a new version goes past everything already in the file, so a crash
    // leaves only unreferenced blocks behind.
    char h[4];
    file_.read(0, h, 4);
    const qint64 bs = blockSize_;
    const qint64 start = std::max<qint64>({1, le32(h), (size_ + bs - 1) / bs});
    QByteArray buf;
    if (style_ == Style::IV) {
        buf.resize(8);
        buf[0] = char(0xFF);
        buf[1] = char(0xFF);
        buf[2] = 0x08;
        buf[3] = 0x00;
        putLe32(buf.data() + 4, quint32(data.size() + 8));
        buf.append(data);
    } else {
        buf = data;
        buf.append("\x1A\x1A", 2);
    }
    const qint64 blocks = (buf.size() + bs - 1) / bs;
    if (start + blocks > 0xFFFFFFFFLL)
        throw FileError(QStringLiteral("O arquivo de memo %1 chegou ao tamanho máximo").arg(path_));
    buf.append(QByteArray(blocks * bs - buf.size(), '\0'));
    const qint64 oldSize = file_.size();
    try {
        file_.write(start * bs, buf);
        putLe32(h, quint32(start + blocks));
        file_.write(0, h, 4);
    } catch (...) {
        // No record points at the new blocks yet: give the space back.
        try {
            file_.resize(oldSize);
        } catch (...) {
        }
        throw;
    }
    size_ = std::max(size_, (start + blocks) * bs);
    return start;
}

io::File DbaseMemo::openForWriting() const
{
    io::File f;
    if (const int err = f.tryOpen(path_, io::OpenMode::ReadWrite); err < 0)
        throw FileError(QStringLiteral("Não é possível gravar no arquivo de memo %1: %2").arg(path_, io::errorText(err)));
    return f;
}

void DbaseMemo::useForWriting(io::File file)
{
    file_ = std::move(file);
    size_ = file_.size();
}

void DbaseMemo::sync()
{
    if (file_.isOpen())
        file_.sync();
}

}  // namespace quillora::dbase
