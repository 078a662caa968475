#include "tables/io/Backend.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillora::io {

Backend::~Backend() = default;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

class PosixBackend : public Backend {
public:
    PosixBackend()
    {
        // A file-size limit (ulimit -f) must end in a write error the user can read, not in a
        // silent SIGXFSZ: with the signal ignored the write fails with EFBIG.
        std::signal(SIGXFSZ, SIG_IGN);
    }

    int open(const QString& path, OpenMode mode) override
    {
        int flags = O_CLOEXEC;
        switch (mode) {
        case OpenMode::Read: flags |= O_RDONLY; break;
        case OpenMode::ReadWrite: flags |= O_RDWR; break;
        case OpenMode::Create: flags |= O_RDWR | O_CREAT; break;
        case OpenMode::Replace: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        }
        int fd;
        do
            fd = ::open(native(path).constData(), flags, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return -errno;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            return -EISDIR;
        }
        return fd;
    }
    void close(int handle) override { ::close(handle); }
    qint64 pread(int handle, char* buf, qint64 len, qint64 offset) override
    {
        for (;;) {
            const ssize_t n = ::pread(handle, buf, size_t(len), off_t(offset));
            if (n >= 0)
                return n;
            if (errno != EINTR)
                return -errno;
        }
    }
    qint64 pwrite(int handle, const char* buf, qint64 len, qint64 offset) override
    {
        for (;;) {
            const ssize_t n = ::pwrite(handle, buf, size_t(len), off_t(offset));
            if (n >= 0)
                return n;
            if (errno != EINTR)
                return -errno;
        }
    }
    qint64 size(int handle) override
    {
        struct stat st {};
        if (::fstat(handle, &st) != 0)
            return -errno;
        return st.st_size;
    }
    int truncate(int handle, qint64 size) override
    {
        for (;;) {
            if (::ftruncate(handle, off_t(size)) == 0)
                return 0;
            if (errno != EINTR)
                return -errno;
        }
    }
    int sync(int handle) override { return ::fdatasync(handle) == 0 ? 0 : -errno; }
    int chmod(int handle, unsigned mode) override { return ::fchmod(handle, mode_t(mode)) == 0 ? 0 : -errno; }
    int lock(int handle, bool exclusive) override
    {
        for (;;) {
            if (::flock(handle, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0)
                return 0;
            if (errno != EINTR)
                return -errno;
        }
    }
    void unlock(int handle) override { ::flock(handle, LOCK_UN); }
    bool lockedElsewhere(const QString& path) override
    {
        const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        bool live = false;
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
#ifdef F_OFD_GETLK
        if (::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK)
            live = true;
#else
        if (::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK)
            live = true;
#endif
        if (!live && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            live = true;
        ::close(fd);
        return live;
    }
    FileStat stat(const QString& path) override
    {
        FileStat s;
        struct stat st {};
        if (::stat(native(path).constData(), &st) != 0)
            return s;
        s.exists = true;
        s.isDir = S_ISDIR(st.st_mode);
        s.size = st.st_size;
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        s.inode = st.st_ino;
        s.mode = st.st_mode & 07777;
        return s;
    }
    bool canWrite(const QString& path) override { return ::access(native(path).constData(), W_OK) == 0; }
    int rename(const QString& from, const QString& to) override
    {
        return ::rename(native(from).constData(), native(to).constData()) == 0 ? 0 : -errno;
    }
    int remove(const QString& path) override { return ::unlink(native(path).constData()) == 0 ? 0 : -errno; }
    int syncFolder(const QString& folder) override
    {
        const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return 0;  // some file systems do not open folders; what was renamed stays renamed
        const int rc = ::fsync(fd) == 0 || errno == EINVAL ? 0 : -errno;
        ::close(fd);
        return rc;
    }
    int makeFolders(const QString& folder) override
    {
        return QDir().mkpath(folder) ? 0 : -EACCES;
    }
    QStringList list(const QString& folder) override
    {
        QStringList names;
        DIR* dir = ::opendir(native(folder.isEmpty() ? QStringLiteral(".") : folder).constData());
        if (!dir)
            return names;
        while (dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            names << QFile::decodeName(e->d_name);
        }
        ::closedir(dir);
        return names;
    }
};

Backend* current = nullptr;

}  // namespace

Backend& posixBackend()
{
    static PosixBackend posix;
    return posix;
}

Backend& backend()
{
    return current ? *current : posixBackend();
}

ScopedBackend::ScopedBackend(Backend& replacement) : previous_(current)
{
    current = &replacement;
}

ScopedBackend::~ScopedBackend()
{
    current = previous_;
}

QString errorText(int err)
{
    if (err < 0)
        err = -err;
    switch (err) {
    case ENOSPC: return QStringLiteral("sem espaço em disco");
    case EDQUOT: return QStringLiteral("cota de disco esgotada");
    case EFBIG: return QStringLiteral("o arquivo passou do tamanho máximo permitido");
    case EIO: return QStringLiteral("erro de entrada e saída no disco");
    case EACCES:
    case EPERM: return QStringLiteral("permissão negada");
    case EROFS: return QStringLiteral("disco somente para leitura");
    case ENOENT: return QStringLiteral("arquivo não encontrado");
    case EISDIR: return QStringLiteral("é uma pasta, não um arquivo");
    case EWOULDBLOCK: return QStringLiteral("em uso por outro programa");
    default: return QString::fromLocal8Bit(strerror(err));
    }
}

}  // namespace quillora::io
