// SPDX-License-Identifier: MIT
// The editor session: the one open project, changed only through commands that can be undone.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "align/align_keyframes.h"
#include "align/turn_alignment.h"
#include "base/status.h"
#include "project/project.h"

namespace turnlet {

// What a change touched; views redraw from it instead of each handler remembering to.
enum Change : unsigned {
    kSourcesChanged = 1u << 0,
    kRotationChanged = 1u << 1,
    kCropChanged = 1u << 2,
    kRangeChanged = 1u << 3,
    kFramesChanged = 1u << 4,  // the keyframes, so the frames' values
    kExportChanged = 1u << 5,
    kBackgroundChanged = 1u << 6,
    kFileChanged = 1u << 7,     // the file's name or whether the project differs from it
    kHistoryChanged = 1u << 8,  // what Undo and Redo would do
    kProjectReplaced = 1u << 9  // New or Open: every view starts afresh
};
using Changes = unsigned;
inline constexpr Changes kEverything = (1u << 10) - 1;

// The commands, for the Undo and Redo entries' texts.
enum class Command {
    AddSources,
    DeleteSources,
    MoveSources,
    Rotation,
    Crop,
    FirstFrame,
    LastFrame,
    MoveRange,
    FrameValues,
    DeleteKeyframe,
    ClearKeyframes,
    Alignment,
    ExportSettings,
    Background,
    LocateSources
};

// Owns the project, the frames derived from it and what the last Auto-align wrote; every change
// goes through a command, each one step of the history unless a gesture (a slider or mouse drag)
// gathers several into one. Qt-free: the editor's windows, the command line and tests use it alike.
// Not thread-safe: one thread (the GUI's) calls it.
class EditorSession {
  public:
    using Listener = std::function<void(Changes)>;

    // newExportDirectory: where New points a new project's export.
    explicit EditorSession(std::string newExportDirectory = {});

    const Project& project() const { return state_.project; }
    // The frames of the turn, kept up to date with the project.
    const FrameRows& frames() const { return frames_; }
    // The source shown as frame k of the turn, or null beyond the list.
    const std::string* FrameSource(int k) const;

    // Called after every change with what it touched.
    void Subscribe(Listener listener) { listeners_.push_back(std::move(listener)); }

    // ---- The project as a whole (each clears the history) ----
    void NewProject();
    // A read error leaves everything as it was.
    Status Open(const std::string& path);
    // Writes under ProjectFileNameForSave(path), which becomes the file Save writes from then on.
    Status Save(const std::string& path);
    // The file the project was last opened from or saved to; empty for a new one.
    const std::string& fileName() const { return fileName_; }
    // Whether the project differs from that file (or from New): undoing back to it is unchanged.
    bool modified() const { return !(state_.project == saved_); }
    void setNewExportDirectory(std::string directory) { newExportDirectory_ = std::move(directory); }
    const std::string& newExportDirectory() const { return newExportDirectory_; }

    // ---- Commands ----
    // Appends photos; the turn then runs from the first to the last photo.
    void AddSources(const std::vector<std::string>& paths);
    // Removes the photos at these indexes; the frame numbers stay within the list.
    void DeleteSources(std::vector<int> indexes);
    // Moves the photo at from to index to.
    void MoveSource(int from, int to);
    // Every path beginning with oldFolder + "/" begins with newFolder + "/" instead (photos moved).
    void LocateSources(const std::string& oldFolder, const std::string& newFolder);
    void SetRotation(int index);
    void SetCrop(const std::optional<CropArea>& crop);
    void SetFirstFrame(int frame);
    void SetLastFrame(int frame);
    // Both frame numbers one photo on (delta 1) or back (-1), when the list allows it.
    void MoveRange(int delta);
    // Frame k of the turn becomes a keyframe with these values (its photo is the key).
    void SetFrameValues(int k, const KeyframeValues& values);
    void DeleteKeyframe(int k);
    void ClearKeyframes();
    void SetExportSettings(const ExportSettings& settings);
    void SetBackground(Color color);

    // ---- Auto-align's bookkeeping ----
    // Whether a frame's photo has a keyframe set by hand (one the last Auto-align did not write, or
    // changed since).
    bool HasHandSetKeyframe(const std::string& path) const;
    // Writes an alignment of the photos paths (frames from the first of the turn on) as keyframes.
    // What the last run wrote and nobody changed since is replaced like a frame without a keyframe;
    // other keyframes only when replaceManual.
    AppliedAlignment ApplyAlignment(const std::vector<std::string>& paths, const std::vector<FrameAlignment>& results,
                                    bool replaceManual);
    // How sure the last Auto-align was of frame k's values (0 .. 1), while its photo is there; none
    // before a run, or for photos it did not see. Kept for the session only: neither saved nor undone.
    std::optional<double> FrameAlignConfidence(int k) const;

    // ---- History ----
    // Until EndGesture, commands gather into one step of the history. Gestures nest.
    void BeginGesture();
    void EndGesture();
    bool canUndo() const { return done_ > 0; }
    bool canRedo() const { return done_ < history_.size(); }
    std::optional<Command> undoCommand() const;
    std::optional<Command> redoCommand() const;
    void Undo();
    void Redo();
    // Steps kept; older ones are forgotten.
    static constexpr std::size_t kHistoryLimit = 500;

  private:
    struct State {
        Project project;
        // Per photo: the values the last Auto-align wrote.
        std::map<std::string, KeyframeValues> alignWritten;
        friend bool operator==(const State&, const State&) = default;
    };
    // A state as a step of the history keeps it: the large parts (the photo list, the keyframes,
    // Auto-align's bookkeeping) only when the step changed them, so a long history of small edits on
    // a project of thousands of photos stays small; the rest always.
    struct Snapshot {
        Project small;  // without sources and keyframes
        std::optional<std::vector<std::string>> sources;
        std::optional<Keyframes> keyframes;
        std::optional<std::map<std::string, KeyframeValues>> alignWritten;
    };
    struct Step {
        Command command;
        Changes changes;
        Snapshot before, after;
    };
    // The step from `from` to `to`, keeping the large parts that differ.
    static void Record(Step& step, const State& from, const State& to);
    // state with the parts the snapshot holds put back (the others are the same in both).
    static void Put(State& state, const Snapshot& snapshot);

    // Runs edit on a copy of the state; if anything changed, records the step and tells the views.
    void Apply(Command command, Changes changes, const std::function<void(State&)>& edit);
    void Restore(const Snapshot& snapshot, Changes changes);
    void Replaced();
    void Notify(Changes changes);
    bool WrittenByAutoAlign(const State& state, const std::string& path) const;

    State state_;
    std::map<std::string, double> alignConfidence_;  // per photo
    FrameRows frames_;
    Project saved_;
    std::string fileName_;
    std::string newExportDirectory_;
    std::vector<Step> history_;
    std::size_t done_ = 0;  // steps of history_ in effect
    int gestureDepth_ = 0;
    bool gestureOpen_ = false;  // the current gesture already has its step
    State gestureStart_;        // the state before the open gesture's step
    std::vector<Listener> listeners_;
};

}  // namespace turnlet
