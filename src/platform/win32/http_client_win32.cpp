#include "platform/http_client.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/files.h"
#include "platform/http_post_checks.h"
#include "platform/os_facts.h"
#include "platform/win32/system_error.h"

namespace kv::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct InternetClose {
  void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetClose>;
struct StoreClose {
  void operator()(HCERTSTORE store) const { ::CertCloseStore(store, 0); }
};
using CertStore = std::unique_ptr<void, StoreClose>;
struct EngineFree {
  void operator()(HCERTCHAINENGINE engine) const { ::CertFreeCertificateChainEngine(engine); }
};
using ChainEngine = std::unique_ptr<void, EngineFree>;
struct CertFree {
  void operator()(PCCERT_CONTEXT cert) const { ::CertFreeCertificateContext(cert); }
};
using Cert = std::unique_ptr<const CERT_CONTEXT, CertFree>;
struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { ::CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

// The request handle, closed exactly once: by a cancel or the deadline from another thread
// (closing it is how WinHTTP aborts a blocking call), or at the end. The calls keep using
// the raw value; once closed, they fail.
class RequestHandle {
 public:
  explicit RequestHandle(HINTERNET handle) : handle_(handle), raw_(handle) {}
  ~RequestHandle() { Close(); }
  RequestHandle(const RequestHandle&) = delete;
  RequestHandle& operator=(const RequestHandle&) = delete;
  HINTERNET get() const { return raw_; }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle_ != nullptr) ::WinHttpCloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  std::mutex mutex_;
  HINTERNET handle_;
  const HINTERNET raw_;
};

// Closes the request at the deadline: WinHTTP's own timeouts bound each step, not the sum.
class Deadline {
 public:
  Deadline(Clock::time_point at, RequestHandle& request) : thread_([this, at, &request] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (wake_.wait_until(lock, at, [&] { return done_; })) return;
      fired_ = true;
      lock.unlock();
      request.Close();
    }) {}
  ~Deadline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
  bool Fired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fired_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool fired_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

// The same words as the Linux build for what an administrator meets.
std::string ErrorText(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "cannot resolve the host";
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "connection refused";
    case ERROR_WINHTTP_TIMEOUT:
      return "timed out";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return "certificate not trusted";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return "TLS handshake failed";
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return "bad address";
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return "connection broken";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "bad response";
    default:
      break;
  }
  char buffer[256] = {};
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                             ::GetModuleHandleA("winhttp.dll"), code, 0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == '.')) --n;
  std::string text = n > 0 ? std::string(buffer, n) : SystemErrorText(code);
  if (text.size() > 1 && std::islower(static_cast<unsigned char>(text[1])))
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// Every "-----BEGIN CERTIFICATE-----" block of the PEM text into a new memory store; null
// when the text holds none.
CertStore LoadPemCertificates(const std::string& pem) {
  CertStore store(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!store) return store;
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
  int count = 0;
  for (size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at + 1)) {
    const size_t end = pem.find(kEnd, at);
    if (end == std::string::npos) break;
    const DWORD block_size = static_cast<DWORD>(end + kEnd.size() - at);
    DWORD der_size = 0;
    if (!::CryptStringToBinaryA(pem.data() + at, block_size, CRYPT_STRING_BASE64HEADER, nullptr, &der_size, nullptr,
                                nullptr))
      continue;
    std::string der(der_size, '\0');
    if (::CryptStringToBinaryA(pem.data() + at, block_size, CRYPT_STRING_BASE64HEADER,
                               reinterpret_cast<BYTE*>(der.data()), &der_size, nullptr, nullptr) &&
        ::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                           der_size, CERT_STORE_ADD_USE_EXISTING, nullptr))
      ++count;
  }
  if (count == 0) store.reset();
  return store;
}

// The server's chain must end at one of `roots` and no other root, and fit `host`.
bool TrustedByRoots(PCCERT_CONTEXT server, HCERTSTORE roots, const std::wstring& host) {
  CERT_CHAIN_ENGINE_CONFIG config{};
  // The whole record as Windows 7 knows it, or the exclusive root is not read. (Windows 8
  // adds a flag that lets an intermediate end the chain; Windows 7 and Wine refuse that
  // size, so only the file's self-signed roots can.)
  config.cbSize = sizeof config;
  config.hExclusiveRoot = roots;
  HCERTCHAINENGINE raw_engine = nullptr;
  if (!::CertCreateCertificateChainEngine(&config, &raw_engine)) return false;
  ChainEngine engine(raw_engine);
  CERT_CHAIN_PARA chain_para{};
  chain_para.cbSize = sizeof chain_para;
  PCCERT_CHAIN_CONTEXT raw_chain = nullptr;
  if (!::CertGetCertificateChain(raw_engine, server, nullptr, server->hCertStore, &chain_para, 0, nullptr,
                                 &raw_chain))
    return false;
  Chain chain(raw_chain);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  std::wstring name = host;
  ssl.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  return ::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, raw_chain, &policy, &status) &&
         status.dwError == 0;
}

}  // namespace

HttpPostResult HttpPost(const HttpPostRequest& request) {
  HttpPostResult result;
  const auto start = Clock::now();
  auto finish = [&](std::string error) {
    result.error = std::move(error);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  };
  if (std::string problem = HttpPostRequestProblem(request); !problem.empty()) return finish(problem);
  if (request.body.size() > 0x7fffffff) return finish("message too large");
  const bool secure = HttpIsSecure(request.url);
  CertStore roots;
  if (secure && !request.ca_file.empty()) {
    std::string pem;
    if (ReadWholeFile(request.ca_file, pem, size_t{4} << 20) != FileReadResult::kOk ||
        !(roots = LoadPemCertificates(pem)))
      return finish("cannot read the CA file");
  }

  std::wstring url = Widen(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
  if (url.empty() || !::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
      parts.dwHostNameLength == 0)
    return finish("bad address");
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  const int timeout_ms = std::clamp(request.timeout_seconds, 1, 24 * 3600) * 1000;
  const std::wstring agent = Widen("korvane_monitor/" + ProgramVersionText());
  Internet session(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session)  // before Windows 8.1
    session.reset(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return finish(ErrorText(::GetLastError()));
  ::WinHttpSetTimeouts(session.get(), timeout_ms, timeout_ms, timeout_ms, timeout_ms);
  Internet connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return finish(ErrorText(::GetLastError()));
  HINTERNET raw_request = ::WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                               WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
  if (raw_request == nullptr) return finish(ErrorText(::GetLastError()));
  RequestHandle handle(raw_request);
  // Waiting for the response's head has a timeout of its own (Wine waits for ever without it).
  DWORD response_timeout = static_cast<DWORD>(timeout_ms);
  ::WinHttpSetOption(raw_request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout, sizeof response_timeout);
  DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
  ::WinHttpSetOption(raw_request, WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects);
  if (roots) {
    // The private roots are checked below, before the body goes out; names and dates are
    // still WinHTTP's to check.
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    if (!::WinHttpSetOption(raw_request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags))
      return finish(ErrorText(::GetLastError()));
  }
  std::wstring headers = Widen("Content-Type: " + request.content_type + "\r\n");
  if (!request.extra_header.empty()) headers += Widen(request.extra_header + "\r\n");

  std::atomic<bool> cancelled{false};
  ConsoleCancelScope scope(request.cancel, [&] {
    cancelled = true;
    handle.Close();
  });
  if (!scope.Entered()) return finish("cancelled");
  Deadline deadline(start + std::chrono::milliseconds(timeout_ms), handle);
  auto failure = [&](DWORD code) {
    if (cancelled) return finish("cancelled");
    if (deadline.Fired()) return finish("timed out");
    return finish(ErrorText(code));
  };

  const DWORD body_size = static_cast<DWORD>(request.body.size());
  void* body = const_cast<char*>(request.body.data());
  if (!roots) {
    if (!::WinHttpSendRequest(raw_request, headers.c_str(), DWORD(-1), body, body_size, body_size, 0))
      return failure(::GetLastError());
  } else {
    if (!::WinHttpSendRequest(raw_request, headers.c_str(), DWORD(-1), WINHTTP_NO_REQUEST_DATA, 0, body_size, 0))
      return failure(::GetLastError());
    PCCERT_CONTEXT raw_cert = nullptr;
    DWORD size = sizeof raw_cert;
    if (!::WinHttpQueryOption(raw_request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw_cert, &size) ||
        raw_cert == nullptr)
      return failure(::GetLastError());
    Cert cert(raw_cert);
    if (!TrustedByRoots(raw_cert, roots.get(), host)) return finish("certificate not trusted");
    for (DWORD done = 0; done < body_size;) {
      DWORD written = 0;
      if (!::WinHttpWriteData(raw_request, static_cast<const char*>(body) + done, body_size - done, &written))
        return failure(::GetLastError());
      if (written == 0) return finish("connection broken");
      done += written;
    }
  }
  if (!::WinHttpReceiveResponse(raw_request, nullptr)) return failure(::GetLastError());
  DWORD status = 0, size = sizeof status;
  if (!::WinHttpQueryHeaders(raw_request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return failure(::GetLastError());
  // The response body is not read: closing the request drops it.
  result.answered = true;
  result.status = static_cast<int>(status);
  return finish(std::string());
}

}  // namespace kv::platform
