// SPDX-License-Identifier: MIT
// Whole-file reading and atomic replacement on POSIX file systems.
#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <memory>
#include <system_error>
#include <utility>

#include "base/memory.h"

namespace turnlet {
namespace {

std::string ErrnoText(int error) {
    return std::generic_category().message(error);
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now so that a failing close can be reported.
    int close() {
        int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

// Removes the temporary file unless the rename consumed it.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

  private:
    std::string path_;
};

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Writes all bytes, retrying after interruptions and short writes.
bool WriteAll(int fd, std::string_view content) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

void ByteBuffer::reserve(std::size_t bytes) {
    if (bytes <= capacity_) return;
    // An eighth more, so that a run of files of nearly one size (photographs) settles in one
    // buffer instead of faulting in a fresh one whenever a file is a little larger than the last.
    const std::size_t room = bytes + bytes / 8;
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(room);
    PrepareForWriting(grown.get(), room);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = room;
}

namespace {

// Opens a regular file for reading; info gets its status. Folders, devices and pipes are refused.
Status OpenRegularFile(const std::string& fileName, FileDescriptor& file, struct stat& info) {
    if (fileName.empty()) return Status::Error(fileName, "no file name given");
    // Non-blocking open so that a FIFO cannot hang the caller; it is refused below anyway.
    file = FileDescriptor(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        if (errno == ENOENT) return Status::Error(fileName, "file not found");
        return Status::Error(fileName, "cannot open the file: " + ErrnoText(errno));
    }
    if (::fstat(file.get(), &info) != 0) return Status::Error(fileName, "cannot read the file: " + ErrnoText(errno));
    if (S_ISDIR(info.st_mode)) return Status::Error(fileName, "is a folder, not a file");
    if (!S_ISREG(info.st_mode)) return Status::Error(fileName, "is not a regular file");
    return Status::Ok();
}

}  // namespace

Status ReadFileStart(const std::string& fileName, std::size_t maxBytes, ByteBuffer& buffer, std::uintmax_t& fileBytes) {
    buffer.setSize(0);
    fileBytes = 0;
    FileDescriptor file(-1);
    struct stat info {};
    if (Status status = OpenRegularFile(fileName, file, info); !status.ok()) return status;
    fileBytes = static_cast<std::uintmax_t>(info.st_size);
    buffer.reserve(maxBytes);
    std::size_t size = 0;
    while (size < maxBytes) {
        const ssize_t got = ::read(file.get(), buffer.data() + size, maxBytes - size);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Status::Error(fileName, "cannot read the file: " + ErrnoText(errno));
        }
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
    }
    buffer.setSize(size);
    return Status::Ok();
}

Status ReadWholeFile(const std::string& fileName, ByteBuffer& buffer, std::size_t maxBytes) {
    buffer.setSize(0);
    FileDescriptor file(-1);
    struct stat info {};
    if (Status status = OpenRegularFile(fileName, file, info); !status.ok()) return status;
    auto tooLarge = [&] {
        return Status::Error(fileName, "the file is larger than " + std::to_string(maxBytes) + " bytes");
    };
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return tooLarge();

    // One byte more than announced, so that a file grown since fstat is noticed.
    buffer.reserve(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t size = 0;
    for (;;) {
        if (size == buffer.capacity()) {
            if (size > maxBytes) return tooLarge();
            buffer.setSize(size);
            buffer.reserve(std::min(buffer.capacity() * 2, maxBytes + 1));
        }
        const ssize_t got = ::read(file.get(), buffer.data() + size, buffer.capacity() - size);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Status::Error(fileName, "cannot read the file: " + ErrnoText(errno));
        }
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
    }
    if (size > maxBytes) return tooLarge();
    buffer.setSize(size);
    return Status::Ok();
}

Status ReadWholeFile(const std::string& fileName, std::string& content, std::size_t maxBytes) {
    ByteBuffer bytes;
    Status status = ReadWholeFile(fileName, bytes, maxBytes);
    if (status.ok()) content.assign(reinterpret_cast<const char*>(bytes.view().data()), bytes.size());
    return status;
}

Status WriteFileAtomically(const std::string& fileName, std::string_view content) {
    if (fileName.empty()) return Status::Error(fileName, "no file name given");
    std::string target = fileName;
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
        if (real) target = real.get();
    }
    mode_t mode = 0644;
    if (::stat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return Status::Error(fileName, "is a folder, not a file");
        // A device or pipe cannot be replaced by renaming a file over it.
        if (!S_ISREG(info.st_mode)) return Status::Error(fileName, "is not a regular file");
        mode = info.st_mode & 07777;
    }

    const std::string folder = FolderOf(target);
    std::string pattern = (folder == "/" ? std::string() : folder) + "/.turnlet-save-XXXXXX";
    FileDescriptor file(::mkostemp(pattern.data(), O_CLOEXEC));
    if (file.get() < 0)
        return Status::Error(fileName, "cannot create a temporary file in " + folder + ": " + ErrnoText(errno));
    TemporaryFile temporary(pattern);

    if (!WriteAll(file.get(), content)) return Status::Error(fileName, "cannot write: " + ErrnoText(errno));
    if (::fchmod(file.get(), mode) != 0)
        return Status::Error(fileName, "cannot set the permissions: " + ErrnoText(errno));
    if (::fsync(file.get()) != 0) return Status::Error(fileName, "cannot write: " + ErrnoText(errno));
    if (file.close() != 0) return Status::Error(fileName, "cannot write: " + ErrnoText(errno));
    if (::rename(temporary.path().c_str(), target.c_str()) != 0)
        return Status::Error(fileName, "cannot replace the file: " + ErrnoText(errno));
    temporary.release();

    // Makes the rename itself durable; some file systems cannot sync a folder, and the new file
    // is in place already, so a failure here is not reported.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return Status::Ok();
}

FileStamp StampOf(const std::string& path) {
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(path, error);
    if (error) return {};
    const auto modified = std::filesystem::last_write_time(path, error);
    if (error) return {};
    stamp.modified = modified.time_since_epoch().count();
    stamp.valid = true;
    return stamp;
}

}  // namespace turnlet
