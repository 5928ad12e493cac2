// Custom actions of the Windows Installer package (korvane-monitor.wxs), built as
// msi_actions.dll and stored in the package's Binary table.
//
// PrepareSettings (immediate, right after costing) builds the text a new config_http.txt
// gets: the packaged template with the public properties that were given filled in
//
//   msiexec /i korvane-monitor.msi /qn HTTP_PORT=8080 SOURCE_CONFIG="C:\Korvane\cli.exe -get config"
//
// and hands "<INSTALLDIR>\n<text>" to ApplySettings as its CustomActionData (a deferred
// action reads no other property).
//
// ApplySettings (deferred, as LocalSystem, after InstallServices and before StartServices)
// sets the service's command line and description as "/INSTALL" does, then creates
// config_http.txt from that text unless the file exists. The configuration is the user's: the package does not list it among its
// own files, so an upgrade, a repair or an uninstall never replaces or removes it, and the
// properties apply only when the file is first created.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <utility>
#include <vector>

#include "service/service_events.h"

namespace {

// The packaged config_http.txt (CR LF), generated from packaging/config_http.txt.
const char kConfigTemplate[] = {
#include "msi_config_template.inc"
};

struct Setting {
  const wchar_t* property;
  const wchar_t* section;
  const wchar_t* key;
};

const Setting kSettings[] = {
    {L"HTTP_PORT", L"http", L"port"},         {L"HTTP_LISTEN", L"http", L"listen"},
    {L"HTTP_ALLOW", L"http", L"allow"},       {L"SOURCE_CONFIG", L"source", L"config"},
    {L"SOURCE_SMART", L"source", L"smart"},   {L"SOURCE_TASK", L"source", L"task"},
    {L"SOURCE_STAT", L"source", L"stat"},     {L"SOURCE_CACHE", L"source", L"cache"},
    {L"NOTIFY_COMMAND", L"notify", L"command"},
};

void Log(MSIHANDLE install, const std::wstring& text) {
  PMSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringW(record, 0, (L"Korvane Monitor: " + text).c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t empty[1] = {};
  if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return std::wstring();
  std::wstring value(size + 1, L'\0');
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return std::wstring();
  value.resize(size);
  return value;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring Trim(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

// The section a line opens ("[http]" -> "http"), or nothing when it opens none.
bool SectionOf(const std::wstring& line, std::wstring* name) {
  std::wstring t = Trim(line);
  if (t.size() < 2 || t.front() != L'[' || t.back() != L']') return false;
  *name = Trim(t.substr(1, t.size() - 2));
  return true;
}

bool IsEntryFor(const std::wstring& line, const std::wstring& key) {
  std::wstring t = Trim(line);
  if (t.empty() || t[0] == L';' || t[0] == L'[') return false;
  return SameName(Trim(t.substr(0, t.find(L'='))), key);
}

// Sets key=value in the section the program reads: the last one of that name, and there
// the last line of the key (both win when the program reads the file). A missing key goes
// after the section's last entry, a missing section to the end.
void SetEntry(std::vector<std::wstring>& lines, const std::wstring& section, const std::wstring& key,
              const std::wstring& value) {
  const std::wstring entry = key + L"=" + value;
  size_t header = lines.size();
  std::wstring name;
  for (size_t i = 0; i < lines.size(); ++i)
    if (SectionOf(lines[i], &name) && SameName(name, section)) header = i;
  if (header == lines.size()) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back(L"[" + section + L"]");
    lines.push_back(entry);
    return;
  }
  size_t end = header + 1;
  while (end < lines.size() && !SectionOf(lines[end], &name)) ++end;
  size_t last_entry = header;
  for (size_t i = header + 1; i < end; ++i) {
    std::wstring t = Trim(lines[i]);
    if (!t.empty() && t[0] != L';') last_entry = i;
  }
  for (size_t i = end; i-- > header + 1;) {
    if (IsEntryFor(lines[i], key)) {
      lines[i] = entry;
      return;
    }
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_entry + 1), entry);
}

std::wstring Widen(const char* text, size_t size, UINT code_page) {
  int n = MultiByteToWideChar(code_page, 0, text, static_cast<int>(size), nullptr, 0);
  std::wstring out(n > 0 ? static_cast<size_t>(n) : 0u, L'\0');
  if (n > 0) MultiByteToWideChar(code_page, 0, text, static_cast<int>(size), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0u, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring ConfigText(MSIHANDLE install) {
  std::wstring tpl = Widen(kConfigTemplate, sizeof kConfigTemplate, CP_ACP);
  std::vector<std::wstring> lines;
  for (size_t start = 0; start < tpl.size();) {
    size_t end = tpl.find(L"\r\n", start);
    if (end == std::wstring::npos) end = tpl.size();
    lines.push_back(tpl.substr(start, end - start));
    start = end + 2;
  }
  for (const Setting& s : kSettings) {
    std::wstring value = Property(install, s.property);
    // One line per entry: a line break in a value would start a line of its own.
    for (wchar_t& c : value)
      if (c == L'\r' || c == L'\n') c = L' ';
    value = Trim(value);
    if (value.empty()) continue;
    SetEntry(lines, s.section, s.key, value);
    Log(install, std::wstring(L"[") + s.section + L"] " + s.key + L" from " + s.property);
  }
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  return text;
}

// The service as "/INSTALL" leaves it: the program's path in quotes (a path with blanks
// would otherwise be tried piece by piece, C:\Program.exe first) and the description.
bool ConfigureService(const std::wstring& program) {
  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (scm == nullptr) return false;
  std::wstring name = Widen(kv::kServiceName, sizeof kv::kServiceName - 1, CP_ACP);
  SC_HANDLE service = OpenServiceW(scm, name.c_str(), SERVICE_CHANGE_CONFIG);
  bool ok = false;
  if (service != nullptr) {
    const std::wstring command = L"\"" + program + L"\"";
    // The same Windows-1251 text that "/INSTALL" stores, whatever the system's code page.
    std::wstring text = Widen(kv::kServiceDescription, sizeof kv::kServiceDescription - 1, 1251);
    SERVICE_DESCRIPTIONW description{text.data()};
    ok = ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, command.c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE &&
         ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description) != FALSE;
    CloseServiceHandle(service);
  }
  CloseServiceHandle(scm);
  return ok;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall PrepareSettings(MSIHANDLE install) {
  std::wstring folder = Property(install, L"INSTALLDIR");
  if (folder.empty()) return ERROR_INSTALL_FAILURE;
  if (folder.back() != L'\\') folder += L'\\';
  std::wstring data = folder + L"\n" + ConfigText(install);
  return MsiSetPropertyW(install, L"ApplySettings", data.c_str()) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                                  : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall ApplySettings(MSIHANDLE install) {
  const std::wstring data = Property(install, L"CustomActionData");
  const size_t split = data.find(L'\n');
  if (split == std::wstring::npos) return ERROR_INSTALL_FAILURE;
  const std::wstring folder = data.substr(0, split);
  if (!ConfigureService(folder + L"korvane_monitor.exe")) {
    Log(install, L"cannot configure the service, error " + std::to_wstring(GetLastError()));
    return ERROR_INSTALL_FAILURE;
  }
  const std::wstring path = folder + L"config_http.txt";
  // CREATE_NEW: an existing configuration is never touched.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS) {
      Log(install, path + L" exists and is kept as it is");
      return ERROR_SUCCESS;
    }
    Log(install, L"cannot create " + path + L", error " + std::to_wstring(error));
    return ERROR_INSTALL_FAILURE;
  }
  const std::string bytes = Narrow(data.substr(split + 1));
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
            written == bytes.size();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(path.c_str());
    Log(install, L"cannot write " + path);
    return ERROR_INSTALL_FAILURE;
  }
  Log(install, L"created " + path);
  return ERROR_SUCCESS;
}
