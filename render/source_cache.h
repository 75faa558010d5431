// SPDX-License-Identifier: MIT
// Decoded source photographs of one worker, kept while their files are unchanged and decoded ahead on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "base/files.h"
#include "base/status.h"
#include "base/tasks.h"
#include "imaging/picture.h"

namespace turnlet {

// A small cache of decoded pictures, keyed by path, file size and modification time, owned and
// called by one thread (a worker): it takes no locks. A prefetch decodes on the pool; its result is
// collected by the owner's next look-up of that path.
//
// Each entry holds one picture, in the orientation last asked for: turning it to another quarter
// turn is done in place (quarter turns compose exactly), so a 24-megapixel source costs one
// picture whatever views it serves. Buffers of evicted entries are reused by the next decode.
class SourceCache {
  public:
    // capacity: pictures held at once, decodes in flight included (at least 1; use 2 or more to
    // decode one source ahead while another is in use).
    explicit SourceCache(int capacity = 2);
    ~SourceCache();  // waits for decodes in flight
    SourceCache(const SourceCache&) = delete;
    SourceCache& operator=(const SourceCache&) = delete;

    // The picture of path turned clockwise by degrees (0: as decoded), from the cache when the
    // file's size and modification time are those it was decoded from; otherwise decoded now.
    // picture points into the cache and stays valid until the next call on the cache; on failure
    // it is null and nothing of the failure is kept, so the next look-up tries the file again.
    // A turn other than 0, 90, 180 or 270 gives an empty picture.
    Status Get(const std::string& path, int degrees, const Picture*& picture);

    // Starts decoding path on the pool unless it is held already, making room by dropping the
    // least recently used entry. Never fails: while no pool thread is free, the next Get decodes it.
    void Prefetch(const std::string& path);

    // Drops every entry (after waiting for decodes in flight) and the spare buffer.
    void Clear();

    // Whether path has an entry (decoded or in flight), whatever the file holds now.
    bool Holds(const std::string& path) const;

  private:
    // What a picture was decoded from: two files differ when either differs.
    using FileKey = FileStamp;
    struct Decoded {
        Status status;
        FileKey key;
        Picture picture;
    };
    struct Entry {
        std::string path;
        Task<Decoded> pending;
        Decoded decoded;
        int degrees = 0;  // orientation of decoded.picture
    };

    static Decoded Decode(const std::string& path, Picture scratch);
    static void Settle(Entry& entry);

    std::list<Entry>::iterator Find(const std::string& path);
    // Evicts least recently used entries until one more fits.
    void MakeRoom();
    void Evict(std::list<Entry>::iterator entry);

    std::size_t capacity_;
    // Most recently used first; std::list keeps an entry's address while others come and go.
    std::list<Entry> entries_;
    Picture spare_;
};

}  // namespace turnlet
