#pragma once
// The world as the scan list manager sees it: the clocks, the console runner, the
// program folder, the restart program launcher, the facts for the start-up lines and
// the main loop that runs the ticks, the embedded files, where the texts are published
// and where events go. TSystemCollectEnv is the real one; tests hand in
// fakes (a clock they step, a runner with canned output, a launcher that records).
#include <cstdint>
#include <string>

#include "served/served_content.h"
#include "platform/event_log.h"
#include "platform/main_loop.h"
#include "platform/process.h"
#include "resources/resource_store.h"

namespace kv {

class TCollectEnv {
 public:
  virtual ~TCollectEnv() = default;
  // Local Unix seconds (no zone correction).
  virtual int64_t Now() = 0;
  // Unix seconds (UTC), for what machines read; the system clock unless a test says otherwise.
  virtual int64_t UtcNow();
  // Seconds on a clock that only goes forward, for durations.
  virtual double MonotonicSeconds();
  // Minutes to add to local time for UTC, as platform::ZoneBiasMinutes gives them.
  virtual int ZoneBiasMinutes();
  virtual platform::ConsoleProcessResult RunCommand(const std::string& command_line,
                                                    const platform::ConsoleProcessLimits& limits,
                                                    std::string& output) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool LaunchDetached(const std::string& command_line, const std::string& folder) = 0;
  virtual bool SetCurrentFolder(const std::string& folder) = 0;
  // With the trailing separator.
  virtual std::string ProgramFolder() = 0;
  virtual std::string ExecutablePath() = 0;
  // Where the changes file and the saved state live (with the trailing separator); empty
  // keeps none. The real one is the program folder.
  virtual std::string StateFolder() { return std::string(); }
  virtual std::string ExecutableSuffix() = 0;
  virtual std::string VersionText() = 0;
  virtual std::string OsDescription() = 0;
  virtual uint64_t UptimeMs() = 0;
  virtual platform::MainLoop& Loop() = 0;
  // Where the manager publishes its texts for the HTTP threads.
  virtual TServedTexts& Served() = 0;
  // The embedded files: page templates and the SMART attribute-name table.
  virtual const TMFileList& Resources() = 0;
  // Where the verdict and change events go; null writes none.
  virtual platform::EventLogSink* Events() { return nullptr; }
};

// The real world, with the main loop the service runs and the objects the service owns.
class TSystemCollectEnv final : public TCollectEnv {
 public:
  TSystemCollectEnv(platform::MainLoop& loop, TServedTexts& served, const TMFileList& resources,
                    platform::EventLogSink& events)
      : loop_(loop), served_(served), resources_(resources), events_(events) {}

  int64_t Now() override;
  platform::ConsoleProcessResult RunCommand(const std::string& command_line,
                                            const platform::ConsoleProcessLimits& limits,
                                            std::string& output) override;
  bool FileExists(const std::string& path) override;
  bool LaunchDetached(const std::string& command_line, const std::string& folder) override;
  bool SetCurrentFolder(const std::string& folder) override;
  std::string ProgramFolder() override;
  std::string StateFolder() override;
  std::string ExecutablePath() override;
  std::string ExecutableSuffix() override;
  std::string VersionText() override;
  std::string OsDescription() override;
  uint64_t UptimeMs() override;
  platform::MainLoop& Loop() override { return loop_; }
  TServedTexts& Served() override { return served_; }
  const TMFileList& Resources() override { return resources_; }
  platform::EventLogSink* Events() override { return &events_; }

 private:
  platform::MainLoop& loop_;
  TServedTexts& served_;
  const TMFileList& resources_;
  platform::EventLogSink& events_;
};

}  // namespace kv
