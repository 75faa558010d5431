// SPDX-License-Identifier: MIT
// Large buffers: huge pages, and their memory asked for at once.
#pragma once

#include <cstddef>

namespace turnlet {

// size bytes of uninitialised memory, released with std::free. From hugeFrom bytes on the buffer
// sits on 2 MB boundaries and asks for huge pages: a picture then takes a few dozen page faults
// instead of tens of thousands, and reads across its rows miss the TLB far less. Throws
// std::bad_alloc when there is no memory.
void* AllocateLarge(std::size_t bytes, std::size_t hugeFrom);

// Asks the system to back [data, data + bytes) with memory now, a few megabytes a call, for a buffer
// about to be written whole: far cheaper than a fault per page where fresh pages are costly
// (virtual machines). Only advice: nothing happens where the system does not offer it or for small
// buffers.
void PrepareForWriting(void* data, std::size_t bytes);

}  // namespace turnlet
