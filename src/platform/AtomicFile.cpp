#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace lumacrest {

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a save to `path` replaces: the path itself, or where its chain of symbolic links
// ends (the last target need not exist yet). Nothing for a loop of links.
bool ResolveLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return false;
        link.resize(static_cast<std::size_t>(n));
        target = link[0] == '/' ? link : DirectoryOf(target) + "/" + link;
    }
    return false;
}

// Makes room for the file to grow to `size` bytes before a byte of it is written: false when
// the disk, the user's quota or file size limit cannot take them. A file system that cannot
// reserve room is written as it is.
bool ReserveRoom(int fd, off_t size) {
    int rc;
    do {
        rc = ::fallocate(fd, 0, 0, size);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 || (errno != ENOSPC && errno != EDQUOT && errno != EFBIG);
}

// For a file we may write in a folder we may not: the room for longer content is reserved
// first, the old bytes are written over (the file is not emptied first), every write is
// checked and synced, and only then is the file cut to its new length. A disk that fills up
// leaves the old file and a failure, never an empty or half-written one.
bool OverwriteInPlace(const std::string& target, const std::string& content) {
    // O_NONBLOCK: a FIFO by that name must not hold the save up waiting for a reader.
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    const off_t size = static_cast<off_t>(content.size());
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              (size <= st.st_size || ReserveRoom(fd, size));
    if (ok) {
        ok = WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0 &&
             ::ftruncate(fd, size) == 0 && ::fsync(fd) == 0;
        // A write that fails after the room was made leaves the file its old length (the
        // failure is reported whether or not that succeeds).
        if (!ok && size > st.st_size) (void)!::ftruncate(fd, st.st_size);
    }
    ok = (::close(fd) == 0) && ok;
    return ok;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& content) {
    std::string target;
    if (!ResolveLinks(path, target)) return false;
    std::string temp = target + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // No file can be made beside the target: a folder that is not ours to write in.
        if (errno == EACCES || errno == EPERM || errno == EROFS)
            return OverwriteInPlace(target, content);
        return false;
    }
    struct stat old;
    bool modeKept = false;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // The replaced file's mode, and its owner where we may give it. A file that cannot
        // take the old mode is not saved: it would replace the old one as ours alone.
        modeKept = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not ours to give: the new file stays ours, with the old mode.
        }
    } else {
        // The permissions an ordinary new file would get.
        mode_t mask = ::umask(0);
        ::umask(mask);
        modeKept = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    bool ok = modeKept && WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) == 0) return true;
    const int renameError = errno;
    ::unlink(temp.c_str());
    // A sticky folder (such as /tmp) lets no one replace another user's file.
    if (ok && modeKept && (renameError == EPERM || renameError == EACCES)) return OverwriteInPlace(target, content);
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    RegularFile file;
    return file.Open(path) && file.ReadAll(out, maxBytes);
}

bool AppendLine(const std::string& path, const std::string& line) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // Appenders take turns, so that the end of the file before this line is known: a line
    // the disk takes only part of is cut off again, and the next line starts on a line of
    // its own. A lock some other program keeps is waited for a second at most: the line is
    // then appended all the same, only not cut off again should it fail.
    bool locked = false;
    for (int attempt = 0; attempt < 100 && !locked; ++attempt) {
        locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno != EINTR) ::usleep(10000);
    }
    struct stat before;
    const bool known = locked && ::fstat(fd, &before) == 0;
    ssize_t written;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    const bool whole = written == static_cast<ssize_t>(line.size());
    // The failure is reported whether or not the cut succeeds.
    if (!whole && written > 0 && known) (void)!::ftruncate(fd, before.st_size);
    return ::close(fd) == 0 && whole;
}

RegularFile::~RegularFile() { Close(); }

int OpenRegularFile(const std::string& path, uint64_t* size, bool followLinks) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY |
                                            (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (size) *size = static_cast<uint64_t>(st.st_size);
    return fd;
}

std::string WhyNotRegularFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return kNoSuchFile;
        return std::string("cannot be opened (") + std::strerror(errno) + ")";
    }
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::string("cannot be opened (") + std::strerror(errno) + ")";
    ::close(fd);
    return "cannot be opened";
}

bool RegularFile::Open(const std::string& path, Links links) {
    Close();
    fd_ = OpenRegularFile(path, &size_, links == Links::Follow);
    return fd_ >= 0;
}

void RegularFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

long long RegularFile::ReadAt(uint64_t position, void* into, std::size_t n) {
    if (fd_ < 0) return -1;
    char* at = static_cast<char*>(into);
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd_, at + got, n - got, static_cast<off_t>(position + got));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long long>(got);
}

bool RegularFile::ReadAll(std::string& out, std::size_t maxBytes) {
    out.clear();
    if (fd_ < 0) return false;
    // The size at open is only a hint: the file may have grown or shrunk since.
    if (size_ <= maxBytes) out.reserve(static_cast<std::size_t>(size_));
    char chunk[65536];
    for (uint64_t position = 0;;) {
        const long long n = ReadAt(position, chunk, sizeof chunk);
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) return false;
        out.append(chunk, static_cast<std::size_t>(n));
        position += static_cast<uint64_t>(n);
    }
}

}  // namespace lumacrest
