// An exclusive lock on a file kept while the object lives; another program that asks for the
// same lock is told at once that it is taken.
#pragma once

#include <string>

namespace lumacrest {

class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates `path` when missing and locks it. Where the folder admits no new file, the
    // existing file `instead` is locked in its place (give it when the lock guards that file).
    // False when another program holds the lock, or no file can be opened.
    [[nodiscard]] bool TryLock(const std::string& path, const std::string& instead = {});

private:
    int fd_ = -1;
};

}  // namespace lumacrest
