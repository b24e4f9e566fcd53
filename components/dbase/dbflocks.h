#pragma once

#include "components/dbase/dbftable.h"
#include "components/platform/platform.h"

#include <QString>
#include <memory>

struct TableFile;

// Which objects of this program hold a table file, and the hold on it that other programs see.
// Inside the dBase layer only.
namespace dbf {

// Takes the hold of `kind` on the open table file without waiting. Throws TableError naming the
// file when another program holds it or the system cannot lock it.
void hold(TableFile& t, platform::LockKind kind);

// Counts a new object on the table file at `path` (its canonical path `canonicalPath`), opening
// the file when no object of this program has it open yet. One hold per file, of the strongest
// kind its objects ask for: the objects of this program never refuse each other, and another
// program sees the hold as long as one of them lasts. Throws TableError naming the file when the
// hold is refused; a shared hold then stays as it was.
std::shared_ptr<TableFile> holdFile(const QString& path, const QString& canonicalPath,
                                    DbfTable::Access access);
// Lets go of one object's count; the last one closes the file. The hold goes back to shared
// when no exclusive object is left.
void letGo(std::shared_ptr<TableFile> file, DbfTable::Access access) noexcept;

} // namespace dbf
