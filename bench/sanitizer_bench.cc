// matches_suspicious on 1 MiB texts of different kinds, next to BLAKE3 hashing the same
// bytes, which every reported tool output also goes through. Targets: the scan at least as
// fast as the hash on every input, and the adversarial inputs within 3x the prose time.
#include <benchmark/benchmark.h>
#include <blake3.h>

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "sanitizer/patterns.h"
#include "sanitizer/portable_scan.h"

namespace {

constexpr std::size_t kSize = std::size_t{1} << 20;

enum class Input {
  kProse,
  kJson,
  kMultilingual,
  kHexNearMiss,
  kSsnNearMiss,
  kRepeatedJwtPrefix,
  kJwtPrefixLongRun,
  kRepeatedSkPrefix,
  kAwsNearMiss,
  kRepeatedAwsPrefix,
};

std::string pick(std::mt19937& rng, const std::vector<std::string>& options) {
  return options[rng() % options.size()];
}

std::string digits(std::mt19937& rng, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += static_cast<char>('0' + rng() % 10);
  return out;
}

std::string prose(std::mt19937& rng) {
  static const std::vector<std::string> words = {
      "the",     "of",       "and",     "to",          "in",          "a",          "is",
      "that",    "for",      "it",      "as",          "was",         "with",       "be",
      "by",      "on",       "not",     "he",          "this",        "are",        "or",
      "his",     "from",     "at",      "which",       "but",         "have",       "an",
      "they",    "you",      "were",    "their",       "one",         "all",        "we",
      "can",     "her",      "has",     "there",       "been",        "if",         "more",
      "when",    "will",     "would",   "who",         "so",          "no",         "agent",
      "model",   "request",  "policy",  "document",    "engineering", "well-known", "results",
      "however", "question", "quickly", "important",   "government",  "long-term",  "network",
      "system",  "provides", "between", "information", "Wednesday",   "London",     "September"};
  std::string out;
  while (out.size() < kSize) {
    const int sentence = 8 + static_cast<int>(rng() % 20);
    for (int i = 0; i < sentence; ++i) {
      std::string word = pick(rng, words);
      if (i == 0) word[0] = static_cast<char>(word[0] - 32 * (word[0] >= 'a' && word[0] <= 'z'));
      out += word;
      if (rng() % 40 == 0) {
        out += ' ';
        out += digits(rng, 1 + static_cast<int>(rng() % 4));
      }
      out += (i + 1 == sentence) ? pick(rng, {". ", ". ", "? ", "! ", ".\n\n"})
                                 : pick(rng, {" ", " ", " ", " ", " ", ", ", "; ", " - "});
    }
  }
  out.resize(kSize);
  return out;
}

std::string json(std::mt19937& rng) {
  static const std::vector<std::string> names = {"Ada Lovelace", "Alan Turing", "Grace Hopper",
                                                 "Edsger Dijkstra", "Barbara Liskov"};
  static const std::vector<std::string> tags = {"\"urgent\"", "\"billing\"", "\"eu-west-1\"",
                                                "\"follow_up\"", "\"v2\""};
  static const char* kHexDigits = "0123456789abcdef";
  auto hex = [&](int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += kHexDigits[rng() % 16];
    return out;
  };
  std::string out = "{\"status\":\"ok\",\"items\":[";
  for (int id = 100000; out.size() < kSize; ++id) {
    out += "{\"id\":" + std::to_string(id) + ",\"uuid\":\"" + hex(8) + "-" + hex(4) + "-" + hex(4) +
           "-" + hex(4) + "-" + hex(12) + "\",\"name\":\"" + pick(rng, names) +
           "\",\"email\":\"user" + std::to_string(id) + "@example.com\",\"created_at\":\"2024-" +
           digits(rng, 1) + "1-1" + digits(rng, 1) + "T1" + digits(rng, 1) + ":3" + digits(rng, 1) +
           ":00Z\",\"score\":0." + digits(rng, 6) + ",\"tags\":[" + pick(rng, tags) + "," +
           pick(rng, tags) + "],\"url\":\"https://api.example.com/v1/items/" + std::to_string(id) +
           "?expand=owner\",\"active\":" + (rng() % 2 ? "true" : "false") + "},\n";
  }
  out.resize(kSize);
  return out;
}

std::string multilingual(std::mt19937& rng) {
  static const std::vector<std::string> sentences = {
      "人工智能代理在执行工具调用之前需要检查策略。",
      "東京の天気は明日も晴れるでしょう。",
      "데이터는 안전하게 보관되어야 합니다. ",
      "يجب على الوكيل التحقق من السياسة قبل كل استدعاء. ",
      "الرقم ١٢٣ في القائمة ٤٥. ",
      "Агент должен проверить политику перед вызовом. ",
      "Привет, мир! Это тест — номер 42. ",
      "Ελληνικά γράμματα και αριθμοί. ",
      "हिंदी में एक वाक्य, संख्या १२३४. ",
      "Café, naïve, façade: déjà vu. "};
  std::string out;
  while (out.size() < kSize) out += pick(rng, sentences);
  // Cut at a character boundary.
  std::size_t end = kSize;
  while ((static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
  out.resize(end);
  out.append(kSize - end, ' ');
  return out;
}

std::string hex_near_miss(std::mt19937& rng) {
  static const char* kHexDigits = "0123456789abcdefABCDEF";
  static const std::vector<std::string> separators = {" ", "\n", ",", ":", "/"};
  std::string out;
  while (out.size() < kSize) {
    for (int i = 0; i < 31; ++i) out += kHexDigits[rng() % 22];
    out += pick(rng, separators);
  }
  out.resize(kSize);
  return out;
}

std::string ssn_near_miss(std::mt19937& rng) {
  std::string out;
  while (out.size() < kSize) {
    switch (rng() % 6) {
      case 0:
        out += digits(rng, 3) + "-" + digits(rng, 2) + "-" + digits(rng, 3);
        break;
      case 1:
        out += digits(rng, 2) + "-" + digits(rng, 3) + "-" + digits(rng, 4);
        break;
      case 2:
        out += digits(rng, 3) + "-" + digits(rng, 2) + "-" + digits(rng, 5);
        break;
      case 3:
        out += 'a' + (digits(rng, 3) + "-" + digits(rng, 2) + "-" + digits(rng, 4));
        break;
      case 4:
        out += digits(rng, 3) + "-" + digits(rng, 2) + "-" + digits(rng, 4) + "x";
        break;
      default:
        out += digits(rng, 3) + "-" + digits(rng, 3) + "-" + digits(rng, 3);
        break;
    }
    out += pick(rng, {" ", ", ", "\n", "; "});
  }
  out.resize(kSize);
  return out;
}

std::string repeated(const std::string& unit) {
  std::string out;
  while (out.size() < kSize) out += unit;
  out.resize(kSize);
  return out;
}

struct Text {
  std::string bytes;
  bool suspicious;
};

Text make(Input input) {
  std::mt19937 rng(12345);
  switch (input) {
    case Input::kProse:
      return {prose(rng), false};
    case Input::kJson:
      return {json(rng), false};
    case Input::kMultilingual:
      return {multilingual(rng), false};
    case Input::kHexNearMiss:
      return {hex_near_miss(rng), false};
    case Input::kSsnNearMiss:
      return {ssn_near_miss(rng), false};
    case Input::kRepeatedJwtPrefix:
      return {repeated("eyJ"), false};
    case Input::kJwtPrefixLongRun:
      return {"eyJ" + std::string(kSize - 5, 'x') + ".e", false};
    case Input::kRepeatedSkPrefix:
      return {repeated("sk-"), false};
    case Input::kAwsNearMiss:
      return {repeated("AKIAQWERTYUIOP01234 "), false};
    case Input::kRepeatedAwsPrefix:
      return {repeated("AKIA"), true};
  }
  return {};
}

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void BM_Scan(benchmark::State& state, Input input) {
  const Text text = make(input);
  // The expected answer, found pattern by pattern; a near miss that matched would measure
  // an early exit instead of a full scan.
  if (mobrel::detail::matches_suspicious_by_pattern(bytes_of(text.bytes)) != text.suspicious ||
      mobrel::matches_suspicious(text.bytes) != text.suspicious) {
    state.SkipWithError("input does not give the expected answer");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(mobrel::matches_suspicious(text.bytes));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.bytes.size()));
}

void BM_Blake3(benchmark::State& state, Input input) {
  const Text text = make(input);
  std::array<std::uint8_t, BLAKE3_OUT_LEN> digest{};
  for (auto _ : state) {
    blake3_hasher hasher;
    blake3_hasher_init(&hasher);
    blake3_hasher_update(&hasher, text.bytes.data(), text.bytes.size());
    blake3_hasher_finalize(&hasher, digest.data(), digest.size());
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.bytes.size()));
}

void BM_ScanPatternByPattern(benchmark::State& state, Input input) {
  const Text text = make(input);
  for (auto _ : state) {
    benchmark::DoNotOptimize(mobrel::detail::matches_suspicious_by_pattern(bytes_of(text.bytes)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.bytes.size()));
}

// The path of processors without AVX-512 VBMI, measured on any processor: as dispatched
// (with AVX2 where present), and with 64-bit arithmetic only.
void bench_scan(benchmark::State& state, Input input,
                bool (*scan)(std::span<const std::uint8_t>, const mobrel::HyphenatedNumber&)) {
  const Text text = make(input);
  const mobrel::HyphenatedNumber& ssn = mobrel::ssn();
  if (scan(bytes_of(text.bytes), ssn) != text.suspicious) {
    state.SkipWithError("input does not give the expected answer");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(scan(bytes_of(text.bytes), ssn));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.bytes.size()));
}

void BM_ScanPortable(benchmark::State& state, Input input) {
  bench_scan(state, input, &mobrel::detail::portable_scan);
}

void BM_ScanPortableByWords(benchmark::State& state, Input input) {
  bench_scan(state, input, &mobrel::detail::portable_scan_by_words);
}

#define MOBREL_SANITIZER_BENCH(name, input)               \
  BENCHMARK_CAPTURE(BM_Scan, name, input);                \
  BENCHMARK_CAPTURE(BM_Blake3, name, input);              \
  BENCHMARK_CAPTURE(BM_ScanPortable, name, input);        \
  BENCHMARK_CAPTURE(BM_ScanPortableByWords, name, input); \
  BENCHMARK_CAPTURE(BM_ScanPatternByPattern, name, input)

MOBREL_SANITIZER_BENCH(prose, Input::kProse);
MOBREL_SANITIZER_BENCH(json, Input::kJson);
MOBREL_SANITIZER_BENCH(multilingual, Input::kMultilingual);
MOBREL_SANITIZER_BENCH(hex_near_miss, Input::kHexNearMiss);
MOBREL_SANITIZER_BENCH(ssn_near_miss, Input::kSsnNearMiss);
MOBREL_SANITIZER_BENCH(repeated_jwt_prefix, Input::kRepeatedJwtPrefix);
MOBREL_SANITIZER_BENCH(jwt_prefix_long_run, Input::kJwtPrefixLongRun);
MOBREL_SANITIZER_BENCH(repeated_sk_prefix, Input::kRepeatedSkPrefix);
MOBREL_SANITIZER_BENCH(aws_near_miss, Input::kAwsNearMiss);
MOBREL_SANITIZER_BENCH(repeated_aws_prefix, Input::kRepeatedAwsPrefix);

}  // namespace

BENCHMARK_MAIN();
