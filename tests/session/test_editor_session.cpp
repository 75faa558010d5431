// SPDX-License-Identifier: MIT
// The editor session: random editing undone and redone to the byte, the history's rules, the change notices.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "session_test_support.h"

namespace turnlet {
namespace {

using testing::OpenedSession;
using testing::ReadBytes;

// Random editing as a user does it: every command with arguments in and out of range, some of them
// inside slider or mouse gestures (nested now and then).
class RandomEditor {
  public:
    RandomEditor(EditorSession& session, unsigned seed) : session_(session), random_(seed) {}

    // One step of the history as the user sees it: a command, or a gesture of several. Whether any
    // of them changed the project (then the history has one step more).
    bool Step() {
        changed_ = false;
        if (Pick(0, 5) == 0) {
            session_.BeginGesture();
            const int k = Pick(-1, Frames());
            for (int i = Pick(1, 6); i > 0; --i) {
                // A drag edits one frame again and again; a crop or colour drag repeats its command.
                if (Pick(0, 1)) {
                    Run([&] { session_.SetFrameValues(k, Values()); });
                } else {
                    Command();
                }
                if (Pick(0, 8) == 0) {
                    session_.BeginGesture();
                    Command();
                    session_.EndGesture();
                }
            }
            session_.EndGesture();
        } else {
            Command();
        }
        return changed_;
    }

  private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    int Sources() const { return static_cast<int>(session_.project().sources.size()); }
    int Frames() const { return static_cast<int>(session_.frames().size()); }
    std::string Path() {
        static const char* const names[] = {"/shots/a04.jpg", "/shots/new,1.jpg", "/снимки/b 2.png", "/x/y.bmp", ""};
        return names[Pick(0, 4)];
    }
    KeyframeValues Values() {
        KeyframeValues values;
        for (double& v : values) v = std::uniform_real_distribution<double>(-200, 200)(random_) / Pick(1, 7);
        return values;
    }

    void Run(const std::function<void()>& command) {
        const Project before = session_.project();
        command();
        changed_ = changed_ || !(session_.project() == before);
    }

    void Command() {
        Run([&] { RandomCommand(); });
    }

    void RandomCommand() {
        const Project& p = session_.project();
        switch (Pick(0, 14)) {
            case 0: {
                std::vector<std::string> paths;
                for (int i = Pick(0, 3); i > 0; --i) paths.push_back(Path());
                session_.AddSources(paths);
                break;
            }
            case 1: {
                std::vector<int> indexes;
                for (int i = Pick(0, 3); i > 0; --i) indexes.push_back(Pick(-1, Sources()));
                session_.DeleteSources(indexes);
                break;
            }
            case 2:
                session_.MoveSource(Pick(-1, Sources()), Pick(-1, Sources()));
                break;
            case 3:
                session_.SetRotation(Pick(-1, 4));
                break;
            case 4:
                session_.SetCrop(Pick(0, 3) ? std::optional<CropArea>(
                                                  CropArea{Pick(-5, 400), Pick(-5, 400), Pick(0, 900), Pick(0, 900)})
                                            : std::nullopt);
                break;
            case 5:
                session_.SetFirstFrame(Pick(-2, Sources() + 1));
                break;
            case 6:
                session_.SetLastFrame(Pick(-2, Sources() + 1));
                break;
            case 7:
                session_.MoveRange(Pick(0, 1) ? 1 : -1);
                break;
            case 8:
            case 9:
                session_.SetFrameValues(Pick(-1, Frames()), Values());
                break;
            case 10:
                session_.DeleteKeyframe(Pick(-1, Frames()));
                break;
            case 11:
                if (Pick(0, 5) == 0) session_.ClearKeyframes();
                break;
            case 12: {
                ExportSettings ex = p.exportSettings;
                switch (Pick(0, 5)) {
                    case 0:
                        ex.frames = Pick(1, 1000);
                        break;
                    case 1:
                        ex.typeIndex = Pick(0, 2);
                        break;
                    case 2:
                        ex.jpegQuality = Pick(1, 100);
                        break;
                    case 3:
                        ex.width = Pick(0, 1) ? Pick(1, 4000) : 0;
                        ex.height = Pick(0, 1) ? Pick(1, 4000) : 0;
                        break;
                    case 4:
                        ex.proportional = !ex.proportional;
                        ex.smooth = Pick(0, 1);
                        break;
                    default:
                        ex.directory = Pick(0, 1) ? "/out/другой, 2" : "";
                        ex.extraSizes = !ex.extraSizes;
                }
                session_.SetExportSettings(ex);
                break;
            }
            case 13:
                session_.SetBackground(static_cast<Color>(random_()));
                break;
            default:
                session_.LocateSources(Pick(0, 1) ? "/shots" : "/moved", Pick(0, 1) ? "/moved" : "/shots");
        }
    }

    EditorSession& session_;
    std::mt19937 random_;
    bool changed_ = false;
};

// Whatever is done, undoing it all gives back the file that was opened byte for byte, and redoing
// it all the file saved after it; every step in between is the state it was.
TEST_F(OpenedSession, RandomEditingUndoneAndRedoneGivesBackTheFilesByteForByte) {
    const std::string originalBytes = ReadBytes(original);
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(session.Open(original).ok());
        RandomEditor editor(session, seed);
        std::vector<Project> states = {session.project()};
        for (int i = 0; i < 200; ++i) {
            // A change is one new step (a gesture's too, even when it ends where it began); no change,
            // no step: the undo below walks back through exactly these states.
            if (editor.Step()) states.push_back(session.project());
            ASSERT_TRUE(session.frames() == ProjectFrames(session.project()));
        }
        ASSERT_GT(states.size(), 100u);
        const std::string afterBytes = Saved("after.trn.prj");
        EXPECT_FALSE(session.modified());

        for (std::size_t i = states.size() - 1; i > 0; --i) {
            ASSERT_TRUE(session.canUndo());
            session.Undo();
            ASSERT_TRUE(session.project() == states[i - 1]) << "undo to step " << i - 1;
            ASSERT_TRUE(session.frames() == ProjectFrames(session.project()));
        }
        EXPECT_FALSE(session.canUndo());
        EXPECT_EQ(session.modified(), !(opened == states.back()));
        EXPECT_EQ(Saved("undone.trn.prj"), originalBytes);

        for (std::size_t i = 1; i < states.size(); ++i) {
            ASSERT_TRUE(session.canRedo());
            session.Redo();
            ASSERT_TRUE(session.project() == states[i]) << "redo to step " << i;
        }
        EXPECT_FALSE(session.canRedo());
        EXPECT_EQ(Saved("redone.trn.prj"), afterBytes);
    }
}

TEST_F(OpenedSession, ModifiedFollowsTheHistory) {
    EXPECT_FALSE(session.modified());
    EXPECT_EQ(session.fileName(), original);
    session.SetRotation(opened.rotationIndex);  // no change: no step
    EXPECT_FALSE(session.canUndo());
    session.SetRotation(2);
    session.SetBackground(0x00FF0000);
    EXPECT_TRUE(session.modified());
    session.Undo();
    session.Undo();
    EXPECT_FALSE(session.modified());  // undone back to the file
    session.Redo();
    Saved("mid.trn.prj");
    EXPECT_EQ(session.fileName(), folder.file("mid.trn.prj"));
    EXPECT_FALSE(session.modified());
    session.Undo();
    EXPECT_TRUE(session.modified());
    session.Redo();
    EXPECT_FALSE(session.modified());
    session.Redo();
    EXPECT_TRUE(session.modified());
    // A failed save keeps the name and the flag.
    EXPECT_FALSE(session.Save(folder.file("start.trn.prj/inside")).ok());
    EXPECT_EQ(session.fileName(), folder.file("mid.trn.prj"));
    EXPECT_TRUE(session.modified());
    // Save names the file as the dialog does.
    Saved("plain");
    EXPECT_EQ(session.fileName(), folder.file("plain.trn.prj"));
}

TEST_F(OpenedSession, AGestureIsOneStep) {
    session.SetBackground(1);
    session.BeginGesture();
    for (int x = 0; x < 5; ++x) session.SetFrameValues(1, {static_cast<double>(x), 0, 0, 0, 0, 0, 0});
    session.BeginGesture();  // a nested gesture stays in the outer one
    session.SetCrop(std::nullopt);
    session.EndGesture();
    session.SetFrameValues(2, {9, 0, 0, 0, 0, 0, 0});
    session.EndGesture();
    const Project dragged = session.project();
    EXPECT_EQ(session.undoCommand(), Command::FrameValues);
    session.Undo();
    EXPECT_EQ(session.undoCommand(), Command::Background);
    EXPECT_EQ(session.project().crop, opened.crop);
    EXPECT_EQ(session.project().keyframes, opened.keyframes);
    session.Redo();
    EXPECT_TRUE(session.project() == dragged);

    // After the gesture a command is a step of its own; a gesture that changes nothing makes none.
    session.SetRotation(3);
    session.BeginGesture();
    session.SetRotation(3);
    session.EndGesture();
    EXPECT_EQ(session.undoCommand(), Command::Rotation);
    session.Undo();
    EXPECT_TRUE(session.project() == dragged);
}

TEST_F(OpenedSession, ACommandAfterUndoDropsTheRedoSteps) {
    session.SetRotation(2);
    session.SetBackground(5);
    session.Undo();
    EXPECT_EQ(session.redoCommand(), Command::Background);
    session.SetCrop(std::nullopt);
    EXPECT_FALSE(session.canRedo());
    EXPECT_EQ(session.redoCommand(), std::nullopt);
    session.Undo();
    session.Undo();
    EXPECT_TRUE(session.project() == opened);
    EXPECT_FALSE(session.canUndo());
    EXPECT_EQ(session.undoCommand(), std::nullopt);
    session.Undo();  // nothing to undo: nothing happens
    EXPECT_TRUE(session.project() == opened);
}

TEST_F(OpenedSession, NewAndOpenClearTheHistory) {
    session.SetRotation(2);
    session.SetBackground(5);
    session.Undo();
    EXPECT_FALSE(session.Open(folder.file("missing.trn.prj")).ok());  // a failed Open changes nothing
    EXPECT_TRUE(session.canUndo() && session.canRedo());
    EXPECT_EQ(session.project().rotationIndex, 2);

    session.NewProject();
    EXPECT_FALSE(session.canUndo() || session.canRedo());
    EXPECT_FALSE(session.modified());
    EXPECT_EQ(session.fileName(), "");
    Project fresh = opened;
    New(fresh, "/new/result");
    EXPECT_TRUE(session.project() == fresh);
    EXPECT_EQ(session.project().exportSettings.directory, "/new/result");

    session.AddSources({"/a.jpg"});
    ASSERT_TRUE(session.Open(original).ok());
    EXPECT_FALSE(session.canUndo() || session.canRedo());
    EXPECT_FALSE(session.modified());
    EXPECT_TRUE(session.project() == opened);
}

TEST_F(OpenedSession, TheHistoryKeepsItsLimitOfSteps) {
    const std::size_t extra = 20;
    for (std::size_t i = 0; i < EditorSession::kHistoryLimit + extra; ++i) session.SetBackground(static_cast<Color>(i));
    std::size_t steps = 0;
    for (; session.canUndo(); ++steps) session.Undo();
    EXPECT_EQ(steps, EditorSession::kHistoryLimit);
    EXPECT_EQ(session.project().backgroundColor, extra - 1);  // the oldest steps are forgotten
    EXPECT_TRUE(session.modified());
}

// A frame size kept in the crop's proportions follows a new crop in the same step.
TEST_F(OpenedSession, ACropCarriesAProportionalFrameSizeAlong) {
    const struct {
        bool proportional;
        std::int32_t width, height;
        std::optional<CropArea> crop;
        std::int32_t followedHeight;
    } cases[] = {
        {true, 600, 400, CropArea{0, 0, 30, 10}, 200},
        {true, 600, 400, CropArea{0, 0, 3, 2}, 400},
        {false, 600, 400, CropArea{0, 0, 30, 10}, 400},
        {true, 600, 0, CropArea{0, 0, 30, 10}, 0},
        {true, 600, 400, std::nullopt, 400},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(session.Open(original).ok());
        ExportSettings settings = session.project().exportSettings;
        settings.proportional = c.proportional;
        settings.width = c.width;
        settings.height = c.height;
        session.SetExportSettings(settings);
        session.SetCrop(c.crop);
        EXPECT_EQ(session.project().exportSettings.height, c.followedHeight);
        EXPECT_EQ(session.project().exportSettings.width, c.width);
        session.Undo();
        EXPECT_EQ(session.project().exportSettings, settings);
        EXPECT_EQ(session.project().crop, opened.crop);
    }
}

// Each command tells the views what it touched, with the history, and the file flag when it turns.
TEST_F(OpenedSession, ListenersHearWhatEachChangeTouched) {
    const Changes history = kHistoryChanged, file = kFileChanged;
    const struct {
        const char* name;
        std::function<void(EditorSession&)> run;
        Changes expected;  // after a first change that set the file flag
    } cases[] = {
        {"add sources", [](EditorSession& s) { s.AddSources({"/n.jpg"}); }, kSourcesChanged | kRangeChanged},
        {"delete sources", [](EditorSession& s) { s.DeleteSources({0}); }, kSourcesChanged | kRangeChanged},
        {"move a source", [](EditorSession& s) { s.MoveSource(0, 5); }, kSourcesChanged},
        {"locate sources", [](EditorSession& s) { s.LocateSources("/shots", "/moved"); }, kSourcesChanged},
        {"rotation", [](EditorSession& s) { s.SetRotation(0); }, kRotationChanged},
        {"crop",
         [](EditorSession& s) {
             s.SetCrop(CropArea{0, 0, 30, 10});
         },
         kCropChanged | kExportChanged},
        {"first frame", [](EditorSession& s) { s.SetFirstFrame(2); }, kRangeChanged},
        {"last frame", [](EditorSession& s) { s.SetLastFrame(5); }, kRangeChanged},
        {"move range", [](EditorSession& s) { s.MoveRange(-1); }, kRangeChanged},
        {"frame values",
         [](EditorSession& s) {
             s.SetFrameValues(0, {1, 0, 0, 0, 0, 0, 0});
         },
         kFramesChanged},
        {"delete keyframe", [](EditorSession& s) { s.DeleteKeyframe(0); }, kFramesChanged},
        {"clear keyframes", [](EditorSession& s) { s.ClearKeyframes(); }, kFramesChanged},
        {"export", [](EditorSession& s) { s.SetExportSettings({}); }, kExportChanged},
        {"background", [](EditorSession& s) { s.SetBackground(0); }, kBackgroundChanged},
        {"alignment", [](EditorSession& s) { s.ApplyAlignment({"/shots/a,02.jpg"}, {{}}, true); }, kFramesChanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Changes> heard;
        EditorSession listened{"/new/result"};
        listened.Subscribe([&](Changes changes) { heard.push_back(changes); });
        ASSERT_TRUE(listened.Open(original).ok());
        EXPECT_EQ(heard, std::vector<Changes>{kEverything});
        heard.clear();
        c.run(listened);
        EXPECT_EQ(heard, std::vector<Changes>{c.expected | history | file});
        listened.SetRotation(3);  // modified already: no file change
        listened.Undo();
        listened.SetRotation(listened.project().rotationIndex);  // no change: no notice
        listened.Undo();                                         // back to the file
        listened.Redo();
        EXPECT_EQ(heard, (std::vector<Changes>{c.expected | history | file, kRotationChanged | history,
                                               kRotationChanged | history, c.expected | history | file,
                                               c.expected | history | file}));
        heard.clear();
        ASSERT_TRUE(listened.Save(folder.file("heard.trn.prj")).ok());
        listened.NewProject();
        EXPECT_EQ(heard, (std::vector<Changes>{file, kEverything}));
    }
}

}  // namespace
}  // namespace turnlet
