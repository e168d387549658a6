#include "sanitizer/patterns.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <latch>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "sanitizer/fused_scan.h"
#include "sanitizer/portable_scan.h"

namespace mobrel {
namespace {

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string repeat(std::string_view unit, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += unit;
  return out;
}

// n characters cycling through `alphabet`.
std::string run_of(std::string_view alphabet, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += alphabet[i % alphabet.size()];
  return out;
}

const std::string kAlnum = "aZ09bY18cX27dW36eV45";
const std::string kCaps = "QWERTY0123UIOP4567ZX";
const std::string kHex = "0123456789abcdefABCDEF";
const std::string kBase64 = "AbC-dE_fG0h1";

// Defined first: each accessor must still be empty when these threads start (ctest runs
// every test in a process of its own; run alone, the program runs this test first).
TEST(SanitizerThreads, FirstUseFromManyThreadsSharesOneBuildOfEachPattern) {
  const std::vector<std::pair<std::string, bool>> texts = {
      {"key AKIA" + run_of(kCaps, 16), true},
      {"plain words, nothing to see", false},
      {"ssn 123-45-6789.", true},
      {"hex " + run_of(kHex, 31), false},
  };
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::vector<std::array<const void*, 6>> addresses(kThreads);
  std::vector<std::vector<bool>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      // Half the threads reach the patterns through the check, half through the accessors
      // in reverse order, so that first uses of each slot race from both sides.
      if (t % 2 == 0) {
        for (const auto& [text, expected] : texts) results[t].push_back(matches_suspicious(text));
      }
      addresses[t] = {&ssn(), &long_hex(), &jwt(), &api_key_gh(), &api_key_aws(), &api_key_sk()};
      if (t % 2 == 1) {
        for (const auto& [text, expected] : texts) results[t].push_back(matches_suspicious(text));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::vector<bool> expected;
  for (const auto& [text, want] : texts) expected.push_back(want);
  const std::array<const void*, 6> here = {&ssn(),        &long_hex(),    &jwt(),
                                           &api_key_gh(), &api_key_aws(), &api_key_sk()};
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], expected) << "thread " << t;
    EXPECT_EQ(addresses[t], here) << "thread " << t;
  }
}

struct Case {
  const char* name;
  std::string text;
  bool expected;
};

std::vector<Case> edge_cases() {
  const std::string ssn = "123-45-6789";
  return {
      {"empty text", "", false},
      {"plain prose", "The quick brown fox jumps over the lazy dog.", false},

      {"gh: prefix and 35", "ghp_" + run_of(kAlnum, 35), false},
      {"gh: prefix and 36", "ghp_" + run_of(kAlnum, 36), true},
      {"gh: hyphen among 36", "ghp_" + run_of(kAlnum, 20) + "-" + run_of(kAlnum, 16), false},
      {"gh: 36 before a hyphen", "ghp_" + run_of(kAlnum, 36) + "-xyz", true},
      {"gh: upper-case prefix", "GHP_" + run_of(kAlnum, 40), false},
      {"gh: one letter off the prefix", "ghq_" + run_of(kAlnum, 40), false},

      {"sk: prefix and 19", "sk-" + run_of(kAlnum, 19), false},
      {"sk: prefix and 20", "sk-" + run_of(kAlnum, 20), true},
      {"sk: prefix ends a longer word", "task-" + run_of(kAlnum, 20), true},
      {"sk: underscore breaks the run", "sk-" + run_of(kAlnum, 10) + "_" + run_of(kAlnum, 10),
       false},
      {"sk: wrong separator", "sk_" + run_of(kAlnum, 30), false},
      {"sk: one letter off the prefix", "sq-" + run_of(kAlnum, 30), false},

      {"aws: 16 capitals and digits", "AKIA" + run_of(kCaps, 16), true},
      {"aws: 15 capitals and digits", "AKIA" + run_of(kCaps, 15) + " ", false},
      {"aws: 16 lower-case letters", "AKIA" + run_of("abcdefghijklmnop", 16), false},
      {"aws: lower-case prefix", "akia" + run_of(kCaps, 16), false},
      {"aws: inside a longer word", "xyzAKIA" + run_of(kCaps, 20) + "more", true},
      {"aws: prefix repeated inside its run", "AKIAKIA" + run_of(kCaps, 16), true},
      {"aws: last prefix letter off", "AKIB" + run_of(kCaps, 20), false},
      {"aws: first prefix letter off", "BKIA" + run_of(kCaps, 20), false},
      {"aws: second prefix letter off", "AZIA" + run_of(kCaps, 20), false},
      {"aws: third prefix letter off", "AKZA" + run_of(kCaps, 20), false},

      {"jwt: empty third segment", "eyJ" + run_of(kBase64, 20) + ".eyJ" + run_of(kBase64, 9) + ".",
       true},
      {"jwt: empty second tail", "eyJ" + run_of(kBase64, 20) + ".eyJ.", true},
      {"jwt: first segment of 19", "eyJ" + run_of(kBase64, 19) + ".eyJabc.def", false},
      {"jwt: no second full stop", "eyJ" + run_of(kBase64, 30) + ".eyJ" + run_of(kBase64, 30),
       false},
      {"jwt: second segment without marker", "eyJ" + run_of(kBase64, 20) + ".eyj" + "abc.def",
       false},
      {"jwt: marker one letter off", "eyK" + run_of(kBase64, 20) + ".eyJabc.def", false},
      {"jwt: marker's middle letter off", "ezJ" + run_of(kBase64, 20) + ".eyJabc.def", false},
      {"jwt: marker's first letter off", "fyJ" + run_of(kBase64, 20) + ".eyJabc.def", false},
      {"jwt: marker inside the second segment", "eyJ" + run_of(kBase64, 20) + ".xeyJab.c", false},
      {"jwt: marker again late in the first segment", "eyJ" + run_of(kBase64, 20) + "eyJ.eyJx.",
       true},
      {"jwt: token start after the full stop", "x.eyJ" + run_of(kBase64, 22) + ".tail", false},
      {"jwt: space before the full stop", "eyJ" + run_of(kBase64, 20) + " .eyJabc.def", false},
      {"jwt: marker late in the first run",
       "xx-" + run_of(kBase64, 5) + "eyJ" + run_of(kBase64, 20) + ".eyJx.y", true},
      {"jwt: full stop inside the first segment",
       "eyJ" + run_of(kBase64, 10) + "." + run_of(kBase64, 10) + ".eyJabc.", false},
      {"jwt: realistic token",
       "Bearer eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9.eyJzdWIiOiIxMjM0NTY3ODkwIn0."
       "dozjgNryP4J3jVmNHl0w5N_XgL0n3I9PlFUP0THsR8U",
       true},

      {"hex: 31 digits", run_of(kHex, 31), false},
      {"hex: 32 digits", run_of(kHex, 32), true},
      {"hex: 32 split by a space", run_of(kHex, 16) + " " + run_of(kHex, 16), false},
      {"hex: 31 after a non-hex letter", "g" + run_of(kHex, 31) + "g", false},

      {"ssn: alone", ssn, true},
      {"ssn: between spaces", " " + ssn + " ", true},
      {"ssn: between punctuation", "(" + ssn + ").", true},
      {"ssn: between hyphens", "-" + ssn + "-12", true},
      {"ssn: preceded by a letter", "a" + ssn, false},
      {"ssn: preceded by an underscore", "_" + ssn, false},
      {"ssn: preceded by a digit", "1" + ssn, false},
      {"ssn: followed by a digit", ssn + "0", false},
      {"ssn: followed by a letter", ssn + "x", false},
      {"ssn: short middle group", "123-4-6789", false},
      {"ssn: Arabic-Indic digits", "\u0661\u0662\u0663-\u0664\u0665-\u0666\u0667\u0668\u0669",
       true},
      {"ssn: full-width digits", "\uFF11\uFF12\uFF13-\uFF14\uFF15-\uFF16\uFF17\uFF18\uFF19", true},
      {"ssn: four-byte digits",
       "\U0001D7CF\U0001D7D0\U0001D7D1-\U0001D7D2\U0001D7D3-"
       "\U0001D7D4\U0001D7D5\U0001D7D6\U0001D7D7",
       true},
      {"ssn: scripts mixed", "12\u0969-45-67\uFF18\u0669", true},
      {"ssn: non-ASCII middle group", "123-\u0664\u0665-6789", true},
      {"ssn: ASCII, an accent further back", "caf\u00E9, " + ssn, true},
      {"ssn: letter in the first group, an accent further back", "caf\u00E9, 12x-45-6789", false},
      {"ssn: letter in the last group, an accent further back", "caf\u00E9, 123-45-67x9", false},
      {"ssn: superscript digits are not Nd", "\u00B9\u00B2\u00B3-45-6789", false},
      {"ssn: minus sign instead of hyphen", "123\u221245\u22126789", false},
      {"ssn: combining mark after", ssn + "\u0301", false},
      {"ssn: combining mark before", "\u0301" + ssn, false},
      {"ssn: join control after", ssn + "\u200D", false},
      {"ssn: join control before", "\u200C" + ssn, false},
      {"ssn: after e acute", "caf\u00E9" + ssn, false},
      {"ssn: before a CJK ideograph", ssn + "\u4E2D", false},
      {"ssn: after a four-byte letter", "\U0001D400" + ssn, false},
      {"ssn: between guillemets", "\u00AB" + ssn + "\u00BB", true},
      {"ssn: after an em dash, before no-break space", "\u2014" + ssn + "\u00A0", true},
      {"ssn: after a non-ASCII digit", "\u0669" + ssn, false},

      {"invalid: AWS key and elsewhere a stray byte",
       "id AKIA" + run_of(kCaps, 16) + " then \xFF\xFE garbage", true},
      {"invalid: ssn then a stray byte", ssn + "\xFF", true},
      {"invalid: stray byte then ssn", "\xFF" + ssn, true},
      {"invalid: truncated letter before ssn", "\xC3" + ssn, true},
      {"invalid: encoded surrogate before ssn", "\xED\xA0\x80" + ssn, true},
      {"invalid: stray byte splits the first group",
       "12\xFF"
       "3-45-6789",
       false},
      {"invalid: stray byte splits the last group",
       "123-45-67\xFF"
       "89",
       false},
      {"invalid: overlong digits", "\xC0\xB1\xC0\xB2\xC0\xB3-45-6789", false},
      {"invalid: stray continuation after digits", "123-45-6789\x80", true},
      {"invalid: sk key then a stray byte", "sk-" + run_of(kAlnum, 20) + "\xFF", true},
      {"invalid: stray byte splits hex", run_of(kHex, 16) + "\xFF" + run_of(kHex, 16), false},
      {"invalid: nothing but stray bytes", "\xFF\xFE\x80\xC0", false},
  };
}

using Scan = bool (*)(std::span<const std::uint8_t>, const HyphenatedNumber&);

// The one-pass scans that run on every processor: as dispatched (with AVX2 where present)
// and with 64-bit arithmetic only.
const std::array<std::pair<const char*, Scan>, 2> kPortableScans = {{
    {"portable", &detail::portable_scan},
    {"portable by words", &detail::portable_scan_by_words},
}};

TEST(MatchesSuspicious, EdgeCases) {
  for (const Case& c : edge_cases()) {
    EXPECT_EQ(matches_suspicious(c.text), c.expected) << c.name;
    EXPECT_EQ(detail::matches_suspicious_by_pattern(bytes_of(c.text)), c.expected) << c.name;
    for (const auto& [name, scan] : kPortableScans) {
      EXPECT_EQ(scan(bytes_of(c.text), ssn()), c.expected) << name << ": " << c.name;
    }
  }
}

// Spaces belong to no pattern and are non-word characters, so padding changes no answer; it
// moves each case across the 64-byte blocks of the vectorised scan and the 8-byte chunks of
// the portable one.
TEST(MatchesSuspicious, EdgeCasesAtEveryBlockOffset) {
  for (const Case& c : edge_cases()) {
    for (std::size_t before = 0; before <= 130; ++before) {
      for (std::size_t after : {0, 1, 7, 8, 9, 63, 64}) {
        const std::string text = std::string(before, ' ') + c.text + std::string(after, ' ');
        ASSERT_EQ(matches_suspicious(text), c.expected)
            << c.name << " after " << before << " spaces, before " << after;
        for (const auto& [name, scan] : kPortableScans) {
          ASSERT_EQ(scan(bytes_of(text), ssn()), c.expected)
              << name << ": " << c.name << " after " << before << " spaces, before " << after;
        }
      }
    }
  }
}

TEST(MatchesSuspicious, StringViewAndSpanAgree) {
  const std::string text = "token ghp_" + run_of(kAlnum, 36);
  EXPECT_TRUE(matches_suspicious(std::string_view(text)));
  EXPECT_TRUE(matches_suspicious(bytes_of(text)));
  EXPECT_FALSE(matches_suspicious(std::span<const std::uint8_t>()));
}

// Matches far from the start, and long non-matching runs: the block-to-block carries of the
// one-pass scans over many blocks.
TEST(MatchesSuspicious, LongTexts) {
  const std::string filler = repeat("lorem ipsum dolor sit amet, ", 5000);
  const std::vector<std::pair<std::string, bool>> texts = {
      {filler, false},
      {filler + "AKIA" + run_of(kCaps, 16), true},
      {filler + "123-45-6789", true},
      {repeat("eyJ", 100000), false},
      {repeat("eyJ", 100000) + "." + repeat("eyJ", 1000), false},
      {repeat("eyJ", 100000) + ".eyJ" + repeat("x", 5000) + ".", true},
      {repeat("sk-", 100000), false},
      {repeat("AKIA", 100000), true},
      {repeat(run_of(kHex, 31) + "\n", 10000), false},
      {repeat("123-45-678 12-345-6789 123-45-67890 ", 5000), false},
  };
  for (const auto& [text, expected] : texts) {
    const std::string start = text.substr(0, 24);
    EXPECT_EQ(matches_suspicious(text), expected) << start;
    for (const auto& [name, scan] : kPortableScans) {
      EXPECT_EQ(scan(bytes_of(text), ssn()), expected) << name << ": " << start;
    }
  }
}

// Random texts built from pieces that sit near every threshold, checked against the
// pattern-by-pattern matchers.
std::string random_text(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {"sk-",
                                                  "AKIA",
                                                  "ghp_",
                                                  "eyJ",
                                                  ".",
                                                  ".",
                                                  "-",
                                                  "-",
                                                  "_",
                                                  " ",
                                                  "\n",
                                                  "a",
                                                  "Z",
                                                  "0",
                                                  "9",
                                                  "f",
                                                  "F",
                                                  "J",
                                                  "123",
                                                  "45",
                                                  "6789",
                                                  "12",
                                                  "\u0661",
                                                  "\uFF15",
                                                  "\u00E9",
                                                  "\u4E2D",
                                                  "\xFF",
                                                  "\xC3",
                                                  "\u0301",
                                                  "\u200D",
                                                  "\xE0\xA5\xA6",
                                                  "\U0001D7D9"};
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() + 3);
  std::uniform_int_distribution<std::size_t> count(0, 60);
  std::uniform_int_distribution<std::size_t> run(14, 40);
  std::string text;
  const std::size_t n = count(rng);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t p = piece(rng);
    if (p < pieces.size()) {
      text += pieces[p];
    } else if (p == pieces.size()) {
      text += run_of(kAlnum.substr(rng() % 10), run(rng));
    } else if (p == pieces.size() + 1) {
      text += run_of(kHex.substr(rng() % 10), run(rng));
    } else if (p == pieces.size() + 2) {
      text += run_of(kCaps.substr(rng() % 10), run(rng) / 2);
    } else {
      text += run_of(kBase64.substr(rng() % 6), run(rng));
    }
  }
  return text;
}

void expect_agrees_with_pattern_by_pattern(Scan scan, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::size_t positives = 0;
  constexpr int kTexts = 30000;
  for (int i = 0; i < kTexts; ++i) {
    const std::string text = random_text(rng);
    const bool expected = detail::matches_suspicious_by_pattern(bytes_of(text));
    positives += expected;
    ASSERT_EQ(scan(bytes_of(text), ssn()), expected) << "text: " << text;
  }
  // Both answers must be common, or the comparison proves little.
  EXPECT_GT(positives, kTexts / 10);
  EXPECT_LT(positives, kTexts * 9 / 10);
}

TEST(MatchesSuspicious, VectorisedScanAgreesWithPatternByPattern) {
  if (!detail::fused_scan_supported()) GTEST_SKIP() << "no AVX-512 VBMI on this processor";
  expect_agrees_with_pattern_by_pattern(&detail::fused_scan, 20240611);
}

// Runs on every processor.
TEST(MatchesSuspicious, PortableScansAgreeWithPatternByPattern) {
  for (const auto& [name, scan] : kPortableScans) {
    SCOPED_TRACE(name);
    expect_agrees_with_pattern_by_pattern(scan, 20240611);
    expect_agrees_with_pattern_by_pattern(scan, 7);
  }
}

}  // namespace
}  // namespace mobrel
