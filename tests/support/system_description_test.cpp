#include "support/system_description.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using platform::RegistryText;
using platform::WindowsFacts;

constexpr uint32_t kX64 = 9, kItanium = 6, kX86 = 0;

WindowsFacts Nt(uint32_t major, uint32_t minor, uint32_t build, uint32_t product_type = 1,
                uint32_t arch = kX86, const char* sp = "") {
  WindowsFacts f;
  f.platform_id = 2;
  f.major = major;
  f.minor = minor;
  f.build = build;
  f.extended = true;
  f.product_type = product_type;
  f.processor_architecture = arch;
  f.service_pack = sp;
  return f;
}

WindowsFacts With(WindowsFacts f, uint32_t suite, uint32_t product_info = 0) {
  f.suite_mask = suite;
  f.product_info = product_info;
  return f;
}

RegistryText Reg(const char* text) { return RegistryText{RegistryText::Kind::kText, text}; }

TEST(SystemDescription, DescribesEachProductAndEdition) {
  auto r2 = With(Nt(5, 2, 3790, 3, kX64, "Service Pack 2"), 2);
  r2.metric_server_r2 = 1;
  auto xp_x64 = Nt(5, 2, 3790, 1, kX64, "Service Pack 2");
  auto starter = Nt(5, 1, 2600, 1, kX86, "Service Pack 3");
  starter.metric_starter = 1;
  auto tablet = Nt(5, 1, 2600);
  tablet.metric_tablet_pc = 1;
  auto nt4 = Nt(4, 0, 1381, 1, kX86, "Service Pack 6");
  nt4.extended = false;
  nt4.product_type_value = Reg("LanmanNT");
  nt4.hotfix_q246009 = true;
  auto nt4_sp6 = nt4;
  nt4_sp6.hotfix_q246009 = false;
  nt4_sp6.product_type_value = Reg("winnt");
  auto nt4_odd = nt4_sp6;
  nt4_odd.product_type_value = Reg("Something");
  auto nt4_ext = Nt(4, 0, 1381, 2, kX86, "Service Pack 6");

  struct Row {
    const char* name;
    WindowsFacts facts;
    const char* text;
  };
  const Row rows[] = {
      {"Windows 7 x64 Professional", With(Nt(6, 1, 7601, 1, kX64, "Service Pack 1"), 0, 0x30),
       "Windows 7 Professional Edition (64-bit) Service Pack 1 (Build 7601)"},
      {"Server 2008 R2", With(Nt(6, 1, 7600, 3, kX64), 0, 0x07),
       "Windows Server 2008 R2 Server Standard Edition (full installation) (64-bit) (Build 7600)"},
      {"Vista 32-bit", With(Nt(6, 0, 6002, 1, kX86, "Service Pack 2"), 0, 0x03),
       "Windows Vista Home Premium Edition Service Pack 2 (Build 6002)"},
      {"Server 2008 domain controller", With(Nt(6, 0, 6001, 2), 0, 0x0A),
       "Windows Server 2008 Server Enterprise Edition (full installation) (Build 6001)"},
      {"6.2 and later have no edition", With(Nt(6, 2, 9200, 1, kX64), 0, 0x30), "Windows Version 6.2 (Build 9200)"},
      {"10.0", Nt(10, 0, 19045, 1, kX64), "Windows Version 10.0 (Build 19045)"},
      {"unknown product info on x86", With(Nt(6, 1, 7601, 1, kX86, "Service Pack 1"), 0, 0x99),
       "Windows 7 Service Pack 1 (Build 7601)"},
      {"unknown product info on x64", With(Nt(6, 1, 7601, 1, kX64, "Service Pack 1"), 0, 0x99),
       "Windows 7  (64-bit) Service Pack 1 (Build 7601)"},
      {"Server 2003 R2 Enterprise x64", r2, "Windows Server 2003 R2 Enterprise x64 Edition Service Pack 2 (Build 3790)"},
      {"XP x64", xp_x64, "Windows XP Professional x64 Edition Service Pack 2 (Build 3790)"},
      {"XP Home", With(Nt(5, 1, 2600, 1, kX86, "Service Pack 3"), 512), "Windows XP Home Edition Service Pack 3 (Build 2600)"},
      {"XP Professional", Nt(5, 1, 2600), "Windows XP Professional (Build 2600)"},
      {"XP Starter", starter, "Windows XP Starter Edition Service Pack 3 (Build 2600)"},
      {"XP Tablet", tablet, "Windows XP Tablet PC Edition (Build 2600)"},
      {"XP Embedded", With(Nt(5, 1, 2600), 64), "Windows XP Embedded (Build 2600)"},
      {"2000 Professional", Nt(5, 0, 2195, 1, kX86, "Service Pack 4"), "Windows 2000 Professional Service Pack 4 (Build 2195)"},
      {"2000 Datacenter", With(Nt(5, 0, 2195, 3), 128 | 2), "Windows 2000 Datacenter Server (Build 2195)"},
      {"2000 Advanced", With(Nt(5, 0, 2195, 3), 2), "Windows 2000 Advanced Server (Build 2195)"},
      {"2000 Server", Nt(5, 0, 2195, 3), "Windows 2000 Server (Build 2195)"},
      {"2003 Itanium Datacenter", With(Nt(5, 2, 3790, 3, kItanium), 128),
       "Windows Server 2003 Datacenter Edition for Itanium-based Systems (Build 3790)"},
      {"2003 Itanium Enterprise", With(Nt(5, 2, 3790, 3, kItanium), 2),
       "Windows Server 2003 Enterprise Edition for Itanium-based Systems (Build 3790)"},
      {"2003 Itanium plain", Nt(5, 2, 3790, 3, kItanium), "Windows Server 2003 (Build 3790)"},
      {"2003 x64 Datacenter", With(Nt(5, 2, 3790, 3, kX64), 128), "Windows Server 2003 Datacenter x64 Edition (Build 3790)"},
      {"2003 x64 Standard", Nt(5, 2, 3790, 3, kX64), "Windows Server 2003 Standard x64 Edition (Build 3790)"},
      {"2003 compute cluster", With(Nt(5, 2, 3790, 3), 16384 | 128), "Windows Server 2003 Compute Cluster Edition (Build 3790)"},
      {"2003 datacenter", With(Nt(5, 2, 3790, 3), 128 | 1024), "Windows Server 2003 Datacenter Edition (Build 3790)"},
      {"2003 web", With(Nt(5, 2, 3790, 3), 1024 | 8192), "Windows Server 2003 Web Edition (Build 3790)"},
      {"2003 storage", With(Nt(5, 2, 3790, 3), 8192 | 2), "Windows Server 2003 Storage Server (Build 3790)"},
      {"2003 small business", With(Nt(5, 2, 3790, 3), 1 | 32), "Windows Server 2003 Small Business Edition (Build 3790)"},
      {"2003 one small business bit", With(Nt(5, 2, 3790, 3), 1), "Windows Server 2003 Standard Edition (Build 3790)"},
      {"2003 enterprise", With(Nt(5, 2, 3790, 3), 2), "Windows Server 2003 Enterprise Edition (Build 3790)"},
      {"NT 4 server with the 6a hotfix", nt4, "Windows NT 4.0 Server 4.0 Service Pack 6a (Build 1381)"},
      {"NT 4 workstation SP6", nt4_sp6, "Windows NT 4.0 WorkStation 4.0 Service Pack 6 (Build 1381)"},
      {"NT 4 unknown product type", nt4_odd, "Windows NT 4.0  4.0 Service Pack 6 (Build 1381)"},
      {"NT 4 extended, server", nt4_ext, "Windows NT 4.0 Server Service Pack 6 (Build 1381)"},
      {"NT 4 extended, enterprise", With(nt4_ext, 2), "Windows NT 4.0 Enterprise Edition Service Pack 6 (Build 1381)"},
      {"NT 3.51 has no product name", Nt(3, 51, 1057), " (Build 1057)"},
      {"NT 5.3 has no product name", Nt(5, 3, 1), " (Build 1)"},
  };
  for (const Row& row : rows) EXPECT_EQ(DescribeWindows(row.facts), row.text) << row.name;
}

TEST(SystemDescription, NinetyFivePlatformGivesServicePackMarks) {
  auto nine_x = [](uint32_t minor, const char* sp) {
    WindowsFacts f;
    f.platform_id = 1;
    f.major = 4;
    f.minor = minor;
    f.build = 950;
    f.service_pack = sp;
    return f;
  };
  WindowsFacts win32s;
  win32s.platform_id = 0;
  win32s.service_pack = "whatever";
  struct Row {
    WindowsFacts facts;
    const char* text;
  };
  const Row rows[] = {
      {nine_x(0, "B"), "Windows 95 OSR2"},   {nine_x(0, " C"), "Windows 95"},
      {nine_x(0, "c"), "Windows 95 OSR2"},   {nine_x(0, "A"), "Windows 95"},
      {nine_x(10, "a"), "Windows 98 SE"},    {nine_x(10, "B"), "Windows 98"},
      {nine_x(10, ""), "Windows 98"},        {nine_x(90, "A"), "Windows Me"},
      {nine_x(50, "A"), ""},                 {win32s, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(DescribeWindows(row.facts), row.text) << row.text;
}

TEST(SystemDescription, FailuresKeepWhatWasBuilt) {
  WindowsFacts odd_platform = Nt(6, 1, 7601);
  odd_platform.platform_id = 3;
  EXPECT_EQ(DescribeWindows(odd_platform), "unknow");
  try {
    TOSInfo(odd_platform).Product();
    ADD_FAILURE() << "no error for an unknown platform";
  } catch (const ESysInfo& e) {
    EXPECT_STREQ(e.what(), "Unrecognized operating system platform");
  }
  for (int code : {10, 17, -1}) {
    try {
      TOSInfo::ProductName(code, 6, 1);
      ADD_FAILURE() << "no error for product code " << code;
    } catch (const ESysInfo& e) {
      EXPECT_STREQ(e.what(), "Unrecognised operating system product");
    }
  }
  // The registry value of an unsupported type fails the edition: the product name stays.
  WindowsFacts nt4 = Nt(4, 0, 1381);
  nt4.extended = false;
  nt4.product_type_value.kind = RegistryText::Kind::kUnsupported;
  EXPECT_EQ(DescribeWindows(nt4), "Windows NT 4.0");
}

TEST(SystemDescription, ServerTestWithoutExtendedInformationUsesTheRegistry) {
  struct Row {
    RegistryText value;
    bool server;
  };
  const Row rows[] = {{Reg("WinNT"), false}, {Reg("ServerNT"), true}, {Reg(""), true}, {RegistryText{}, true}};
  for (const Row& row : rows) {
    WindowsFacts f = Nt(6, 1, 7601);
    f.extended = false;
    f.product_type_value = row.value;
    EXPECT_EQ(TOSInfo(f).IsServer(), row.server) << row.value.text;
  }
}

TEST(SystemDescription, ProductTableFirstAndLastEntriesAndMisses) {
  EXPECT_EQ(ProductInfoName(0x06), "Business Edition");
  EXPECT_EQ(ProductInfoName(0x00), "An unknown product");
  EXPECT_EQ(ProductInfoName(0x1D), "Web Server Edition (core installation)");
  EXPECT_EQ(ProductInfoName(0xABCDABCD), "Unlicensed product");
  EXPECT_EQ(ProductInfoName(0x23), "Windows Server 2008 without Hyper-V for Windows Essential Server Solutions");
  for (uint32_t missing : {0x2Bu, 0x41u, 0x48u, 0xFFFFFFFFu}) EXPECT_EQ(ProductInfoName(missing), "") << missing;
  int named = 0;
  for (uint32_t v = 0; v < 0x100; ++v) named += !ProductInfoName(v).empty();
  EXPECT_EQ(named + 1, 52);  // plus 0xABCDABCD
}

TEST(SystemDescription, LinuxDescriptionIsPrettyNameAndKernel) {
  platform::OsFacts f;
  f.pretty_name = "Debian GNU/Linux 12 (bookworm)";
  f.kernel_release = "6.1.0-18-amd64";
  EXPECT_EQ(DescribeOs(f), "Debian GNU/Linux 12 (bookworm) 6.1.0-18-amd64");
  f.pretty_name.clear();
  EXPECT_EQ(DescribeOs(f), "6.1.0-18-amd64");
  f.kernel_release.clear();
  EXPECT_EQ(DescribeOs(f), "unknow");
  EXPECT_FALSE(OperatingSystemDescription().empty());
}

}  // namespace
}  // namespace kv
