#include "support/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "base/local_time_text.h"
#include "platform/codepage.h"

namespace kv {

// "Данные элемента отсутствуют" and "Слишком длинный путь." in Windows-1251.
const char kZipItemNoData[] =
    "\xC4\xE0\xED\xED\xFB\xE5 \xFD\xEB\xE5\xEC\xE5\xED\xF2\xE0 "
    "\xEE\xF2\xF1\xF3\xF2\xF1\xF2\xE2\xF3\xFE\xF2";
const char kZipPathTooLong[] =
    "\xD1\xEB\xE8\xF8\xEA\xEE\xEC \xE4\xEB\xE8\xED\xED\xFB\xE9 \xEF\xF3\xF2\xFC.";

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kEndSignature = 0x06054B50;

constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kLocalZip64ExtraSize = 20;
constexpr size_t kMaxNameLength = 259;
constexpr size_t kChunkSize = 65535;
constexpr uint16_t kVersionMadeBy = 45;
constexpr uint16_t kVersionZip64 = 45;
constexpr uint16_t kVersionDefault = 20;
constexpr uint16_t kFlagDescriptor = 1u << 3;

// A value of all ones in a 16- or 32-bit field means "see the ZIP64 record", so a value
// that equals it must go to the ZIP64 record as well.
constexpr uint64_t k32BitLimit = 0xFFFFFFFFu;
constexpr uint64_t k16BitLimit = 0xFFFFu;
bool Needs64(uint64_t value) { return value >= k32BitLimit; }
uint32_t Field32(uint64_t value) { return Needs64(value) ? 0xFFFFFFFFu : static_cast<uint32_t>(value); }

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpochOffset = 11644473600;

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v & 0xFFFFFFFFu));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

void WriteAll(TZipOutput& output, const std::string& bytes) { output.Write(bytes.data(), bytes.size()); }

struct LevelFields {
  uint16_t method;
  uint16_t flags;
  int zlib_level;
};

LevelFields FieldsFor(TZipCompressionLevel level) {
  switch (level) {
    case TZipCompressionLevel::kNone: return {0, 0, 0};
    case TZipCompressionLevel::kFastest: return {8, 6, 1};
    case TZipCompressionLevel::kMaximum: return {8, 2, 9};
    case TZipCompressionLevel::kDefault: break;
  }
  return {8, 0, Z_DEFAULT_COMPRESSION};
}

std::string Backslashes(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.size() > kMaxNameLength) throw EZipWriterItem(kZipPathTooLong);
  return name;
}

// Comments have a 16-bit length field.
std::string OemComment(const std::string& comment) {
  std::string oem = platform::ConvertAnsiToOem(comment);
  if (oem.size() > k16BitLimit) oem.resize(k16BitLimit);
  return oem;
}

// Ends a deflate stream whatever way the compression leaves.
class DeflateStream {
 public:
  explicit DeflateStream(int level) {
    // Negative window bits: raw deflate (RFC 1951) without the zlib header and trailer,
    // so the recorded compressed size is exactly the member's data.
    if (deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw EZipWriter("deflateInit2 failed");
  }
  ~DeflateStream() { deflateEnd(&z_); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  z_stream& Z() { return z_; }

 private:
  z_stream z_{};
};

void StoreData(TFWZipCRC32Stream& source, TFWZipItemStream& target) {
  std::string chunk(kChunkSize, '\0');
  while (size_t n = source.Read(chunk.data(), chunk.size())) target.Write(chunk.data(), n);
}

void DeflateData(TFWZipCRC32Stream& source, TFWZipItemStream& target, int level) {
  DeflateStream deflater(level);
  z_stream& z = deflater.Z();
  std::string in(kChunkSize, '\0');
  std::string out(kChunkSize + 1, '\0');
  int flush = Z_NO_FLUSH;
  do {
    size_t n = source.Read(in.data(), in.size());
    flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      int rc = deflate(&z, flush);
      if (rc == Z_STREAM_ERROR) throw EZipWriter("deflate failed");
      target.Write(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
}

}  // namespace

// --- TZipTime ---------------------------------------------------------------------------

TZipTime TZipTime::Now() {
  TZipTime t;
  t.local = platform::LocalNow();
  t.zone_bias_minutes = platform::ZoneBiasMinutes();
  return t;
}

TZipTime TZipTime::OfLocalSeconds(int64_t local_seconds, int zone_bias_minutes) {
  const TCivilTime c = CivilTime(local_seconds);
  TZipTime t;
  t.local.year = static_cast<int>(c.year);
  t.local.month = static_cast<int>(c.month);
  t.local.day = static_cast<int>(c.day);
  t.local.hour = static_cast<int>(c.hour);
  t.local.minute = static_cast<int>(c.minute);
  t.local.second = static_cast<int>(c.second);
  // 1970-01-01 was a Thursday.
  const int64_t days = (local_seconds - (c.hour * 3600 + c.minute * 60 + c.second)) / 86400;
  t.local.day_of_week = static_cast<int>(((days + 4) % 7 + 7) % 7);
  t.zone_bias_minutes = zone_bias_minutes;
  return t;
}

uint64_t TZipTime::FileTime() const {
  using namespace std::chrono;
  const unsigned month = static_cast<unsigned>(std::clamp(local.month, 1, 12));
  const unsigned day = static_cast<unsigned>(std::clamp(local.day, 1, 31));
  const int64_t days =
      sys_days(year_month_day(year(std::clamp(local.year, 1, 30000)), std::chrono::month(month),
                              std::chrono::day(day)))
          .time_since_epoch()
          .count();
  const int64_t local_seconds = days * 86400 + int64_t{local.hour} * 3600 + int64_t{local.minute} * 60 + local.second;
  const int64_t since_1601 = local_seconds + int64_t{zone_bias_minutes} * 60 + kFileTimeEpochOffset;
  if (since_1601 < 0) return 0;
  return static_cast<uint64_t>(since_1601) * 10000000u +
         static_cast<uint64_t>(std::clamp(local.millisecond, 0, 999)) * 10000u;
}

uint16_t TZipTime::DosDate() const {
  if (local.year < 1980) return (0 << 9) | (1 << 5) | 1;
  if (local.year > 2107) return (127 << 9) | (12 << 5) | 31;
  return static_cast<uint16_t>(((local.year - 1980) << 9) | (std::clamp(local.month, 1, 12) << 5) |
                               std::clamp(local.day, 1, 31));
}

uint16_t TZipTime::DosTime() const {
  if (local.year < 1980) return 0;
  if (local.year > 2107) return (23 << 11) | (59 << 5) | 29;
  return static_cast<uint16_t>((std::clamp(local.hour, 0, 23) << 11) | (std::clamp(local.minute, 0, 59) << 5) |
                               (std::clamp(local.second, 0, 59) / 2));
}

// --- outputs and streams ------------------------------------------------------------------

void TZipStringOutput::Seek(uint64_t position) {
  if (position > target_.size()) target_.resize(position, '\0');
  position_ = position;
}

void TZipStringOutput::SetSize(uint64_t size) {
  target_.resize(size, '\0');
  position_ = std::min(position_, size);
}

void TZipStringOutput::Write(const char* data, size_t count) {
  if (position_ == target_.size()) {
    target_.append(data, count);
  } else {
    const size_t overlap = static_cast<size_t>(std::min<uint64_t>(count, target_.size() - position_));
    target_.replace(position_, overlap, data, overlap);
    target_.append(data + overlap, count - overlap);
  }
  position_ += count;
}

size_t TFWZipCRC32Stream::Read(char* buffer, size_t count) {
  const size_t n = static_cast<size_t>(std::min<uint64_t>(count, source_.size() - position_));
  if (n == 0) return 0;
  std::copy_n(source_.data() + position_, n, buffer);
  crc_ = static_cast<uint32_t>(crc32(crc_, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(n)));
  position_ += n;
  return n;
}

void TFWZipItemStream::Write(const char* data, size_t count) {
  target_.Write(data, count);
  written_ += count;
}

// --- items --------------------------------------------------------------------------------

TFWZipWriterItem::TFWZipWriterItem(const std::string& file_name, const bool& build_in_progress)
    : build_in_progress_(build_in_progress), file_name_(Backslashes(file_name)) {}

void TFWZipWriterItem::SetFileName(const std::string& file_name) {
  if (!build_in_progress_) file_name_ = Backslashes(file_name);
}
void TFWZipWriterItem::SetComment(const std::string& comment) {
  if (!build_in_progress_) comment_ = comment;
}
void TFWZipWriterItem::SetCompressionLevel(TZipCompressionLevel level) {
  if (!build_in_progress_) level_ = level;
}
void TFWZipWriterItem::SetNeedDescriptor(bool need) {
  if (!build_in_progress_) need_descriptor_ = need;
}
void TFWZipWriterItem::SetTime(const TZipTime& moment) {
  if (build_in_progress_) return;
  const uint64_t ft = moment.FileTime();
  attributes_.creation_time = attributes_.last_access_time = attributes_.last_write_time = ft;
  dos_time_ = moment.DosTime();
  dos_date_ = moment.DosDate();
}
void TFWZipWriterItem::SetData(std::string data) {
  if (build_in_progress_) return;
  owned_ = std::move(data);
  data_ = owned_;
}
void TFWZipWriterItem::SetDataView(std::string_view data) {
  if (build_in_progress_) return;
  owned_ = std::string();
  data_ = data;
}

// --- the writer ---------------------------------------------------------------------------

struct TFWZipWriter::CentralRecord {
  size_t item = 0;
  uint16_t version_needed = kVersionDefault;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint64_t header_offset = 0;
  bool local_zip64 = false;  // the local header carries a ZIP64 field with both sizes
  std::string oem_name;
};

// The run of fields local and central headers share: version needed .. CRC-32.
void TFWZipWriter::PutVersionToCrc(std::string& header, const CentralRecord& r, const TFWZipWriterItem& item) {
  Put16(header, r.version_needed);
  Put16(header, r.flags);
  Put16(header, r.method);
  Put16(header, item.DosTime());
  Put16(header, item.DosDate());
  Put32(header, r.crc);
}

size_t TFWZipWriter::AddStream(const std::string& name, const std::string& data) {
  return AddStream(name, std::string(data), TZipTime::Now());
}

size_t TFWZipWriter::AddStream(const std::string& name, std::string data, const TZipTime& moment) {
  const size_t index = AddStreamView(name, std::string_view(), moment);
  items_[index]->SetData(std::move(data));
  return index;
}

size_t TFWZipWriter::AddStreamView(const std::string& name, std::string_view data, const TZipTime& moment) {
  if (build_in_progress_) throw EZipWriterItem("build in progress");
  auto item = std::make_unique<TFWZipWriterItem>(name, build_in_progress_);
  item->SetTime(moment);
  item->SetCompressionLevel(CompressionLevel);
  item->SetNeedDescriptor(UseDescriptor);
  item->SetDataView(data);
  items_.push_back(std::move(item));
  return items_.size() - 1;
}

void TFWZipWriter::WriteItemData(TFWZipWriterItem& item, TZipOutput& output, CentralRecord& record) {
  if (!item.HasData()) throw EZipWriter(kZipItemNoData);
  const LevelFields fields = FieldsFor(item.CompressionLevel());
  record.flags = fields.flags | (item.NeedDescriptor() ? kFlagDescriptor : 0);
  record.method = fields.method;
  record.header_offset = output.Position();
  record.oem_name = platform::ConvertAnsiToOem(item.FileName());
  if (record.oem_name.size() > k16BitLimit) throw EZipWriter(kZipPathTooLong);

  // A member that may reach 4 GiB gets a ZIP64 field in its local header too: readers
  // that walk the local headers cannot tell its sizes from the 32-bit fields. The room is
  // reserved before the data, so the decision rests on a bound of the deflated size.
  const uint64_t size = item.Size();
  record.local_zip64 = Needs64(fields.method == 0 ? size : size + size / 1000 + 1024);
  const uint64_t data_start = record.header_offset + kLocalHeaderSize + record.oem_name.size() +
                              (record.local_zip64 ? kLocalZip64ExtraSize : 0);
  if (output.Size() < data_start) output.SetSize(data_start);
  output.Seek(data_start);

  TFWZipCRC32Stream source(item.Data());
  TFWZipItemStream target(output);
  if (fields.method == 0)
    StoreData(source, target);
  else
    DeflateData(source, target, fields.zlib_level);
  record.crc = source.Crc32();
  record.uncompressed_size = source.BytesRead();
  record.compressed_size = target.BytesWritten();
  const bool zip64 = record.local_zip64 || Needs64(record.uncompressed_size) ||
                     Needs64(record.compressed_size) || Needs64(record.header_offset);
  record.version_needed = zip64 ? kVersionZip64 : kVersionDefault;

  const uint64_t data_end = output.Position();
  output.Seek(record.header_offset + kLocalHeaderSize);
  WriteAll(output, record.oem_name);
  output.Seek(data_end);
  if (item.NeedDescriptor()) {
    std::string descriptor;
    Put32(descriptor, kDescriptorSignature);
    Put32(descriptor, record.crc);
    if (record.local_zip64) {
      Put64(descriptor, record.compressed_size);
      Put64(descriptor, record.uncompressed_size);
    } else {
      Put32(descriptor, static_cast<uint32_t>(record.compressed_size));
      Put32(descriptor, static_cast<uint32_t>(record.uncompressed_size));
    }
    WriteAll(output, descriptor);
  }
}

// Fills the room reserved in front of each written item, then returns to the end.
void TFWZipWriter::WriteLocalHeaders(TZipOutput& output, const std::vector<CentralRecord>& records) {
  const uint64_t end_of_data = output.Position();
  for (const CentralRecord& r : records) {
    const TFWZipWriterItem& item = *items_[r.item];
    std::string header;
    Put32(header, kLocalHeaderSignature);
    PutVersionToCrc(header, r, item);
    if (r.local_zip64) {
      Put32(header, 0xFFFFFFFFu);
      Put32(header, 0xFFFFFFFFu);
      Put16(header, static_cast<uint16_t>(r.oem_name.size()));
      Put16(header, kLocalZip64ExtraSize);
      header += r.oem_name;
      Put16(header, 0x0001);
      Put16(header, 16);
      Put64(header, r.uncompressed_size);
      Put64(header, r.compressed_size);
    } else {
      Put32(header, Field32(r.compressed_size));
      Put32(header, Field32(r.uncompressed_size));
      Put16(header, static_cast<uint16_t>(r.oem_name.size()));
      Put16(header, 0);
    }
    output.Seek(r.header_offset);
    WriteAll(output, header);
  }
  output.Seek(end_of_data);
}

// Central directory, ZIP64 end records when needed, end record with the comment.
void TFWZipWriter::WriteCentralDirectory(TZipOutput& output, const std::vector<CentralRecord>& records) {
  const uint64_t directory_offset = output.Position();
  for (const CentralRecord& r : records) {
    const TFWZipWriterItem& item = *items_[r.item];
    const TZipItemAttributes& attr = item.Attributes();
    std::string extra;
    if (Needs64(r.uncompressed_size) || Needs64(r.compressed_size) || Needs64(r.header_offset)) {
      std::string values;
      if (Needs64(r.uncompressed_size)) Put64(values, r.uncompressed_size);
      if (Needs64(r.compressed_size)) Put64(values, r.compressed_size);
      if (Needs64(r.header_offset)) Put64(values, r.header_offset);
      Put16(extra, 0x0001);
      Put16(extra, static_cast<uint16_t>(values.size()));
      extra += values;
    }
    if ((attr.creation_time & 0xFFFFFFFFu) != 0 && (attr.creation_time >> 32) != 0) {
      Put16(extra, 0x000A);
      Put16(extra, 32);
      Put32(extra, 0);
      Put16(extra, 0x0001);
      Put16(extra, 24);
      Put64(extra, attr.last_write_time);
      Put64(extra, attr.last_access_time);
      Put64(extra, attr.creation_time);
    }
    const std::string comment = OemComment(item.Comment());

    std::string header;
    Put32(header, kCentralHeaderSignature);
    Put16(header, kVersionMadeBy);
    PutVersionToCrc(header, r, item);
    Put32(header, Field32(r.compressed_size));
    Put32(header, Field32(r.uncompressed_size));
    Put16(header, static_cast<uint16_t>(r.oem_name.size()));
    Put16(header, static_cast<uint16_t>(extra.size()));
    Put16(header, static_cast<uint16_t>(comment.size()));
    Put16(header, 0);  // disk number
    Put16(header, 0);  // internal attributes
    Put32(header, attr.attributes);
    Put32(header, Field32(r.header_offset));
    header += r.oem_name;
    header += extra;
    header += comment;
    WriteAll(output, header);
  }
  const uint64_t directory_size = output.Position() - directory_offset;
  const uint64_t count = records.size();

  std::string tail;
  if (Needs64(directory_offset) || Needs64(directory_size) || count >= k16BitLimit) {
    const uint64_t zip64_end_offset = output.Position();
    Put32(tail, kZip64EndSignature);
    Put64(tail, 44);
    Put16(tail, kVersionMadeBy);
    Put16(tail, kVersionZip64);
    Put32(tail, 0);
    Put32(tail, 0);
    Put64(tail, count);
    Put64(tail, count);
    Put64(tail, directory_size);
    Put64(tail, directory_offset);
    Put32(tail, kZip64LocatorSignature);
    Put32(tail, 0);
    Put64(tail, zip64_end_offset);
    Put32(tail, 1);
  }
  const uint16_t count16 = count >= k16BitLimit ? 0xFFFF : static_cast<uint16_t>(count);
  const std::string comment = OemComment(Comment);
  Put32(tail, kEndSignature);
  Put16(tail, 0);
  Put16(tail, 0);
  Put16(tail, count16);
  Put16(tail, count16);
  Put32(tail, Field32(directory_size));
  Put32(tail, Field32(directory_offset));
  Put16(tail, static_cast<uint16_t>(comment.size()));
  tail += comment;
  WriteAll(output, tail);
  output.SetSize(output.Position());
}

TZipBuildResult TFWZipWriter::BuildZip(TZipOutput& output) {
  struct InProgress {
    bool& flag;
    explicit InProgress(bool& f) : flag(f) { flag = true; }
    ~InProgress() { flag = false; }
  } in_progress(build_in_progress_);

  try {
    std::vector<CentralRecord> records;
    for (size_t i = 0; i < items_.size(); ++i) {
      const uint64_t start = output.Position();
      CentralRecord record;
      record.item = i;
      try {
        WriteItemData(*items_[i], output, record);
        records.push_back(std::move(record));
      } catch (const std::exception&) {
        // Skipped: cut whatever the item wrote so that it leaves no trace.
        output.SetSize(start);
        output.Seek(start);
      }
    }
    WriteLocalHeaders(output, records);
    WriteCentralDirectory(output, records);
    if (records.size() == items_.size()) return TZipBuildResult::kDone;
    return records.empty() ? TZipBuildResult::kFailed : TZipBuildResult::kPartlyDone;
  } catch (const std::exception&) {
    return TZipBuildResult::kFailed;
  }
}

TZipBuildResult TFWZipWriter::BuildZip(std::string& target) {
  TZipStringOutput output(target);
  return BuildZip(output);
}

}  // namespace kv
