#include "tables/TableFormats.h"

#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>

namespace quillora {

namespace {
QHash<QString, TableFormats::Opener>& registry()
{
    static QHash<QString, TableFormats::Opener> openers;
    return openers;
}
QMutex& registryMutex()
{
    static QMutex m;
    return m;
}
}  // namespace

void TableFormats::add(const QString& extension, Opener opener)
{
    QMutexLocker lock(&registryMutex());
    registry().insert(extension.toLower(), std::move(opener));
}

std::unique_ptr<TableFile> TableFormats::open(const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    Opener opener;
    {
        QMutexLocker lock(&registryMutex());
        opener = registry().value(ext);
    }
    if (!opener)
        throw FileError(QStringLiteral("Tipo de tabela desconhecido: %1 (use arquivos .db ou .dbf)").arg(path));
    if (!io::exists(path))
        throw FileError(QStringLiteral("Tabela não encontrada: %1").arg(path));
    // An operation that was interrupted on this table is rolled back before anything reads it.
    io::recoverFamily(path);
    return opener(path);
}

}  // namespace quillora
