// The one owner of libcurl's handles. A transfer holds a CURL easy handle and
// the header lists it points to, so that nothing outlives the handle that
// uses it; every libcurl failure becomes a false result here, with curl's
// own reason kept beside it.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace vyrelo::web {

class CurlTransfer {
 public:
  CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // False when libcurl could not make a handle (out of memory).
  bool Valid() const { return handle_ != nullptr; }
  CURL* Handle() const { return handle_.get(); }

  // Sets an option; a refusal is kept as the first failure and makes
  // `Perform` fail without touching the network.
  template <typename T>
  void Set(CURLoption option, T value) {
    if (!handle_) return;
    const CURLcode code = curl_easy_setopt(handle_.get(), option, value);
    if (code != CURLE_OK && setupError_.empty()) setupError_ = curl_easy_strerror(code);
  }

  // Lines for CURLOPT_HTTPHEADER and CURLOPT_PROXYHEADER, owned here.
  void AddHeader(const std::string& line);
  void AddProxyHeader(const std::string& line);

  // Runs the transfer. On failure `Error()` tells why in curl's words,
  // preceded by `abortReason` when one of our own callbacks stopped it.
  bool Perform();
  const std::string& Error() const { return error_; }

  // Our callbacks record why they stopped a transfer here: curl itself only
  // knows that a callback refused to go on.
  void SetAbortReason(std::string reason) { abortReason_ = std::move(reason); }

  long ResponseCode() const;

 private:
  struct HandleCloser {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
  };
  struct ListFreer {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
  };
  CURLcode Drive();
  static void Append(std::unique_ptr<curl_slist, ListFreer>& list, const std::string& line,
                     std::string& error);

  std::unique_ptr<CURL, HandleCloser> handle_;
  std::unique_ptr<curl_slist, ListFreer> headers_;
  std::unique_ptr<curl_slist, ListFreer> proxyHeaders_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  std::string setupError_;
  std::string abortReason_;
  std::string error_;
};

}  // namespace vyrelo::web
