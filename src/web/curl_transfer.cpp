#include "web/curl_transfer.h"

#include <mutex>

namespace vyrelo::web {

namespace {

// curl_global_init is not thread-safe in every build; run it once for the
// process before the first handle.
void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlTransfer::CurlTransfer() {
  InitialiseCurlOnce();
  handle_.reset(curl_easy_init());
  if (!handle_) {
    setupError_ = "libcurl could not create a handle";
    return;
  }
  curl_easy_setopt(handle_.get(), CURLOPT_ERRORBUFFER, errorBuffer_);
}

void CurlTransfer::Append(std::unique_ptr<curl_slist, ListFreer>& list, const std::string& line,
                          std::string& error) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) {
    if (error.empty()) error = "out of memory while building the request headers";
    return;
  }
  // curl_slist_append returns the same head once the list exists.
  (void)list.release();
  list.reset(grown);
}

void CurlTransfer::AddHeader(const std::string& line) { Append(headers_, line, setupError_); }

void CurlTransfer::AddProxyHeader(const std::string& line) {
  Append(proxyHeaders_, line, setupError_);
}

bool CurlTransfer::Perform() {
  error_.clear();
  if (!setupError_.empty() || !handle_) {
    error_ = setupError_.empty() ? "libcurl could not create a handle" : setupError_;
    return false;
  }
  if (headers_) curl_easy_setopt(handle_.get(), CURLOPT_HTTPHEADER, headers_.get());
  if (proxyHeaders_) curl_easy_setopt(handle_.get(), CURLOPT_PROXYHEADER, proxyHeaders_.get());
  errorBuffer_[0] = '\0';
  abortReason_.clear();
  const CURLcode code = curl_easy_perform(handle_.get());
  if (code == CURLE_OK) return true;
  std::string reason = errorBuffer_[0] != '\0' ? errorBuffer_ : curl_easy_strerror(code);
  error_ = abortReason_.empty() ? reason : abortReason_ + " (" + reason + ")";
  return false;
}

long CurlTransfer::ResponseCode() const {
  long code = 0;
  if (handle_) curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &code);
  return code;
}

}  // namespace vyrelo::web
