// SPDX-License-Identifier: MIT
// A picture file being written: every failure names the file and the system's reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"

namespace turnlet {

// Created (or truncated) by open(), written through one buffer with write(2), whose errno is
// always the real reason (unlike a stdio stream's), and finished by close(). A file that was opened
// but not closed successfully is removed, so a failed export leaves no half-written frame behind.
class OutputFile {
  public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& path() const { return path_; }

    Status open();
    Status write(const void* data, std::size_t size);
    // Writes what is buffered and closes; a failure here (disk full, a network file system's
    // delayed error) is reported like any other write error.
    Status close();

  private:
    Status flush();
    Status writeFailed(int error);

    std::string path_;
    int fd_ = -1;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t used_ = 0;
    Status failure_;
};

// The reason text for an errno value after a failed write; never "Success" for 0.
std::string WriteErrorReason(int error);

}  // namespace turnlet
