#include "tables/io/MemoryBackend.h"

#include <cerrno>
#include <cstring>

namespace quillora::io {

namespace {
QString folderOf(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}
}  // namespace

void MemoryBackend::put(const QString& path, const QByteArray& content)
{
    auto n = std::make_shared<Node>();
    n->data = content;
    n->mtime = clock_++;
    files_[path] = n;
}

QByteArray MemoryBackend::content(const QString& path) const
{
    const auto it = files_.find(path);
    return it == files_.end() ? QByteArray() : it->second->data;
}

void MemoryBackend::clear()
{
    files_.clear();
    handles_.clear();
}

MemoryBackend::Node* MemoryBackend::node(int handle)
{
    return handle >= 0 && size_t(handle) < handles_.size() ? handles_[size_t(handle)].get() : nullptr;
}

int MemoryBackend::open(const QString& path, OpenMode mode)
{
    auto it = files_.find(path);
    if (it == files_.end()) {
        if (mode != OpenMode::Create && mode != OpenMode::Replace)
            return -ENOENT;
        it = files_.emplace(path, std::make_shared<Node>()).first;
    } else if (mode == OpenMode::Replace) {
        it->second->data.clear();
    }
    for (size_t i = 0; i < handles_.size(); ++i)
        if (!handles_[i]) {
            handles_[i] = it->second;
            return int(i);
        }
    handles_.push_back(it->second);
    return int(handles_.size() - 1);
}

void MemoryBackend::close(int handle)
{
    if (node(handle))
        handles_[size_t(handle)].reset();
}

qint64 MemoryBackend::pread(int handle, char* buf, qint64 len, qint64 offset)
{
    Node* n = node(handle);
    if (!n)
        return -EBADF;
    if (offset >= n->data.size())
        return 0;
    const qint64 count = std::min(len, qint64(n->data.size()) - offset);
    std::memcpy(buf, n->data.constData() + offset, size_t(count));
    return count;
}

qint64 MemoryBackend::pwrite(int handle, const char* buf, qint64 len, qint64 offset)
{
    Node* n = node(handle);
    if (!n)
        return -EBADF;
    if (offset + len > maxFileSize)
        return -ENOSPC;
    if (offset + len > n->data.size())
        n->data.resize(offset + len, '\0');
    std::memcpy(n->data.data() + offset, buf, size_t(len));
    n->mtime = clock_++;
    return len;
}

qint64 MemoryBackend::size(int handle)
{
    Node* n = node(handle);
    return n ? n->data.size() : -EBADF;
}

int MemoryBackend::truncate(int handle, qint64 size)
{
    Node* n = node(handle);
    if (!n)
        return -EBADF;
    if (size > maxFileSize)
        return -ENOSPC;
    n->data.resize(size, '\0');
    n->mtime = clock_++;
    return 0;
}

FileStat MemoryBackend::stat(const QString& path)
{
    FileStat s;
    const auto it = files_.find(path);
    if (it != files_.end()) {
        s.exists = true;
        s.size = it->second->data.size();
        s.mtimeNs = it->second->mtime;
        s.inode = quint64(reinterpret_cast<quintptr>(it->second.get()));
        return s;
    }
    const QString prefix = path + QLatin1Char('/');
    for (const auto& f : files_)
        if (f.first.startsWith(prefix)) {
            s.exists = s.isDir = true;
            break;
        }
    return s;
}

int MemoryBackend::rename(const QString& from, const QString& to)
{
    const auto it = files_.find(from);
    if (it == files_.end())
        return -ENOENT;
    auto n = it->second;
    files_.erase(it);
    files_[to] = n;
    return 0;
}

int MemoryBackend::remove(const QString& path)
{
    return files_.erase(path) ? 0 : -ENOENT;
}

QStringList MemoryBackend::list(const QString& folder)
{
    QStringList names;
    for (const auto& f : files_)
        if (folderOf(f.first) == folder)
            names << f.first.mid(folder.isEmpty() ? 0 : folder.size() + 1);
    return names;
}

}  // namespace quillora::io
