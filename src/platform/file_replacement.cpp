#include "platform/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace nagare::platform {

namespace {

constexpr mode_t NEW_FILE_MODE = 0666;  // narrowed by the umask, as for any file the user creates

// Writes all of `bytes`, going on after a signal or a short write.
bool writeAll(int fd, const char* data, size_t bytes) {
    while (bytes > 0) {
        ssize_t n = ::write(fd, data, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

// The folder's own entry must reach the disk too, or the rename may be lost in a power cut.
void syncFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

FileReplacement::~FileReplacement() {
    abandon();
}

bool FileReplacement::open(const std::string& path) {
    abandon();
    path_ = path;
    temporaryPath_ = temporaryPathFor(path);
    failed_ = false;
    // A temporary file left by a writer that was killed is not ours to append to: start anew. O_EXCL
    // also keeps the writer from following a link planted under the temporary name.
    ::unlink(temporaryPath_.c_str());
    fd_ = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NEW_FILE_MODE);
    if (fd_ < 0) return false;
    buffer_.reserve(BUFFER_SIZE);
    return true;
}

bool FileReplacement::write(const void* data, size_t bytes) {
    if (fd_ < 0 || failed_) return false;
    const char* p = static_cast<const char*>(data);
    if (buffer_.size() + bytes <= BUFFER_SIZE) {
        buffer_.append(p, bytes);
        return true;
    }
    // A large block (the position table) goes straight to the file.
    if (!flushBuffer() || !writeAll(fd_, p, bytes)) failed_ = true;
    return !failed_;
}

bool FileReplacement::flushBuffer() {
    bool ok = writeAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

bool FileReplacement::commit() {
    if (fd_ < 0) return false;
    bool ok = !failed_ && flushBuffer() && ::fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    if (ok) ok = std::rename(temporaryPath_.c_str(), path_.c_str()) == 0;
    if (!ok) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
        return false;
    }
    syncFolderOf(path_);
    temporaryPath_.clear();
    return true;
}

void FileReplacement::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    buffer_.clear();
}

}  // namespace nagare::platform
