#pragma once
// TFWZipWriter: builds a ZIP archive (PKWARE APPNOTE 6.3 layout) in a seekable output.
//
// The writer owns its items; each item keeps its own copy of the bytes, or a view of the
// caller's bytes when added with AddStreamView (they must then outlive the build). BuildZip writes,
// per item, the data first (stored, or raw deflate at the item's level), then goes back to
// write every local header at the room reserved for it, then the central directory with
// the NTFS time field (and a ZIP64 field only when a value needs 64 bits), the ZIP64 end
// records when needed, and the end record with the archive comment. Names and comments
// go into the archive in the OEM code page. An item that fails to write is skipped and
// leaves no bytes behind. An archive without any written item is still a valid ZIP file:
// just the end record with the comment.
//
// Not thread-safe: one thread builds one writer. Item properties are frozen while a build
// runs (changes are ignored).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace kv {

// Raised by the writer for an item that cannot be written; the item is then skipped.
class EZipWriter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when an item is added with an unusable property (a name of 260+ characters).
class EZipWriterItem : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Windows-1251: "Данные элемента отсутствуют" (the item has no data).
extern const char kZipItemNoData[];
// Windows-1251: "Слишком длинный путь." (the path is too long).
extern const char kZipPathTooLong[];

enum class TZipCompressionLevel { kNone, kFastest, kDefault, kMaximum };
enum class TZipBuildResult { kDone, kPartlyDone, kFailed };

// The moment an item is stamped with: local time for the MS-DOS fields, plus the zone
// bias (minutes to add to local time for UTC) for the NTFS FILETIMEs.
struct TZipTime {
  platform::LocalDateTime local;
  int zone_bias_minutes = 0;

  static TZipTime Now();
  // The moment of local Unix seconds (platform/clock.h) and the zone bias then; no clock read.
  static TZipTime OfLocalSeconds(int64_t local_seconds, int zone_bias_minutes);
  // 100-ns intervals since 1601-01-01 UTC; 0 for moments before 1601.
  uint64_t FileTime() const;
  // MS-DOS date and time words; clamped to 1980-01-01 00:00:00 .. 2107-12-31 23:59:58.
  uint16_t DosDate() const;
  uint16_t DosTime() const;
};

// The seekable target of a build. Writing past the end extends it; SetSize cuts or
// extends (with zero bytes) without moving the position beyond the new end.
class TZipOutput {
 public:
  virtual ~TZipOutput() = default;
  virtual uint64_t Position() const = 0;
  virtual uint64_t Size() const = 0;
  virtual void Seek(uint64_t position) = 0;
  virtual void SetSize(uint64_t size) = 0;
  virtual void Write(const char* data, size_t count) = 0;
};

// A TZipOutput over a caller's string; the position starts at the string's end.
class TZipStringOutput : public TZipOutput {
 public:
  explicit TZipStringOutput(std::string& target) : target_(target), position_(target.size()) {}
  uint64_t Position() const override { return position_; }
  uint64_t Size() const override { return target_.size(); }
  void Seek(uint64_t position) override;
  void SetSize(uint64_t size) override;
  void Write(const char* data, size_t count) override;

 private:
  std::string& target_;
  uint64_t position_;
};

// Read-through view of an item's bytes that keeps the CRC-32 (ISO-HDLC, as ZIP and zlib
// use it) of everything read so far.
class TFWZipCRC32Stream {
 public:
  explicit TFWZipCRC32Stream(std::string_view source) : source_(source) {}
  // Copies up to `count` bytes into `buffer`; returns how many (0 at the end).
  size_t Read(char* buffer, size_t count);
  uint32_t Crc32() const { return crc_; }
  uint64_t BytesRead() const { return position_; }

 private:
  std::string_view source_;
  uint64_t position_ = 0;
  uint32_t crc_ = 0;
};

// Write-through wrapper around the archive output that counts what passes.
class TFWZipItemStream {
 public:
  explicit TFWZipItemStream(TZipOutput& target) : target_(target) {}
  void Write(const char* data, size_t count);
  uint64_t BytesWritten() const { return written_; }

 private:
  TZipOutput& target_;
  uint64_t written_ = 0;
};

struct TZipItemAttributes {
  uint32_t attributes = 0;
  uint64_t creation_time = 0;  // FILETIME values
  uint64_t last_access_time = 0;
  uint64_t last_write_time = 0;
};

class TFWZipWriterItem {
 public:
  // Throws EZipWriterItem when the name (after "\" -> "/") has 260 or more characters.
  TFWZipWriterItem(const std::string& file_name, const bool& build_in_progress);

  const std::string& FileName() const { return file_name_; }
  const std::string& Comment() const { return comment_; }
  TZipCompressionLevel CompressionLevel() const { return level_; }
  bool NeedDescriptor() const { return need_descriptor_; }
  const TZipItemAttributes& Attributes() const { return attributes_; }
  // The MS-DOS time and date of the last write, local time.
  uint16_t DosTime() const { return dos_time_; }
  uint16_t DosDate() const { return dos_date_; }
  uint64_t Size() const { return data_.size(); }
  bool HasData() const { return !data_.empty(); }
  std::string_view Data() const { return data_; }

  // Setters are ignored while the owning writer builds.
  void SetFileName(const std::string& file_name);
  void SetComment(const std::string& comment);
  void SetCompressionLevel(TZipCompressionLevel level);
  void SetNeedDescriptor(bool need);
  void SetTime(const TZipTime& moment);
  void SetData(std::string data);
  // The caller's bytes, not copied: they must outlive the build.
  void SetDataView(std::string_view data);

 private:
  const bool& build_in_progress_;
  std::string file_name_;
  std::string comment_;
  TZipCompressionLevel level_ = TZipCompressionLevel::kDefault;
  bool need_descriptor_ = false;
  TZipItemAttributes attributes_;
  uint16_t dos_time_ = 0;
  uint16_t dos_date_ = 0x21;  // 1980-01-01
  std::string owned_;      // the item's own bytes, when it has them
  std::string_view data_;  // owned_, or the caller's bytes
};

class TFWZipWriter {
 public:
  TFWZipWriter() = default;
  TFWZipWriter(const TFWZipWriter&) = delete;
  TFWZipWriter& operator=(const TFWZipWriter&) = delete;

  bool UseDescriptor = false;
  TZipCompressionLevel CompressionLevel = TZipCompressionLevel::kDefault;
  std::string Comment;

  // Adds a copy of `data` under `name` ("\" becomes "/"), stamped with the current time,
  // with the writer's level and descriptor option. Returns the item's index. Empty data
  // gives an item without data, which the build skips. Throws EZipWriterItem for a name
  // of 260 or more characters.
  size_t AddStream(const std::string& name, const std::string& data);
  size_t AddStream(const std::string& name, std::string data, const TZipTime& moment);
  // The same without a copy: the item views `data`, which must outlive the build.
  size_t AddStreamView(const std::string& name, std::string_view data, const TZipTime& moment);

  size_t Count() const { return items_.size(); }
  TFWZipWriterItem& Item(size_t index) { return *items_.at(index); }
  bool BuildInProgress() const { return build_in_progress_; }

  // Writes the archive at the output's position. Done when every item was written,
  // partly done when some were skipped, failed when none was (the output then holds an
  // empty archive) or the output itself failed (what it holds is then undefined).
  TZipBuildResult BuildZip(TZipOutput& output);
  // Appends the archive to `target`.
  TZipBuildResult BuildZip(std::string& target);

 private:
  struct CentralRecord;
  void WriteItemData(TFWZipWriterItem& item, TZipOutput& output, CentralRecord& record);
  static void PutVersionToCrc(std::string& header, const CentralRecord& r, const TFWZipWriterItem& item);
  void WriteLocalHeaders(TZipOutput& output, const std::vector<CentralRecord>& records);
  void WriteCentralDirectory(TZipOutput& output, const std::vector<CentralRecord>& records);

  std::vector<std::unique_ptr<TFWZipWriterItem>> items_;
  bool build_in_progress_ = false;
};

}  // namespace kv
