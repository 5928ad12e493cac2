#include "platform/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <memory>
#include <mutex>

#include "platform/http_post_checks.h"
#include "platform/os_facts.h"

namespace kv::platform {
namespace {

struct MultiFree {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct EasyFree {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// While it lives, the easy handle is part of the multi handle.
class Attached {
 public:
  Attached(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) easy_ = nullptr;
  }
  ~Attached() {
    if (easy_ != nullptr) curl_multi_remove_handle(multi_, easy_);
  }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;
  bool Ok() const { return easy_ != nullptr; }

 private:
  CURLM* multi_;
  CURL* easy_;
};

size_t DropBody(char*, size_t size, size_t count, void*) { return size * count; }

// Keeps the same words as the Windows build for the failures an administrator meets.
std::string ErrorText(CURLcode code, long os_error) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "cannot resolve the host";
    case CURLE_COULDNT_CONNECT:
      if (os_error == ETIMEDOUT) return "timed out";
      if (os_error == ENETUNREACH || os_error == EHOSTUNREACH) return "host unreachable";
      if (os_error == ECONNREFUSED || os_error == 0) return "connection refused";
      return "cannot connect";
    case CURLE_OPERATION_TIMEDOUT:
      return "timed out";
    case CURLE_PEER_FAILED_VERIFICATION:
      return "certificate not trusted";
    case CURLE_SSL_CACERT_BADFILE:
      return "cannot read the CA file";
    case CURLE_SSL_CONNECT_ERROR:
      return "TLS handshake failed";
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return "bad address";
    default:
      break;
  }
  std::string text = curl_easy_strerror(code);
  // "Failure when receiving data from the peer" -> "failure ..."; "SSL ..." stays.
  if (text.size() > 1 && std::islower(static_cast<unsigned char>(text[1])))
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

bool SetUp(CURL* easy, const HttpPostRequest& request, curl_slist* headers) {
  const long timeout_ms = std::clamp(request.timeout_seconds, 1, 24 * 3600) * 1000L;
  static const std::string agent = "korvane_monitor/" + ProgramVersionText();
  bool ok = curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
#if LIBCURL_VERSION_NUM >= 0x075500
  ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
#else
  ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS}) == CURLE_OK;
#endif
  ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeout_ms) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeout_ms) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  if (!request.ca_file.empty()) {
    // Only the file's certificates: no bundle and no folder of the system's roots besides.
    ok = ok && curl_easy_setopt(easy, CURLOPT_CAINFO, request.ca_file.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr) == CURLE_OK;
  }
  ok = ok && curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_POST, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                              static_cast<curl_off_t>(request.body.size())) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data()) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, DropBody) == CURLE_OK;
  return ok;
}

}  // namespace

HttpPostResult HttpPost(const HttpPostRequest& request) {
  HttpPostResult result;
  const auto start = std::chrono::steady_clock::now();
  auto finish = [&](std::string error) {
    result.error = std::move(error);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
  };
  if (std::string problem = HttpPostRequestProblem(request); !problem.empty()) return finish(problem);
  static std::once_flag curl_ready;
  std::call_once(curl_ready, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  std::unique_ptr<curl_slist, ListFree> headers;
  for (const std::string& line : {"Content-Type: " + request.content_type, request.extra_header,
                                  std::string("Expect:")}) {
    if (line.empty()) continue;
    curl_slist* longer = curl_slist_append(headers.get(), line.c_str());
    if (longer == nullptr) return finish("out of memory");
    headers.release();
    headers.reset(longer);
  }
  std::unique_ptr<CURLM, MultiFree> multi(curl_multi_init());
  std::unique_ptr<CURL, EasyFree> easy(curl_easy_init());
  if (!multi || !easy || !SetUp(easy.get(), request, headers.get())) return finish("cannot set up the request");

  // The multi interface, so that a cancel wakes the wait at once instead of at the next
  // progress tick.
  std::atomic<bool> cancelled{false};
  ConsoleCancelScope scope(request.cancel, [&] {
    cancelled = true;
    curl_multi_wakeup(multi.get());
  });
  if (!scope.Entered()) return finish("cancelled");
  Attached attached(multi.get(), easy.get());
  if (!attached.Ok()) return finish("cannot set up the request");

  CURLcode code = CURLE_OK;
  bool done = false;
  while (!done && !cancelled) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) return finish("cannot run the request");
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
      if (message->msg == CURLMSG_DONE) {
        code = message->data.result;
        done = true;
      }
    }
    if (!done && !cancelled && curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr) != CURLM_OK)
      return finish("cannot run the request");
  }
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  // A status line came: the receiver answered, even if its body broke off afterwards.
  if (status >= 200) {
    result.answered = true;
    result.status = static_cast<int>(status);
    return finish(std::string());
  }
  if (!done) return finish("cancelled");
  long os_error = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_OS_ERRNO, &os_error);
  return finish(code == CURLE_OK ? "no answer" : ErrorText(code, os_error));
}

}  // namespace kv::platform
