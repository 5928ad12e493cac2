#include "collect/collect_env.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/os_facts.h"
#include "platform/program_folder.h"
#include "support/system_description.h"

namespace kv {
namespace {

class SystemEnv final : public TCollectEnv {
 public:
  int64_t Now() override { return platform::LocalUnixSeconds(); }
  platform::ConsoleProcessResult RunCommand(const std::string& command_line,
                                            const platform::ConsoleProcessLimits& limits,
                                            std::string& output) override {
    return platform::RunConsoleProcess(command_line, limits, output);
  }
  bool FileExists(const std::string& path) override { return platform::FileExists(path); }
  bool LaunchDetached(const std::string& command_line, const std::string& folder) override {
    return platform::LaunchDetached(command_line, folder);
  }
  bool SetCurrentFolder(const std::string& folder) override { return platform::SetCurrentFolder(folder); }
  std::string ProgramFolder() override { return platform::ProgramFolder(); }
  std::string StateFolder() override { return platform::ProgramFolder(); }
  std::string ExecutablePath() override { return platform::ExecutablePath(); }
  std::string ExecutableSuffix() override { return platform::ExecutableSuffix(); }
  std::string VersionText() override { return platform::ProgramVersionText(); }
  std::string OsDescription() override { return OperatingSystemDescription(); }
  uint64_t UptimeMs() override { return platform::SystemUptimeMs(); }
  platform::MainLoop& Loop() override { return platform::MainLoop::Instance(); }
};

}  // namespace

TCollectEnv& SystemCollectEnv() {
  static SystemEnv env;
  return env;
}

}  // namespace kv
