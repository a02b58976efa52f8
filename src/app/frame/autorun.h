// The start-up entry: an XDG autostart file whose Exec= line names the program.
#pragma once

#include <string>

namespace glimmora {

// $XDG_CONFIG_HOME/autostart/<name>.desktop, with ~/.config when the variable is unset or relative.
std::string AutostartFilePath(const std::string& name);
// Writes the entry unless it already holds exactly this path. False when it could not be written.
bool SetAutoRun(const std::string& name, const std::string& path);
// Deletes the entry; false when there was none or it could not be removed.
bool RemoveAutoRun(const std::string& name);
// The program named by the entry, unquoted; empty when there is none.
std::string ReadAutoRun(const std::string& name);
// The running program's full path (at most 511 bytes), empty when it cannot be read.
std::string ExecutablePath();

// Exec= quoting of the desktop entry format, and its reverse.
std::string QuoteExecArgument(const std::string& path);
std::string UnquoteExecArgument(const std::string& value);

}  // namespace glimmora
