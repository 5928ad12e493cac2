#include "service/service_config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "service/temp_folder.h"

namespace kv {
namespace {

TEST(ServiceConfig, FileIsReadFromTheProgramFolderAndMissingMeansDefaults) {
  testing::TempFolder dir;
  EXPECT_EQ(ReadSettings(LoadConfigFile(dir.Folder())).port, 31313);
  ASSERT_TRUE(platform::WriteWholeFile(dir.File("config_http.txt"), "[http]\r\nport=4242\r\n"));
  EXPECT_EQ(ReadSettings(LoadConfigFile(dir.Folder())).port, 4242);
  // Notepad's byte-order mark once hid the first section.
  ASSERT_TRUE(platform::WriteWholeFile(dir.File("config_http.txt"), "\xEF\xBB\xBF[http]\r\nport=4243\r\n"));
  const TConfigFile file = ReadConfigFile(dir.Folder());
  EXPECT_EQ(file.text, "[http]\r\nport=4243\r\n");
  EXPECT_EQ(ReadSettings(TMemIniFile(file.text)).port, 4243);
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
