// SPDX-License-Identifier: MIT
// Decoding the sources of a run of frames ahead, in part, on a helper thread and the caller's own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/status.h"
#include "base/tasks.h"
#include "frame_render.h"
#include "imaging/picture.h"

namespace turnlet {

// A source and the frames that will show it, as far as they are known now.
struct SourcePlan {
    std::string path;
    std::vector<FrameParams> frames;
};

// Keeps the sources of the frame in hand and of the next ones decoded, each only in the part its
// frames read (FrameReach), so that frames render while the next sources decode.
//
// Owned and called by one thread (the owner: an export worker). A helper thread decodes the
// planned sources in order; when the owner needs a source that is not ready, it decodes the next
// queued one itself instead of waiting idle, so two cores stay busy while work is ready.
//
// Memory: at most 1 + ahead decoded parts (each at most one decoded source), one compressed file
// per decoding thread (two), and the decoder's own rows; all buffers are kept and reused, so a long
// run faults in no fresh pages once they have reached their largest sizes.
class SourceScheduler {
  public:
    explicit SourceScheduler(int ahead = 2);
    // Waits for a decode in flight (at most one source) and ends the helper.
    ~SourceScheduler();
    SourceScheduler(const SourceScheduler&) = delete;
    SourceScheduler& operator=(const SourceScheduler&) = delete;

    // The sources of the frame in hand and the next ones, in the order they will be asked for
    // (at most 1 + ahead are kept; the same path may appear once). Sources no longer planned are
    // dropped; planned ones not held, or held in a part their frames leave, are queued.
    void Plan(const std::vector<SourcePlan>& upcoming);

    // The decoded part of path that holds every pixel frame reads: pixels holds where.area of the
    // decoded source. Decoded now when not held, when the part held misses a pixel of frame, or
    // when the file changed since. pixels stays valid until the next call. On failure pixels is
    // null and the failure is not kept: the next look-up tries the file again.
    Status Get(const std::string& path, const FrameParams& frame, const Picture*& pixels, PictureArea& where);

    // Bytes of the decoded pictures held (planned and spare), for the memory bound's tests.
    std::size_t heldBytes() const;

  private:
    using FileKey = FileStamp;
    enum class State { Queued, Decoding, Ready };
    struct Slot {
        std::string path;
        std::vector<FrameParams> frames;  // what the decode covers (the owner's frame included)
        State state = State::Queued;
        bool dropped = false;  // no longer planned; its decoder hands the buffer back
        Status status;
        FileKey key;
        PictureArea where;
        Picture pixels;
    };
    using SlotPtr = std::shared_ptr<Slot>;

    // Decodes slot's source (its path and frames read under the lock) with bytes as the file buffer.
    void Decode(const SlotPtr& slot, ByteBuffer& bytes, std::unique_lock<std::mutex>& lock);
    // The first queued slot, taken for decoding; null if none.
    SlotPtr TakeQueued();
    void Drop(const SlotPtr& slot);
    // Keeps picture's buffer for a later decode (or frees it when larger ones are kept).
    void Keep(Picture& picture);
    void HelperLoop();
    SlotPtr Find(const std::string& path) const;
    static bool Covers(const Slot& slot, const std::vector<FrameParams>& frames);

    std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SlotPtr> slots_;  // planned, in order
    std::vector<Picture> spare_;  // buffers of dropped slots, for the next decodes
    bool stopping_ = false;
    ByteBuffer ownerBytes_;   // the owner's file buffer (used under no lock by the owner only)
    ByteBuffer helperBytes_;  // the helper's
    SlotPtr inUse_;           // what the owner's last Get returned, kept alive until the next call
    DedicatedThread helper_;  // last: started once the rest exists
};

}  // namespace turnlet
