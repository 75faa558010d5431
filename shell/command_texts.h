// SPDX-License-Identifier: MIT
// The Undo and Redo entries' texts: what the step they would take back or do again did.
#pragma once

#include <optional>
#include <string>

#include "session/editor_session.h"
#include "shell/catalogue.h"

namespace turnlet {

// "Undo crop"; plain "Undo" when there is nothing to undo.
std::string UndoText(std::optional<Command> command, Language language);
std::string RedoText(std::optional<Command> command, Language language);

}  // namespace turnlet
