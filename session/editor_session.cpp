// SPDX-License-Identifier: MIT
// The editor session: the one open project, changed only through commands that can be undone.
#include "session/editor_session.h"

#include <algorithm>
#include <utility>

#include "session/make_export_plan.h"

namespace turnlet {

EditorSession::EditorSession(std::string newExportDirectory) : newExportDirectory_(std::move(newExportDirectory)) {
    New(state_.project, newExportDirectory_);
    saved_ = state_.project;
    frames_ = ProjectFrames(state_.project);
}

const std::string* EditorSession::FrameSource(int k) const {
    const long long index = static_cast<long long>(state_.project.firstFrame) + k;
    const auto& sources = state_.project.sources;
    if (k < 0 || index < 0 || index >= static_cast<long long>(sources.size())) return nullptr;
    return &sources[static_cast<std::size_t>(index)];
}

void EditorSession::Notify(Changes changes) {
    // A listener may run a command in turn; it gets its own notice.
    const std::vector<Listener> listeners = listeners_;
    for (const Listener& listener : listeners) listener(changes);
}

void EditorSession::Replaced() {
    state_.alignWritten.clear();
    alignConfidence_.clear();
    saved_ = state_.project;
    history_.clear();
    done_ = 0;
    gestureOpen_ = false;
    frames_ = ProjectFrames(state_.project);
    Notify(kEverything);
}

void EditorSession::NewProject() {
    New(state_.project, newExportDirectory_);
    fileName_.clear();
    Replaced();
}

Status EditorSession::Open(const std::string& path) {
    Project opened = state_.project;
    if (Status status = OpenProject(opened, path, newExportDirectory_); !status.ok()) return status;
    state_.project = std::move(opened);
    fileName_ = path;
    Replaced();
    return Status::Ok();
}

Status EditorSession::Save(const std::string& path) {
    const std::string name = ProjectFileNameForSave(path);
    if (Status status = SaveProject(state_.project, name); !status.ok()) return status;
    fileName_ = name;
    saved_ = state_.project;
    Notify(kFileChanged);
    return Status::Ok();
}

void EditorSession::Apply(Command command, Changes changes, const std::function<void(State&)>& edit) {
    State next = state_;
    edit(next);
    if (next == state_) return;
    const bool wasModified = modified();
    if (gestureDepth_ > 0 && gestureOpen_ && done_ > 0 && done_ == history_.size()) {
        Step& step = history_[done_ - 1];
        Record(step, gestureStart_, next);
        step.changes |= changes;
    } else {
        history_.resize(done_);
        Step& step = history_.emplace_back(Step{command, changes, {}, {}});
        Record(step, state_, next);
        if (history_.size() > kHistoryLimit) history_.erase(history_.begin());
        done_ = history_.size();
        gestureOpen_ = gestureDepth_ > 0;
        if (gestureOpen_) gestureStart_ = state_;
    }
    state_ = std::move(next);
    if (changes & (kSourcesChanged | kRangeChanged | kFramesChanged)) frames_ = ProjectFrames(state_.project);
    Notify(changes | kHistoryChanged | (wasModified != modified() ? kFileChanged : 0u));
}

void EditorSession::Record(Step& step, const State& from, const State& to) {
    const bool sources = from.project.sources != to.project.sources;
    const bool keyframes = from.project.keyframes != to.project.keyframes;
    const bool written = from.alignWritten != to.alignWritten;
    const auto take = [&](const State& state, Snapshot& snapshot) {
        snapshot.small = state.project;
        snapshot.small.sources.clear();
        snapshot.small.keyframes.clear();
        snapshot.sources.reset();
        snapshot.keyframes.reset();
        snapshot.alignWritten.reset();
        if (sources) snapshot.sources = state.project.sources;
        if (keyframes) snapshot.keyframes = state.project.keyframes;
        if (written) snapshot.alignWritten = state.alignWritten;
    };
    take(from, step.before);
    take(to, step.after);
}

void EditorSession::Put(State& state, const Snapshot& snapshot) {
    Project project = snapshot.small;
    project.sources = snapshot.sources ? *snapshot.sources : std::move(state.project.sources);
    project.keyframes = snapshot.keyframes ? *snapshot.keyframes : std::move(state.project.keyframes);
    state.project = std::move(project);
    if (snapshot.alignWritten) state.alignWritten = *snapshot.alignWritten;
}

void EditorSession::Restore(const Snapshot& snapshot, Changes changes) {
    const bool wasModified = modified();
    Put(state_, snapshot);
    frames_ = ProjectFrames(state_.project);
    Notify(changes | kHistoryChanged | (wasModified != modified() ? kFileChanged : 0u));
}

void EditorSession::BeginGesture() {
    if (gestureDepth_++ == 0) gestureOpen_ = false;
}

void EditorSession::EndGesture() {
    if (gestureDepth_ > 0 && --gestureDepth_ == 0) gestureOpen_ = false;
}

std::optional<Command> EditorSession::undoCommand() const {
    if (!canUndo()) return std::nullopt;
    return history_[done_ - 1].command;
}

std::optional<Command> EditorSession::redoCommand() const {
    if (!canRedo()) return std::nullopt;
    return history_[done_].command;
}

void EditorSession::Undo() {
    if (!canUndo()) return;
    gestureOpen_ = false;
    const Step& step = history_[--done_];
    Restore(step.before, step.changes);
}

void EditorSession::Redo() {
    if (!canRedo()) return;
    gestureOpen_ = false;
    const Step& step = history_[done_++];
    Restore(step.after, step.changes);
}

void EditorSession::AddSources(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    Apply(Command::AddSources, kSourcesChanged | kRangeChanged, [&](State& s) {
        Project& p = s.project;
        p.sources.insert(p.sources.end(), paths.begin(), paths.end());
        p.firstFrame = 0;
        p.lastFrame = static_cast<int>(p.sources.size()) - 1;
    });
}

void EditorSession::DeleteSources(std::vector<int> indexes) {
    std::sort(indexes.rbegin(), indexes.rend());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    Apply(Command::DeleteSources, kSourcesChanged | kRangeChanged, [&](State& s) {
        Project& p = s.project;
        for (int index : indexes)
            if (index >= 0 && index < static_cast<int>(p.sources.size())) p.sources.erase(p.sources.begin() + index);
        // The numbers stay within the list; items deleted inside the range move other photographs
        // under its frames even when neither number changes.
        const int count = static_cast<int>(p.sources.size());
        if (p.firstFrame >= count) p.firstFrame = std::max(count - 1, 0);
        if (p.lastFrame >= count) p.lastFrame = std::max(count - 1, 0);
        turnlet::SetFirstFrame(p, p.firstFrame);
        turnlet::SetLastFrame(p, std::max(p.lastFrame, 0));
    });
}

void EditorSession::MoveSource(int from, int to) {
    Apply(Command::MoveSources, kSourcesChanged, [&](State& s) {
        auto& sources = s.project.sources;
        const int count = static_cast<int>(sources.size());
        if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
        std::string moved = std::move(sources[static_cast<std::size_t>(from)]);
        sources.erase(sources.begin() + from);
        sources.insert(sources.begin() + to, std::move(moved));
    });
}

void EditorSession::LocateSources(const std::string& oldFolder, const std::string& newFolder) {
    Apply(Command::LocateSources, kSourcesChanged, [&](State& s) {
        const std::string from = oldFolder + "/";
        const std::string to = newFolder + "/";
        auto move = [&](std::string& path) {
            if (path.starts_with(from)) path = to + path.substr(from.size());
        };
        for (std::string& path : s.project.sources) move(path);
        // Keyframes are keyed by their photo's path: they move with it.
        for (Keyframe& keyframe : s.project.keyframes) move(keyframe.path);
        std::map<std::string, KeyframeValues> written;
        for (const auto& [path, values] : s.alignWritten) {
            std::string moved = path;
            move(moved);
            written.emplace(std::move(moved), values);
        }
        s.alignWritten = std::move(written);
    });
}

void EditorSession::SetRotation(int index) {
    Apply(Command::Rotation, kRotationChanged,
          [&](State& s) { s.project.rotationIndex = index >= 0 && index <= 3 ? index : 0; });
}

void EditorSession::SetCrop(const std::optional<CropArea>& crop) {
    Apply(Command::Crop, kCropChanged | kExportChanged, [&](State& s) {
        s.project.crop = crop;
        // A frame size kept in the crop's proportions follows the crop in the same step.
        ExportSettings& ex = s.project.exportSettings;
        if (crop && ex.proportional && ex.width > 0 && ex.height > 0) {
            const FrameSize size = FollowCrop({ex.width, ex.height}, crop->width, crop->height);
            ex.height = size.height;
        }
    });
}

void EditorSession::SetFirstFrame(int frame) {
    Apply(Command::FirstFrame, kRangeChanged, [&](State& s) { turnlet::SetFirstFrame(s.project, frame); });
}

void EditorSession::SetLastFrame(int frame) {
    Apply(Command::LastFrame, kRangeChanged, [&](State& s) { turnlet::SetLastFrame(s.project, frame); });
}

void EditorSession::MoveRange(int delta) {
    Apply(Command::MoveRange, kRangeChanged, [&](State& s) {
        Project& p = s.project;
        const int count = static_cast<int>(p.sources.size());
        if (delta < 0 && p.firstFrame + delta < 0) return;
        if (delta > 0 && p.lastFrame + delta > count - 1) return;
        p.firstFrame += delta;
        p.lastFrame += delta;
    });
}

void EditorSession::SetFrameValues(int k, const KeyframeValues& values) {
    const std::string* path = FrameSource(k);
    if (!path) return;
    const std::string key = *path;
    Apply(Command::FrameValues, kFramesChanged, [&](State& s) { ChangeKeyframe(s.project.keyframes, key, values); });
}

void EditorSession::DeleteKeyframe(int k) {
    const std::string* path = FrameSource(k);
    if (!path) return;
    const std::string key = *path;
    Apply(Command::DeleteKeyframe, kFramesChanged,
          [&](State& s) { turnlet::DeleteKeyframe(s.project.keyframes, key); });
}

void EditorSession::ClearKeyframes() {
    Apply(Command::ClearKeyframes, kFramesChanged, [](State& s) { s.project.keyframes.clear(); });
}

void EditorSession::SetExportSettings(const ExportSettings& settings) {
    Apply(Command::ExportSettings, kExportChanged, [&](State& s) { s.project.exportSettings = settings; });
}

void EditorSession::SetBackground(Color color) {
    Apply(Command::Background, kBackgroundChanged, [&](State& s) { s.project.backgroundColor = color; });
}

bool EditorSession::WrittenByAutoAlign(const State& state, const std::string& path) const {
    const int index = FindKeyframe(state.project.keyframes, path);
    const auto written = state.alignWritten.find(path);
    return index >= 0 && written != state.alignWritten.end() &&
           written->second == state.project.keyframes[static_cast<std::size_t>(index)].values;
}

bool EditorSession::HasHandSetKeyframe(const std::string& path) const {
    return FindKeyframe(state_.project.keyframes, path) >= 0 && !WrittenByAutoAlign(state_, path);
}

AppliedAlignment EditorSession::ApplyAlignment(const std::vector<std::string>& paths,
                                               const std::vector<FrameAlignment>& results, bool replaceManual) {
    AppliedAlignment applied;
    // The frames as they stand: a frame keeps its scale and tone, and one that cannot be aligned its
    // values, as shown before the run.
    const FrameRows before = frames_;
    // Before the step, so that the views it tells see them.
    alignConfidence_.clear();
    for (std::size_t k = 0; k < paths.size() && k < results.size(); ++k)
        alignConfidence_[paths[k]] = results[k].confidence;
    Apply(Command::Alignment, kFramesChanged, [&](State& s) {
        Project& p = s.project;
        if (!replaceManual)
            for (const std::string& path : paths)
                if (WrittenByAutoAlign(s, path)) turnlet::DeleteKeyframe(p.keyframes, path);
        applied = turnlet::ApplyAlignment(p.keyframes, before, p.sources, p.firstFrame, results, replaceManual);
        s.alignWritten.clear();
        for (std::size_t k = 0; k < paths.size(); ++k) {
            const int index = FindKeyframe(p.keyframes, paths[k]);
            const bool kept =
                std::find(applied.kept.begin(), applied.kept.end(), static_cast<int>(k)) != applied.kept.end();
            if (index >= 0 && !kept) s.alignWritten[paths[k]] = p.keyframes[static_cast<std::size_t>(index)].values;
        }
    });
    return applied;
}

std::optional<double> EditorSession::FrameAlignConfidence(int k) const {
    const std::string* path = FrameSource(k);
    if (!path) return std::nullopt;
    const auto found = alignConfidence_.find(*path);
    if (found == alignConfidence_.end()) return std::nullopt;
    return found->second;
}

}  // namespace turnlet
