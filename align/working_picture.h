// SPDX-License-Identifier: MIT
// Small working copies of source photographs, decoded at a reduced scale where the format allows it.
#pragma once

#include <string>

#include "base/files.h"
#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

// The smallest of 1, 2, 4, 8 that brings a width x height picture within maxPixels (8 when none does).
int ScaleDenominatorFor(int width, int height, long long maxPixels);

// path at 1/denominator of its size (1, 2, 4 or 8), turned clockwise by rotationDegrees. JPEG files
// are decoded at that scale directly; other types are decoded whole and reduced by averaging
// blocks. bytes and scratch are kept by the caller between calls.
Status LoadWorkingPicture(const std::string& path, int denominator, int rotationDegrees, Picture& out,
                          ByteBuffer& bytes, Picture& scratch);

// Each pixel the mean of a denominator x denominator block of source (partial blocks at the right
// and bottom edges count the pixels they have).
void ReduceByBlocks(const Picture& source, int denominator, Picture& out);

}  // namespace turnlet
