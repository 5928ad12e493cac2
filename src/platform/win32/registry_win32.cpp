#include <windows.h>

#include "platform/registry.h"

namespace kv::platform {
namespace {

std::string Relative(const std::string& key) {
  size_t start = key.find_first_not_of('\\');
  return start == std::string::npos ? std::string() : key.substr(start);
}

class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool WriteValue(const std::string& key, const std::string& name, DWORD type, const BYTE* data,
                DWORD size) {
  ScopedKey k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, Relative(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, k.out(), nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExA(k.get(), name.c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

bool RegistryWriteString(const std::string& key, const std::string& name, const std::string& value,
                         unsigned code_page) {
  const UINT cp = code_page == 0 ? CP_ACP : code_page;
  const int length = static_cast<int>(value.size()) + 1;  // with the terminating zero
  int wide_length = MultiByteToWideChar(cp, 0, value.c_str(), length, nullptr, 0);
  if (wide_length <= 0) return false;
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(cp, 0, value.c_str(), length, wide.data(), wide_length);
  const std::wstring wide_name = [&] {
    int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 1u, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, out.data(), n);
    return out;
  }();
  ScopedKey k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, Relative(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, k.out(), nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExW(k.get(), wide_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                        static_cast<DWORD>(wide.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool RegistryWriteInteger(const std::string& key, const std::string& name, uint32_t value) {
  DWORD v = value;
  return WriteValue(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

bool RegistryDeleteKey(const std::string& key) {
  LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, Relative(key).c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

}  // namespace kv::platform
