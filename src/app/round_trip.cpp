#include "app/round_trip.h"

#include <memory>

#include "encoding/code_page.h"
#include "encoding/stream_charset.h"
#include "encoding/stream_object.h"
#include "encoding/url_encode.h"
#include "json/json_document.h"
#include "params/param_list.h"
#include "platform/automation.h"
#include "script/script_control.h"
#include "web/fetch_url.h"
#include "web/winhttp_request.h"

namespace vyrelo::app {
namespace {

constexpr const char* kAccept = "application/json, text/javascript";
constexpr const char* kRequestedWith = "XMLHttpRequest";
constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/72.0.3626.81 Safari/537.36 SE 2.X MetaSr 1.0";
constexpr const char* kAcceptLanguage = "zh-CN,zh;q=0.9";
constexpr const char* kProductId = "sogou-dict-fanyi-search-engine";

constexpr int kPost = 1;

}  // namespace

Text ParseFailureText() { return "JSON\xBD\xE2\xCE\xF6\xCA\xA7\xB0\xDC"; }  // JSON解析失败

Text RequestTranslation(const Text& from, const Text& to, const Text& text,
                        const ServiceSettings& settings, RequestDiagnostics* diagnostics) {
  auto body = std::make_unique<params::ParamList>();
  auto headers = std::make_unique<params::ParamList>();

  body->Add("pid", kProductId);
  body->Add("from", from);
  body->Add("to", to);
  // encodeURIComponent: with encodeURI, "&" would end the text field, "+"
  // would arrive as a space and "#" or "=" would break the form.
  body->Add("text", encoding::UrlEncode(text, encoding::kUrlEncodeUriComponent));
  const Text bodyText = encoding::TextToUtf8(body->ToQueryString(false));

  headers->Add("Host", settings.host);
  headers->Add("Accept", kAccept);
  headers->Add("Origin", settings.origin);
  headers->Add("X-Requested-With", kRequestedWith);
  headers->Add("User-Agent", kUserAgent);
  headers->Add("Accept-Language", kAcceptLanguage);
  const Text headerBlock = headers->ToHeaderBlock(false);

  int status = 0;
  web::FetchOptions options;
  options.method = kPost;
  options.body = bodyText;
  options.headers = headerBlock;
  options.status = &status;
  const Bytes reply = web::FetchUrl(ServiceUrl(settings), options);
  if (diagnostics) {
    diagnostics->status = status;
    diagnostics->bodyBytes = reply.size();
    // Only a request that got no answer at all has a failure of its own; the
    // thread's record may otherwise hold an older, unrelated reason.
    diagnostics->networkError = status == 0 ? platform::GetAutomationErrorDetail() : std::string();
  }

  const Bytes converted = encoding::ConvertCharset(reply);
  Text result = TextFromBytes(converted);

  body.reset();
  headers.reset();
  return result;
}

Text PickJsonField(const Text& reply, const Text& path, bool* parsed) {
  auto document = std::make_unique<json::JsonDocument>();
  const Text flat = RemoveByte(RemoveByte(reply, '\r'), '\n');
  json::ScriptErrorInfo errorInfo;
  const bool ok = document->Parse(flat, false, errorInfo, false);
  if (parsed) *parsed = ok;
  if (!ok) return ParseFailureText();

  Text result;
  switch (document->GetKind(path)) {
    case json::kJsonString:
      result = document->GetText(path, false);
      break;
    case json::kJsonBoolean:
      result = document->GetJson(path);
      break;
    case json::kJsonNumber: {
      std::unique_ptr<json::JsonDocument> number = document->GetSubDocument(path);
      if (number) result = number->ToJson();
      break;
    }
    default:  // null, missing, object, array, or a path that does not evaluate
      result = document->GetText(path, true);
      break;
  }
  document.reset();
  return result;
}

TranslateFunction ServiceTranslator(ServiceSettings settings) {
  return [settings](const Text& from, const Text& to, const Text& text) {
    RequestDiagnostics diagnostics;
    const Text reply = RequestTranslation(from, to, text, settings, &diagnostics);
    TranslationOutcome outcome;
    outcome.result = PickJsonField(reply, "data.translate.dit", &outcome.parsed);
    if (!outcome.parsed) {
      if (diagnostics.status == 0) {
        outcome.reason = "the service could not be reached or timed out";
        if (!diagnostics.networkError.empty())
          outcome.reason += " (" + diagnostics.networkError + ")";
      } else {
        outcome.reason = "the reply did not parse (HTTP status " +
                         std::to_string(diagnostics.status) + ", " +
                         std::to_string(diagnostics.bodyBytes) + " bytes)";
      }
    }
    return outcome;
  };
}

void RegisterSystemObjects() {
  script::RegisterScriptObjects();
  web::RegisterWebObjects();
  encoding::RegisterStreamObject();
}

}  // namespace vyrelo::app
