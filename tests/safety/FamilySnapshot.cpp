#include "tests/safety/FamilySnapshot.h"

#include <QDir>
#include <QFile>

namespace quillora::test {

FolderSnapshot snapshotFolder(const QString& folder)
{
    FolderSnapshot s;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        if (name.endsWith(QLatin1String(".quillora-journal")))
            continue;
        QFile f(QDir(folder).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            s[name] = f.readAll();
    }
    return s;
}

QString folderDifferences(const FolderSnapshot& now, const FolderSnapshot& expected)
{
    QStringList out;
    for (const auto& [name, bytes] : now) {
        const auto it = expected.find(name);
        if (it == expected.end())
            out << name + QStringLiteral(" (new)");
        else if (it->second != bytes)
            out << QStringLiteral("%1 (%2 -> %3 bytes)").arg(name).arg(it->second.size()).arg(bytes.size());
    }
    for (const auto& [name, bytes] : expected)
        if (!now.count(name))
            out << name + QStringLiteral(" (gone)");
    return out.join(QStringLiteral(", "));
}

}  // namespace quillora::test
