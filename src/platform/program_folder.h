#pragma once
// Where the running executable lives. The program reads its configuration, writes its
// core log and serves files only from this folder.
#include <string>

namespace kv::platform {

// Full path of the executable as started ("C:\Monitor\korvane_monitor.exe", "/opt/x/korvane_monitor").
std::string ExecutablePath();

// The executable's folder with its trailing separator ("\" on Windows, "/" on Linux).
std::string ProgramFolder();

// The separator used in file paths on this platform.
char PathSeparator();

}  // namespace kv::platform
