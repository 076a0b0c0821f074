#pragma once
// The one way TarnPilot reads TOML. The text is scanned before toml++ sees
// it: Debian 12's toml++ 3.3.0 runs into undefined behaviour (an
// unreachable point, a broken precondition) on some mistyped files, so what
// would lead there is refused here with its line, and only the rest is
// parsed.

#include <QByteArray>
#include <QString>

#include <toml++/toml.h>

#include <optional>

namespace tarn {

struct TomlProblem {
    int line = 0;  // 1 for the first line
    QString message;
};

// The first fault in the text that must not reach toml++, or none: bytes
// that are not UTF-8; a non-ASCII character outside strings and comments;
// in a multi-line basic string, a non-ASCII character right after a
// backslash or first after a line-ending backslash; a table header that
// opens with three brackets or does not begin with a key.
std::optional<TomlProblem> ScanTomlText(const QByteArray& text);

struct TomlReading {
    std::optional<toml::table> table;    // when there is no problem
    std::optional<TomlProblem> problem;
};

// Scans the text, then parses it with toml++; a syntax error comes back as
// a problem with toml++'s line.
TomlReading ReadToml(const QByteArray& text);

// What the readers of procedures, calibrator files and drivers take from a
// parsed table: a node's line, a string's text (empty for any other
// value), a key's text.
int tomlLine(const toml::node& node);
QString tomlText(const toml::node& node);
QString tomlKey(const toml::key& key);

// A value read from the file, made fit to stand in a one-line
// "FILE:LINE: message": control characters (a "\n" in a string, say) are
// written as their escapes.
QString OneLine(const QString& message);

} // namespace tarn
