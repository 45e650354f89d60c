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
  const CURLcode code = Drive();
  if (code == CURLE_OK) return true;
  std::string reason = errorBuffer_[0] != '\0' ? errorBuffer_ : curl_easy_strerror(code);
  error_ = abortReason_.empty() ? reason : abortReason_ + " (" + reason + ")";
  return false;
}

CURLcode CurlTransfer::Drive() {
  // curl_easy_perform waits up to a second at a time while nothing happens,
  // and the progress callback, which ends a stalled exchange, only runs
  // between those waits. Driving the handle here with a short wait lets a
  // stall be noticed within a tenth of a second of its time-out.
  struct MultiCloser {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
  };
  std::unique_ptr<CURLM, MultiCloser> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), handle_.get()) != CURLM_OK) {
    return curl_easy_perform(handle_.get());
  }
  constexpr int kLongestWaitMs = 100;
  CURLcode result = CURLE_OK;
  int running = 1;
  while (running > 0) {
    CURLMcode m = curl_multi_perform(multi.get(), &running);
    if (m == CURLM_OK && running > 0)
      m = curl_multi_poll(multi.get(), nullptr, 0, kLongestWaitMs, nullptr);
    if (m != CURLM_OK) {
      result = CURLE_OUT_OF_MEMORY;
      if (abortReason_.empty()) abortReason_ = curl_multi_strerror(m);
      break;
    }
  }
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == handle_.get()) {
      result = message->data.result;
    }
  }
  curl_multi_remove_handle(multi.get(), handle_.get());
  return result;
}

long CurlTransfer::ResponseCode() const {
  long code = 0;
  if (handle_) curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &code);
  return code;
}

}  // namespace vyrelo::web
