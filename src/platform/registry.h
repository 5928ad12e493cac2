#pragma once
// HKEY_LOCAL_MACHINE access for installing and removing the service (Windows only; only
// code under src/platform/win32/ includes this header). Key paths are relative to
// HKEY_LOCAL_MACHINE and may start with "\": "\SYSTEM\CurrentControlSet\Services\X".
// Every function returns false on failure and leaves GetLastError-style details to the
// caller's message.
#include <cstdint>
#include <string>

namespace kv::platform {

// Opens the key with full access, creating it (and its parents) when absent, and writes
// a REG_SZ value. `code_page` is the code page of `value` (0: the system's ANSI code page,
// 1251: the program's own Windows-1251 texts, stored right whatever the system's locale).
bool RegistryWriteString(const std::string& key, const std::string& name, const std::string& value,
                         unsigned code_page = 0);

// Same for a REG_DWORD value.
bool RegistryWriteInteger(const std::string& key, const std::string& name, uint32_t value);

// Deletes the key (which must have no subkeys). True when it is gone afterwards.
bool RegistryDeleteKey(const std::string& key);

}  // namespace kv::platform
