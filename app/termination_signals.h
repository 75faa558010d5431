// SPDX-License-Identifier: MIT
// A termination request from the system (logout, kill, Ctrl+C) closes the editor like "Exit".
#pragma once

#include <QObject>

#include <functional>

namespace turnlet {

// After this, SIGTERM, SIGINT and SIGHUP run close on context's thread from the event loop, so the
// settings are written and the workers end as on a normal exit. Call once.
void CloseOnTerminationSignals(QObject* context, std::function<void()> close);

}  // namespace turnlet
