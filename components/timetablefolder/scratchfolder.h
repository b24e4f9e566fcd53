#pragma once

#include "components/platform/platform.h"

#include <QString>
#include <memory>

// A folder of the program's own in the system's temporary folder, where a trial exportar or a
// check of a document writes its tables: nothing of the user's is there. It is marked as the
// program's and held (a lock the system lets go of when the process ends, however it ends) for
// as long as it lives, and removed when it goes. One whose run was killed is removed by the next
// run that makes one: it is the program's by its marker, and no live run holds it.
class ScratchFolder {
public:
    // Throws EngineError when no such folder can be made.
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    QString path() const { return m_path; }

    // Removes the folders of this kind in `temporaryFolder` that no live run holds.
    static void removeAbandoned(const QString& temporaryFolder);

private:
    QString m_base;
    QString m_name;
    QString m_path;
    std::unique_ptr<platform::FolderLock> m_lock;
};
