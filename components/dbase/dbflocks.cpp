#include "components/dbase/dbflocks.h"

#include "components/dbase/dbffile.h"

namespace dbf {

namespace {

platform::LockKind lockKind(DbfTable::Access access)
{
    return access == DbfTable::Access::Exclusive ? platform::LockKind::Exclusive
                                                 : platform::LockKind::Shared;
}

} // namespace

void hold(TableFile& t, platform::LockKind kind)
{
    QString failure;
    if (platform::tryLockFile(t.file, kind, &failure))
        return;
    if (failure.isEmpty())
        fail(t.path, QStringLiteral("está en uso por otro programa"));
    fail(t.path, QStringLiteral("no se puede bloquear: %1").arg(failure));
}

std::shared_ptr<TableFile> holdFile(const QString& path, const QString& canonicalPath,
                                    DbfTable::Access access)
{
    std::shared_ptr<TableFile> file = openFileFor(canonicalPath);
    if (!file)
        file = openFile(path, canonicalPath, lockKind(access));
    else if (access == DbfTable::Access::Exclusive && file->exclusiveHolders == 0)
        hold(*file, platform::LockKind::Exclusive);
    if (access == DbfTable::Access::Exclusive)
        ++file->exclusiveHolders;
    else
        ++file->sharedHolders;
    return file;
}

void letGo(std::shared_ptr<TableFile> file, DbfTable::Access access) noexcept
{
    if (access == DbfTable::Access::Exclusive)
        --file->exclusiveHolders;
    else
        --file->sharedHolders;
    if (file->exclusiveHolders + file->sharedHolders > 0) {
        if (file->exclusiveHolders == 0)
            platform::tryLockFile(file->file, platform::LockKind::Shared);
        return;
    }
    closeFile(*file);
}

} // namespace dbf
