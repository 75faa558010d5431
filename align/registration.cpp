// SPDX-License-Identifier: MIT
// Grey pyramids, phase correlation and the robust Gauss-Newton registration.
#include "align/registration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>

#include "base/memory.h"
#include "base/tasks.h"

namespace turnlet {
namespace {

// Bilinear value at an area position; false outside the picture's pixel centres.
inline bool Sample(const GreyImage& image, double x, double y, float& value) {
    const double fx = x - 0.5, fy = y - 0.5;
    if (!(fx >= 0 && fy >= 0 && fx < image.width - 1 && fy < image.height - 1)) return false;
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float a = static_cast<float>(fx - ix), b = static_cast<float>(fy - iy);
    const float* v = image.values.data() + static_cast<std::size_t>(iy) * image.width + ix;
    const std::size_t w = static_cast<std::size_t>(image.width);
    const float top = v[0] + (v[1] - v[0]) * a;
    const float bottom = v[w] + (v[w + 1] - v[w]) * a;
    value = top + (bottom - top) * b;
    return true;
}

float SlopeX(const GreyImage& image, int x, int y) {
    const int l = std::max(x - 1, 0), r = std::min(x + 1, image.width - 1);
    return r > l ? (image.at(r, y) - image.at(l, y)) / static_cast<float>(r - l) : 0.0f;
}
float SlopeY(const GreyImage& image, int x, int y) {
    const int u = std::max(y - 1, 0), d = std::min(y + 1, image.height - 1);
    return d > u ? (image.at(x, d) - image.at(x, u)) / static_cast<float>(d - u) : 0.0f;
}

// Solves the 4 x 4 symmetric system a x = b by Gaussian elimination with partial pivoting.
bool Solve4(std::array<std::array<double, 4>, 4> a, std::array<double, 4> b, std::array<double, 4>& x) {
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
        if (!(std::abs(a[pivot][c]) > 1e-12)) return false;
        std::swap(a[c], a[pivot]);
        std::swap(b[c], b[pivot]);
        for (int r = c + 1; r < 4; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 4; ++k) a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (int c = 3; c >= 0; --c) {
        double s = b[c];
        for (int k = c + 1; k < 4; ++k) s -= a[c][k] * x[k];
        x[c] = s / a[c][c];
    }
    return true;
}

// Above this a channel may have been clipped by the camera: its value says nothing about exposure
// or position.
constexpr float kBlownOut = 250.0f;

// The residuals of a registration step and their slopes against shift, turn and gain, one array
// each, so the weighted sums run four at a time (plain SSE2 on x86-64, whatever the compiler
// targets elsewhere).
struct Terms {
    std::vector<float> r, jx, jy, ja, jg, k;  // k: one over the point's Tukey limit
    // Room for n terms and the zeros that fill the last group of four.
    void resize(std::size_t n) {
        for (std::vector<float>* v : {&r, &jx, &jy, &ja, &jg, &k}) v->resize(n + 4);
    }
    // The normal equations of the first n terms with Tukey weights (1 - (r / limit)^2)^2, 0 past the
    // limit: a += w J^T J (upper triangle mirrored), b += w J^T r.
    void Accumulate(std::size_t n, std::array<std::array<double, 4>, 4>& a, std::array<double, 4>& b) {
        using F4 = float __attribute__((vector_size(16)));
        using I4 = std::int32_t __attribute__((vector_size(16)));
        for (std::size_t i = n; i < n + 4; ++i) r[i] = jx[i] = jy[i] = ja[i] = jg[i] = k[i] = 0;
        auto load = [](const std::vector<float>& v, std::size_t i) {
            F4 x;
            std::memcpy(&x, v.data() + i, sizeof x);
            return x;
        };
        const F4 one = {1, 1, 1, 1};
        // Sums in floats over blocks short enough to keep their precision, then in doubles.
        constexpr std::size_t kBlock = 1024;
        for (std::size_t from = 0; from < n; from += kBlock) {
            F4 sum[14] = {};
            const std::size_t to = std::min(n, from + kBlock);
            for (std::size_t i = from; i < to; i += 4) {
                const F4 rv = load(r, i), x = load(jx, i), y = load(jy, i), t = load(ja, i), gv = load(jg, i);
                const F4 q = rv * load(k, i);
                const F4 d = one - q * q;
                const I4 inside = q * q < one;
                const F4 w = reinterpret_cast<F4>(reinterpret_cast<I4>(d * d) & inside);
                const F4 wx = w * x, wy = w * y, wt = w * t, wg = w * gv;
                sum[0] += wx * x;
                sum[1] += wx * y;
                sum[2] += wx * t;
                sum[3] += wx * gv;
                sum[4] += wy * y;
                sum[5] += wy * t;
                sum[6] += wy * gv;
                sum[7] += wt * t;
                sum[8] += wt * gv;
                sum[9] += wg * gv;
                sum[10] += wx * rv;
                sum[11] += wy * rv;
                sum[12] += wt * rv;
                sum[13] += wg * rv;
            }
            double total[14];
            for (int k = 0; k < 14; ++k)
                total[k] = static_cast<double>(sum[k][0]) + sum[k][1] + static_cast<double>(sum[k][2]) + sum[k][3];
            int k = 0;
            for (int row = 0; row < 4; ++row)
                for (int col = row; col < 4; ++col) a[row][col] += total[k++];
            for (int row = 0; row < 4; ++row) b[row] += total[k++];
        }
        for (int row = 0; row < 4; ++row)
            for (int col = 0; col < row; ++col) a[row][col] = a[col][row];
    }
};

// Each term's Tukey limit: the residual spread sigma that noise leaves where the pictures agree
// (most points lie on flat parts), widened on a slope by what the given misplacement gives there.
void SetLimits(Terms& terms, std::size_t n, float sigma, float misplacement) {
    const float m2 = misplacement * misplacement, s2 = sigma * sigma;
    for (std::size_t i = 0; i < n; ++i) {
        const float slope2 = terms.jx[i] * terms.jx[i] + terms.jy[i] * terms.jy[i];
        terms.k[i] = 1.0f / (4.685f * std::sqrt(s2 + m2 * slope2));
    }
}

// Grey buffers from a megabyte on sit in huge pages.
constexpr std::size_t kHugeFrom = std::size_t{1} << 20;

}  // namespace

void* AllocateGrey(std::size_t bytes) {
    return AllocateLarge(bytes, kHugeFrom);
}

void FreeGrey(void* p) noexcept {
    std::free(p);
}

GreyImage GreyOf(const Picture& picture) {
    GreyImage grey;
    grey.width = picture.width();
    grey.height = picture.height();
    grey.values.resize(static_cast<std::size_t>(grey.width) * grey.height);
    for (int y = 0; y < grey.height; ++y) {
        const std::uint8_t* p = picture.row(y);
        float* out = grey.values.data() + static_cast<std::size_t>(y) * grey.width;
        for (int x = 0; x < grey.width; ++x, p += 3) out[x] = (p[0] + p[1] + p[2]) * (1.0f / 3.0f);
    }
    return grey;
}

GreyImage HalfSize(const GreyImage& image) {
    GreyImage half;
    half.width = (image.width + 1) / 2;
    half.height = (image.height + 1) / 2;
    half.values.resize(static_cast<std::size_t>(half.width) * half.height);
    const std::size_t w = static_cast<std::size_t>(image.width);
    const int pairs = image.width / 2;  // columns with a right neighbour of their own
    for (int y = 0; y < half.height; ++y) {
        const float* top = image.values.data() + 2 * static_cast<std::size_t>(y) * w;
        const float* under = top + (2 * y + 1 < image.height ? w : 0);
        float* out = half.values.data() + static_cast<std::size_t>(y) * half.width;
        for (int x = 0; x < pairs; ++x)
            out[x] = 0.25f * (top[2 * x] + top[2 * x + 1] + under[2 * x] + under[2 * x + 1]);
        if (pairs < half.width) {
            const int x0 = 2 * pairs;
            out[pairs] = 0.25f * (top[x0] + top[x0] + under[x0] + under[x0]);
        }
    }
    return half;
}

Pyramid BuildPyramid(GreyImage image, int minSide) {
    Pyramid pyramid;
    pyramid.push_back(std::move(image));
    while (std::min(pyramid.back().width, pyramid.back().height) >= 2 * minSide) {
        pyramid.push_back(HalfSize(pyramid.back()));
    }
    return pyramid;
}

ReferencePoints CollectPoints(const Pyramid& reference, const LevelMasks* mask, int finestLevel) {
    // Flat pixels say nothing of position; one in kFlatStep x kFlatStep still weighs in on the gain.
    constexpr float kFlatSlope = 1.5f;
    constexpr int kFlatStep = 3;
    ReferencePoints points(reference.size());
    for (int level = std::max(finestLevel, 0); level < static_cast<int>(reference.size()); ++level) {
        const GreyImage& image = reference[static_cast<std::size_t>(level)];
        const std::uint8_t* m = mask && level < static_cast<int>(mask->size()) &&
                                        (*mask)[static_cast<std::size_t>(level)].size() == image.values.size()
                                    ? (*mask)[static_cast<std::size_t>(level)].data()
                                    : nullptr;
        std::vector<ReferencePoint>& out = points[static_cast<std::size_t>(level)];
        const std::size_t w = static_cast<std::size_t>(image.width);
        for (int y = 1; y + 1 < image.height; ++y) {
            // Inner pixels only: their slopes are the plain central differences.
            const float* row = image.values.data() + static_cast<std::size_t>(y) * w;
            const std::uint8_t* still = m ? m + static_cast<std::size_t>(y) * w : nullptr;
            for (int x = 1; x + 1 < image.width; ++x) {
                const float t = row[x];
                if (t > kBlownOut || (still && !still[x])) continue;
                const float sx = (row[x + 1] - row[x - 1]) / 2.0f, sy = (row[x + w] - row[x - w]) / 2.0f;
                if (std::abs(sx) + std::abs(sy) < kFlatSlope && (x % kFlatStep || y % kFlatStep)) continue;
                out.push_back({x + 0.5f, y + 0.5f, t, sx, sy});
            }
        }
    }
    return points;
}

ShiftEstimate SearchShift(const GreyImage& reference, const GreyImage& picture, const std::vector<std::uint8_t>* mask,
                          int radius, int fromX, int fromY) {
    constexpr float kCap = 24.0f;
    ShiftEstimate best;
    best.score = 1e30;
    const bool masked = mask && mask->size() == reference.values.size();
    for (int sy = fromY - radius; sy <= fromY + radius; ++sy) {
        for (int sx = fromX - radius; sx <= fromX + radius; ++sx) {
            const int x0 = std::max(0, -sx), x1 = std::min(reference.width, picture.width - sx);
            const int y0 = std::max(0, -sy), y1 = std::min(reference.height, picture.height - sy);
            if (x1 - x0 < reference.width / 2 || y1 - y0 < reference.height / 2) continue;
            double sumRef = 0, sumPic = 0;
            std::size_t n = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    if (masked && !(*mask)[static_cast<std::size_t>(y) * reference.width + x]) continue;
                    sumRef += reference.at(x, y);
                    sumPic += picture.at(x + sx, y + sy);
                    ++n;
                }
            if (n < 64 || sumPic <= 0) continue;
            const float gain = static_cast<float>(sumRef / sumPic);
            double cost = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    if (masked && !(*mask)[static_cast<std::size_t>(y) * reference.width + x]) continue;
                    cost += std::min(std::abs(gain * picture.at(x + sx, y + sy) - reference.at(x, y)), kCap);
                }
            cost /= static_cast<double>(n);
            // Ties go to the smaller shift.
            if (cost < best.score - 1e-9 ||
                (std::abs(cost - best.score) <= 1e-9 && std::hypot(sx, sy) < std::hypot(best.dx, best.dy))) {
                best = {static_cast<double>(sx), static_cast<double>(sy), cost};
            }
        }
    }
    if (best.score >= 1e30) best = {0, 0, kCap};
    return best;
}

ChangeCounter::ChangeCounter(const Pyramid& reference, double centreX, double centreY, int level)
    : reference_(&reference) {
    if (reference.empty()) return;
    level_ = std::clamp(level, 0, static_cast<int>(reference.size()) - 1);
    scale_ = std::ldexp(1.0, -level_);
    cx_ = centreX * scale_;
    cy_ = centreY * scale_;
    // What noise and a pixel's misplacement on the reference's slope explain, per pixel.
    const GreyImage& ref = reference[static_cast<std::size_t>(level_)];
    allowed_.resize(ref.values.size());
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const float sx = SlopeX(ref, x, y), sy = SlopeY(ref, x, y);
            allowed_[static_cast<std::size_t>(y) * ref.width + x] = 8.0f + std::sqrt(sx * sx + sy * sy);
        }
}

void ChangeCounter::Add(const Pyramid& picture, const Similarity& pose, std::vector<std::uint16_t>& counts) const {
    if (reference_->empty()) return;
    const GreyImage& ref = (*reference_)[static_cast<std::size_t>(level_)];
    if (counts.size() != ref.values.size()) counts.assign(ref.values.size(), 0);
    if (static_cast<int>(picture.size()) <= level_ || picture[static_cast<std::size_t>(level_)].empty()) return;
    const GreyImage& img = picture[static_cast<std::size_t>(level_)];
    const double c = std::cos(pose.angle), s = std::sin(pose.angle);
    const float fc = static_cast<float>(c), fs = static_cast<float>(s);
    const float gain = static_cast<float>(pose.gain);
    const float right = static_cast<float>(img.width - 1), bottom = static_cast<float>(img.height - 1);
    const std::size_t w = static_cast<std::size_t>(img.width);
    const float* values = img.values.data();
    const float* refValues = ref.values.data();
    const float* allowed = allowed_.data();
    std::uint16_t* changed = counts.data();
    for (int y = 0; y < ref.height; ++y) {
        const double v = y + 0.5 - cy_;
        // Where the row's first pixel centre is seen, less the half pixel to the sample grid; along
        // the row in floats, which keep a ten-thousandth of a pixel.
        const float bx = static_cast<float>(cx_ + c * (0.5 - cx_) - s * v + pose.dx * scale_ - 0.5);
        const float by = static_cast<float>(cy_ + s * (0.5 - cx_) + c * v + pose.dy * scale_ - 0.5);
        const std::size_t row = static_cast<std::size_t>(y) * ref.width;
        for (int x = 0; x < ref.width; ++x) {
            const float fx = bx + fc * static_cast<float>(x), fy = by + fs * static_cast<float>(x);
            if (!(fx >= 0 && fy >= 0 && fx < right && fy < bottom)) continue;
            const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
            const float a = fx - static_cast<float>(ix), b = fy - static_cast<float>(iy);
            const float* p = values + static_cast<std::size_t>(iy) * w + ix;
            const float top = p[0] + (p[1] - p[0]) * a, under = p[w] + (p[w + 1] - p[w]) * a;
            const float value = top + (under - top) * b;
            const std::size_t i = row + static_cast<std::size_t>(x);
            // Without branches: which pixels changed is as good as random to the processor.
            const unsigned count =
                changed[i] + static_cast<unsigned>(std::abs(gain * value - refValues[i]) > allowed[i]);
            changed[i] = static_cast<std::uint16_t>(std::min(count, 65535u));
        }
    }
}

LevelMasks ChangeCounter::Mask(const std::vector<const std::vector<std::uint16_t>*>& counts, int minPictures) const {
    LevelMasks masks;
    const Pyramid& reference = *reference_;
    if (reference.empty()) return masks;
    const int level = level_;
    const GreyImage& ref = reference[static_cast<std::size_t>(level)];
    const std::size_t size = ref.values.size();
    std::vector<std::uint16_t> changed(size, 0);
    for (const std::vector<std::uint16_t>* part : counts) {
        if (!part || part->size() != size) continue;
        for (std::size_t i = 0; i < size; ++i)
            changed[i] = static_cast<std::uint16_t>(std::min(65535, changed[i] + (*part)[i]));
    }
    // A margin round what moves (three pixels of level 0): its edges blur into their neighbours.
    const int margin = std::max(1, (3 + (1 << level) - 1) >> level);
    std::vector<std::uint8_t> near(size, 0), still(size, 1);
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            if (changed[static_cast<std::size_t>(y) * ref.width + x] < std::max(minPictures, 1)) continue;
            for (int nx = std::max(x - margin, 0); nx <= std::min(x + margin, ref.width - 1); ++nx)
                near[static_cast<std::size_t>(y) * ref.width + nx] = 1;
        }
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            if (!near[static_cast<std::size_t>(y) * ref.width + x]) continue;
            for (int ny = std::max(y - margin, 0); ny <= std::min(y + margin, ref.height - 1); ++ny)
                still[static_cast<std::size_t>(ny) * ref.width + x] = 0;
        }
    // Finer levels take the flag of the pixel they lie in; a coarser pixel is still when all the
    // pixels it stands for are.
    masks.resize(reference.size());
    masks[static_cast<std::size_t>(level)] = std::move(still);
    for (int l = level - 1; l >= 0; --l) {
        const GreyImage& fine = reference[static_cast<std::size_t>(l)];
        const GreyImage& coarse = reference[static_cast<std::size_t>(l + 1)];
        const std::vector<std::uint8_t>& above = masks[static_cast<std::size_t>(l + 1)];
        std::vector<std::uint8_t>& mask = masks[static_cast<std::size_t>(l)];
        mask.resize(fine.values.size());
        for (int y = 0; y < fine.height; ++y)
            for (int x = 0; x < fine.width; ++x)
                mask[static_cast<std::size_t>(y) * fine.width + x] =
                    above[static_cast<std::size_t>(std::min(y / 2, coarse.height - 1)) * coarse.width +
                          std::min(x / 2, coarse.width - 1)];
    }
    for (std::size_t l = static_cast<std::size_t>(level) + 1; l < reference.size(); ++l) {
        const GreyImage& fine = reference[l - 1];
        const GreyImage& coarse = reference[l];
        const std::vector<std::uint8_t>& below = masks[l - 1];
        std::vector<std::uint8_t> mask(coarse.values.size(), 1);
        for (int y = 0; y < coarse.height; ++y)
            for (int x = 0; x < coarse.width; ++x) {
                std::uint8_t all = 1;
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i) {
                        const int fx = std::min(2 * x + i, fine.width - 1), fy = std::min(2 * y + j, fine.height - 1);
                        all &= below[static_cast<std::size_t>(fy) * fine.width + fx];
                    }
                mask[static_cast<std::size_t>(y) * coarse.width + x] = all;
            }
        masks[l] = std::move(mask);
    }
    return masks;
}

LevelMasks StillMask(const Pyramid& reference, const std::vector<const Pyramid*>& pictures,
                     const std::vector<Similarity>& poses, double centreX, double centreY, int minPictures, int level) {
    const ChangeCounter counter(reference, centreX, centreY, level);
    // Each picture's differences are counted on their own: two threads take every other picture.
    std::vector<std::uint16_t> counts[2];
    auto countChanges = [&](std::size_t from, std::size_t step) {
        for (std::size_t p = from; p < pictures.size() && p < poses.size(); p += step)
            counter.Add(*pictures[p], poses[p], counts[from]);
    };
    RunBoth([&] { countChanges(0, 2); }, [&] { countChanges(1, 2); }, "counting changes").throwIfFailed();
    return counter.Mask({&counts[0], &counts[1]}, minPictures);
}

double MeanDifference(const GreyImage& reference, const GreyImage& picture, const Similarity& pose, double centreX,
                      double centreY, double cap) {
    const double c = std::cos(pose.angle), s = std::sin(pose.angle);
    double sum = 0;
    std::size_t n = 0;
    for (int y = 0; y < reference.height; ++y) {
        const double v = y + 0.5 - centreY;
        for (int x = 0; x < reference.width; ++x) {
            const double u = x + 0.5 - centreX;
            float value;
            if (!Sample(picture, centreX + c * u - s * v + pose.dx, centreY + s * u + c * v + pose.dy, value)) continue;
            sum += std::min(std::abs(pose.gain * value - reference.at(x, y)), cap);
            ++n;
        }
    }
    return n ? sum / static_cast<double>(n) : cap;
}

void MapPoint(const Similarity& pose, double centreX, double centreY, double x, double y, double& outX, double& outY) {
    const double c = std::cos(pose.angle), s = std::sin(pose.angle);
    const double u = x - centreX, v = y - centreY;
    outX = centreX + c * u - s * v + pose.dx;
    outY = centreY + s * u + c * v + pose.dy;
}

Similarity Compose(const Similarity& aToB, const Similarity& bToC, double centreX, double centreY) {
    const double c = std::cos(bToC.angle), s = std::sin(bToC.angle);
    Similarity out;
    out.angle = aToB.angle + bToC.angle;
    out.dx = c * aToB.dx - s * aToB.dy + bToC.dx;
    out.dy = s * aToB.dx + c * aToB.dy + bToC.dy;
    out.gain = aToB.gain * bToC.gain;
    return out;
}

RegistrationResult Register(const ReferencePoints& reference, const Pyramid& picture, double centreX, double centreY,
                            const Similarity& start, const RegistrationOptions& options) {
    RegistrationResult result;
    result.pose = start;
    const int levels = std::min(static_cast<int>(reference.size()), static_cast<int>(picture.size()));
    if (levels == 0) return result;
    const int finest = std::clamp(options.finestLevel, 0, levels - 1);
    const int coarsest = options.coarsestLevel < 0 ? levels - 1 : std::clamp(options.coarsestLevel, finest, levels - 1);
    Similarity pose = start;
    Terms terms;
    std::vector<float> magnitudes;
    bool converged = false;
    for (int level = coarsest; level >= finest; --level) {
        const double scale = std::ldexp(1.0, -level);
        const std::vector<ReferencePoint>& points = reference[static_cast<std::size_t>(level)];
        const GreyImage& img = picture[static_cast<std::size_t>(level)];
        const double cx = centreX * scale, cy = centreY * scale;
        const double radius = 0.5 * std::hypot(img.width, img.height);
        // An odd stride, so thinning does not keep the same columns row after row.
        // The finest level may compare more: the last fraction of a pixel is found there.
        const std::size_t cap = level == finest ? options.maxFinestPoints : options.maxPoints;
        std::size_t pointStride = cap ? std::max<std::size_t>(1, (points.size() + cap - 1) / cap) : 1;
        if (pointStride > 1 && pointStride % 2 == 0) ++pointStride;
        terms.resize(points.size() / pointStride + 1);
        converged = false;
        for (int iteration = 0; iteration < options.maxIterations && !converged; ++iteration) {
            // In floats: positions within a working picture keep a ten-thousandth of a pixel.
            const float c = static_cast<float>(std::cos(pose.angle)), s = static_cast<float>(std::sin(pose.angle));
            const float fcx = static_cast<float>(cx), fcy = static_cast<float>(cy);
            // The reference's centre as seen in the picture, less the half pixel to its sample grid.
            const float ox = static_cast<float>(cx + pose.dx * scale - 0.5);
            const float oy = static_cast<float>(cy + pose.dy * scale - 0.5);
            const float right = static_cast<float>(img.width - 1), bottom = static_cast<float>(img.height - 1);
            const float* values = img.values.data();
            const std::size_t w = static_cast<std::size_t>(img.width);
            const float g = static_cast<float>(pose.gain);
            const float agreeLevels = static_cast<float>(options.agreeLevels);
            std::size_t n = 0, agree = 0;
            for (std::size_t i = 0; i < points.size(); i += pointStride) {
                const ReferencePoint& point = points[i];
                const float u = point.x - fcx, v = point.y - fcy;
                const float fx = ox + c * u - s * v, fy = oy + s * u + c * v;
                if (!(fx >= 0 && fy >= 0 && fx < right && fy < bottom)) continue;
                const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
                const float a = fx - static_cast<float>(ix), b = fy - static_cast<float>(iy);
                const float* p = values + static_cast<std::size_t>(iy) * w + static_cast<std::size_t>(ix);
                const float top = p[0] + (p[1] - p[0]) * a, under = p[w] + (p[w + 1] - p[w]) * a;
                const float value = top + (under - top) * b;
                if (value > kBlownOut) continue;
                const float r = g * value - point.value;
                agree += std::abs(r) < agreeLevels;
                terms.r[n] = r;
                terms.jx[n] = point.slopeX;
                terms.jy[n] = point.slopeY;
                // d(R (p - centre)) / d angle, the turn's pull at this point.
                terms.ja[n] = point.slopeX * (-s * u - c * v) + point.slopeY * (c * u - s * v);
                terms.jg[n] = value;
                ++n;
            }
            if (n < 16) return result;
            magnitudes.clear();
            const std::size_t stride = std::max<std::size_t>(1, n / 8192);
            for (std::size_t i = 0; i < n; i += stride) magnitudes.push_back(std::abs(terms.r[i]));
            auto middle = magnitudes.begin() + static_cast<std::ptrdiff_t>(magnitudes.size() / 2);
            std::nth_element(magnitudes.begin(), middle, magnitudes.end());
            const double sigma = std::max(1.4826 * *middle, 0.5);
            SetLimits(terms, n, static_cast<float>(sigma), static_cast<float>(options.misplacement));
            std::array<std::array<double, 4>, 4> a{};
            std::array<double, 4> b{};
            terms.Accumulate(n, a, b);
            result.inliers = static_cast<double>(agree) / static_cast<double>(n);
            std::array<double, 4> step{};
            if (!Solve4(a, b, step)) return result;
            pose.dx -= step[0] / scale;
            pose.dy -= step[1] / scale;
            pose.angle -= step[2];
            pose.gain -= step[3];
            if (!(pose.gain > 0.05 && pose.gain < 20) || !std::isfinite(pose.dx) || !std::isfinite(pose.dy)) {
                result.pose = pose;
                return result;
            }
            // Above the finest level a twentieth of a pixel is plenty: the next level refines it.
            const double settled = level == finest ? 0.01 : 0.05;
            converged =
                std::abs(step[0]) < settled && std::abs(step[1]) < settled && std::abs(step[2]) * radius < settled;
        }
    }
    result.pose = pose;
    result.converged = converged;
    return result;
}

}  // namespace turnlet
