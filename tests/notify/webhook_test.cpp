// The webhook's bodies in each format, and its retry queue with its outbox entries.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "notify/outbox.h"
#include "notify/webhook_payload.h"
#include "notify/webhook_queue.h"

namespace kv {
namespace {

constexpr int64_t kTime = 1796877382;  // 2026-12-10T04:36:22Z

TNotifyMessage FailedDrive(TNotifyEvent event) {
  TNotifyMessage m{.Event = event, .Verdict = "Critical", .PreviousVerdict = "OK", .Time = kTime};
  m.Changes = {{.Time = kTime - 60, .Severity = TSeverity::Critical, .EventId = 10, .Controller = 1,
                .Object = "Drive 0,7 (S/N WD-1)", .Serial = "WD-1", .From = "Online", .To = "Failed",
                .Line = "Drive 0,7 (S/N WD-1): Online -> Failed"}};
  m.Reasons = {{"Critical", "Drive 0,7 (S/N WD-1)", "Failed"}};
  return m;
}

// True when python3 reads the documents as strict UTF-8 JSON and the plain texts as strict
// UTF-8: one run, as python takes a second to start on a busy machine.
[[maybe_unused]] bool PythonReads(const std::vector<std::string>& documents, const std::vector<std::string>& plain) {
  std::string input = "[";
  for (const std::string& document : documents) input += (input.size() > 1 ? "," : "") + document;
  input += "]";
  for (const std::string& text : plain) input += '\0' + text;
  FILE* pipe = popen("python3 -c \"import json,sys; json.loads(sys.stdin.buffer.read().decode('utf-8')."
                     "split(chr(0))[0])\"", "w");
  if (pipe == nullptr) return false;
  fwrite(input.data(), 1, input.size(), pipe);
  return pclose(pipe) == 0;
}

TEST(WebhookBody, EachEventInEachFormat) {
  const char* json = "application/json; charset=utf-8";
  const struct {
    TNotifyEvent event;
    TWebhookFormat format;
    uint64_t left_out;
    const char* page_url;
    const char* type;
    std::vector<std::string> has, lacks;
  } rows[] = {
      {TNotifyEvent::Problem, TWebhookFormat::Json, 0, "http://srv/", json,
       {"{\"format\": 1, \"host\": \"srv-db-01\", \"event\": \"problem\", \"verdict\": \"Critical\", "
        "\"previous_verdict\": \"OK\", \"summary\": \"",
        "\"page_url\": \"http://srv/\", \"time\": \"2026-12-10T04:36:22Z\", \"changes\": [{\"time\": "
        "\"2026-12-10T04:35:22Z\", \"severity\": \"critical\", \"event_id\": 10, \"controller\": 1, \"object\": "
        "\"Drive 0,7 (S/N WD-1)\", \"serial\": \"WD-1\", \"from\": \"Online\", \"to\": \"Failed\", \"line\": "
        "\"Drive 0,7 (S/N WD-1): Online -> Failed\"}], \"left_out\": 0, \"reasons\": [{\"level\": \"Critical\", "
        "\"object\": \"Drive 0,7 (S/N WD-1)\", \"text\": \"Failed\"}]}"},
       {}},
      {TNotifyEvent::Resolved, TWebhookFormat::Json, 2, "", json,
       {"\"event\": \"resolved\"", "\"page_url\": null", "\"left_out\": 2"}, {}},
      {TNotifyEvent::Reminder, TWebhookFormat::Json, 0, "", json, {"\"event\": \"reminder\""}, {}},
      {TNotifyEvent::Test, TWebhookFormat::Json, 0, "", json, {"\"event\": \"test\""}, {}},
      {TNotifyEvent::Problem, TWebhookFormat::Text, 0, "http://srv/", json,
       {"{\"text\": \"", "\\ncritical Drive 0,7 (S/N WD-1): Online -> Failed\\nhttp://srv/\"}"},
       {"left out", "\\nCritical Drive"}},
      {TNotifyEvent::Reminder, TWebhookFormat::Text, 0, "", json,
       {"\\nCritical Drive 0,7 (S/N WD-1): Failed\"}"}, {"Online -> Failed\\n"}},
      {TNotifyEvent::Problem, TWebhookFormat::Plain, 3, "http://srv/", "text/plain; charset=utf-8",
       {"\n(3 earlier changes left out)\ncritical Drive 0,7 (S/N WD-1): Online -> Failed\nhttp://srv/"},
       {"\"", "\\n"}},
      {TNotifyEvent::Resolved, TWebhookFormat::Plain, 0, "", "text/plain; charset=utf-8",
       {"\ncritical Drive 0,7 (S/N WD-1): Online -> Failed"}, {"left out", "http"}},
  };
  for (const auto& row : rows) {
    TNotifyMessage message = FailedDrive(row.event);
    message.LeftOut = row.left_out;
    const TWebhookBody body = RenderWebhookBody(message, row.format, "srv-db-01", row.page_url);
    SCOPED_TRACE(body.Body);
    EXPECT_EQ(body.ContentType, row.type);
    const std::string summary = message.Summary();
    EXPECT_NE(body.Body.find(summary), std::string::npos);
    if (row.format == TWebhookFormat::Plain) EXPECT_EQ(body.Body.rfind(summary, 0), 0u);
    for (const std::string& part : row.has) EXPECT_NE(body.Body.find(part), std::string::npos) << part;
    for (const std::string& part : row.lacks) EXPECT_EQ(body.Body.find(part), std::string::npos) << part;
  }
}

// The listing's bytes are Windows-1251 and may hold anything: quotes, backslashes, control
// characters, bytes that are no UTF-8. Oversized lists are cut to the bound, newest kept.
TEST(WebhookBody, HostileTextsStayValidAndBounded) {
  TNotifyMessage message = FailedDrive(TNotifyEvent::Problem);
  message.Changes[0].Controller = 0;
  message.Changes[0].Line = "a\"b\\c\x01\td\ne\xC4\x98";
  message.PreviousVerdict.clear();
  const struct {
    TWebhookFormat format;
    const char* has;
  } rows[] = {
      {TWebhookFormat::Json, "\"line\": \"a\\\"b\\\\c\\u0001\\td\\ne\xD0\x94\xEF\xBF\xBD\""},
      {TWebhookFormat::Text, "\\ncritical a\\\"b\\\\c  d e\xD0\x94\xEF\xBF\xBD\"}"},
      {TWebhookFormat::Plain, "\ncritical a\"b\\c  d e\xD0\x94\xEF\xBF\xBD"},
  };
  std::vector<std::string> documents, plain;
  const auto keep = [&](TWebhookFormat format, const std::string& body) {
    (format == TWebhookFormat::Plain ? plain : documents).push_back(body);
  };
  for (const auto& row : rows) {
    const TWebhookBody small = RenderWebhookBody(message, row.format, "srv\"01", "");
    EXPECT_NE(small.Body.find(row.has), std::string::npos) << small.Body;
    keep(row.format, small.Body);
  }
  EXPECT_NE(RenderWebhookBody(message, TWebhookFormat::Json, "", "").Body.find(
                "\"previous_verdict\": null, \"summary\""),
            std::string::npos);
  EXPECT_NE(RenderWebhookBody(message, TWebhookFormat::Json, "", "").Body.find("\"controller\": null"),
            std::string::npos);

  // Control bytes grow six times in JSON: 500 such changes are far over the bound.
  message.Changes.assign(TNotifyMessage::kMaxChanges, message.Changes[0]);
  for (size_t i = 0; i < message.Changes.size(); ++i)
    message.Changes[i].Line = std::to_string(i) + std::string(TNotifyMessage::kMaxTextBytes, '\x01');
  message.Changes.back().Line = "newest";
  message.LeftOut = 7;
  for (const TWebhookFormat format : {TWebhookFormat::Json, TWebhookFormat::Text, TWebhookFormat::Plain}) {
    const std::string body = RenderWebhookBody(message, format, "srv", "http://srv/").Body;
    EXPECT_LE(body.size(), kMaxWebhookBodyBytes);
    EXPECT_GT(body.size(), kMaxWebhookBodyBytes / 2);
    EXPECT_NE(body.find("newest"), std::string::npos);
    const bool json = format == TWebhookFormat::Json;
    EXPECT_EQ(body.find(json ? "\"line\": \"0\\u0001" : "critical 0 "), std::string::npos);
    EXPECT_NE(body.find(json ? "\"left_out\": " : " earlier changes left out)"), std::string::npos);
    EXPECT_EQ(body.find(json ? "\"left_out\": 7," : "(7 earlier"), std::string::npos);
    keep(format, body);
  }
#ifndef _WIN32
  // The same renderer runs on Windows; python3 is there only on the Linux side.
  EXPECT_TRUE(PythonReads(documents, plain));
#endif
}

TWebhookItem Item(int64_t made, std::string body = "{}") {
  return {0, "problem", made, 0, 0, "application/json; charset=utf-8", std::move(body)};
}

TEST(WebhookQueue, RetriesWaitLongerEachTimeUpToAnHour) {
  const struct {
    int tries;
    int64_t wait;
  } rows[] = {{1, 30}, {2, 60}, {3, 120}, {4, 240}, {7, 1920}, {8, 3600}, {9, 3600}, {INT_MAX, 3600}};
  for (const auto& row : rows) EXPECT_EQ(TWebhookQueue::WaitAfter(row.tries), row.wait) << row.tries;

  TWebhookQueue queue;
  queue.Add(Item(1000));
  int64_t now = 1000;
  for (const int64_t wait : {30, 60, 120}) {
    const TWebhookItem* due = queue.Due(now);
    ASSERT_NE(due, nullptr);
    queue.Failed(due->Id, now);
    EXPECT_EQ(queue.Due(now + wait - 1), nullptr);
    EXPECT_EQ(queue.NextWake(), now + wait);
    now += wait;
  }
  EXPECT_EQ(queue.Due(now)->Tries, 3);
}

TEST(WebhookQueue, OldestDueFirstAndDeliveredLeave) {
  TWebhookQueue queue;
  EXPECT_EQ(queue.NextWake(), -1);
  queue.Add(Item(100, "a"));
  queue.Add(Item(200, "b"));
  EXPECT_EQ(queue.Due(99), nullptr);
  EXPECT_EQ(queue.Due(150)->Body, "a");
  EXPECT_EQ(queue.Due(300)->Body, "a");
  queue.Failed(queue.Due(300)->Id, 300);
  EXPECT_EQ(queue.Due(300)->Body, "b");
  queue.Delivered(queue.Due(300)->Id);
  EXPECT_EQ(queue.Due(300), nullptr);
  EXPECT_EQ(queue.NextWake(), 330);
  EXPECT_EQ(queue.Due(330)->Body, "a");
}

TEST(WebhookQueue, DropsAfterADayAndBeyondAHundred) {
  TWebhookQueue queue;
  queue.Add(Item(0, "old"));
  queue.Add(Item(50, "young"));
  queue.Add(Item(172799, "made a day ahead"));
  queue.Add(Item(172800, "from a clock set back"));
  std::vector<TWebhookItem> dropped = queue.DropExpired(86399);
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].Body, "from a clock set back");
  dropped = queue.DropExpired(86400);
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].Body, "old");
  EXPECT_EQ(queue.Size(), 2u);

  TWebhookQueue full;
  for (int i = 0; i < 100; ++i) EXPECT_EQ(full.Add(Item(i)), 0u);
  EXPECT_EQ(full.Add(Item(100)), 1u);
  EXPECT_EQ(full.Size(), 100u);
  EXPECT_EQ(full.Due(1000)->Made, 1);
}

TEST(WebhookQueue, OutboxKeepsBodiesExactly) {
  TWebhookQueue queue;
  TWebhookItem item = Item(1765249800, "Critical: Диск\r\nback\\slash \\n not a line end\tx\x7F\x01\n");
  item.ContentType = "text/plain; charset=utf-8";
  queue.Add(item);
  queue.Add(Item(1765249900));
  queue.Failed(queue.Due(1765249800)->Id, 1765249860);
  std::vector<TOutboxEntry> entries = ParseOutbox(FormatOutbox(queue.ToOutbox())).Entries;
  entries.push_back({"command", {{"verdict", "OK"}}});

  TWebhookQueue read;
  EXPECT_EQ(read.FromOutbox(entries), 0u);
  ASSERT_EQ(read.Size(), 2u);
  const TWebhookItem* due = read.Due(1765249890);
  ASSERT_NE(due, nullptr);
  EXPECT_EQ(due->Body, item.Body);
  EXPECT_EQ(due->ContentType, item.ContentType);
  EXPECT_EQ(due->Event, "problem");
  EXPECT_EQ(due->Made, item.Made);
  EXPECT_EQ(due->Tries, 1);
  EXPECT_EQ(due->NextTry, 1765249890);
  EXPECT_EQ(read.NextWake(), 1765249890);
}

TEST(WebhookQueue, HostileOutboxEntriesAreSkippedAndCounted) {
  using TKeys = std::vector<std::pair<std::string, std::string>>;
  const TKeys good = {{"event", "reminder"}, {"made", "1000"}, {"type", "text/plain"}, {"body", "x"}};
  const auto with = [&](const std::string& key, const std::string& value) {
    TKeys keys = good;
    for (auto& [k, v] : keys)
      if (k == key) v = value;
    if (key == "tries" || key == "next") keys.emplace_back(key, value);
    return keys;
  };
  const struct {
    TKeys keys;
    size_t skipped;
  } rows[] = {
      {good, 0},
      {with("tries", "99999999999999999999999"), 0},  // not a number: tried as new
      {with("tries", "9999999999"), 0},                // clamped
      {TKeys(good.begin(), good.end() - 1), 1},        // no body
      {with("event", "explode"), 1},
      {with("made", "99999999999999999999999"), 1},
      {with("made", "-5"), 1},
      {with("next", "9223372036854775807"), 0},  // out of range: tried at once
      {with("body", "abc\\q"), 1},
      {with("body", "abc\\x4"), 1},
      {with("body", std::string(TWebhookQueue::kMaxBodyBytes + 1, 'a')), 1},
      {with("type", "text/plain\\nX-Injected: 1"), 1},
  };
  for (const auto& row : rows) {
    TWebhookQueue queue;
    EXPECT_EQ(queue.FromOutbox({{"webhook", row.keys}}), row.skipped) << row.keys.back().second.substr(0, 40);
    EXPECT_EQ(queue.Size(), 1 - row.skipped);
    if (queue.Size() == 1) EXPECT_LE(queue.NextWake(), 1000 + TWebhookQueue::kMaxWaitSeconds);
  }

  std::vector<TOutboxEntry> many;
  for (int i = 0; i < 150; ++i) many.push_back({"webhook", with("made", std::to_string(i))});
  TWebhookQueue queue;
  EXPECT_EQ(queue.FromOutbox(many), 50u);
  EXPECT_EQ(queue.Size(), 100u);
  EXPECT_EQ(queue.Due(1000)->Made, 50);
}

}  // namespace
}  // namespace kv
