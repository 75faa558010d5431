// SPDX-License-Identifier: MIT
// Robust registration of two grey pictures: shift, tilt and exposure gain of one against the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "imaging/picture.h"

namespace turnlet {

// Storage for grey values, which are always written whole right after they are sized: not zeroed
// first. Buffers of a megabyte or more ask for huge pages, so that a turn's worth of fresh pyramids
// takes a few hundred page faults instead of tens of thousands.
void* AllocateGrey(std::size_t bytes);
void FreeGrey(void* p) noexcept;
template <class T>
struct GreyAllocator {
    using value_type = T;
    GreyAllocator() = default;
    template <class U>
    GreyAllocator(const GreyAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(AllocateGrey(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept { FreeGrey(p); }
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const GreyAllocator<U>&) const {
        return true;
    }
};

// A grey picture with real values 0..255. Positions are in area coordinates: pixel (i, j) covers
// [i, i + 1) x [j, j + 1), so its centre is (i + 0.5, j + 0.5) and halving the resolution halves
// every coordinate.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<float, GreyAllocator<float>> values;
    float at(int x, int y) const { return values[static_cast<std::size_t>(y) * width + x]; }
    float& at(int x, int y) { return values[static_cast<std::size_t>(y) * width + x]; }
    bool empty() const { return width <= 0 || height <= 0; }
};

// The mean of the three channels.
GreyImage GreyOf(const Picture& picture);
// Each pixel the mean of a 2 x 2 block (an odd last row or column stands alone).
GreyImage HalfSize(const GreyImage& image);

// Level 0 is the picture; each next level is HalfSize of the one before, down to about minSide
// pixels on the shorter side.
using Pyramid = std::vector<GreyImage>;
Pyramid BuildPyramid(GreyImage image, int minSide = 40);

// Per pyramid level, one flag per reference pixel: 0 leaves the pixel out of the comparison.
using LevelMasks = std::vector<std::vector<std::uint8_t>>;

// The reference pixels a registration compares, with the reference's value and slope at each.
// Flat pixels carry no position and are thinned out; blown-out and masked ones are left out.
struct ReferencePoint {
    float x, y;  // area coordinates of the pixel's centre
    float value, slopeX, slopeY;
};
using ReferencePoints = std::vector<std::vector<ReferencePoint>>;  // per level
ReferencePoints CollectPoints(const Pyramid& reference, const LevelMasks* mask, int finestLevel = 0);

// How a picture lies against the reference: the reference point p is seen at
// centre + R(angle) (p - centre) + (dx, dy) in the picture, and gain times the picture's value there
// matches the reference's. R turns clockwise on screen (rows grow downwards) for a positive angle,
// in radians.
struct Similarity {
    double dx = 0;
    double dy = 0;
    double angle = 0;
    double gain = 1;
};

// The whole-pixel shift within +-radius that best lays picture over reference: the reference pixel
// p is seen at p + shift in the picture. Each shift is scored by the mean of the differences,
// capped so that what moves cannot outvote what stays, after matching the two pictures' means over
// the pixels they share; mask (reference pixels, may be null) leaves pixels out. score is the best
// mean capped difference in grey levels.
struct ShiftEstimate {
    double dx = 0;
    double dy = 0;
    double score = 0;
};
// The search may be centred on another shift (fromX, fromY) instead of none, to refine the result of
// a search a level up.
ShiftEstimate SearchShift(const GreyImage& reference, const GreyImage& picture, const std::vector<std::uint8_t>* mask,
                          int radius, int fromX = 0, int fromY = 0);

struct RegistrationResult {
    Similarity pose;
    // Share of the compared pixels whose difference stays within a few grey levels once aligned:
    // what stays in the scene is found again; a turning surface or an unrelated picture is not.
    double inliers = 0;
    bool converged = false;
};

struct RegistrationOptions {
    int finestLevel = 0;     // the level the result is refined down to
    int coarsestLevel = -1;  // the level the refinement starts at (-1: the pyramid's coarsest)
    int maxIterations = 10;  // per level
    double agreeLevels = 8;  // a pixel within this many grey levels of the reference is an inlier
    // Above the finest level at most this many points are compared (evenly thinned): more gain
    // nothing but time (0: all).
    std::size_t maxPoints = 20000;
    // At the finest level at most this many (0: all).
    std::size_t maxFinestPoints = 80000;
    // How far (pixels of the level compared) an edge may lie off and still pull the estimate in. 0:
    // a point counts only within what noise explains, which suits a picture textured all over; where
    // the turning object is left out, a few sharp outlines on flat ground remain to align by, and
    // they must not drop out the moment they are a tenth of a pixel off, or the flat parts alone
    // settle the tilt (short of the truth).
    double misplacement = 0;
};

// Refines start (level-0 coordinates, centre likewise) level by level by Gauss-Newton steps with
// Tukey weights, so pixels that do not follow the common motion (the object's turning surface)
// lose their say; the reference's slopes stand for the picture's (they agree once aligned).
// Pixels blown out in the picture are left out.
RegistrationResult Register(const ReferencePoints& reference, const Pyramid& picture, double centreX, double centreY,
                            const Similarity& start, const RegistrationOptions& options = {});
// The misplacement the turn's comparisons allow, against the first frame and between neighbours.
constexpr double kTurnMisplacement = 0.5;

// The pixels of the reference that keep their look against pictures laid over it by their poses
// (frames of a turn): a pixel whose difference exceeds what noise and a pixel's misplacement
// explain in at least minPictures of them belongs to what moves (the object's turning surface) and
// is left out, with a margin. The comparison is made at pyramid level `level` (the pictures need it)
// and carried to every level.
LevelMasks StillMask(const Pyramid& reference, const std::vector<const Pyramid*>& pictures,
                     const std::vector<Similarity>& poses, double centreX, double centreY, int minPictures = 1,
                     int level = 0);

// StillMask in parts, for pictures that come one at a time on several threads: each thread counts
// its pictures' changes into counts of its own (Add), and Mask makes the mask from all of them.
class ChangeCounter {
  public:
    ChangeCounter(const Pyramid& reference, double centreX, double centreY, int level = 0);
    // counts (one per reference pixel at the level) is sized on first use.
    void Add(const Pyramid& picture, const Similarity& pose, std::vector<std::uint16_t>& counts) const;
    LevelMasks Mask(const std::vector<const std::vector<std::uint16_t>*>& counts, int minPictures) const;

  private:
    const Pyramid* reference_;
    int level_ = 0;
    double scale_ = 1, cx_ = 0, cy_ = 0;
    std::vector<float> allowed_;
};

// The mean difference, each capped at cap grey levels, between the reference and the picture laid
// over it by pose (level-0 pictures, centre in their coordinates), over the pixels both show.
double MeanDifference(const GreyImage& reference, const GreyImage& picture, const Similarity& pose, double centreX,
                      double centreY, double cap);

// Where the reference point (x, y) is seen in the picture.
void MapPoint(const Similarity& pose, double centreX, double centreY, double x, double y, double& outX, double& outY);

// The pose of the reference of a->b as seen by c, from a->b (b against a) and b->c (c against b);
// all about one centre.
Similarity Compose(const Similarity& aToB, const Similarity& bToC, double centreX, double centreY);

}  // namespace turnlet
