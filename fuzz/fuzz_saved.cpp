// The files the service reads back at its start, on arbitrary text: the outbox (the
// command's runs, the webhook's messages) and the saved state with the notifications'
// memory. Nothing may crash or grow without bound, and what is read back is written again
// the same way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "health/changes.h"
#include "notify/notify_command.h"
#include "notify/notify_message.h"
#include "notify/notify_policy.h"
#include "notify/outbox.h"
#include "notify/webhook_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const kv::TOutboxText outbox = kv::ParseOutbox(text);
  for (const kv::TOutboxEntry& entry : outbox.Entries) {
    kv::TNotifyRun run;
    (void)kv::TNotifyRun::FromOutbox(entry, run);
    kv::TNotifyMessage message;
    if (kv::TNotifyMessage::FromKeys(entry.Keys, message)) {
      kv::TNotifyMessage again;
      if (!kv::TNotifyMessage::FromKeys(message.ToKeys(), again)) std::abort();
    }
  }
  kv::TWebhookQueue queue;
  (void)queue.FromOutbox(outbox.Entries);
  if (queue.Size() > kv::TWebhookQueue::kMaxItems) std::abort();
  kv::TWebhookQueue again;
  if (again.FromOutbox(queue.ToOutbox()) != 0 || again.Size() != queue.Size()) std::abort();

  kv::TStateSnapshots snapshots;
  std::vector<std::string> notes;
  (void)kv::LoadSnapshots(text, snapshots, &notes);
  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (const std::vector<std::string>* source : {&notes, &lines}) {
    kv::TNotifyMemory memory;
    if (kv::TNotifyMemory::Load(*source, memory)) {
      kv::TNotifyMemory back;
      if (!kv::TNotifyMemory::Load(memory.Save(), back) || back.Save() != memory.Save()) std::abort();
    }
  }
  return 0;
}
