// SPDX-License-Identifier: MIT
// Large buffers: huge pages, and their memory asked for at once.
#include "base/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace turnlet {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* AllocateLarge(std::size_t bytes, std::size_t hugeFrom) {
    void* p = nullptr;
    if (bytes >= hugeFrom) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
        // Only advice: where the system has no huge pages the buffer works as it is.
        if (p) ::madvise(p, rounded, MADV_HUGEPAGE);
#endif
    } else {
        p = std::malloc(std::max<std::size_t>(bytes, 1));
    }
    if (!p) throw std::bad_alloc();
    return p;
}

void PrepareForWriting(void* data, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::size_t kFrom = std::size_t{1} << 20;
    if (!data || bytes < kFrom) return;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) / page * page;
    // A few megabytes a call: the call holds the process's memory map, and another thread that
    // maps or unmaps memory meanwhile (a decoder's, an encoder's buffers) would wait for all of it.
    // Older kernels refuse the advice: the pages then fault in one by one as before.
    constexpr std::uintptr_t kChunk = std::uintptr_t{4} << 20;
    for (std::uintptr_t at = begin; at < end; at += kChunk) {
        if (::madvise(reinterpret_cast<void*>(at), std::min(kChunk, end - at), MADV_POPULATE_WRITE) != 0) break;
    }
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace turnlet
