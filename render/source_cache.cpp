// SPDX-License-Identifier: MIT
// Decoded source photographs of one worker.
#include "source_cache.h"

#include <utility>

#include "imaging/geometry.h"
#include "codecs/image_files.h"

namespace turnlet {

namespace {

bool IsQuarterTurn(int degrees) {
    return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

}  // namespace

SourceCache::SourceCache(int capacity) : capacity_(capacity < 1 ? 1 : static_cast<std::size_t>(capacity)) {}

SourceCache::~SourceCache() {
    Clear();
}

SourceCache::Decoded SourceCache::Decode(const std::string& path, Picture scratch) {
    Decoded decoded;
    // Taken before reading: a file that changes meanwhile is decoded again at the next look-up.
    decoded.key = StampOf(path);
    decoded.status = LoadPicture(path, decoded.picture, scratch);
    return decoded;
}

void SourceCache::Settle(Entry& entry) {
    if (entry.pending.valid()) {
        // A decode that threw fails like an unreadable file: the look-up tries it again in place.
        if (const TaskOutcome outcome = entry.pending.wait(); outcome.failed()) {
            entry.decoded = Decoded{outcome.status, {}, {}};
        } else {
            entry.decoded = std::move(entry.pending.value());
        }
        entry.pending = {};
        entry.degrees = 0;
    }
}

std::list<SourceCache::Entry>::iterator SourceCache::Find(const std::string& path) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path == path) return it;
    }
    return entries_.end();
}

bool SourceCache::Holds(const std::string& path) const {
    for (const Entry& entry : entries_) {
        if (entry.path == path) return true;
    }
    return false;
}

void SourceCache::Evict(std::list<Entry>::iterator entry) {
    Settle(*entry);
    spare_ = std::move(entry->decoded.picture);
    entries_.erase(entry);
}

void SourceCache::MakeRoom() {
    while (entries_.size() >= capacity_) Evict(std::prev(entries_.end()));
}

void SourceCache::Prefetch(const std::string& path) {
    if (const auto it = Find(path); it != entries_.end()) {
        entries_.splice(entries_.begin(), entries_, it);
        return;
    }
    MakeRoom();
    Task<Decoded> pending = Post(
        "decoding ahead", [path, scratch = std::move(spare_)]() mutable { return Decode(path, std::move(scratch)); });
    spare_ = Picture();
    Entry& entry = entries_.emplace_front();
    entry.path = path;
    entry.pending = std::move(pending);
}

Status SourceCache::Get(const std::string& path, int degrees, const Picture*& picture) {
    picture = nullptr;
    auto it = Find(path);
    if (it != entries_.end()) {
        entries_.splice(entries_.begin(), entries_, it);
        Settle(*it);
        const bool current = it->decoded.status.ok() && it->decoded.key.valid && it->decoded.key == StampOf(path);
        if (!current) {
            Evict(it);
            it = entries_.end();
        }
    }
    if (it == entries_.end()) {
        MakeRoom();
        Decoded decoded = Decode(path, std::move(spare_));
        spare_ = Picture();
        if (!decoded.status.ok()) return decoded.status;
        it = entries_.emplace(entries_.begin());
        it->path = path;
        it->decoded = std::move(decoded);
    }

    if (!IsQuarterTurn(degrees)) {
        static const Picture kEmpty;
        picture = &kEmpty;
        return Status::Ok();
    }
    if (it->degrees != degrees) {
        // From the orientation held to the one asked for; the old buffer becomes the spare.
        RotateQuarter(it->decoded.picture, spare_, (degrees - it->degrees + 360) % 360);
        std::swap(it->decoded.picture, spare_);
        it->degrees = degrees;
    }
    picture = &it->decoded.picture;
    return Status::Ok();
}

void SourceCache::Clear() {
    while (!entries_.empty()) Evict(entries_.begin());
    spare_.clear();
}

}  // namespace turnlet
