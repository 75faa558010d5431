// SPDX-License-Identifier: MIT
// The area sums and means as the vector twins see them (area_reduce.cpp holds the portable loops and the choice).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace turnlet {

// The weights of outputs [begin, end) of an axis, each output's in order from its first sample.
struct Gather {
    std::vector<int> first;              // per output: its first sample, from the first output's
    std::vector<int> offset;             // per output: where its weights start; one more ends the last
    std::vector<std::uint64_t> weights;  // per sample of each output
    int samples = 0;                     // from the first output's first to the last one's last
    // The weights again as doubles, stride per output (the most any output has) with zeros after
    // its own: a loop of one length runs without mispredicted exits. Empty past kMaxPadded samples.
    std::vector<double> padded;
    int stride = 0;
    // Every output has stride samples, all of this weight (a whole shrink ratio): the sums are
    // added plain and weighed once. 0 otherwise.
    std::uint64_t uniform = 0;
    // Uniform, and each output's samples follow the one before's (first[o] == o * stride).
    bool tiled = false;
    // The padded weights of outputs 2i and 2i + 1 side by side: for each sample k, k's weight of
    // the first four times, then of the second four times (one load for a pair of outputs).
    std::vector<double> paired;
};

constexpr int kMaxPadded = 8;

// Weights 2p and 2p + 1 of a pass's n rows as one 32-bit value, the first low: the multiplier of a
// pair of rows' bytes. A row past n weighs 0.
inline int PairedWeights(const std::uint32_t* weights, int n, int p) {
    const std::uint32_t a = 2 * p < n ? weights[2 * p] : 0, b = 2 * p + 1 < n ? weights[2 * p + 1] : 0;
    return static_cast<int>(a | b << 16);
}

namespace avx2 {

// sums[k] (+)= the n rows' bytes k weighed (weights below 2^15) from k = start, sixteen values a
// step, up to four rows per pass over the sums (assign: = rather than +=). ahead: bytes from each
// row to the one the next output will read in its place, to ask for early (0: none). Returns the
// first k left undone.
std::size_t AddRows(std::uint32_t* sums, const std::uint8_t* const* rows, const std::uint32_t* weights, int n,
                    std::size_t start, std::size_t count, bool assign, std::ptrdiff_t ahead);

// The means of one reduced row's width outputs into to (three bytes each), from the column sums:
// the exact truncated quotient of each output's weighed sum by inverse's total. small: every sum
// is below 2^31; plain: the gather is uniform and its plain sums stay below 2^31.
void FinishRow(const std::uint32_t* sums, bool small, const Gather& gather, int width, double inverse, bool plain,
               std::uint8_t* to);

// Outputs [from, width) of a padded gather (plain: added as integers, then weighed once); to
// points at output 0.
void FinishFixed(const std::uint32_t* sums, const Gather& gather, bool plain, int from, int width, double inverse,
                 std::uint8_t* to);

}  // namespace avx2

namespace avx512 {

// As avx2::AddRows, from k = 0.
std::size_t AddRows(std::uint32_t* sums, const std::uint8_t* const* rows, const std::uint32_t* weights, int n,
                    std::size_t count, bool assign, std::ptrdiff_t ahead);

// As avx2::FinishRow for the rows whose gathers it takes (plain, or small and padded); false,
// with nothing written, for the others.
bool FinishRow(const std::uint32_t* sums, bool small, const Gather& gather, int width, double inverse, bool plain,
               std::uint8_t* to);

// One output row of a binning: each of outputs means the block of across x down pixels (across
// 2 to 5, down 2 to 8) whose rows start at rows[i] + 3 * across * output, every pixel of this
// weight. ahead: bytes from each row to the next output row's, asked for early (0: none).
void BinRow(int across, const std::uint8_t* const* rows, int down, int outputs, double weight, double inverse,
            std::ptrdiff_t ahead, std::uint8_t* to);

}  // namespace avx512

}  // namespace turnlet
