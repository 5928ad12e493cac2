#include "service/service_config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "service/temp_folder.h"

namespace kv {
namespace {

TEST(ServiceConfig, KeysTakeTheirValuesOrTheirDefaults) {
  struct Row {
    const char* text;
    int64_t port;
    bool use_http;
    int64_t timeout;
    const char* out_of_range = "";
    bool logging = false;
  } rows[] = {
      {"", 31313, true, 600},
      {"[http]\nport=0x7A51\n", 31313, true, 600},
      {"[http]\nport=abc\nuse=\n[scaner]\ntimeout=\n", 31313, true, 600},
      {"[http]\nport=$50\nuse=0\n[scaner]\ntimeout=30\n", 80, false, 30},
      {"[HTTP]\nPORT=8080\nUse=2\n[Scaner]\nTimeOut=-1\n", 8080, true, -1},
      {"[http]\nuse=no\n", 31313, true, 600},                     // not an integer: default
      {"[http]\nport=99999999999999999999\n", 31313, true, 600},  // out of range: default
      {"[http]\nport=9223372036854775808\n", 31313, true, 600},   // one past the top: default
      {"port=1\n[http]\nport=2\n[http]\nuse=0\n", 31313, false, 600},  // last section only
      {"[http]\r\n; port=1\r\n  port = 81 \r\nport=82\r\n", 82, true, 600},
      // Ports outside 1..65535 once wrapped when bound (70000 listened on 4464).
      {"[http]\nport=70000\n", 31313, true, 600, "70000"},
      {"[http]\nport=4294967297\n", 31313, true, 600, "4294967297"},
      {"[http]\nport=0\n", 31313, true, 600, "0"},
      {"[http]\nport=-80\n", 31313, true, 600, "-80"},
      {"[http]\nport=0x10000\n", 31313, true, 600, "0x10000"},
      {"[http]\nport=65535\n[scaner]\nlog=1\n", 65535, true, 600, "", true},
      {"[http]\nport=1\n[scaner]\nlog=0\n", 1, true, 600, "", false},
  };
  for (const Row& row : rows) {
    ServiceConfig config = ReadServiceConfig(TMemIniFile(row.text));
    EXPECT_EQ(config.port, row.port) << row.text;
    EXPECT_EQ(config.use_http, row.use_http) << row.text;
    EXPECT_EQ(config.timeout, row.timeout) << row.text;
    EXPECT_EQ(config.port_out_of_range, row.out_of_range) << row.text;
    EXPECT_EQ(config.logging, row.logging) << row.text;
  }
  EXPECT_EQ(PortOutOfRangeLine("70000"), "ERROR! [http] port=70000 is outside 1..65535, using 31313");
}

TEST(ServiceConfig, FileIsReadFromTheProgramFolderAndMissingMeansDefaults) {
  testing::TempFolder dir;
  EXPECT_EQ(ReadServiceConfig(LoadConfigFile(dir.Folder())).port, 31313);
  ASSERT_TRUE(platform::WriteWholeFile(dir.File("config_http.txt"), "[http]\r\nport=4242\r\n"));
  EXPECT_EQ(ReadServiceConfig(LoadConfigFile(dir.Folder())).port, 4242);
}

TEST(ServiceConfig, FileThatExistsButCannotBeReadFailsTheStart) {
  testing::TempFolder dir;
  // A folder in the file's place exists but cannot be read as a file on any platform.
  std::filesystem::create_directory(dir.Path() / "config_http.txt");
  try {
    LoadConfigFile(dir.Folder());
    FAIL() << "no error for an unreadable configuration";
  } catch (const ConfigReadError& e) {
    EXPECT_NE(std::string(e.what()).find("config_http.txt"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace kv
