#include "collect/collect_env.h"

#include <chrono>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/os_facts.h"
#include "platform/program_folder.h"
#include "support/system_description.h"

namespace kv {

int64_t TCollectEnv::UtcNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double TCollectEnv::MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int TCollectEnv::ZoneBiasMinutes() { return platform::ZoneBiasMinutes(); }

int64_t TSystemCollectEnv::Now() { return platform::LocalUnixSeconds(); }

platform::ConsoleProcessResult TSystemCollectEnv::RunCommand(const std::string& command_line,
                                                             const platform::ConsoleProcessLimits& limits,
                                                             std::string& output) {
  return platform::RunConsoleProcess(command_line, limits, output);
}

bool TSystemCollectEnv::FileExists(const std::string& path) { return platform::FileExists(path); }

bool TSystemCollectEnv::LaunchDetached(const std::string& command_line, const std::string& folder) {
  return platform::LaunchDetached(command_line, folder);
}

bool TSystemCollectEnv::SetCurrentFolder(const std::string& folder) { return platform::SetCurrentFolder(folder); }
std::string TSystemCollectEnv::ProgramFolder() { return platform::ProgramFolder(); }
std::string TSystemCollectEnv::StateFolder() { return platform::ProgramFolder(); }
std::string TSystemCollectEnv::ExecutablePath() { return platform::ExecutablePath(); }
std::string TSystemCollectEnv::ExecutableSuffix() { return platform::ExecutableSuffix(); }
std::string TSystemCollectEnv::VersionText() { return platform::ProgramVersionText(); }
std::string TSystemCollectEnv::OsDescription() { return OperatingSystemDescription(); }
uint64_t TSystemCollectEnv::UptimeMs() { return platform::SystemUptimeMs(); }

}  // namespace kv
