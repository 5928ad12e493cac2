#pragma once
// The service's event-log records: the start event (with the address and port the HTTP
// server listens on), the stop event and the HTTP failure events.
//
//   Starting "Korvane Monitor HTTP Server"<CR LF>HTTP Server: 10.0.0.5:31313
//   Stoping "Korvane Monitor HTTP Server"
//
// ServerAddress and ServerPort are written by the service thread (AnnounceStart) and by
// the listener thread (its start event); one small lock keeps each write, the read that
// builds the text and the record itself whole. All methods may be called from any thread.
#include <mutex>
#include <string>

#include "platform/event_log.h"

namespace kv {

inline constexpr char kServiceName[] = "KorvaneMonitorHTTPServer";
inline constexpr char kServiceDisplayName[] = "Korvane Monitor HTTP Server";
inline constexpr char kApplicationTitle[] = "Korvane Web Monitor (HTTP)";
// "Служба мониторинга параметров RAID-контроллеров Korvane" in Windows-1251: service
// monitoring the parameters of Korvane RAID controllers.
inline constexpr char kServiceDescription[] =
    "\xD1\xEB\xF3\xE6\xE1\xE0 \xEC\xEE\xED\xE8\xF2\xEE\xF0\xE8\xED\xE3\xE0 "
    "\xEF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xEE\xE2 RAID-\xEA\xEE\xED\xF2\xF0\xEE\xEB\xEB\xE5\xF0\xEE\xE2 Korvane";

// Address and port shown when HTTP is switched off (use=0).
inline constexpr char kNoServerAddress[] = "Dont use server";
inline constexpr char kNoServerPort[] = "disable";

std::string StartEventText(const std::string& address, const std::string& port);
std::string StopEventText();

class TServiceEventWriter {
 public:
  explicit TServiceEventWriter(platform::EventLogSink& sink) : sink_(sink) {}

  // With `store`, first remembers address and port. Then writes the start event when
  // both remembered texts are non-empty.
  void LogStartMessage(bool store, const std::string& address, const std::string& port);
  void LogErrorMessage(const std::string& text);
  void LogStopMessage();
  // The event log itself, for the records of other parts (the collection's state changes).
  platform::EventLogSink& Sink() { return sink_; }

  // The end of a service start: forget the address and port; with HTTP off, store the
  // "Dont use server"/"disable" pair and write the start event; then write it again if
  // both texts are set (always with HTTP off; with HTTP on only if the listener stored
  // its address since the reset).
  void AnnounceStart(bool use_http);

 private:
  platform::EventLogSink& sink_;
  std::mutex lock_;
  std::string server_address_;
  std::string server_port_;
};

}  // namespace kv
