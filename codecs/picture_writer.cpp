// SPDX-License-Identifier: MIT
// Picture files written by a small pool, in the order the caller asked for them.
#include "codecs/picture_writer.h"

#include <algorithm>
#include <filesystem>

#include "codecs/image_files.h"

namespace turnlet {

PictureWriter::PictureWriter(int threads) : threads_(std::max(threads, 1)) {}

bool PictureWriter::AllDone() const {
    return std::all_of(jobs_.begin(), jobs_.end(), [](const Job& job) { return job.done; });
}

PictureWriter::~PictureWriter() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return AllDone(); });
        stopping_ = true;
    }
    changed_.notify_all();
    for (DedicatedThread& thread : pool_) thread.join();
}

Status PictureWriter::Settle(std::unique_lock<std::mutex>& lock) {
    while (!jobs_.empty() && jobs_.front().done && jobs_.front().status.ok()) jobs_.pop_front();
    if (jobs_.empty() || !jobs_.front().done) return Status::Ok();
    // The front one failed: the ones after it must not stay, as if never written.
    changed_.wait(lock, [this] { return AllDone(); });
    Status failure = jobs_.front().status;
    for (std::size_t i = 1; i < jobs_.size(); ++i) {
        std::error_code ignored;
        if (jobs_[i].status.ok()) std::filesystem::remove(jobs_[i].path, ignored);
    }
    jobs_.clear();
    return failure;
}

Status PictureWriter::Start(const Picture& picture, const std::string& path, int jpegQuality) {
    std::unique_lock lock(mutex_);
    if (static_cast<int>(pool_.size()) < threads_ && static_cast<int>(InFlight()) >= static_cast<int>(pool_.size())) {
        JpegBuffer& jpeg = jpeg_.emplace_back();
        if (!pool_.emplace_back().start("writing pictures", [this, &jpeg] { Loop(jpeg); })) {
            pool_.pop_back();
            jpeg_.pop_back();
            threads_ = static_cast<int>(pool_.size());
        }
    }
    if (pool_.empty()) {
        // No thread to spare: written here, as without a writer.
        lock.unlock();
        JpegBuffer jpeg;
        return SavePicture(picture, path, jpegQuality, jpeg);
    }
    for (;;) {
        if (Status failure = Settle(lock); !failure.ok()) return failure;
        if (InFlight() < pool_.size()) break;
        changed_.wait(lock);
    }
    Job& job = jobs_.emplace_back();
    job.picture = &picture;
    job.path = path;
    job.quality = jpegQuality;
    lock.unlock();
    changed_.notify_all();
    return Status::Ok();
}

Status PictureWriter::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return AllDone(); });
    return Settle(lock);
}

void PictureWriter::Loop(JpegBuffer& jpeg) {
    std::unique_lock lock(mutex_);
    for (;;) {
        auto open = jobs_.end();
        changed_.wait(lock, [&] {
            open = std::find_if(jobs_.begin(), jobs_.end(), [](const Job& job) { return !job.taken; });
            return stopping_ || open != jobs_.end();
        });
        if (open == jobs_.end()) return;
        open->taken = true;
        // Jobs leave the deque only once done, from the front: this one stays where it is.
        Job& job = *open;
        const Picture& picture = *job.picture;
        // Not copied, so that nothing here can throw: no one writes a job's path, and the deque
        // keeps the job in place until it is done.
        const std::string& path = job.path;
        const int quality = job.quality;
        lock.unlock();
        // SavePicture turns every failure, thrown ones included, into its status.
        Status status = SavePicture(picture, path, quality, jpeg);
        lock.lock();
        job.status = std::move(status);
        job.done = true;
        changed_.notify_all();
    }
}

}  // namespace turnlet
