// The restart program: stops the named service and starts it again; the monitor starts it
// when its restart period has run out. See reload/reload_request.h for the command line.
#include <string>
#include <vector>

#include "platform/program_folder.h"
#include "platform/reload_control.h"
#include "reload/reload_request.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return kv::RunReload(args, kv::platform::ProgramFolder(), kv::platform::RestartServiceNow);
}
