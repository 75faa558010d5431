// SPDX-License-Identifier: MIT
// Whole-file reading with a size limit, and replacing a file so that it is either old or new, never half.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/status.h"

namespace turnlet {

inline constexpr std::size_t kDefaultMaxReadBytes = 64u << 20;

// A byte buffer that keeps its memory between reads, so a worker that reads one photograph after
// another does not fault in fresh pages for each.
class ByteBuffer {
  public:
    std::span<const std::uint8_t> view() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    // Room for at least bytes (an eighth more when it grows); the content is kept only up to size().
    void reserve(std::size_t bytes);
    std::uint8_t* data() { return data_.get(); }
    void setSize(std::size_t size) { size_ = size; }

  private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

// Reads a regular file whole into content (left untouched on failure). Files larger than maxBytes,
// folders and other non-regular files are refused with an error naming the file; a FIFO is never
// waited on.
Status ReadWholeFile(const std::string& fileName, std::string& content, std::size_t maxBytes = kDefaultMaxReadBytes);
// The same into a reusable buffer (its content is undefined on failure).
Status ReadWholeFile(const std::string& fileName, ByteBuffer& buffer, std::size_t maxBytes);

// Reads at most maxBytes from the start of a regular file into buffer (fewer when the file is
// shorter); fileBytes gets the file's size. Refuses what ReadWholeFile refuses, but any size.
Status ReadFileStart(const std::string& fileName, std::size_t maxBytes, ByteBuffer& buffer, std::uintmax_t& fileBytes);

// Writes content to a temporary file in the target's folder, syncs it and renames it over the
// target. On any failure the temporary file is removed, the old target is left byte-identical and
// the error names fileName. A symbolic link is followed (its target is replaced, the link kept);
// an existing file's permission bits are kept, a new file gets 0644.
Status WriteFileAtomically(const std::string& fileName, std::string_view content);

// A file's size and modification time, to tell whether a picture decoded from it is still current.
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;
    bool valid = false;  // false when the file could not be looked at
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
FileStamp StampOf(const std::string& path);

}  // namespace turnlet
