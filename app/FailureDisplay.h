// The default failure display: how a failure that no command handles reaches the user.
//
// Every failure that escapes a command ends in a modal critical message box captioned with the
// application title, showing the failure's message with a full stop added where it lacks one.
// The event loop then carries on; whatever the failed command did stays.
#pragma once

#include <QString>
#include <functional>

namespace lyremap {

// MESSAGE as the box shows it: a "." is appended when MESSAGE is not empty and its last
// character's code is above that of ".".
QString failureDisplayText(const QString& message);

// Shows MESSAGE in the modal failure box and returns once the user has dismissed it.
void showFailure(const QString& message);

// Runs COMMAND and shows any failure escaping it in the failure box, so no exception ever
// unwinds into the toolkit.
void runGuarded(const std::function<void()>& command);

} // namespace lyremap
