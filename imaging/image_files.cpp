// SPDX-License-Identifier: MIT
// Loading and saving pictures by file extension, with whole-file reads and checked writes.
#include "image_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <system_error>

#include "bmp_io.h"
#include "jpeg_io.h"
#include "png_io.h"

namespace turnlet {

namespace {

// A 250-megapixel 32-bit BMP is about 1 GB; nothing we can load is near this.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{2} << 30;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText(int err) {
    return std::generic_category().message(err);
}

struct FileBytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    std::span<const std::uint8_t> view() const { return {data.get(), size}; }
};

Status ReadWholeFile(const std::string& path, FileBytes& out) {
    // Non-blocking, so that a pipe or device named like a picture is refused instead of waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT) return Status::Error(path, "file not found");
        return Status::Error(path, "cannot open: " + ErrnoText(err));
    }
    FilePtr file(::fdopen(fd, "rb"));
    if (!file) {
        const int err = errno;
        ::close(fd);
        return Status::Error(path, "cannot open: " + ErrnoText(err));
    }
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0) return Status::Error(path, "cannot read: " + ErrnoText(errno));
    if (S_ISDIR(info.st_mode)) return Status::Error(path, "is a folder, not a file");
    if (!S_ISREG(info.st_mode)) return Status::Error(path, "is not a regular file");
    if (info.st_size <= 0) return Status::Error(path, "file is empty");
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxFileBytes) {
        return Status::Error(path, "file of " + std::to_string(size) + " bytes is too large to be a picture");
    }
    out.data = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    out.size = std::fread(out.data.get(), 1, size, file.get());
    if (out.size != size && std::ferror(file.get())) return Status::Error(path, "cannot read: " + ErrnoText(errno));
    // A file that shrank while we read it is decoded as far as it goes; the decoders see the short data.
    if (out.size == 0) return Status::Error(path, "file is empty");
    return Status::Ok();
}

// Streams a file for writing and removes it again when the write does not complete, so a failed
// export leaves no half-written frame behind.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path) : path_(path) {}
    ~OutputFile() {
        if (file_) {
            file_.reset();
            std::remove(path_.c_str());
        }
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    Status open() {
        errno = 0;
        file_.reset(std::fopen(path_.c_str(), "wb"));
        if (!file_) return Status::Error(path_, "cannot create: " + ErrnoText(errno));
        return Status::Ok();
    }
    std::FILE* stream() const { return file_.get(); }
    // Flushes and closes; reports the errors that buffered writes only show here (disk full).
    Status close() {
        std::FILE* f = file_.release();
        errno = 0;
        const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
        const int flushErr = errno;
        const bool closed = std::fclose(f) == 0;
        const int closeErr = errno;
        if (flushed && closed) return Status::Ok();
        std::remove(path_.c_str());
        return Status::Error(path_, "cannot write: " + ErrnoText(flushed ? closeErr : flushErr));
    }

  private:
    std::string path_;
    FilePtr file_;
};

Status SaveByType(FileType type, const Picture& picture, const std::string& path, int jpegQuality) {
    if (type == FileType::Jpeg) {
        // Encode first so a picture the encoder refuses creates no file.
        JpegBuffer jpeg;
        Status status = EncodeJpeg(picture, jpegQuality, path, jpeg);
        if (!status.ok()) return status;
        OutputFile out(path);
        status = out.open();
        if (!status.ok()) return status;
        errno = 0;
        if (std::fwrite(jpeg.data(), 1, jpeg.size(), out.stream()) != jpeg.size()) {
            return Status::Error(path, "cannot write: " + ErrnoText(errno));
        }
        return out.close();
    }
    OutputFile out(path);
    Status status = out.open();
    if (!status.ok()) return status;
    status = type == FileType::Bmp ? WriteBmp(picture, out.stream(), path) : WritePng(picture, out.stream(), path);
    if (!status.ok()) return status;
    return out.close();
}

}  // namespace

std::string ExtractExt(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return {};
    return std::string(path.substr(dot));
}

std::string ReplaceAll(std::string_view source, std::string_view search, std::string_view replacement) {
    if (search.empty()) return std::string(source);
    std::string result;
    result.reserve(source.size());
    std::size_t from = 0;
    for (std::size_t at = source.find(search); at != std::string_view::npos; at = source.find(search, from)) {
        result.append(source.substr(from, at - from));
        result.append(replacement);
        from = at + search.size();
    }
    result.append(source.substr(from));
    return result;
}

FileType FileTypeOf(std::string_view path) {
    std::string ext = ExtractExt(path);
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (ext == ".BMP") return FileType::Bmp;
    if (ext == ".JPG" || ext == ".JPEG") return FileType::Jpeg;
    if (ext == ".PNG") return FileType::Png;
    return FileType::Unknown;
}

Status LoadPicture(const std::string& path, Picture& target) {
    Picture decoded;
    return LoadPicture(path, target, decoded);
}

Status LoadPicture(const std::string& path, Picture& target, Picture& decoded) {
    try {
        const FileType type = FileTypeOf(path);
        if (type == FileType::Unknown) return Status::WrongFileType(path);
        FileBytes bytes;
        Status status = ReadWholeFile(path, bytes);
        if (!status.ok()) return status;
        // Decoded aside and swapped in only on success, so a failure leaves target as it was.
        switch (type) {
            case FileType::Bmp:
                status = DecodeBmp(bytes.view(), path, decoded);
                break;
            case FileType::Jpeg:
                status = DecodeJpeg(bytes.view(), path, decoded);
                break;
            case FileType::Png:
                status = DecodePng(bytes.view(), path, decoded);
                break;
            case FileType::Unknown:
                break;
        }
        if (!status.ok()) return status;
        std::swap(target, decoded);
        return Status::Ok();
    } catch (const std::bad_alloc&) {
        return Status::Error(path, "not enough memory to load the picture");
    } catch (const std::exception& e) {
        return Status::Error(path, e.what());
    } catch (...) {
        return Status::Error(path, "unexpected failure while loading");
    }
}

Status SavePicture(const Picture& picture, const std::string& path, int jpegQuality) {
    try {
        const FileType type = FileTypeOf(path);
        if (type == FileType::Unknown) return Status::WrongFileType(path);
        if (picture.empty()) return Status::Error(path, "cannot write an empty picture");
        return SaveByType(type, picture, path, jpegQuality < 1 ? 1 : (jpegQuality > 100 ? 100 : jpegQuality));
    } catch (const std::bad_alloc&) {
        return Status::Error(path, "not enough memory to save the picture");
    } catch (const std::exception& e) {
        return Status::Error(path, e.what());
    } catch (...) {
        return Status::Error(path, "unexpected failure while saving");
    }
}

}  // namespace turnlet
