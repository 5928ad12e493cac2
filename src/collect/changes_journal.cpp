#include "collect/changes_journal.h"

#include "base/core_log_writer.h"
#include "platform/files.h"

namespace kv {

namespace {

constexpr char kChangesFile[] = "korvane_monitor_changes.txt";
constexpr char kStateFile[] = "korvane_monitor_state.txt";
constexpr char kStateTemporary[] = "korvane_monitor_state.tmp";

}  // namespace

TChangesJournal::TChangesJournal(std::string folder)
    : folder_(std::move(folder)), changes_(folder_.empty() ? std::string() : folder_ + kChangesFile, kRotateBytes) {}

void TChangesJournal::Append(const std::vector<TChange>& changes, int64_t now) {
  if (folder_.empty() || (changes.empty() && unwritten_.empty())) return;
  for (const TChange& c : changes) unwritten_ += ChangeFileLine(c, now);
  if (changes_.Append(unwritten_)) {
    std::string().swap(unwritten_);
  } else if (unwritten_.size() > kRotateBytes) {
    // A disk full for days keeps the newest lines, and whole ones.
    const size_t cut = unwritten_.find('\n', unwritten_.size() - kRotateBytes);
    unwritten_.erase(0, cut == std::string::npos ? unwritten_.size() : cut + 1);
  }
}

bool TChangesJournal::LoadState(TStateSnapshots& snapshots, bool& existed, std::vector<std::string>* notes) {
  existed = false;
  if (folder_.empty()) return false;
  std::string text;
  const platform::FileReadResult read = platform::ReadWholeFile(folder_ + kStateFile, text);
  if (read == platform::FileReadResult::kMissing) return false;
  existed = true;
  if (read == platform::FileReadResult::kOk && LoadSnapshots(text, snapshots, notes)) return true;
  WriteCoreLog(std::string("ERROR! saved state cannot be read, no changes are told this cycle: ") + kStateFile);
  return false;
}

void TChangesJournal::SaveState(const TStateSnapshots& snapshots, const std::vector<std::string>& notes) {
  if (folder_.empty()) return;
  const std::string temporary = folder_ + kStateTemporary;
  std::string error;
  const bool ok = platform::WriteWholeFile(temporary, SaveSnapshots(snapshots, notes), &error) &&
                  platform::MoveFileOver(temporary, folder_ + kStateFile, &error);
  if (!ok) platform::RemoveFileAt(temporary);  // a full disk gets its space back
  // Told as the state file, whichever step failed: that is the file an administrator knows.
  platform::WriteFailures().Note(kStateFile, ok ? std::string() : error);
}

}  // namespace kv
