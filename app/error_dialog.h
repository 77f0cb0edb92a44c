#pragma once

#include <QString>
#include <functional>

namespace app {

// The message as the error dialog shows it: a period is added when the message is not
// empty and the first byte of its last character, in any 8-bit or UTF-8 encoding, lies
// above 0x2E ("."); so ".", " ", "!", "," and "-" at the end get none.
QString withFinalPeriod(const QString &message);

// The application-wide error dialog: releases any mouse grab, then shows a modal box with
// the critical icon, one OK button, the program title as caption and the message under the
// period rule. Returns when the user closed it.
void showErrorDialog(const QString &message);

// Runs one event handler. An error it raises ends it and goes to the error dialog, so no
// exception ever reaches Qt's event loop (one that does ends the program).
void runHandler(const std::function<void()> &handler) noexcept;

} // namespace app
