#include "support/system_description.h"

#include <cstdio>

#include "base/text_case.h"

namespace kv {
namespace {

constexpr int kPlatformWin32s = 0;
constexpr int kPlatform9x = 1;
constexpr int kPlatformNt = 2;
constexpr uint32_t kArchItanium = 6;
constexpr uint32_t kArchX64 = 9;

constexpr uint32_t kSuiteSmallBusiness = 1;
constexpr uint32_t kSuiteEnterprise = 2;
constexpr uint32_t kSuiteSmallBusinessRestricted = 32;
constexpr uint32_t kSuiteEmbedded = 64;
constexpr uint32_t kSuiteDatacenter = 128;
constexpr uint32_t kSuitePersonal = 512;
constexpr uint32_t kSuiteBlade = 1024;
constexpr uint32_t kSuiteStorageServer = 8192;
constexpr uint32_t kSuiteComputeCluster = 16384;

struct ProductInfoEntry {
  uint32_t value;
  const char* name;
};

// Searched in this order; the first match wins.
constexpr ProductInfoEntry kProductInfo[] = {
    {0x06, "Business Edition"},
    {0x10, "Business N Edition"},
    {0x12, "Cluster Server Edition"},
    {0x08, "Server Datacenter Edition (full installation)"},
    {0x0C, "Server Datacenter Edition (core installation)"},
    {0x27, "Server Datacenter Edition without Hyper-V (core installation)"},
    {0x25, "Server Datacenter Edition without Hyper-V (full installation)"},
    {0x04, "Enterprise Edition"},
    {0x46, "Enterprise E Edition"},
    {0x1B, "Enterprise N Edition"},
    {0x0A, "Server Enterprise Edition (full installation)"},
    {0x0E, "Server Enterprise Edition (core installation)"},
    {0x29, "Server Enterprise Edition without Hyper-V (core installation)"},
    {0x0F, "Server Enterprise Edition for Itanium-based Systems"},
    {0x26, "Server Enterprise Edition without Hyper-V (full installation)"},
    {0x02, "Home Basic Edition"},
    {0x43, "Home Basic E Edition"},
    {0x05, "Home Basic N Edition"},
    {0x03, "Home Premium Edition"},
    {0x44, "Home Premium E Edition"},
    {0x1A, "Home Premium N Edition"},
    {0x13, "Home Server Edition"},
    {0x2A, "Microsoft Hyper-V Server"},
    {0x1E, "Windows Essential Business Server Management Server"},
    {0x20, "Windows Essential Business Server Messaging Server"},
    {0x1F, "Windows Essential Business Server Security Server"},
    {0x30, "Professional Edition"},
    {0x45, "Professional E Edition"},
    {0x31, "Professional N Edition"},
    {0x18, "Server for Small Business Edition"},
    {0x23, "Windows Server 2008 without Hyper-V for Windows Essential Server Solutions"},
    {0x21, "Server Foundation"},
    {0x09, "Small Business Server"},
    {0x19, "Small Business Server Premium Edition"},
    {0x07, "Server Standard Edition (full installation)"},
    {0x0D, "Server Standard Edition (core installation)"},
    {0x28, "Server Standard Edition without Hyper-V (core installation)"},
    {0x24, "Server Standard Edition without Hyper-V (full installation)"},
    {0x0B, "Starter Edition"},
    {0x42, "Starter E Edition"},
    {0x2F, "Starter N Edition"},
    {0x17, "Storage Server Enterprise Edition"},
    {0x14, "Storage Server Express Edition"},
    {0x15, "Storage Server Standard Edition"},
    {0x16, "Storage Server Workgroup Edition"},
    {0x00, "An unknown product"},
    {0x01, "Ultimate Edition"},
    {0x47, "Ultimate E Edition"},
    {0x1C, "Ultimate N Edition"},
    {0x11, "Web Server Edition"},
    {0x1D, "Web Server Edition (core installation)"},
    {0xABCDABCD, "Unlicensed product"},
};
static_assert(sizeof kProductInfo / sizeof kProductInfo[0] == 52);

std::string Format2(const char* format, uint32_t a, uint32_t b) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<int>(a), static_cast<int>(b));
  return text;
}

void Append(std::string& text, const std::string& piece) {
  if (!piece.empty()) text += " " + piece;
}

}  // namespace

std::string ProductInfoName(uint32_t product_info) {
  for (const ProductInfoEntry& e : kProductInfo)
    if (e.value == product_info) return e.name;
  return std::string();
}

std::string TOSInfo::ProductTypeRegistry() const {
  if (f_.product_type_value.kind == platform::RegistryText::Kind::kUnsupported)
    throw ESysInfo("Unsupported registry type");
  return f_.product_type_value.text;
}

int TOSInfo::Product() const {
  switch (f_.platform_id) {
    case kPlatformNt:
      switch (f_.major) {
        case 3:
        case 4:
          return f_.minor == 0 ? 1 : 0;
        case 5:
          if (f_.minor == 0) return 2;
          if (f_.minor == 1) return 3;
          if (f_.minor == 2) {
            if (f_.metric_server_r2 != 0) return 12;
            if (!IsServer() && f_.processor_architecture == kArchX64) return 3;
            return 9;
          }
          return 0;
        case 6:
          if (f_.minor == 0) return IsServer() ? 13 : 11;
          if (f_.minor == 1) return IsServer() ? 16 : 15;
          return 14;
        default:
          return 14;
      }
    case kPlatform9x:
      if (f_.major == 4) {
        if (f_.minor == 0) return 5;
        if (f_.minor == 10) return 6;
        if (f_.minor == 90) return 7;
      }
      return 4;
    case kPlatformWin32s:
      return 8;
    default:
      throw ESysInfo("Unrecognized operating system platform");
  }
}

std::string TOSInfo::ProductName(int code, uint32_t major, uint32_t minor) {
  switch (code) {
    case 0: case 4: case 8: return std::string();
    case 1: return "Windows NT";
    case 2: return "Windows 2000";
    case 3: return "Windows XP";
    case 5: return "Windows 95";
    case 6: return "Windows 98";
    case 7: return "Windows Me";
    case 9: return "Windows Server 2003";
    case 11: return "Windows Vista";
    case 12: return "Windows Server 2003 R2";
    case 13: return "Windows Server 2008";
    case 14: return Format2("Windows Version %d.%d", major, minor);
    case 15: return "Windows 7";
    case 16: return "Windows Server 2008 R2";
    default: throw ESysInfo("Unrecognised operating system product");
  }
}

bool TOSInfo::IsServer() const {
  if (f_.extended) return f_.product_type != 1;
  return !SameTextAscii(ProductTypeRegistry(), "WINNT");
}

std::string TOSInfo::Edition() const {
  const int code = Product();
  const uint32_t suite = f_.suite_mask;
  const bool enterprise = (suite & kSuiteEnterprise) != 0;
  const bool datacenter = (suite & kSuiteDatacenter) != 0;
  switch (code) {
    case 1: {
      if (f_.extended) {
        if (!IsServer()) return "Workstation";
        return enterprise ? "Enterprise Edition" : "Server";
      }
      std::string type = ProductTypeRegistry();
      std::string edition;
      if (SameTextAscii(type, "WINNT"))
        edition = "WorkStation";
      else if (SameTextAscii(type, "LANMANNT"))
        edition = "Server";
      else if (SameTextAscii(type, "SERVERNT"))
        edition = "Advanced Server";
      return edition + Format2(" %d.%d", f_.major, f_.minor);
    }
    case 2:
      if (!IsServer()) return "Professional";
      if (datacenter) return "Datacenter Server";
      return enterprise ? "Advanced Server" : "Server";
    case 3:
      if (f_.metric_starter != 0) return "Starter Edition";
      if (f_.metric_tablet_pc != 0) return "Tablet PC Edition";
      if (suite & kSuiteEmbedded) return "Embedded";
      if (f_.major == 5 && f_.minor == 2 && !IsServer() && f_.processor_architecture == kArchX64)
        return "Professional x64 Edition";
      return (suite & kSuitePersonal) ? "Home Edition" : "Professional";
    case 9:
    case 12:
      if (f_.processor_architecture == kArchItanium) {
        if (datacenter) return "Datacenter Edition for Itanium-based Systems";
        return enterprise ? "Enterprise Edition for Itanium-based Systems" : std::string();
      }
      if (f_.processor_architecture == kArchX64) {
        if (datacenter) return "Datacenter x64 Edition";
        return enterprise ? "Enterprise x64 Edition" : "Standard x64 Edition";
      }
      if (suite & kSuiteComputeCluster) return "Compute Cluster Edition";
      if (datacenter) return "Datacenter Edition";
      if (suite & kSuiteBlade) return "Web Edition";
      if (suite & kSuiteStorageServer) return "Storage Server";
      if (!enterprise) {
        const uint32_t both = kSuiteSmallBusiness | kSuiteSmallBusinessRestricted;
        return (suite & both) == both ? "Small Business Edition" : "Standard Edition";
      }
      return "Enterprise Edition";
    case 11:
    case 13:
    case 15:
    case 16: {
      std::string edition = ProductInfoName(f_.product_info);
      if (f_.processor_architecture == kArchX64) edition += " (64-bit)";
      return edition;
    }
    default:
      return std::string();
  }
}

std::string TOSInfo::ServicePack() const {
  switch (f_.platform_id) {
    case kPlatformNt:
      if (Product() == 1 && SameTextAscii(f_.service_pack, "Service Pack 6") && f_.hotfix_q246009)
        return "Service Pack 6a";
      return f_.service_pack;
    case kPlatform9x: {
      if (f_.service_pack.empty()) return std::string();
      const char first = UpperAscii(f_.service_pack[0]);
      const int code = Product();
      if (code == 5 && (first == 'B' || first == 'C')) return "OSR2";
      if (code == 6 && first == 'A') return "SE";
      return std::string();
    }
    default:
      return std::string();
  }
}

void TOSInfo::Describe(std::string& text) const {
  const int code = Product();
  text = ProductName(code, f_.major, f_.minor);
  if (f_.platform_id == kPlatformNt) {
    if (code == 1) Append(text, Format2("%d.%d", f_.major, f_.minor));
    Append(text, Edition());
    Append(text, ServicePack());
    char build[32];
    std::snprintf(build, sizeof build, "(Build %d)", static_cast<int>(f_.build));
    Append(text, build);
  } else if (f_.platform_id == kPlatform9x) {
    Append(text, ServicePack());
  }
}

std::string DescribeWindows(const platform::WindowsFacts& facts) {
  std::string text = "unknow";
  try {
    TOSInfo(facts).Describe(text);
  } catch (...) {
    // The text keeps what was built before the failure.
  }
  return text;
}

std::string DescribeOs(const platform::OsFacts& facts) {
  if (facts.is_windows) return DescribeWindows(facts.windows);
  std::string text = facts.pretty_name;
  if (!facts.kernel_release.empty()) text += (text.empty() ? "" : " ") + facts.kernel_release;
  return text.empty() ? std::string("unknow") : text;
}

std::string OperatingSystemDescription() {
  try {
    return DescribeOs(platform::GetOsFacts());
  } catch (...) {
    return "unknow";
  }
}

}  // namespace kv
