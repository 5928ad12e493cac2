#pragma once
// Whether the program of a command line exists, told before anything runs, so that a
// configured command whose program is missing can be named as such.
//
// Linux, as "/bin/sh -c" takes the line: the first word, bare or in double quotes. A word
// the shell runs itself, or one that its quoting or expansion would change, cannot be told
// and counts as found. A word with "/" is a path; any other is looked for in PATH.
// Windows, as CreateProcess takes the line: the first token in double quotes, or else the
// shortest run of the line up to a blank that names a program ("C:\Program Files\x\t.exe a"
// tries "C:\Program" first), with ".exe" added when it has no extension. A token with a
// path is taken as it stands; any other is looked for in the program's folder, the current
// folder, the system folders and PATH.
//
// Relative paths are taken from `folder` when one is given (the service runs its commands
// there), else from the current folder. Any thread.
#include <string>

namespace kv::platform {

// `program` gets the program as the line names it, without quotes. False only when it is
// sure that no such program exists.
bool FindCommandProgram(const std::string& command_line, std::string& program,
                        const std::string& folder = std::string());

}  // namespace kv::platform
