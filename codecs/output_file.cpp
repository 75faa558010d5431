// SPDX-License-Identifier: MIT
// Buffered writing of picture files with write(2), reporting the system's reason for every failure.
#include "output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace turnlet {

namespace {

// Large enough that a 24-megapixel frame goes out in a few hundred calls.
constexpr std::size_t kBufferBytes = std::size_t{256} << 10;
// Pieces this large are written at once rather than copied into the buffer.
constexpr std::size_t kDirectBytes = std::size_t{16} << 10;

// Writes all bytes, retrying after interruptions and short writes; returns 0 or the errno value,
// or -1 when the system accepted nothing without saying why.
int WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return -1;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

std::string WriteErrorReason(int error) {
    if (error <= 0) return "write failed (disk full?)";
    return std::generic_category().message(error);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(path_.c_str());
}

Status OutputFile::open() {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const int error = errno;
        return Status::Error(path_, "cannot create: " + std::generic_category().message(error));
    }
    return Status::Ok();
}

Status OutputFile::writeFailed(int error) {
    failure_ = Status::Error(path_, "cannot write: " + WriteErrorReason(error));
    return failure_;
}

Status OutputFile::flush() {
    if (used_ == 0) return Status::Ok();
    const int error = WriteAll(fd_, buffer_.get(), used_);
    used_ = 0;
    if (error != 0) return writeFailed(error);
    return Status::Ok();
}

Status OutputFile::write(const void* data, std::size_t size) {
    if (!failure_.ok()) return failure_;
    if (fd_ < 0) return writeFailed(EBADF);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    // A whole encoded file goes out in one call, without a buffer of fresh pages for each frame.
    if (used_ == 0 && size >= kDirectBytes) {
        const int error = WriteAll(fd_, bytes, size);
        if (error != 0) return writeFailed(error);
        return Status::Ok();
    }
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferBytes);
    if (used_ + size <= kBufferBytes) {
        std::memcpy(buffer_.get() + used_, bytes, size);
        used_ += size;
        return Status::Ok();
    }
    Status status = flush();
    if (!status.ok()) return status;
    if (size < kBufferBytes) {
        std::memcpy(buffer_.get(), bytes, size);
        used_ = size;
        return Status::Ok();
    }
    const int error = WriteAll(fd_, bytes, size);
    if (error != 0) return writeFailed(error);
    return Status::Ok();
}

Status OutputFile::close() {
    if (!failure_.ok()) return failure_;
    if (fd_ < 0) return writeFailed(EBADF);
    Status status = flush();
    if (!status.ok()) return status;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(path_.c_str());
        return writeFailed(error);
    }
    return Status::Ok();
}

}  // namespace turnlet
