#include "tables/dbase/DbaseFileReplace.h"

#include "tables/Error.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillora::dbase {

namespace {

FileError writeError(const QString& path, int err)
{
    return FileError(QStringLiteral("Não foi possível gravar o índice %1: %2")
                         .arg(path, QString::fromLocal8Bit(strerror(err))));
}

}  // namespace

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;  // some file systems do not open folders; the rename itself is done
    ::fsync(fd);
    ::close(fd);
}

void replaceFile(const QString& path, const QByteArray& content)
{
    const QFileInfo info(path);
    const QString temp = info.absolutePath() + QLatin1Char('/') + info.fileName() + QStringLiteral(".novo");
    const QByteArray nativeTemp = QFile::encodeName(temp);
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        mode = st.st_mode & 07777;
    const int fd = ::open(nativeTemp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw writeError(temp, errno);
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(nativeTemp.constData());
        throw writeError(path, err);
    };
    qint64 done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : EIO);
        done += n;
    }
    if (::fchmod(fd, mode) != 0 || ::fdatasync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(nativeTemp.constData());
        throw writeError(path, err);
    }
    if (::rename(nativeTemp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int err = errno;
        ::unlink(nativeTemp.constData());
        throw writeError(path, err);
    }
    syncFolder(info.absolutePath());
}

}  // namespace quillora::dbase
