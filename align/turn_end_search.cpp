// SPDX-License-Identifier: MIT
// The search for the return of the first view on the differences between frames.
//
// Frame j of a turn of p frames shows the view j mod p, so the difference between frames j and k
// depends on how far apart their views are: k - j, or k - j - p once the first view has come round.
// How the difference grows with that distance (the rise) is read off the first frames of the set,
// each against the ones after and before it; a return at p must make the frames around j + p follow
// the same rise from j. Positions p are scored against the plain alternative "those frames are just
// other views", first for the first frame alone (candidates), then for a few reference frames
// around each candidate and around the end of the set (is it one turn or short of it?). The first
// frame must itself come round; the other references only add support, so a set whose first view
// alone comes back is still found. Views just before the first one are seen only at the end of a
// set that is about one turn: there the rise is taken between the start and the end of the set.
//
// Where the rise spans several frames (small steps), the position is then placed between frames
// by rows: frame j and a frame at j + p must differ alike from every frame around them, which
// needs no model of the rise at all (the rows near the end are carried on a little past the last
// frame). The scores turn into each answer's share of the likelihood: its confidence.
#include "align/turn_end_search.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>

namespace turnlet {
namespace {

// A view has turned away once it differs from the first by this share of the typical difference.
constexpr double kTurnedAway = 0.85;
// The rise is followed over at most this many frames (video stills turn a degree or so a frame).
constexpr int kMaxRise = 16;
// One pair's difference is trusted to about this share of the typical difference.
constexpr double kNoiseShare = 0.12;
// Reference frames at the start, and as many again just past the rise.
constexpr int kReferences = 4;
// Frames past the rise whose level stands for "another view" around a return.
constexpr int kShoulder = 2;
// Steps of the scans over the return position, and how far a candidate is searched either way.
constexpr double kCoarseStep = 0.05;
constexpr double kFineStep = 0.02;
constexpr double kReach = 1.5;
constexpr int kMaxCandidates = 4;
// Rows of differences place the return once the rise spans this many frames; a row is carried at
// most this far past the last frame.
constexpr int kRowRise = 4;
constexpr double kRowReach = 2;
// Rows refine the position within this many frames of the rise's estimate.
constexpr double kRowSpan = 1;
// A return must beat "no return" by at least this much (in squared noise units).
constexpr double kMinEvidence = 2;
// The other references' support counts in full once the first frame's own evidence reaches this.
constexpr double kFirstSure = 8;

// How the difference grows from one reference frame: to the frames m ahead and m behind (those
// behind fall back to the ones ahead where the set starts too soon), and at no distance at all.
struct Rise {
    std::vector<double> ahead, behind;  // [m], m = 0 .. rise
    double floor = 0;
    // Where the first steps grow alike the bottom is rounded by noise (differences add in
    // quadrature); where one step already saturates only a straight line is known.
    bool rounded = false;
    bool exactBehind = false;  // behind holds measured values all the way

    double At(double x, bool back) const {
        const std::vector<double>& u = back ? behind : ahead;
        const int rise = static_cast<int>(u.size()) - 1;
        if (x < 1) {
            if (rounded) return std::sqrt(floor * floor + (u[1] * u[1] - floor * floor) * x * x);
            return floor + (u[1] - floor) * x;
        }
        const int m = static_cast<int>(x);
        if (m >= rise) return u[static_cast<std::size_t>(rise)];
        return u[static_cast<std::size_t>(m)] +
               (u[static_cast<std::size_t>(m) + 1] - u[static_cast<std::size_t>(m)]) * (x - m);
    }
};

// The level of "another view" just past the rise, behind and ahead of a return.
struct Shoulders {
    double behind = -1, ahead = -1;
};

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

class Search {
  public:
    explicit Search(const FramePairs& pairs) : pairs_(pairs), n_(pairs.count) {}
    TurnEndEstimate Run();

  private:
    struct Answer {
        double score = 0;
        double position = 0;
    };

    static std::uint64_t Key(int a, int b) {
        if (a > b) std::swap(a, b);
        return (static_cast<std::uint64_t>(a) << 32) | static_cast<std::uint32_t>(b);
    }
    bool Need(const std::vector<std::pair<int, int>>& wanted);
    double D(int a, int b);
    // Distance in frames between the views of j and k < j + a few turns, and whether k lies
    // behind j's view (k's view comes before it).
    static double ViewDistance(int j, int k, double p, bool* behind = nullptr);
    Rise MakeRise(int j);
    Shoulders ShouldersAt(int j, double p);
    double Evidence(int j, double p, const Shoulders& level);
    void AddWindow(double centre);
    double Scan(double centre, std::map<int, Answer>& answers);
    double RowAt(double x, int k);
    std::vector<std::pair<int, int>> RowPairs(double centre);
    void RowSplit(double centre, std::map<int, double>& weights, double& position);
    std::vector<double> Candidates();
    bool ChooseReferences();
    std::map<int, Answer> ScoreAnswers(std::vector<double> centres);
    std::map<int, double> Weigh(const std::map<int, Answer>& answers) const;

    const FramePairs& pairs_;
    const int n_;
    bool stopped_ = false;
    std::unordered_map<std::uint64_t, double> known_;
    double typical_ = 0, sigma_ = 1;
    double closest_ = 0;  // the first frame's smallest difference to a frame past the rise
    int rise_ = 1;
    std::vector<int> refs_;
    std::vector<Rise> rises_;                 // per frame, filled for the references
    std::vector<std::vector<int>> partners_;  // per reference: the frames it is compared with
};

bool Search::Need(const std::vector<std::pair<int, int>>& wanted) {
    if (stopped_) return false;
    std::vector<std::pair<int, int>> missing;
    std::set<std::uint64_t> seen;
    for (auto [a, b] : wanted) {
        if (a == b || a < 0 || b < 0 || a >= n_ || b >= n_) continue;
        const std::uint64_t key = Key(a, b);
        if (known_.count(key) || !seen.insert(key).second) continue;
        missing.push_back({std::min(a, b), std::max(a, b)});
    }
    if (missing.empty()) return true;
    std::vector<double> values;
    if (!pairs_.fill(missing, values) || values.size() != missing.size()) {
        stopped_ = true;
        return false;
    }
    for (std::size_t i = 0; i < missing.size(); ++i) known_[Key(missing[i].first, missing[i].second)] = values[i];
    return true;
}

double Search::D(int a, int b) {
    if (a == b) return 0;
    auto it = known_.find(Key(a, b));
    if (it != known_.end()) return it->second;
    if (!Need({{a, b}})) return typical_;
    return known_[Key(a, b)];
}

double Search::ViewDistance(int j, int k, double p, bool* behind) {
    const double lag = k - j;
    double best = std::abs(lag);
    bool back = lag < 0;
    for (int turns = 1; turns * p <= std::abs(lag) + p; ++turns)
        if (std::abs(lag - turns * p) < best) {
            best = std::abs(lag - turns * p);
            back = lag < turns * p;
        }
    if (behind) *behind = back;
    return best;
}

Rise Search::MakeRise(int j) {
    Rise r;
    r.ahead.assign(static_cast<std::size_t>(rise_) + 1, 0);
    for (int m = 1; m <= rise_; ++m) r.ahead[static_cast<std::size_t>(m)] = j + m < n_ ? D(j, j + m) : typical_;
    r.behind = r.ahead;
    for (int m = 1; m <= rise_ && m <= j; ++m) r.behind[static_cast<std::size_t>(m)] = D(j - m, j);
    r.exactBehind = rise_ <= j;
    // The floor (two frames of one view) by extrapolating the first two steps: in quadrature where
    // they grow alike, otherwise half a step.
    const double one = r.ahead[1], two = rise_ >= 2 ? r.ahead[2] : typical_;
    const double square = (4 * one * one - two * two) / 3;
    r.rounded = square < 0.25 * one * one;
    r.floor = r.rounded ? std::sqrt(std::max(square, 0.01 * one * one)) : 0.5 * one;
    // No closer than the closest view the first frame finds again: two frames of one view differ
    // by no more than that.
    r.floor = std::min(r.floor, closest_);
    return r;
}

Shoulders Search::ShouldersAt(int j, double p) {
    std::vector<double> behind, ahead;
    for (int k : partners_[static_cast<std::size_t>(j)]) {
        bool back = false;
        const double d = ViewDistance(j, k, p, &back);
        if (k - j > rise_ && d >= rise_ + 1 && d <= rise_ + 1 + kShoulder) (back ? behind : ahead).push_back(D(j, k));
    }
    Shoulders s{Median(behind), Median(ahead)};
    if (s.behind < 0) s.behind = s.ahead;
    if (s.ahead < 0) s.ahead = s.behind;
    return s;
}

// The log-likelihood ratio (times -2, in noise units) of a return at p against "other views" for
// reference j's pairs: negative favours the return.
double Search::Evidence(int j, double p, const Shoulders& level) {
    if (level.behind < 0) return 0;
    const Rise& r = rises_[static_cast<std::size_t>(j)];
    const Rise& first = rises_[0];
    const double past = p - (n_ - 1);  // how far the return lies past the last frame
    double e = 0;
    for (int k : partners_[static_cast<std::size_t>(j)]) {
        if (k - j <= rise_) continue;
        bool back = false;
        const double d = ViewDistance(j, k, p, &back);
        if (d >= rise_ + 1) continue;
        // Close to the return the two sides' levels meet, so a pair does not jump from one to the other.
        const double side = back ? level.behind : level.ahead, middle = 0.5 * (level.behind + level.ahead);
        const double other = d < 1 ? middle + (side - middle) * d : side;
        // A rise measured ahead of j stands in for the one behind it: scaled to the level behind.
        const double top = back ? r.behind[static_cast<std::size_t>(rise_)] : r.ahead[static_cast<std::size_t>(rise_)];
        const double scale = back && !r.exactBehind && top - r.floor > 1e-9 ? (other - r.floor) / (top - r.floor) : 1;
        double expected = r.floor + (r.At(std::min(d, double(rise_)), back) - r.floor) * scale;
        if (d > rise_) expected = expected * (rise_ + 1 - d) + other * (d - rise_);
        // Views just before the first one are seen only at the end of the set: there the rise is
        // taken between the one at the start (after the first view) and the one at the end
        // (before it), weighted by where the pair lies between them.
        if (back && d > j && past > -1 && d <= rise_) {
            const int m = static_cast<int>(d);
            auto end = [&](int steps) { return steps == 0 ? first.floor : D(n_ - 1 - steps, n_ - 1); };
            const double atEnd = end(m) + (m + 1 <= rise_ ? (end(m + 1) - end(m)) * (d - m) : 0);
            const double weight = std::clamp((d - j) / (std::max(past, 0.0) + d), 0.0, 1.0) * std::min(1.0, 1 + past);
            expected = weight * atEnd + (1 - weight) * first.At(d, false);
        }
        const double v = D(j, k);
        e += (v - expected) * (v - expected) - (v - other) * (v - other);
    }
    return e / (sigma_ * sigma_);
}

void Search::AddWindow(double centre) {
    std::vector<std::pair<int, int>> wanted;
    for (int j : refs_) {
        std::set<int> partners(partners_[static_cast<std::size_t>(j)].begin(),
                               partners_[static_cast<std::size_t>(j)].end());
        const int from = static_cast<int>(std::floor(j + centre - rise_ - 1 - kShoulder));
        const int to = static_cast<int>(std::ceil(j + centre + rise_ + 1 + kShoulder));
        for (int k = std::max(from, j + rise_ + 1); k <= to && k < n_; ++k)
            if (partners.insert(k).second) wanted.push_back({j, k});
        partners_[static_cast<std::size_t>(j)].assign(partners.begin(), partners.end());
    }
    Need(wanted);
}

// Scores the return positions within kReach of centre into the answers (keyed by the last frame,
// n_ for "no full turn"); the best position.
double Search::Scan(double centre, std::map<int, Answer>& answers) {
    std::vector<Shoulders> levels(static_cast<std::size_t>(n_));
    for (int j : refs_) levels[static_cast<std::size_t>(j)] = ShouldersAt(j, centre);
    double best = centre, bestScore = 1e300;
    for (double p = std::max(rise_ + 1.0, centre - kReach); p <= centre + kReach; p += kFineStep) {
        // The first frame must come round itself; the others only add their support, and only as
        // far as the first frame does come round, so that a set whose first view alone comes back
        // is still found but views that merely look alike elsewhere (the back of a plain object)
        // do not make a return the first frame does not see.
        const double first = Evidence(0, p, levels[0]);
        double support = 0;
        for (int j : refs_)
            if (j != 0) support += std::min(0.0, Evidence(j, p, levels[static_cast<std::size_t>(j)]));
        const double score = first + support * std::clamp(-first / kFirstSure, 0.0, 1.0);
        const int last = std::min(static_cast<int>(std::lround(p - 1)), n_);
        auto it = answers.find(last);
        if (it == answers.end() || score < it->second.score) answers[last] = {score, p};
        if (score < bestScore) bestScore = score, best = p;
    }
    return best;
}

// Frame k's difference to a frame that would lie at x: between the rows of its neighbours, carried
// on linearly past the last frame.
double Search::RowAt(double x, int k) {
    int a = static_cast<int>(std::floor(x));
    a = std::clamp(a, 0, n_ - 2);
    const double t = x - a, from = D(a, k);
    return from + (D(a + 1, k) - from) * t;
}

std::vector<std::pair<int, int>> Search::RowPairs(double centre) {
    std::vector<std::pair<int, int>> use;
    for (int j : refs_) {
        if (j + centre + kRowSpan > n_ + kRowReach) continue;
        for (int k = 0; k < n_; ++k) {
            const double fromRef = std::abs(k - j), fromReturn = std::abs(k - j - centre);
            // Rows are linear in the position only away from both valleys.
            if (fromRef < 2 || fromReturn < 2.5) continue;
            if (fromRef <= rise_ || fromReturn <= rise_) use.push_back({j, k});
        }
    }
    return use;
}

// Places the return near centre by rows: frame j and the frame at j + p must differ alike from
// every frame around them. A per-reference offset absorbs what one frame's shake adds to all its
// differences. Fills weights (per last frame, n_ for none, summing to 1) and the best position.
void Search::RowSplit(double centre, std::map<int, double>& weights, double& position) {
    const std::vector<std::pair<int, int>> use = RowPairs(centre);
    if (use.size() < 8) return;
    std::vector<std::pair<int, int>> wanted(use);
    for (auto [j, k] : use)
        for (int a = static_cast<int>(std::floor(j + centre - kRowSpan)); a <= j + centre + kRowSpan; ++a) {
            const int row = std::clamp(a, 0, n_ - 2);
            wanted.push_back({row, k});
            wanted.push_back({row + 1, k});
        }
    if (!Need(wanted)) return;
    std::map<int, double> costs;
    double bestCost = 1e300, best = centre;
    std::vector<double> residual(use.size());
    for (double p = centre - kRowSpan; p <= centre + kRowSpan; p += kFineStep) {
        std::map<int, std::pair<double, int>> offsets;
        for (std::size_t i = 0; i < use.size(); ++i) {
            auto [j, k] = use[i];
            residual[i] = D(j, k) - RowAt(j + p, k);
            auto& o = offsets[j];
            o.first += residual[i];
            ++o.second;
        }
        double cost = 0;
        for (std::size_t i = 0; i < use.size(); ++i) {
            const auto& o = offsets[use[i].first];
            const double r = residual[i] - o.first / o.second;
            cost += r * r;
        }
        const int last = std::min(static_cast<int>(std::lround(p - 1)), n_);
        auto it = costs.find(last);
        if (it == costs.end() || cost < it->second) costs[last] = cost;
        if (cost < bestCost) bestCost = cost, best = p;
    }
    const double variance = std::max(bestCost / std::max<std::size_t>(1, use.size() - refs_.size()), 1e-6);
    double sum = 0;
    for (auto& [last, cost] : costs) sum += weights[last] = std::exp(-(cost - bestCost) / (2 * variance));
    for (auto& [last, w] : weights) w /= sum;
    position = best;
}

// Local minima of the first frame's evidence alone, the best few.
std::vector<double> Search::Candidates() {
    rises_[0] = MakeRise(0);
    refs_ = {0};
    for (int k = 1; k < n_; ++k) partners_[0].push_back(k);
    std::vector<std::pair<double, double>> scan;  // position, score
    for (double p = rise_ + 1; p <= n_ + rise_; p += kCoarseStep)
        scan.push_back({p, Evidence(0, p, {typical_, typical_})});
    std::vector<std::pair<double, double>> minima;  // score, position
    for (std::size_t i = 0; i < scan.size(); ++i) {
        const bool low = (i == 0 || scan[i].second <= scan[i - 1].second) &&
                         (i + 1 == scan.size() || scan[i].second <= scan[i + 1].second);
        if (low && scan[i].second < 0) minima.push_back({scan[i].second, scan[i].first});
    }
    std::sort(minima.begin(), minima.end());
    std::vector<double> centres;
    for (auto [score, p] : minima) {
        if (std::none_of(centres.begin(), centres.end(), [&](double c) { return std::abs(c - p) < kReach; }))
            centres.push_back(p);
        if (static_cast<int>(centres.size()) >= kMaxCandidates) break;
    }
    return centres;
}

// References at the start and just past the rise, each with its own rise in both directions.
bool Search::ChooseReferences() {
    const int count = std::max(1, std::min(kReferences, n_ / 4));
    refs_.clear();
    for (int j = 0; j < count; ++j) refs_.push_back(j);
    for (int j = rise_; j < rise_ + count && j + rise_ < n_; ++j)
        if (j >= count) refs_.push_back(j);
    std::vector<std::pair<int, int>> wanted;
    for (int j : refs_)
        for (int m = 1; m <= rise_; ++m) {
            wanted.push_back({j, j + m});
            if (m <= j) wanted.push_back({j - m, j});
        }
    if (!Need(wanted)) return false;
    for (int j : refs_) rises_[static_cast<std::size_t>(j)] = MakeRise(j);
    return true;
}

// The answers' evidence, each candidate followed while its best position lies off the middle of
// what was looked at; "no full turn" (n_) is 0.
std::map<int, Search::Answer> Search::ScoreAnswers(std::vector<double> centres) {
    std::map<int, Answer> answers;
    answers[n_] = {0, 0};
    for (double c : centres) AddWindow(c);
    for (double c : centres) {
        for (int round = 0; round < 4 && !stopped_; ++round) {
            std::map<int, Answer> part;
            const double best = Scan(c, part);
            if (std::abs(best - c) < kReach - 0.3 || round == 3) {
                for (auto& [last, a] : part) {
                    auto it = answers.find(last);
                    if (it == answers.end() || a.score < it->second.score) answers[last] = a;
                }
                break;
            }
            c = best;
            AddWindow(c);
        }
    }
    return answers;
}

// Confidence of each answer (summing to 1); a later turn of an answer that is as good is the same
// answer, and too little evidence of a return is no return.
std::map<int, double> Search::Weigh(const std::map<int, Answer>& answers) const {
    double bestScore = 0;
    for (auto& [last, a] : answers) bestScore = std::min(bestScore, a.score);
    std::map<int, double> weights;
    for (auto& [last, a] : answers) {
        if (last < n_) {
            bool later = false;
            for (auto& [other, b] : answers)
                if (other < last && b.score < bestScore + 10)
                    for (int turns = 2; turns <= 4; ++turns)
                        later |= std::abs(a.position - turns * b.position) < kReach;
            if (later) continue;
        }
        weights[last] = std::exp(-(a.score - bestScore) / 2);
    }
    for (auto& [last, w] : weights)
        if (last < n_ && answers.at(last).score > -kMinEvidence) w = std::min(w, weights[n_]);
    double sum = 0;
    for (auto& [last, w] : weights) sum += w;
    for (auto& [last, w] : weights) w /= sum;
    return weights;
}

TurnEndEstimate Search::Run() {
    TurnEndEstimate out;
    if (n_ < 3) return out;
    auto stopped = [] {
        TurnEndEstimate s;
        s.stopped = true;
        return s;
    };
    std::vector<std::pair<int, int>> wanted;
    for (int k = 1; k < n_; ++k) wanted.push_back({0, k});
    if (!Need(wanted)) return stopped();
    out.fromFirst.assign(static_cast<std::size_t>(n_), 0);
    for (int k = 1; k < n_; ++k) out.fromFirst[static_cast<std::size_t>(k)] = D(0, k);
    typical_ = Median(std::vector<double>(out.fromFirst.begin() + 1, out.fromFirst.end()));
    if (!(typical_ > 0)) return out;  // every frame alike: nothing ever turned away
    while (rise_ < kMaxRise && rise_ + 1 < n_ &&
           out.fromFirst[static_cast<std::size_t>(rise_)] < kTurnedAway * typical_)
        ++rise_;
    sigma_ = kNoiseShare * typical_;
    closest_ = typical_;
    for (int k = rise_ + 1; k < n_; ++k) closest_ = std::min(closest_, out.fromFirst[static_cast<std::size_t>(k)]);
    rises_.assign(static_cast<std::size_t>(n_), Rise{});
    partners_.assign(static_cast<std::size_t>(n_), {});
    // The last frame against the ones just before it: views before the first one.
    wanted.clear();
    for (int m = 1; m <= rise_; ++m) wanted.push_back({n_ - 1 - m, n_ - 1});
    if (!Need(wanted)) return stopped();

    std::vector<double> centres = Candidates();
    // Whether the set ends on one full turn or short of it is always asked.
    centres.push_back(n_);
    if (!ChooseReferences()) return stopped();
    const std::map<int, Answer> answers = ScoreAnswers(centres);
    if (stopped_) return stopped();
    std::map<int, double> weights = Weigh(answers);
    auto leader =
        std::max_element(weights.begin(), weights.end(), [](auto& a, auto& b) { return a.second < b.second; });
    double position = answers.at(leader->first).position;

    // Where the rise spans several frames, rows place the return between frames better: they split
    // the weight of the answers around it anew.
    if (rise_ >= kRowRise && leader->first < n_) {
        const double centre = position;
        std::map<int, double> split;
        RowSplit(centre, split, position);
        if (stopped_) return stopped();
        double mass = 0;
        for (auto& [last, w] : weights)
            if (!split.empty() &&
                (last == n_ ? centre + kRowSpan >= n_ - 0.5 : std::abs(answers.at(last).position - centre) <= kRowSpan))
                mass += w, w = 0;
        for (auto& [last, w] : split) weights[last] += mass * w;
    }
    std::vector<std::pair<double, int>> ranked;
    for (auto& [last, w] : weights) ranked.push_back({w, last});
    std::sort(ranked.rbegin(), ranked.rend());
    const int last = ranked[0].second;
    out.confidence = ranked[0].first;
    if (ranked.size() > 1) {
        out.runnerUp = ranked[1].second >= n_ ? -1 : ranked[1].second;
        out.runnerUpConfidence = ranked[1].first;
    }
    if (last >= n_) return out;
    out.kind = last == n_ - 1 ? TurnEndKind::OneTurn : TurnEndKind::Found;
    out.last = last;
    out.position = std::clamp(position, last + 0.5, last + 1.5);
    return out;
}

}  // namespace

TurnEndEstimate EstimateTurnEnd(const FramePairs& pairs) {
    return Search(pairs).Run();
}

}  // namespace turnlet
