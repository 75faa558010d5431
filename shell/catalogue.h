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
    ExportPageFailed,  // {1} the reason
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
};

// The message's text in language.
const char* Tr(Msg message, Language language);

// The text with "{1}", "{2}" ... replaced by the arguments in order.
std::string Tr(Msg message, Language language, std::initializer_list<std::string_view> arguments);

}  // namespace turnlet
