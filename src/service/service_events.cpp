#include "service/service_events.h"

namespace kv {

std::string StartEventText(const std::string& address, const std::string& port) {
  return std::string("Starting \"") + kServiceDisplayName + "\"\r\nHTTP Server: " + address + ":" + port;
}

std::string StopEventText() { return std::string("Stoping \"") + kServiceDisplayName + "\""; }

void TServiceEventWriter::LogStartMessage(bool store, const std::string& address, const std::string& port) {
  // The record is written under the lock too, so the start events of the service thread
  // and the listener come out whole and in the order their texts were built.
  std::lock_guard<std::mutex> lock(lock_);
  if (store) {
    server_address_ = address;
    server_port_ = port;
  }
  if (server_address_.empty() || server_port_.empty()) return;
  sink_.Report(platform::EventType::kInformation, StartEventText(server_address_, server_port_));
}

void TServiceEventWriter::LogErrorMessage(const std::string& text) {
  sink_.Report(platform::EventType::kError, text);
}

void TServiceEventWriter::LogStopMessage() { sink_.Report(platform::EventType::kInformation, StopEventText()); }

void TServiceEventWriter::AnnounceStart(bool use_http) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    server_address_.clear();
    server_port_.clear();
  }
  if (!use_http) LogStartMessage(true, kNoServerAddress, kNoServerPort);
  LogStartMessage(false, std::string(), std::string());
}

}  // namespace kv
