// The code page layer against bare ICU conversions of the same data: the
// layer adds copies and terminator handling, not conversion work.
#include <benchmark/benchmark.h>
#include <unicode/ucnv.h>

#include <cstring>
#include <string>

#include "encoding/code_page.h"
#include "platform/codec.h"

namespace {

using vyrelo::Bytes;
using vyrelo::Text;

// About 1 MB of system text: Chinese with ASCII words between.
const Text& MixedText() {
  static const Text text = [] {
    const Text piece = "\xD6\xD0\xCE\xC4\xB7\xAD\xD2\xEB translate \xB2\xE2\xCA\xD4 123, ";
    Text t;
    while (t.size() < (1u << 20)) t += piece;
    return t;
  }();
  return text;
}

const Bytes& MixedUtf16() {
  static const Bytes units = vyrelo::encoding::TextToUtf16(MixedText(), true);
  return units;
}

// What a caller would write with ICU alone, its converters opened once and
// kept: convert through a UTF-16 buffer.
class BareIcu {
 public:
  BareIcu(const char* from, const char* to) {
    UErrorCode status = U_ZERO_ERROR;
    in_ = ucnv_open(from, &status);
    out_ = ucnv_open(to, &status);
  }
  ~BareIcu() {
    ucnv_close(in_);
    ucnv_close(out_);
  }
  std::string Convert(const char* data, std::size_t size) {
    UErrorCode status = U_ZERO_ERROR;
    std::u16string units(size + 1, u'\0');
    const int32_t n = ucnv_toUChars(in_, units.data(), static_cast<int32_t>(units.size()), data,
                                    static_cast<int32_t>(size), &status);
    std::string bytes(
        static_cast<std::size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(n, ucnv_getMaxCharSize(out_))),
        '\0');
    const int32_t m = ucnv_fromUChars(out_, bytes.data(), static_cast<int32_t>(bytes.size()),
                                      units.data(), n, &status);
    bytes.resize(static_cast<std::size_t>(m));
    return bytes;
  }

 private:
  UConverter* in_ = nullptr;
  UConverter* out_ = nullptr;
};

void BM_BareIcu_Gb18030ToUtf8(benchmark::State& state) {
  const Text& text = MixedText();
  BareIcu icu("gb18030", "UTF-8");
  for (auto _ : state) benchmark::DoNotOptimize(icu.Convert(text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_TextToUtf8(benchmark::State& state) {
  const Text& text = MixedText();
  for (auto _ : state) benchmark::DoNotOptimize(vyrelo::encoding::TextToUtf8(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_BareIcu_Utf16ToGb18030(benchmark::State& state) {
  const Bytes& units = MixedUtf16();
  BareIcu icu("UTF-16LE", "gb18030");
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        icu.Convert(reinterpret_cast<const char*>(units.data()), units.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * units.size()));
}

// The tightest baseline: ICU's own UTF-16 to GB18030 call on units already in
// memory, the converter kept open.
void BM_BareIcu_FromUChars(benchmark::State& state) {
  const Bytes& bytes = MixedUtf16();
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  UErrorCode status = U_ZERO_ERROR;
  UConverter* out = ucnv_open("gb18030", &status);
  for (auto _ : state) {
    std::string text(units.size() * 4, '\0');
    UErrorCode s = U_ZERO_ERROR;
    const int32_t n = ucnv_fromUChars(out, text.data(), static_cast<int32_t>(text.size()),
                                      units.data(), static_cast<int32_t>(units.size()), &s);
    text.resize(static_cast<std::size_t>(n));
    benchmark::DoNotOptimize(text);
  }
  ucnv_close(out);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_Utf16ToText(benchmark::State& state) {
  const Bytes& units = MixedUtf16();
  for (auto _ : state) benchmark::DoNotOptimize(vyrelo::encoding::Utf16ToText(units));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * units.size()));
}

BENCHMARK(BM_BareIcu_Gb18030ToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareIcu_Utf16ToGb18030)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareIcu_FromUChars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf16ToText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
