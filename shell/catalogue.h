// SPDX-License-Identifier: MIT
// The catalogue of the texts the program builds when it shows them, by message id, in either language.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace turnlet {

enum class Language { English, Russian };

// "ru" is Russian; every other code is English.
Language LanguageOf(std::string_view languageCode);

enum class Msg {
    NoImagesLoaded,        // "Export" with no images
    ExportFinished,        // end of an export
    AboutCaption,          // About box title
    AboutVersion,          // About box version label
    StatusSource,          // status bar panel 0 prefix
    StatusArea,            // panel 1
    StatusAllImages,       // panel 2
    StatusSelectedImages,  // panel 3
    FramesRepeat,          // export dialog: more output frames than the turn has; the count and ")" follow
    WrongFileType,         // a source of no known picture type
    // Export outcomes; {1} frames written, {2} frames planned, {3} a reason or a list.
    ExportFinishedWithProblems,
    ExportBlankFrames,  // {1} frames with problems, {2} planned, {3} the list
    ExportProblemLine,  // {1} frame file, {2} source
    ExportStopped,
    ExportFailed,
    ExportPageShortened,  // {1} frames the page now shows
    ExportPageRemoved,
    ExportPageFailed,   // {1} the reason
    ExportVideoFailed,  // {1} the reason
    ExportNoFfmpeg,     // {1} the FFmpeg program that cannot be run; asks whether to go on without the MP4
    ExportNothingToExport,
    ExportCreateFolder,  // {1} the folder
    ExportFolderFailed,  // {1} the reason
    ExportSizeDistorts,  // {1}x{2} frame, {3}x{4} crop
    ExportStopQuestion,  // closing the dialog while an export runs
    OpenFolder,          // the button beside "Export finished!"
    GuideMissing,        // {1} the user guide's file
    NoBrowser,           // {1} the user guide's file
    UnsavedChanges,      // {1} the project's file, or Untitled
    Untitled,
    Undo,  // {1} what the step did
    Redo,
    UndoNothing,
    RedoNothing,
    CommandAddSources,
    CommandDeleteSources,
    CommandMoveSources,
    CommandRotation,
    CommandCrop,
    CommandFirstFrame,
    CommandLastFrame,
    CommandMoveRange,
    CommandFrameValues,
    CommandDeleteKeyframe,
    CommandClearKeyframes,
    CommandAlignment,
    CommandExportSettings,
    CommandBackground,
    CommandLocateSources,
    ReplaceFile,         // {1} the file
    BadFileName,         // {1} the name typed
    LeftoverFrames,      // {1} how many, {2} one of them
    MissingSources,      // {1} how many, {2} the first
    LocateSourcesTitle,  // the folder chooser's title
    MissingFile,         // a source list item whose file is gone
    // Buttons of the message boxes.
    ButtonOk,
    ButtonYes,
    ButtonNo,
    ButtonSave,
    ButtonDiscard,
    ButtonCancel,
    // File choosers: titles and the names in their filters.
    TitleOpenProject,
    TitleSaveProject,
    TitleAddImages,
    FilterProject,      // "Turnlet Project"
    FilterAllFiles,     // "All files"
    FilterAllPictures,  // "All"
    FilterJpeg,
    FilterPng,
    FilterBitmaps,
    FilterVideo,
    // Failures caught at the top of the event loop.
    FailNoMemory,
    FailUnexpected,
    // The video import.
    VideoNoFfmpeg,
    VideoNoSource,
    VideoSourceMissing,  // {1} the video
    VideoNoFolder,
    VideoFolderMissing,   // {1} the folder
    VideoReplace,         // {1} the folder
    VideoExtracting,      // {1} the video
    VideoNotStarted,      // {1} the program, {2} why
    VideoNotStartedBare,  // {1} the program
    VideoCrashed,         // {1} the program
    VideoFailed,          // {1} the exit code
    VideoNothingWritten,  // {1} the folder
    VideoOnePicture,      // {1} the folder
    VideoPictures,        // {1} how many, {2} the folder
    // The About box.
    AboutNotice,
    AboutGuideLink,
    // Automatic alignment and the end of the turn.
    AlignProgress,
    AlignReplaceManual,
    FindingEnd,
    NoFullTurn,
    OneFullTurn,
    TurnEndLast,           // {1} the frame, {2} the confidence
    TurnEndRunnerUpFrame,  // {1} the frame, {2} its confidence
    TurnEndRunnerUpNone,   // {1} its confidence
    Percent,               // {1} a whole number
    UnalignedFrames,       // {1} the list
    // The last Auto-align's confidence in the frames table.
    AlignConfidence,     // the column's header
    AlignConfidenceTip,  // the header's tooltip
    // The studio batch (File -> Batch export...); failures' {n} are BatchFailure's details.
    BatchTitle,
    BatchNoPhotos,      // {1} the folder
    BatchTooFewPhotos,  // {1} found, {2} skipped at the start, {3} left off at the end, {4} the least
    BatchNoFullTurn,
    BatchCropDoesNotFit,  // {1} x {2} crop at {3}, {4}; {5} x {6} photos
    BatchSameName,        // {1} the other folder
    BatchBlankFrames,     // {1} frames, {2} the first one's photo
    BatchStateDone,
    BatchStateSkipped,
    BatchStateFailed,
    BatchStateStopped,
    BatchFoldersLabel,
    BatchAddFolder,
    BatchAddFoldersInside,
    BatchRemoveFolders,
    BatchOutputLabel,
    BatchBrowse,
    BatchAlign,
    BatchFindLast,
    BatchForce,
    BatchJobs,
    BatchStart,
    BatchStop,
    BatchClose,
    BatchColumnProduct,
    BatchColumnStatus,
    BatchColumnFrames,
    BatchColumnMessage,
    BatchStageFindingTurn,
    BatchStageAligning,
    BatchStageExporting,
    BatchProgress,       // {1} products ended, {2} of them, {3} product, {4} stage, {5} done, {6} total
    BatchTimeLeft,       // {1} minutes and seconds, "m:ss"
    BatchSummary,        // {1} done, {2} done earlier, {3} failed, {4} stopped
    BatchReportWritten,  // {1} the report's files
    BatchReportFailed,   // {1} the reason
    BatchNoFolders,
    BatchNoOutput,
    BatchStopQuestion,
    BatchStopping,
};

// The message's text in language.
const char* Tr(Msg message, Language language);

// The text with "{1}", "{2}" ... replaced by the arguments in order.
std::string Tr(Msg message, Language language, std::initializer_list<std::string_view> arguments);

}  // namespace turnlet
