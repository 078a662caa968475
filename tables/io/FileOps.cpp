#include "tables/io/FileOps.h"

#include "tables/Error.h"
#include "tables/io/File.h"
#include "tables/io/Journal.h"

#include <QDir>
#include <QFileInfo>

namespace quillora::io {

namespace {

QString folderOf(const QString& absPath)
{
    const int slash = absPath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : absPath.left(slash);
}

QString nameOf(const QString& absPath)
{
    return absPath.mid(absPath.lastIndexOf(QLatin1Char('/')) + 1);
}

[[noreturn]] void writeError(const QString& what, const QString& path, int err)
{
    throw FileError(QStringLiteral("Não foi possível gravar %1%2: %3")
                        .arg(what.isEmpty() ? QString() : what + QLatin1Char(' '), path, errorText(err)));
}

// Everything the family's files hold in memory reaches them before a whole-file change.
Journal* prepare(const QString& absPath)
{
    Journal* j = Journal::covering(absPath);
    if (j)
        j->flushHeld();
    return j;
}

}  // namespace

QString absolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

FileStat stat(const QString& path)
{
    const QString abs = absolute(path);
    prepare(abs);
    return backend().stat(abs);
}

bool canWrite(const QString& path)
{
    return backend().canWrite(absolute(path));
}

bool exists(const QString& path)
{
    const FileStat s = backend().stat(absolute(path));
    return s.exists && !s.isDir;
}

bool isFolder(const QString& path)
{
    const FileStat s = backend().stat(absolute(path));
    return s.exists && s.isDir;
}

QStringList siblings(const QString& path)
{
    return backend().list(folderOf(absolute(path)));
}

QString siblingNoCase(const QString& path, const QString& name)
{
    const QString folder = folderOf(absolute(path));
    for (const QString& n : backend().list(folder))
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return folder + QLatin1Char('/') + n;
    return {};
}

namespace {
// A folder whose entries changed for a family: a failure fails the family's operation.
void syncFolderOf(const QString& absPath, Journal* j)
{
    const QString folder = folderOf(absPath);
    const int rc = backend().syncFolder(folder);
    if (rc < 0) {
        if (j)
            j->writeFailed();
        writeError(QString(), folder, -rc);
    }
}
}  // namespace

void syncFolder(const QString& folder)
{
    const int rc = backend().syncFolder(absolute(folder));
    if (rc < 0)
        writeError(QString(), folder, -rc);
}

void rename(const QString& from, const QString& to)
{
    const QString a = absolute(from);
    const QString b = absolute(to);
    Journal* ja = prepare(a);
    Journal* jb = prepare(b);
    try {
        if (ja)
            ja->beforeWholeChange(a);
        if (jb)
            jb->beforeWholeChange(b);
        if (ja)
            ja->sync();
        if (jb && jb != ja)
            jb->sync();
    } catch (...) {
        if (ja)
            ja->writeFailed();
        throw;
    }
    const int rc = backend().rename(a, b);
    if (rc < 0) {
        if (ja)
            ja->writeFailed();
        throw FileError(QStringLiteral("Não foi possível renomear %1 para %2: %3").arg(a, nameOf(b), errorText(rc)));
    }
    syncFolderOf(b, ja ? ja : jb);
}

void remove(const QString& path)
{
    const QString a = absolute(path);
    Journal* j = prepare(a);
    if (j) {
        try {
            j->beforeWholeChange(a);
            j->sync();
        } catch (...) {
            j->writeFailed();
            throw;
        }
    }
    const int rc = backend().remove(a);
    if (rc < 0 && rc != -ENOENT) {
        if (j)
            j->writeFailed();
        throw FileError(QStringLiteral("Não foi possível apagar %1: %2").arg(a, errorText(rc)));
    }
    syncFolderOf(a, j);
}

void replaceFile(const QString& path, const std::function<void(File&)>& write, const QString& what)
{
    const QString target = absolute(path);
    const QString temp = target + QStringLiteral(".novo");
    Journal* j = prepare(target);
    if (j) {
        try {
            j->beforeWholeChange(target);
            j->beforeWholeChange(temp);
            j->sync();
        } catch (...) {
            j->writeFailed();
            throw;
        }
    }
    const FileStat old = backend().stat(target);
    File out;
    const int err = out.tryOpen(temp, OpenMode::Replace);
    if (err < 0) {
        if (j)
            j->writeFailed();
        writeError(what, temp, -err);
    }
    try {
        write(out);
        out.chmod(old.exists ? old.mode : 0644);
        out.sync();
        out.close();
    } catch (...) {
        out = File();
        backend().remove(temp);
        if (j)
            j->writeFailed();
        throw;
    }
    const int rc = backend().rename(temp, target);
    if (rc < 0) {
        backend().remove(temp);
        if (j)
            j->writeFailed();
        writeError(what, target, -rc);
    }
    syncFolderOf(target, j);
}

void replaceFile(const QString& path, const QByteArray& content, const QString& what)
{
    replaceFile(path, [&](File& f) { f.write(0, content); }, what);
}

}  // namespace quillora::io
