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

    // Creates `path` when missing and locks it; false when another program holds the lock (or
    // the file cannot be made).
    bool TryLock(const std::string& path);

private:
    int fd_ = -1;
};

}  // namespace lumacrest
