// Routing of a request target and the generated responses: pages, plain texts, the
// support archive, the redirect and the error page. The drive history downloads of the
// root folder are answered in http_history.cpp, files in http_files.cpp.
//
// Every name of the root folder means controller 1. A folder "/cN/" holds controller N's
// texts under the root folder's names (main page names, then the substring rules, then
// files); "/cN" redirects there. A "/c<digits>/" folder of a number not served is missing.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/text_case.h"
#include "http/file_range.h"
#include "http/http_daemon.h"
#include "http/http_text.h"
#include "http/http_thread.h"
#include "http/request_path.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "resources/resource_store.h"
#include "served/served_content.h"
#include "support/support_archive.h"

namespace kv {
namespace {

// The maintenance stop name is this prefix, the local day of the month and the local
// hour: "kvst" + "08" + "_" + "14" on the 8th at 14:xx. Honoured from loopback only.
constexpr char kStopPrefix[] = "kvst";

PathRules LocalPathRules() {
  return platform::PathSeparator() == '\\' ? PathRules::kWindows : PathRules::kPosix;
}

bool IsMainPageName(const std::string& name) {
  const std::string lower = LowerCaseAscii(name);
  return lower == "index.php" || lower == "index.html" || lower == "index.htm" || TrimBlanks(name).empty();
}

std::string_view View(const std::shared_ptr<const std::string>& text) {
  return text ? std::string_view(*text) : std::string_view();
}

}  // namespace

bool TTCPHttpThrd::IsStopRequest(const std::string& name) const {
  if (!IsLoopbackAddress(PeerAddress)) return false;
  const platform::LocalDateTime now = platform::LocalNow();
  char stop_name[32];
  std::snprintf(stop_name, sizeof stop_name, "%s%02d_%02d", kStopPrefix, now.day % 100,
                now.hour % 100);
  return LowerCaseAscii(name) == stop_name;
}

bool TTCPHttpThrd::ControllerServed(int n) const {
  if (n < 1 || n > kMaxControllers) return false;
  if (n == 1 || Context.texts == nullptr) return true;
  const int count = Context.texts->ControllerCount();
  return count == 0 || n <= count;
}

void TTCPHttpThrd::ProcessRequest(const std::string& /*method*/, const std::string& target) {
  const char sep = platform::PathSeparator();
  const std::string url_dir = ExtractRequestDir(target);
  const std::string name = ExtractRequestName(target);
  std::string dir = url_dir;
  for (char& c : dir)
    if (c == '/') c = sep;

  int controller = 1;
  const int folder_controller = ControllerOfFolder(url_dir);
  if (folder_controller >= 0) {
    if (!ControllerServed(folder_controller)) return SendErrorPage(404);
    controller = folder_controller;
    if (IsMainPageName(name)) return SendPage(controller);
  } else if (TrimBlanks(dir) == std::string(1, sep)) {
    if (IsStopRequest(name)) {
      if (Context.events != nullptr) Context.events->LogErrorMessage("Raize error exception, halting...\r\n");
      std::_Exit(1);
    }
    if (IsMainPageName(name)) return SendPage(1);
    if (name == "metrics") return SendMachineText(true);
    if (name == "state.json") return SendMachineText(false);
    if (name == "history.csv") return SendHistory(THistoryFormat::kCsv, target);
    if (name == "history.json") return SendHistory(THistoryFormat::kJson, target);
    const int named = ControllerNumber(name);
    if (named >= 1 && ControllerServed(named)) return SendRedirect("/c" + std::to_string(named) + "/");
  }

  std::string root = Context.root_dir;
  if (!root.empty() && root.back() == sep) root.pop_back();
  const std::string local_name = root + dir + name;
  const std::size_t cut = local_name.find_last_of(std::string(1, sep) + "\\:");
  const std::string file_name = cut == std::string::npos ? local_name : local_name.substr(cut + 1);

  if (name.find("hdd_") != std::string::npos) return SendDrivePage(controller, name);
  if (name.find("raw") != std::string::npos) return SendPlainText(controller, true);
  if (name.find("support_kvr.zip") != std::string::npos) return SendSupportArchive(controller);
  if (name.find("ini") != std::string::npos) return SendPlainText(controller, false);
  const int index = Context.resources != nullptr ? Context.resources->IndexOf(file_name) : -1;
  if (index >= 0) return SendResourceFile(index, local_name);
  // Only plain names below the program folder reach the disk; anything else is missing.
  std::error_code ec;
  if (IsServablePath(url_dir, name, LocalPathRules()) &&
      std::filesystem::is_regular_file(std::filesystem::path(local_name), ec) &&
      IsInsideRoot(local_name))
    return SendDiskFile(local_name);
  SendErrorPage(404);
}

bool TTCPHttpThrd::IsInsideRoot(const std::string& local_name) const {
  // Resolves links, so a link inside the folder cannot lead outside it.
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::canonical(std::filesystem::path(Context.root_dir), ec);
  if (ec) return false;
  const std::filesystem::path file = std::filesystem::canonical(std::filesystem::path(local_name), ec);
  if (ec) return false;
  auto r = root.begin();
  auto f = file.begin();
  for (; r != root.end(); ++r, ++f) {
    if (r->empty()) continue;  // trailing separator of the root
    if (f == file.end() || *r != *f) return false;
  }
  return f != file.end();
}

void TTCPHttpThrd::SendPage(int controller) {
  // The page is the busiest answer and half a megabyte on a large controller: it is sent
  // from the published text and bar, with no copy of its own; the bar goes in at its place.
  TSharedPage page;
  if (Context.texts == nullptr || !Context.texts->ShareMainPage(controller, page)) return SendErrorPage(503);
  ResultCode = 200;
  const std::string head =
      ResponseHead(ResultCode, PageHeaders(TServedTexts::PageSize(page), HttpDateNow(), PageKind::kHtml));
  const std::string_view text = View(page.page);  // bar_at is within it (ShareMainPage)
  Sock.SendParts({head, text.substr(0, page.bar_at), View(page.bar), text.substr(page.bar_at), " "});
}

void TTCPHttpThrd::SendDrivePage(int controller, const std::string& name) {
  std::string body;
  if (Context.texts == nullptr ||
      !Context.texts->CopyDrivePage(controller, name.substr(name.size() < 4 ? name.size() : 4), body))
    return SendErrorPage(503);
  ResultCode = 200;
  SendResponseHead(ResultCode, PageHeaders(body.size(), HttpDateNow(), PageKind::kHtml), body);
}

void TTCPHttpThrd::SendPlainText(int controller, bool raw) {
  std::string body;
  if (Context.texts == nullptr || !(raw ? Context.texts->CopyConfigText(controller, body)
                                        : Context.texts->CopyReportText(controller, body)))
    return SendErrorPage(503);
  ResultCode = 200;
  SendResponseHead(ResultCode, PageHeaders(body.size(), HttpDateNow(), PageKind::kPlainText), body);
}

void TTCPHttpThrd::SendMachineText(bool metrics) {
  std::string body;
  if (Context.texts == nullptr || !(metrics ? Context.texts->CopyMetricsText(body) : Context.texts->CopyStateJson(body)))
    return SendErrorPage(503);
  ResultCode = 200;
  std::vector<std::string> headers = PageHeaders(body.size(), HttpDateNow(), PageKind::kPlainText);
  // The plain-text header set with the type these clients expect.
  for (std::string& line : headers)
    if (line.rfind("Content-Type:", 0) == 0)
      line = metrics ? "Content-Type: text/plain; version=0.0.4; charset=utf-8"
                     : "Content-Type: application/json; charset=utf-8";
  SendResponseHead(ResultCode, headers, body);
}

void TTCPHttpThrd::SendSupportArchive(int controller) {
  // Only the pointers are taken under PageLock; the deflate runs after it is released, on
  // the texts the pointers keep alive.
  TArchiveSources sources;
  if (Context.texts == nullptr || !Context.texts->ShareArchiveSources(controller, sources))
    return SendErrorPage(503);
  const auto text = [&sources](TArchiveSources::Text which) { return View(sources.texts[which]); };
  const SupportArchiveTexts texts{text(TArchiveSources::kConfig), text(TArchiveSources::kSmart),
                                  text(TArchiveSources::kTask), text(TArchiveSources::kStat),
                                  text(TArchiveSources::kCache)};
  std::string zip;
  WriteSupportArchive(texts, sources.version, sources.local_time, sources.zone_bias_minutes, zip);
  SendAttachment(zip, "support_kvr.zip");
}

void TTCPHttpThrd::SendRedirect(const std::string& location) {
  ResultCode = 301;
  SendResponseHead(ResultCode, RedirectHeaders(0, HttpDateNow(), location));
}

void TTCPHttpThrd::SendErrorPage(int code, const std::string& extra_header, const std::string& detail) {
  // The status line carries the error code, so probes and scripts see the failure.
  ResultCode = code >= 100 && code <= 999 ? code : 500;
  const std::string page = ErrorPageText(code, detail);
  std::vector<std::string> headers = ErrorPageHeaders(page.size(), HttpDateNow());
  if (!extra_header.empty()) headers.push_back(extra_header);
  SendResponseHead(ResultCode, headers, page);
}

}  // namespace kv
