// A member over 4 GiB: its sizes, the next member's offset and the central directory's
// offset all need the ZIP64 fields. Needs about 9 GB of memory and several GB of disk,
// so it is disabled in the regular run; ctest runs it under the label "slow".
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "support/zip_parse.h"
#include "support/zip_readers.h"
#include "support/zip_writer.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

TEST(ZipWriterZip64, DISABLED_MemberOver4GiBIsDescribedByZip64Fields) {
  const uint64_t big_size = (uint64_t{1} << 32) + 1000;
  std::random_device rd;
  const fs::path file = fs::temp_directory_path() / ("kv-zip-big-" + std::to_string(rd()) + ".zip");
  {
    std::string big(big_size, '\0');
    for (uint64_t i = 0; i < big_size; i += 4093) big[i] = static_cast<char>(i / 4093);
    const uint32_t big_crc =
        static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(big.data()), big.size()));

    TZipTime moment;
    moment.local = {2026, 12, 8, 12, 0, 0, 0, 2};
    std::string zip;
    {
      TFWZipWriter writer;
      writer.CompressionLevel = TZipCompressionLevel::kNone;
      writer.AddStream("big.bin", std::move(big), moment);
      writer.AddStream("after.txt", "after", moment);
      ASSERT_EQ(writer.BuildZip(zip), TZipBuildResult::kDone);
    }

    const ziptest::Archive archive = ziptest::Parse(zip);
    EXPECT_TRUE(archive.zip64);
    EXPECT_EQ(archive.end_directory_offset, 0xFFFFFFFFu);
    EXPECT_EQ(archive.end_count_total, 2);
    ASSERT_EQ(archive.entries.size(), 2u);

    const ziptest::CentralEntry& first = archive.entries[0];
    EXPECT_EQ(first.version_needed, 45);
    EXPECT_EQ(first.compressed32, 0xFFFFFFFFu);
    EXPECT_EQ(first.uncompressed32, 0xFFFFFFFFu);
    EXPECT_EQ(first.offset32, 0u);
    EXPECT_EQ(first.extras.at(0x0001).size(), 16u);  // both sizes, no offset
    EXPECT_EQ(first.uncompressed, big_size);
    EXPECT_EQ(first.compressed, big_size);
    EXPECT_EQ(first.crc, big_crc);
    // The local header repeats both sizes in its own ZIP64 field.
    EXPECT_EQ(ziptest::Get16(zip, 28), 20);
    EXPECT_EQ(ziptest::Get64(zip, 30 + 7 + 4), big_size);
    EXPECT_EQ(ziptest::Get64(zip, 30 + 7 + 12), big_size);

    const ziptest::CentralEntry& second = archive.entries[1];
    EXPECT_EQ(second.version_needed, 45);
    EXPECT_EQ(second.offset32, 0xFFFFFFFFu);
    EXPECT_EQ(second.extras.at(0x0001).size(), 8u);  // the offset only
    EXPECT_EQ(second.header_offset, 30 + 7 + 20 + big_size);
    EXPECT_EQ(ziptest::Extract(zip, second), "after");

    std::ofstream out(file, std::ios::binary);
    out.write(zip.data(), static_cast<std::streamsize>(zip.size()));
    ASSERT_TRUE(out.good());
  }
  const ziptest::ReaderVerdict verdict =
      ziptest::CheckFileIntegrityWithRealReaders(file.string(), {{"big.bin", big_size}, {"after.txt", 5}});
  std::error_code ec;
  fs::remove(file, ec);
  if (verdict.available) {
    EXPECT_EQ(verdict.failures, "");
  }
}

}  // namespace
}  // namespace kv
