// Setting export options from the command line: through the preferences dialog, as a
// user would set its controls and press "OK", and reading the configuration file back.
#pragma once

#include "options/ExportOptions.h"
#include "win32.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vek {

// One "NAME=VALUE" of the command line; NAME is an option field name.
struct OptionSetting {
    int field = -1; // index in ExportOptionTable
    int value = 0;
    std::string text; // as given, for messages
    bool operator==(const OptionSetting&) const = default;
};

// Parses "NAME=VALUE". Check boxes take 0 or 1 only; a spinner's limits are known
// only once the dialog is open. On failure returns false and says why in error.
bool ParseOptionSetting(const std::string& arg, OptionSetting& setting, std::string& error);

// What scripting the dialog came to.
struct ScriptResult {
    bool refused = false; // a value was outside a spinner's limits: "Annuler" was pressed
    std::string message;  // names the option, its control and the allowed range
};

// A dialog front end for the preferences dialog: sets each control in turn (clicking
// an enabled check box whose state differs, setting a disabled one directly, typing
// into a spinner's edit), then presses the default button. A value outside its
// spinner's limits presses "Annuler" instead and is reported in result, which must
// outlive the front end.
DialogFrontEnd PreferencesScript(std::vector<OptionSetting> settings, ScriptResult& result);

// Clicks the dialog's default push button, as Enter does; nothing when it has none.
void PressDefaultButton(DialogSession& session);

// Reads the eighteen values as the exporter does: the fields the file fully holds, the
// others at their defaults. False when the file cannot be opened.
bool ReadOptionsFile(const std::string& path, ExportOptions& options);
// The same from an open stream, which is left open.
ExportOptions ReadOptionsStream(std::FILE* f);

// The 72 bytes of a configuration file holding the options.
std::string OptionsFileBytes(const ExportOptions& options);

// What the user is told of a configuration file of `bytes` bytes that is not 72 bytes
// long (a line naming it and what is read of it); "" for one that is.
std::string OptionsFileLengthNote(const std::string& path, long long bytes);

// One "name=value" line per option, in file order; a value the dialog could not hold
// is followed by its limits.
std::string FormatOptions(const ExportOptions& options);

} // namespace vek
