#include "platform/os_facts.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace kv::platform {
namespace {

RegistryText ReadRegistryText(const char* key_path, const char* value_name) {
  RegistryText result;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return result;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExA(key, value_name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size + 2, 0);
    DWORD got = size;
    if (::RegQueryValueExA(key, value_name, nullptr, &type, data.data(), &got) == ERROR_SUCCESS) {
      if (type == REG_SZ || type == REG_EXPAND_SZ) {
        result.kind = RegistryText::Kind::kText;
        result.text.assign(reinterpret_cast<const char*>(data.data()));
      } else if (type == REG_DWORD && got >= sizeof(DWORD)) {
        DWORD value = 0;
        memcpy(&value, data.data(), sizeof value);
        result.kind = RegistryText::Kind::kText;
        result.text = std::to_string(value);
      } else {
        result.kind = RegistryText::Kind::kUnsupported;
      }
    }
  }
  ::RegCloseKey(key);
  return result;
}

bool RegistryKeyExists(const char* key_path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

}  // namespace

OsFacts GatherOsFacts() {
  OsFacts facts;
  facts.is_windows = true;
  WindowsFacts& w = facts.windows;
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;  // the extended record, 156 bytes
  if (::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    w.extended = true;
  } else {
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
  }
  w.platform_id = static_cast<int>(info.dwPlatformId);
  w.major = info.dwMajorVersion;
  w.minor = info.dwMinorVersion;
  w.build = info.dwBuildNumber;
  w.service_pack = info.szCSDVersion;
  if (w.extended) {
    w.sp_major = info.wServicePackMajor;
    w.sp_minor = info.wServicePackMinor;
    w.suite_mask = info.wSuiteMask;
    w.product_type = info.wProductType;
  }
  using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
  using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (kernel != nullptr) {
    auto product_info = reinterpret_cast<GetProductInfoFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "GetProductInfo")));
    DWORD value = 0;
    if (product_info != nullptr && product_info(w.major, w.minor, w.sp_major, w.sp_minor, &value)) w.product_info = value;
    SYSTEM_INFO system{};
    auto native = reinterpret_cast<GetNativeSystemInfoFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (native != nullptr)
      native(&system);
    else
      ::GetSystemInfo(&system);
    w.processor_architecture = system.wProcessorArchitecture;
  }
  w.metric_tablet_pc = ::GetSystemMetrics(86);
  w.metric_starter = ::GetSystemMetrics(88);
  w.metric_server_r2 = ::GetSystemMetrics(89);
  w.product_type_value = ReadRegistryText("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType");
  w.hotfix_q246009 = RegistryKeyExists("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009");
  return facts;
}

std::string ComputerName() {
  for (COMPUTER_NAME_FORMAT format : {ComputerNameDnsHostname, ComputerNameNetBIOS}) {
    wchar_t name[256] = {};
    DWORD length = 255;
    if (!::GetComputerNameExW(format, name, &length) || length == 0 || length > 255) continue;
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) continue;
    std::string text(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), text.data(), size, nullptr, nullptr);
    return text;
  }
  return "unknown";
}

std::string ProgramVersionText() {
  char path[MAX_PATH + 1] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return std::string();
  std::vector<char> data(size);
  if (!::GetFileVersionInfoA(path, 0, size, data.data())) return std::string();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) || fixed == nullptr ||
      fixed_size < sizeof(VS_FIXEDFILEINFO))
    return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(HIWORD(fixed->dwFileVersionMS)),
                static_cast<int>(LOWORD(fixed->dwFileVersionMS)), static_cast<int>(HIWORD(fixed->dwFileVersionLS)),
                static_cast<int>(LOWORD(fixed->dwFileVersionLS)));
  return text;
}

}  // namespace kv::platform
