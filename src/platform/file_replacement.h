// Replacing a file whole: the new contents go to a temporary file beside it, which takes the file's
// name only once every byte has been written and flushed to disk. Until then the earlier file stays
// as it was, whatever happens to the writer (a write error, a full disk, a kill, a power cut).
#pragma once

#include <cstddef>
#include <string>

namespace nagare::platform {

class FileReplacement {
  public:
    FileReplacement() = default;
    // Removes the temporary file unless commit() succeeded.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the temporary file beside `path` (its name + ".tmp"). False when it cannot be created.
    bool open(const std::string& path);
    // Appends bytes. False once any write has failed; later writes are ignored.
    bool write(const void* data, size_t bytes);
    // Flushes the bytes to disk and renames the temporary file over the file. False, with the earlier
    // file untouched and the temporary file removed, when any write, the flush or the rename failed.
    bool commit();
    // Gives up: the temporary file is removed and the earlier file is left as it was.
    void abandon();

    static std::string temporaryPathFor(const std::string& path) { return path + ".tmp"; }

  private:
    bool flushBuffer();

    static constexpr size_t BUFFER_SIZE = size_t(1) << 20;

    std::string path_;
    std::string temporaryPath_;
    int fd_ = -1;
    bool failed_ = false;
    std::string buffer_;
};

}  // namespace nagare::platform
