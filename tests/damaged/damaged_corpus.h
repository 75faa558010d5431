// SPDX-License-Identifier: MIT
// A corpus of damaged and hostile picture files, made from small files of our own writers and then
// broken on purpose, so that every reader of source pictures can be held to one standard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace turnlet::damaged {

struct DamagedFile {
    std::string name;  // file name, also what the case is called
    std::string path;  // full path in the corpus folder
    // A few files are odd but whole: they load (with the damage shown as black pixels). Every
    // other file must fail with an error naming it.
    bool loads = false;
};

// Writes the corpus into folder (created if missing; files of earlier runs are replaced) and
// returns its entries. Includes a folder named like a picture and a FIFO.
std::vector<DamagedFile> MakeDamagedCorpus(const std::string& folder);

// A valid progressive JPEG of one grey in scanCount scans (11 to kMostScans, the most a
// progression allows).
inline constexpr int kMostScans = 2090;
std::vector<std::uint8_t> ProgressiveJpeg(int width, int height, int scanCount);

// Bounds every caller must keep while refusing (or loading) one of these files.
inline constexpr double kMaxSeconds = 1.0;
inline constexpr long kMaxPeakMegabytes = 300;

}  // namespace turnlet::damaged
