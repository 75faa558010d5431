// SPDX-License-Identifier: MIT
// One product of a studio batch: its photos, and its project made from the template's set-up.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "batch/batch_record.h"
#include "project/project.h"

namespace turnlet {

// Fewest photos a product's turn may have.
inline constexpr int kMinProductPhotos = 2;

// Whether a's name comes before b's with runs of digits compared as numbers ("img2" before
// "img10"), so photos numbered without leading zeros keep the order they were taken in.
bool NameOrderLess(std::string_view a, std::string_view b);

// The photos of a product folder (files of a picture type the program reads, hidden ones left out,
// no sub-folders) as absolute paths in name order. Fails naming the folder when it cannot be read.
Status ListPhotos(const std::string& folder, std::vector<std::string>& photos);

// The folder's own name, as its product folder under the output root is called ("vase" for
// "/shoot/vase/"); empty for a root folder.
std::string ProductName(const std::string& folder);

// The template's keyframe values that hold for every frame of its turn (a zoom, a tone set for the
// whole set-up) carry over; values that change from frame to frame belong to the template's own
// photos (their alignment) and do not. The returned values are those constants, others 0.
KeyframeValues SetUpValues(const Project& templateProject);

// The product's project from the template: rotation, crop, background, export settings (the export
// folder becomes exportDirectory) and the set-up keyframe values (on the turn's first photo). The
// first/last rule: the turn skips as many photos at the start and leaves as many off at the end as
// the template's. When the template exports one frame per photo of its turn, the product does too.
// Fails (TooFewPhotos or NoPhotos, details set) when the product has too few photos for that turn.
BatchFailure MakeProductProject(const Project& templateProject, const std::vector<std::string>& photos,
                                const std::string& exportDirectory, Project& product,
                                std::vector<std::string>& details);

// A product whose turn was found to end at last (a source index): the frame count follows when one
// frame per photo is exported.
void CutToTurn(Project& product, int last, bool framePerPhoto);

// Whether the template exports one frame per photo of its turn.
bool ExportsFramePerPhoto(const Project& project);

// Whether the crop lies within a turned picture of width x height (the product's photos may be
// another size than the set-up's); when not, details get CropDoesNotFit's.
bool CropFits(const Project& product, int width, int height, std::vector<std::string>& details);

}  // namespace turnlet
