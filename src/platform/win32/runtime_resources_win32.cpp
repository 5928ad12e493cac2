#include <windows.h>

#include "platform/runtime_resources.h"

namespace kv::platform {
namespace {

std::string Trimmed(const char* s) {
  std::string_view v(s);
  while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ') v.remove_prefix(1);
  while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ') v.remove_suffix(1);
  return std::string(v);
}

std::string TrimmedLower(const char* s) {
  std::string out = Trimmed(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

struct Enumeration {
  std::vector<std::string> types;
  std::vector<std::string> names;
};

BOOL CALLBACK OnType(HMODULE, LPSTR type, LONG_PTR param) {
  if (IS_INTRESOURCE(type)) return TRUE;  // types given by number are not ours
  auto* e = reinterpret_cast<Enumeration*>(param);
  if (TrimmedLower(type) == "res_runtime") e->types.emplace_back(type);
  return TRUE;
}

BOOL CALLBACK OnName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  if (IS_INTRESOURCE(name)) return TRUE;
  reinterpret_cast<Enumeration*>(param)->names.push_back(Trimmed(name));
  return TRUE;
}

}  // namespace

std::vector<RuntimeResource> EnumerateRuntimeResources() {
  std::vector<RuntimeResource> out;
  HMODULE module = GetModuleHandleA(nullptr);
  Enumeration e;
  EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&e));
  for (const std::string& type : e.types) {
    e.names.clear();
    EnumResourceNamesA(module, type.c_str(), OnName, reinterpret_cast<LONG_PTR>(&e));
    for (const std::string& name : e.names) {
      HRSRC info = FindResourceA(module, name.c_str(), type.c_str());
      if (info == nullptr) continue;
      DWORD size = SizeofResource(module, info);
      HGLOBAL handle = LoadResource(module, info);
      const void* data = handle ? LockResource(handle) : nullptr;
      if (data == nullptr) continue;
      out.push_back({name, std::string_view(static_cast<const char*>(data), size)});
    }
  }
  return out;
}

}  // namespace kv::platform
