// SPDX-License-Identifier: MIT
// Auto-align in the session: what its last run wrote is its own to replace; keyframes set by hand are not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session_test_support.h"

namespace turnlet {
namespace {

using testing::OpenedSession;

std::vector<FrameAlignment> Shifts(std::vector<double> dx) {
    std::vector<FrameAlignment> results;
    for (double x : dx) {
        FrameAlignment f;
        f.DX = x;
        f.aligned = true;
        f.confidence = 1;
        results.push_back(f);
    }
    return results;
}

class AlignedSession : public OpenedSession {
  protected:
    // The photos of the turn, frames 0 .. 3; the start project has hand-set keyframes on 0 and 2.
    std::vector<std::string> Turn() const {
        const auto& s = session.project().sources;
        return {s.begin() + 1, s.begin() + 5};
    }
    double DxOf(const std::string& path) const {
        const Keyframes& keyframes = session.project().keyframes;
        const int index = FindKeyframe(keyframes, path);
        return index < 0 ? -1 : keyframes[static_cast<std::size_t>(index)].values[kDX];
    }
    std::vector<bool> HandSet() const {
        std::vector<bool> hand;
        for (const std::string& path : Turn()) hand.push_back(session.HasHandSetKeyframe(path));
        return hand;
    }
};

TEST_F(AlignedSession, TheLastRunsKeyframesAreReplacedAndHandSetOnesKept) {
    const std::vector<std::string> turn = Turn();
    EXPECT_EQ(HandSet(), (std::vector<bool>{true, false, true, false}));

    AppliedAlignment applied = session.ApplyAlignment(turn, Shifts({0, 1, 2, 3}), false);
    EXPECT_EQ(applied.kept, (std::vector<int>{0, 2}));
    EXPECT_EQ(HandSet(), (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(DxOf(turn[1]), 3.5 + 1);  // on top of the kept first frame's DX

    // A keyframe the run wrote and the user then changed is the user's.
    session.SetFrameValues(3, {40, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(HandSet(), (std::vector<bool>{true, false, true, true}));

    applied = session.ApplyAlignment(turn, Shifts({0, 10, 20, 30}), false);
    EXPECT_EQ(applied.kept, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(DxOf(turn[1]), 3.5 + 10);  // replaced without asking
    EXPECT_EQ(DxOf(turn[3]), 40);
    EXPECT_EQ(DxOf(turn[2]), 6.66667);

    // Undo brings back what each run had written, and so whose each keyframe is.
    session.Undo();
    EXPECT_EQ(DxOf(turn[1]), 3.5 + 1);
    EXPECT_EQ(HandSet(), (std::vector<bool>{true, false, true, true}));
    session.Undo();
    EXPECT_EQ(HandSet(), (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(DxOf(turn[3]), 3.5 + 3);

    // Replacing everything makes every keyframe of the turn the run's own; the first frame is the reference.
    applied = session.ApplyAlignment(turn, Shifts({0, 1, 2, 3}), true);
    EXPECT_TRUE(applied.kept.empty());
    EXPECT_EQ(HandSet(), (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(DxOf(turn[0]), 0);
    EXPECT_EQ(DxOf(turn[2]), 2);
    EXPECT_EQ(session.undoCommand(), Command::Alignment);
}

TEST_F(AlignedSession, LocatedPhotosTakeTheirKeyframesAlong) {
    session.ApplyAlignment(Turn(), Shifts({0, 1, 2, 3}), false);
    const FrameRows frames = session.frames();
    const Keyframes keyframes = session.project().keyframes;

    session.LocateSources("/shots", "/moved");
    EXPECT_EQ(session.project().sources,
              (std::vector<std::string>{"/moved/a 01.jpg", "/moved/a,02.jpg", "/снимки/a03.png", "/moved/a04.jpg",
                                        "/moved/a05.jpg", "/moved/a06.jpg"}));
    EXPECT_TRUE(session.frames() == frames);
    ASSERT_EQ(session.project().keyframes.size(), keyframes.size());
    for (std::size_t i = 0; i < keyframes.size(); ++i) {
        const std::string& path = keyframes[i].path;
        const std::string moved = path.starts_with("/shots/") ? "/moved/" + path.substr(7) : path;
        EXPECT_EQ(session.project().keyframes[i], (Keyframe{moved, keyframes[i].values}));
    }
    // Whose each keyframe is moves along too.
    EXPECT_EQ(HandSet(), (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(session.ApplyAlignment(Turn(), Shifts({0, 5, 5, 5}), false).kept, (std::vector<int>{0, 2}));
    EXPECT_EQ(DxOf("/moved/a05.jpg"), 3.5 + 5);

    // Only whole folder names match.
    const Project before = session.project();
    session.LocateSources("/move", "/elsewhere");
    EXPECT_TRUE(session.project() == before);
    EXPECT_EQ(session.undoCommand(), Command::Alignment);
    session.Undo();
    session.Undo();
    EXPECT_EQ(session.project().sources[0], "/shots/a 01.jpg");
    EXPECT_EQ(session.project().keyframes, keyframes);
}

}  // namespace
}  // namespace turnlet
