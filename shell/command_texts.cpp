// SPDX-License-Identifier: MIT
// The Undo and Redo entries' texts.
#include "shell/command_texts.h"

namespace turnlet {
namespace {

Msg NameOf(Command command) {
    switch (command) {
        case Command::AddSources:
            return Msg::CommandAddSources;
        case Command::DeleteSources:
            return Msg::CommandDeleteSources;
        case Command::MoveSources:
            return Msg::CommandMoveSources;
        case Command::Rotation:
            return Msg::CommandRotation;
        case Command::Crop:
            return Msg::CommandCrop;
        case Command::FirstFrame:
            return Msg::CommandFirstFrame;
        case Command::LastFrame:
            return Msg::CommandLastFrame;
        case Command::MoveRange:
            return Msg::CommandMoveRange;
        case Command::FrameValues:
            return Msg::CommandFrameValues;
        case Command::DeleteKeyframe:
            return Msg::CommandDeleteKeyframe;
        case Command::ClearKeyframes:
            return Msg::CommandClearKeyframes;
        case Command::Alignment:
            return Msg::CommandAlignment;
        case Command::ExportSettings:
            return Msg::CommandExportSettings;
        case Command::Background:
            return Msg::CommandBackground;
        case Command::LocateSources:
            return Msg::CommandLocateSources;
    }
    return Msg::CommandCrop;
}

}  // namespace

std::string UndoText(std::optional<Command> command, Language language) {
    if (!command) return Tr(Msg::UndoNothing, language);
    return Tr(Msg::Undo, language, {Tr(NameOf(*command), language)});
}

std::string RedoText(std::optional<Command> command, Language language) {
    if (!command) return Tr(Msg::RedoNothing, language);
    return Tr(Msg::Redo, language, {Tr(NameOf(*command), language)});
}

}  // namespace turnlet
