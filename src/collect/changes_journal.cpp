#include "collect/changes_journal.h"

#include "base/core_log_writer.h"
#include "base/local_time_text.h"
#include "platform/files.h"

namespace kv {

namespace {

constexpr char kChangesFile[] = "korvane_monitor_changes.txt";
constexpr char kOldChangesFile[] = "korvane_monitor_changes.old.txt";
constexpr char kStateFile[] = "korvane_monitor_state.txt";
constexpr char kStateTemporary[] = "korvane_monitor_state.tmp";

}  // namespace

std::string ChangeFileLine(const TChange& change, int64_t now) {
  std::string line = change.Text;
  for (char& ch : line)
    if (ch == '\r' || ch == '\n') ch = ' ';  // one change, one line
  return LocalTimeText(now) + " " + SeverityName(change.Severity) + " " + line + "\r\n";
}

void TChangesJournal::Append(const std::vector<TChange>& changes, int64_t now) {
  if (folder_.empty() || changes.empty()) return;
  const std::string path = folder_ + kChangesFile;
  if (!size_known_) {
    std::string old;
    platform::ReadWholeFile(path, old);
    size_ = old.size();
    size_known_ = true;
  }
  std::string text;
  for (const TChange& c : changes) text += ChangeFileLine(c, now);
  if (size_ > 0 && size_ + text.size() > kRotateBytes) {
    platform::MoveFileOver(path, folder_ + kOldChangesFile);
    size_ = 0;
  }
  if (platform::AppendToFile(path, text)) size_ += text.size();
}

bool TChangesJournal::LoadState(TStateSnapshot& snapshot, bool& existed) {
  existed = false;
  if (folder_.empty()) return false;
  std::string text;
  const platform::FileReadResult read = platform::ReadWholeFile(folder_ + kStateFile, text);
  if (read == platform::FileReadResult::kMissing) return false;
  existed = true;
  if (read == platform::FileReadResult::kOk && LoadSnapshot(text, snapshot)) return true;
  WriteCoreLog(std::string("ERROR! saved state cannot be read, no changes are told this cycle: ") + kStateFile);
  return false;
}

void TChangesJournal::SaveState(const TStateSnapshot& snapshot) {
  if (folder_.empty()) return;
  const std::string temporary = folder_ + kStateTemporary;
  if (platform::WriteWholeFile(temporary, SaveSnapshot(snapshot)))
    platform::MoveFileOver(temporary, folder_ + kStateFile);
}

}  // namespace kv
