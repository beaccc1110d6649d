#pragma once

#include <QString>

// A book's working folder is claimed by a lock on a file inside it for as
// long as the book converts. The lock dies with its process, however that
// ends, so a folder whose lock can be taken belongs to nobody: a run that was
// killed left it behind, and the next run removes it.
class WorkFolderClaim {
public:
    WorkFolderClaim() = default;
    ~WorkFolderClaim();
    WorkFolderClaim(const WorkFolderClaim&) = delete;
    WorkFolderClaim& operator=(const WorkFolderClaim&) = delete;

    bool Claim(const QString& folder);
    void Release();

    // Removes the folders named `prefix`... in `workingFolder` that no live
    // process claims (unclaimed ones only once they are a minute old, so a
    // folder being set up right now is left alone).
    static int RemoveAbandoned(const QString& workingFolder, const QString& prefix);

private:
    int lockFd = -1;
};
