// SPDX-License-Identifier: MIT
// Decoding the sources of a run of frames ahead, in part, on a helper thread and the caller's own.
#include "source_scheduler.h"

#include <algorithm>
#include <utility>

#include "codecs/image_files.h"

namespace turnlet {

namespace {

// Decoded pictures kept for reuse beyond the planned ones: one per decoding thread.
constexpr std::size_t kMaxSpare = 2;

PixelRect Union(const PixelRect& a, const PixelRect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    const int left = std::min(a.left, b.left), top = std::min(a.top, b.top);
    const int right = std::max(a.left + a.width, b.left + b.width);
    const int bottom = std::max(a.top + a.height, b.top + b.height);
    return {left, top, right - left, bottom - top};
}

}  // namespace

SourceScheduler::SourceScheduler(int ahead) : capacity_(1 + static_cast<std::size_t>(std::max(ahead, 0))) {
    // Without a second thread the owner decodes everything itself.
    helper_.start("decoding ahead", [this] { HelperLoop(); });
}

SourceScheduler::~SourceScheduler() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const SlotPtr& slot : slots_) slot->dropped = true;
    }
    changed_.notify_all();
    helper_.join();
}

SourceScheduler::SlotPtr SourceScheduler::Find(const std::string& path) const {
    for (const SlotPtr& slot : slots_) {
        if (slot->path == path) return slot;
    }
    return nullptr;
}

bool SourceScheduler::Covers(const Slot& slot, const std::vector<FrameParams>& frames) {
    if (!slot.status.ok()) return false;
    for (const FrameParams& frame : frames) {
        if (!slot.where.area.contains(FrameReach(frame, slot.where.fullWidth, slot.where.fullHeight))) return false;
    }
    return true;
}

SourceScheduler::SlotPtr SourceScheduler::TakeQueued() {
    for (const SlotPtr& slot : slots_) {
        if (slot->state == State::Queued && !slot->dropped) {
            slot->state = State::Decoding;
            return slot;
        }
    }
    return nullptr;
}

void SourceScheduler::Keep(Picture& picture) {
    if (picture.capacity() == 0) return;
    if (spare_.size() < kMaxSpare) {
        spare_.push_back(std::move(picture));
    } else {
        // The larger buffers serve more decodes without growing.
        auto smallest = std::min_element(spare_.begin(), spare_.end(), [](const Picture& a, const Picture& b) {
            return a.capacity() < b.capacity();
        });
        if (smallest->capacity() < picture.capacity()) *smallest = std::move(picture);
    }
    picture = Picture();
}

void SourceScheduler::Drop(const SlotPtr& slot) {
    slot->dropped = true;
    if (slot->state == State::Decoding) return;  // its decoder hands the buffer back
    Keep(slot->pixels);
}

void SourceScheduler::Decode(const SlotPtr& slot, ByteBuffer& bytes, std::unique_lock<std::mutex>& lock) {
    slot->state = State::Decoding;
    const std::string path = slot->path;
    const std::vector<FrameParams> frames = slot->frames;
    // The largest spare buffer, so that it need not grow.
    Picture work;
    if (!spare_.empty()) {
        auto largest = std::max_element(spare_.begin(), spare_.end(),
                                        [](const Picture& a, const Picture& b) { return a.capacity() < b.capacity(); });
        work = std::move(*largest);
        spare_.erase(largest);
    }
    lock.unlock();
    // Taken before reading: a file that changes meanwhile is decoded again at the next look-up.
    const FileKey key = StampOf(path);
    PictureArea where;
    const Status status = LoadPictureRegion(
        path,
        [&frames, &work](int width, int height) {
            // Room for the whole source, so that parts of varying sizes reuse one buffer: only the
            // pages a part touches are ever faulted in, and no content is copied.
            work.allocate(0, 0);
            work.reserve(std::size_t{3} * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
            PixelRect reach;
            for (const FrameParams& frame : frames) reach = Union(reach, FrameReach(frame, width, height));
            return reach;
        },
        // Read to the end: damage outside the part the frames use must fail this source as it fails
        // the whole decode, not slip into the frames as garbage or pass unreported.
        true, bytes, work, where);
    lock.lock();
    if (!slot->dropped) {
        slot->status = status;
        slot->key = key;
        slot->where = status.ok() ? where : PictureArea{};
        std::swap(slot->pixels, work);
        slot->state = State::Ready;
    }
    Keep(work);
    changed_.notify_all();
}

void SourceScheduler::HelperLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const SlotPtr slot = TakeQueued();
        if (!slot) {
            changed_.wait(lock);
            continue;
        }
        try {
            Decode(slot, helperBytes_, lock);
        } catch (...) {
            // The decoder reports its own failures; what escapes it (memory for the bookkeeping)
            // fails this source alike, so that an owner waiting for it does not wait for ever.
            if (!lock.owns_lock()) lock.lock();
            if (!slot->dropped) {
                slot->status = TaskOutcome::Caught(slot->path, "decoding ahead").status;
                slot->where = {};
                slot->state = State::Ready;
            }
            changed_.notify_all();
        }
    }
}

void SourceScheduler::Plan(const std::vector<SourcePlan>& upcoming) {
    std::unique_lock lock(mutex_);
    inUse_.reset();
    std::vector<SlotPtr> planned;
    for (const SourcePlan& plan : upcoming) {
        if (planned.size() >= capacity_) break;
        auto same =
            std::find_if(planned.begin(), planned.end(), [&](const SlotPtr& s) { return s->path == plan.path; });
        if (same != planned.end()) {
            (*same)->frames.insert((*same)->frames.end(), plan.frames.begin(), plan.frames.end());
            continue;
        }
        SlotPtr slot = Find(plan.path);
        if (!slot) {
            slot = std::make_shared<Slot>();
            slot->path = plan.path;
        }
        slot->frames = plan.frames;
        planned.push_back(std::move(slot));
    }
    for (const SlotPtr& slot : planned) {
        // A part that no longer holds what its frames read (the crop was changed) is decoded again.
        if (slot->state == State::Ready && slot->status.ok() && !Covers(*slot, slot->frames)) {
            slot->state = State::Queued;
        }
    }
    for (const SlotPtr& slot : slots_) {
        if (std::find(planned.begin(), planned.end(), slot) == planned.end()) Drop(slot);
    }
    slots_ = std::move(planned);
    changed_.notify_all();
}

Status SourceScheduler::Get(const std::string& path, const FrameParams& frame, const Picture*& pixels,
                            PictureArea& where) {
    pixels = nullptr;
    std::unique_lock lock(mutex_);
    inUse_.reset();
    SlotPtr slot = Find(path);
    if (!slot) {
        slot = std::make_shared<Slot>();
        slot->path = path;
        slot->frames = {frame};
        slots_.insert(slots_.begin(), slot);
    }
    const std::vector<FrameParams> mine = {frame};
    for (;;) {
        if (slot->state == State::Ready) {
            const bool current = slot->status.ok() && slot->key.valid && slot->key == StampOf(path);
            if (!slot->status.ok()) {
                // Not kept: the next look-up tries the file again.
                const Status status = slot->status;
                if (const auto it = std::find(slots_.begin(), slots_.end(), slot); it != slots_.end()) slots_.erase(it);
                Drop(slot);
                return status;
            }
            if (current && Covers(*slot, mine)) break;
            slot->frames.push_back(frame);
            slot->state = State::Queued;
        }
        if (slot->state == State::Queued) {
            slot->state = State::Decoding;
            Decode(slot, ownerBytes_, lock);
            continue;
        }
        // The helper decodes it: decode the next queued source meanwhile, or wait if there is none.
        if (const SlotPtr other = TakeQueued()) {
            Decode(other, ownerBytes_, lock);
        } else {
            changed_.wait(lock);
        }
    }
    inUse_ = slot;
    pixels = &slot->pixels;
    where = slot->where;
    return Status::Ok();
}

std::size_t SourceScheduler::heldBytes() const {
    std::lock_guard lock(mutex_);
    std::size_t bytes = 0;
    for (const SlotPtr& slot : slots_) bytes += slot->pixels.capacity();
    for (const Picture& picture : spare_) bytes += picture.capacity();
    return bytes;
}

}  // namespace turnlet
