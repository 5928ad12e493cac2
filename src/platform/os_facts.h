#pragma once
// Facts about the running system and program, gathered from the operating system.
//
// The Windows facts feed the product/edition/service-pack description (support/
// system_description.h), which is a pure function so that every rule can be tested on
// any platform. On Linux the description is the os-release PRETTY_NAME and the kernel
// release. Any thread; the facts are read once and cached.
#include <cstdint>
#include <string>

namespace kv::platform {

// Value of a registry string the description may need.
struct RegistryText {
  enum class Kind { kMissing, kText, kUnsupported };
  Kind kind = Kind::kMissing;
  std::string text;  // kText: the string, or a DWORD in decimal
};

struct WindowsFacts {
  // Platform id as the version query reports it: 0 Win32s, 1 the 9x family, 2 NT.
  int platform_id = 2;
  uint32_t major = 0, minor = 0, build = 0;
  std::string service_pack;  // "Service Pack 6"
  bool extended = false;     // the extended version record was available
  uint32_t sp_major = 0, sp_minor = 0;
  uint32_t suite_mask = 0;
  uint32_t product_type = 0;   // 1 workstation, 2 domain controller, 3 server
  uint32_t product_info = 0;   // GetProductInfo result, 0 when missing or failed
  uint32_t processor_architecture = 0;  // 6 Itanium, 9 x64
  int metric_tablet_pc = 0;   // system metric 86
  int metric_starter = 0;     // system metric 88
  int metric_server_r2 = 0;   // system metric 89
  RegistryText product_type_value;  // HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions ProductType
  bool hotfix_q246009 = false;      // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Hotfix\Q246009 exists
};

struct OsFacts {
  bool is_windows = false;
  WindowsFacts windows;       // when is_windows
  std::string pretty_name;    // Linux: /etc/os-release PRETTY_NAME, unquoted
  std::string kernel_release; // Linux: uname -r
};

// Gathered on first use, then cached.
const OsFacts& GetOsFacts();
// Asks the operating system anew.
OsFacts GatherOsFacts();

// This computer's name as the network knows it (the DNS host name; Windows: the
// computer's DNS name, else its NetBIOS name), UTF-8; "unknown" when it cannot be read.
std::string ComputerName();

// "%d.%d.%d.%d" of the program file's version (the version resource on Windows, the
// numbers compiled in on Linux); empty when the program file has none.
std::string ProgramVersionText();

}  // namespace kv::platform
