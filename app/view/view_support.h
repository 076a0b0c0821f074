#pragma once
// Small helpers of the Qt view that need no widget.

#include <QString>

#include <functional>
#include <optional>

namespace tarn::view {

// Text as it appears on screen: the system separates lines by carriage
// returns alone, which Qt's labels and message boxes do not break at.
// Each carriage return (or carriage return and line feed) becomes one
// line feed.
QString screenText(const QString& text);

// The line to print when the program cannot open any display: no
// "-platform" argument, no QT_QPA_PLATFORM, and neither DISPLAY nor
// WAYLAND_DISPLAY set. Empty when a display or platform was named.
// getenv is given the variable name and answers its value (empty when unset).
std::optional<QString> missingDisplayMessage(int argc, const char* const* argv,
                                             const std::function<QString(const char*)>& getenv);

} // namespace tarn::view
