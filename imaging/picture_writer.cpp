// SPDX-License-Identifier: MIT
// A one-deep write queue served by its own thread.
#include "imaging/picture_writer.h"

#include <system_error>

#include "imaging/image_files.h"

namespace turnlet {

PictureWriter::~PictureWriter() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return picture_ == nullptr; });
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

Status PictureWriter::Start(const Picture& picture, const std::string& path, int jpegQuality) {
    if (Status previous = Wait(); !previous.ok()) return previous;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Loop(); });
        } catch (const std::system_error&) {
            // No thread to spare: the caller writes it itself, as it would without a writer.
            std::lock_guard lock(mutex_);
            result_ = SavePicture(picture, path, jpegQuality, jpeg_);
            return Status::Ok();
        }
    }
    {
        std::lock_guard lock(mutex_);
        picture_ = &picture;
        path_ = path;
        quality_ = jpegQuality;
    }
    changed_.notify_all();
    return Status::Ok();
}

Status PictureWriter::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return picture_ == nullptr; });
    Status result = std::move(result_);
    result_ = Status::Ok();
    return result;
}

void PictureWriter::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || picture_ != nullptr; });
        if (picture_ == nullptr) return;
        const Picture& picture = *picture_;
        const std::string path = path_;
        const int quality = quality_;
        lock.unlock();
        // SavePicture turns every failure, thrown ones included, into its status.
        Status status = SavePicture(picture, path, quality, jpeg_);
        lock.lock();
        result_ = std::move(status);
        picture_ = nullptr;
        changed_.notify_all();
    }
}

}  // namespace turnlet
