// The core on its own: value texts both ways, the state blob and its loader, and the block split
// at parameter changes.
#include "core/uParameterStore.h"
#include "core/uProcessing.h"
#include "core/uPrograms.h"
#include "core/uState.h"
#include "core/uValueText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- Value texts ----

TEST(ValueText, ShowsTwoDecimalsCutToTheRoom) {
  struct TCase {
    int32_t Index;
    float Real;
    char Separator;
    size_t Size;
    const char* Text;
  } cases[] = {
      {ppOversampling, 128.0f, '.', 9, "128.00"}, {ppQuantizer, 24.0f, ',', 9, "24,00"},
      {ppDither, 0.125f, '.', 9, "0.13"},         {ppDither, 0.0f, '.', 9, "0.00"},
      {ppQuantizer, 1e20f, '.', 9, "1.000000"},   {ppDither, 0.5f, '.', 2, "0"},
      {ppErrorFilter, 0.7f, '.', 1, ""},
  };
  for (const TCase& c : cases) {
    char text[32];
    std::memset(text, 'x', sizeof(text));
    ParameterText(c.Index, c.Real, c.Separator, text, c.Size);
    EXPECT_STREQ(text, c.Text) << c.Real << " in " << c.Size;
  }
}

TEST(ValueText, ReadsNumbersInEitherNotationAndRefusesTheRest) {
  struct TCase {
    int32_t Index;
    const char* Text;
    bool Ok;
    float Real;
  } cases[] = {
      {ppOversampling, "64", true, 64.0f},
      {ppOversampling, " 64.00 x ", true, 64.0f},
      {ppOversampling, "64x", true, 64.0f},
      {ppQuantizer, "12,50", true, 12.5f},
      {ppQuantizer, "+3", true, 3.0f},
      {ppQuantizer, "2.4e1", true, 24.0f},
      {ppQuantizer, "30", true, 24.0f}, // beyond the range: its end
      {ppDither, "-0.5", true, 0.0f},   // below it likewise
      {ppDither, ".25", true, 0.25f},
      {ppErrorFilter, "0.70", true, 0.7f},
      {ppOversampling, "", false, 0},
      {ppOversampling, "  ", false, 0},
      {ppOversampling, "x", false, 0},
      {ppOversampling, "1.2.3", false, 0},
      {ppOversampling, "12 dB", false, 0},
      {ppQuantizer, "24x", false, 0}, // another parameter's units
      {ppDither, "On", false, 0},
      {ppDither, "NAN", false, 0},
      {ppDither, "INF", false, 0},
      {ppDither, "1e999", false, 0},
      {ppDither, "-", false, 0},
      {ppDither, "1e", false, 0},
  };
  for (const TCase& c : cases) {
    float real = -7.0f;
    EXPECT_EQ(ParameterFromText(c.Index, c.Text, real), c.Ok) << '"' << c.Text << '"';
    EXPECT_EQ(real, c.Ok ? c.Real : -7.0f) << '"' << c.Text << '"';
  }
  float real = -7.0f;
  EXPECT_FALSE(ParameterFromText(ppCount, "1", real));
  EXPECT_FALSE(ParameterFromText(ppDither, nullptr, real));
  EXPECT_EQ(real, -7.0f);
}

TEST(ValueText, EveryShownValueReadsBack) {
  for (const TParameterDescription& p : kParameters)
    for (float real = 0.0f; real <= p.Max; real += p.Max / 64.0f) {
      char text[16];
      ParameterText(p.Index, real, ',', text, sizeof(text));
      float back = -1.0f;
      ASSERT_TRUE(ParameterFromText(p.Index, text, back)) << text;
      EXPECT_NEAR(back, real, 0.0051f) << text; // two decimals, halves away from zero
    }
}

// ---- State ----

std::vector<uint8_t> Blob(std::initializer_list<uint8_t> head) {
  return std::vector<uint8_t>(head);
}

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutEntry(std::vector<uint8_t>& b, const std::string& symbol, float real) {
  b.push_back(static_cast<uint8_t>(symbol.size()));
  b.insert(b.end(), symbol.begin(), symbol.end());
  uint32_t bits;
  std::memcpy(&bits, &real, sizeof bits);
  PutU32(b, bits);
}

// A blob written by hand: magic, version, program and the given entries.
std::vector<uint8_t> Written(uint32_t version, uint32_t program,
                             std::initializer_list<std::pair<std::string, float>> entries,
                             const char* magic = "QLst") {
  std::vector<uint8_t> b(magic, magic + 4);
  PutU32(b, version);
  PutU32(b, program);
  PutU32(b, static_cast<uint32_t>(entries.size()));
  for (const auto& [symbol, real] : entries)
    PutEntry(b, symbol, real);
  return b;
}

const TStateValues kSaved{1, {8.0f, 4.0f, 0.25f, 1.0f, 0.7f}};

TEST(State, RoundTripGivesTheSameValuesAndTheSameSound) {
  const std::vector<uint8_t> blob = SaveState(kSaved);
  TStateValues loaded{0, {}};
  ASSERT_TRUE(LoadState(blob.data(), blob.size(), loaded));
  EXPECT_EQ(loaded.Program, 1);
  for (int32_t i = 0; i < ppCount; ++i)
    EXPECT_EQ(loaded.Real[i], kSaved.Real[i]) << kParameters[i].Symbol;

  // Two fresh processors, one from the values saved and one from the values loaded, with the
  // shared dither generator at the same state for both: the same samples.
  std::vector<float> in(999), a(999), b(999);
  for (size_t i = 0; i < in.size(); ++i)
    in[i] = static_cast<float>(std::sin(0.01 * static_cast<double>(i)) * 0.8);
  const float* inputs[2] = {in.data(), in.data()};
  float* outA[2] = {a.data(), a.data()};
  float* outB[2] = {b.data(), b.data()};
  TParameterValues va, vb;
  std::memcpy(va.Real, kSaved.Real, sizeof(va.Real));
  std::memcpy(vb.Real, loaded.Real, sizeof(vb.Real));
  const uint32_t seed = DitherSeed.load();
  TEffectProcessor pa, pb;
  pa.Process(va, {inputs, outA, 999}, {}, nullptr);
  DitherSeed.store(seed);
  pb.Process(vb, {inputs, outB, 999}, {}, nullptr);
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
}

TEST(State, SkipsUnknownSymbolsDefaultsMissingOnesAndLimitsValues) {
  const std::vector<uint8_t> blob =
      Written(1, 0, {{"quantizer", 30.0f}, {"reverb_size", 0.5f}, {"dither", -1.0f}});
  TStateValues s = kSaved;
  ASSERT_TRUE(LoadState(blob.data(), blob.size(), s));
  EXPECT_EQ(s.Program, 0);
  EXPECT_EQ(s.Real[ppQuantizer], 24.0f);
  EXPECT_EQ(s.Real[ppDither], 0.0f);
  EXPECT_EQ(s.Real[ppOversampling], DefaultReal(ppOversampling));
  EXPECT_EQ(s.Real[ppErrorFilter], DefaultReal(ppErrorFilter));
}

TEST(State, RefusesWhatItCannotReadWholeAndChangesNothing) {
  const std::vector<uint8_t> good = SaveState(kSaved);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> bad = {
      {"empty", {}},
      {"foreign magic", Written(1, 0, {{"dither", 1.0f}}, "fxCk")},
      {"newer version", Written(2, 0, {{"dither", 1.0f}})},
      {"version 0", Written(0, 0, {{"dither", 1.0f}})},
      {"program out of range", Written(1, 2, {{"dither", 1.0f}})},
      {"negative program", Written(1, 0xFFFFFFFFu, {{"dither", 1.0f}})},
      {"not a number", Written(1, 0, {{"dither", std::numeric_limits<float>::quiet_NaN()}})},
      {"infinite", Written(1, 0, {{"quantizer", std::numeric_limits<float>::infinity()}})},
      {"NaN under an unknown symbol",
       Written(1, 0, {{"later", std::numeric_limits<float>::quiet_NaN()}})},
      {"a symbol twice", Written(1, 0, {{"dither", 1.0f}, {"dither", 0.0f}})},
      {"empty symbol", Written(1, 0, {{"", 1.0f}})},
      {"symbol too long", Written(1, 0, {{std::string(65, 's'), 1.0f}})},
      {"more entries counted than there are", Blob({})},
      {"a byte after the last entry", good},
  };
  bad[12].second = Written(1, 0, {{"dither", 1.0f}});
  bad[12].second[12] = 2;
  bad[13].second.push_back(0);
  // Every truncation of a good blob.
  for (size_t n = 0; n < good.size(); ++n)
    bad.push_back({"cut to " + std::to_string(n) + " bytes",
                   std::vector<uint8_t>(good.begin(), good.begin() + n)});

  for (const auto& [what, blob] : bad) {
    TStateValues s = kSaved;
    EXPECT_FALSE(LoadState(blob.data(), blob.size(), s)) << what;
    EXPECT_EQ(std::memcmp(&s, &kSaved, sizeof(s)), 0) << what;
  }
  TStateValues s = kSaved;
  EXPECT_FALSE(LoadState(nullptr, 20, s));
}

// ---- The block ----

class TCollect final : public TNoteSink {
public:
  void Send(const TNoteMessage& echo) override { Echoes.push_back(echo); }
  std::vector<TNoteMessage> Echoes;
};

TEST(Block, SplitEqualsItsPartsRunAsBlocks) {
  constexpr int32_t kFrames = 512;
  std::vector<float> in0(kFrames), in1(kFrames);
  for (int32_t i = 0; i < kFrames; ++i) {
    in0[i] = static_cast<float>(std::sin(0.031 * i) * 0.9);
    in1[i] = static_cast<float>(std::cos(0.017 * i) * 0.6);
  }
  const TParameterValues start{{4.0f, 3.0f, 1.0f, 1.0f, 0.0f}};
  // In frame order, two at one frame, one before the block's end and one after it.
  const TParameterChange changes[] = {
      {0, ppQuantizer, 5.0f}, {37, ppOversampling, 16.0f}, {37, ppNoiseShaper, 0.0f},
      {100, ppDither, 0.0f},  {511, ppQuantizer, 1.0f},    {600, ppOversampling, 2.0f},
  };
  const TNoteMessage notes[] = {{3, {0x91, 60, 100}}, {40, {0xB0, 7, 1}}, {500, {0x91, 60, 0}}};

  const uint32_t seed = DitherSeed.load();
  std::vector<float> split0(in0), split1(in1); // in place
  float* splitOut[2] = {split0.data(), split1.data()};
  TParameterValues values = start;
  TEffectProcessor whole;
  TCollect echoes;
  whole.ProcessSplit(values, changes, {splitOut, splitOut, kFrames}, notes, &echoes);

  DitherSeed.store(seed);
  std::vector<float> part0(kFrames), part1(kFrames);
  TEffectProcessor parts;
  TParameterValues v = start;
  const int32_t bounds[] = {0, 37, 100, 511, kFrames};
  const int32_t firstChange[] = {0, 1, 3, 4, 5};
  for (int k = 0; k + 1 < 5; ++k) {
    for (int c = firstChange[k]; c < firstChange[k + 1]; ++c)
      v.Real[changes[c].Index] = changes[c].Real;
    const float* in[2] = {in0.data() + bounds[k], in1.data() + bounds[k]};
    float* out[2] = {part0.data() + bounds[k], part1.data() + bounds[k]};
    parts.Process(v, {in, out, bounds[k + 1] - bounds[k]}, {}, nullptr);
  }
  EXPECT_EQ(std::memcmp(split0.data(), part0.data(), kFrames * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(split1.data(), part1.data(), kFrames * sizeof(float)), 0);

  // The values come back with every change applied, the last one past the block's end too.
  EXPECT_EQ(values.Real[ppOversampling], 2.0f);
  EXPECT_EQ(values.Real[ppQuantizer], 1.0f);
  EXPECT_EQ(values.Real[ppDither], 0.0f);
  // The note-on and the note-off it was given as velocity 0, each at its own frame.
  ASSERT_EQ(echoes.Echoes.size(), 2u);
  EXPECT_EQ(echoes.Echoes[0].Frame, 3);
  EXPECT_EQ(echoes.Echoes[0].Data[0], 0x91);
  EXPECT_EQ(echoes.Echoes[1].Frame, 500);
  EXPECT_EQ(echoes.Echoes[1].Data[0], 0x81);
}

TEST(Block, ResetStartsTheLoopAfresh) {
  const TParameterValues v{{8.0f, 2.0f, 0.0f, 1.0f, 0.0f}};
  std::vector<float> in(64, 0.3f), first(64), again(64);
  const float* inputs[2] = {in.data(), in.data()};
  float* a[2] = {first.data(), first.data()};
  float* b[2] = {again.data(), again.data()};
  TEffectProcessor p;
  p.Process(v, {inputs, a, 64}, {}, nullptr);
  p.Reset();
  p.Process(v, {inputs, b, 64}, {}, nullptr);
  EXPECT_EQ(first, again);
}

} // namespace

// ---- Values shared between threads ----

namespace {

TEST(SettingsMailbox, TakesEachPostOnceWithLaterPostsWinning) {
  TSettingsMailbox mailbox;
  TParameterValues v{{1.0f, 24.0f, 0.0f, 0.0f, 0.0f}};
  EXPECT_FALSE(mailbox.Take(v)) << "nothing posted yet";
  mailbox.Post(ppQuantizer, 8.0f);
  mailbox.Post(ppQuantizer, 30.0f); // the later one, limited to the range
  mailbox.Post(ppDither, 0.5f);
  ASSERT_TRUE(mailbox.Take(v));
  EXPECT_EQ(v.Real[ppQuantizer], 24.0f);
  EXPECT_EQ(v.Real[ppDither], 0.5f);
  EXPECT_EQ(v.Real[ppOversampling], 1.0f);
  // The audio thread's own change stays until the main thread posts that parameter again.
  v.Real[ppDither] = 0.0f;
  EXPECT_FALSE(mailbox.Take(v));
  EXPECT_EQ(v.Real[ppDither], 0.0f);
  mailbox.PostAll({{8.0f, 4.0f, 1.0f, 1.0f, 0.7f}});
  ASSERT_TRUE(mailbox.Take(v));
  EXPECT_EQ(v.Real[ppOversampling], 8.0f);
  EXPECT_EQ(v.Real[ppErrorFilter], 0.7f);
}

// The main thread posts whole sets while the audio thread takes them: every take leaves one
// whole set, never parts of two.
TEST(SettingsMailbox, AReaderNeverTakesPartsOfTwoPosts) {
  const TParameterValues a{{2.0f, 3.0f, 0.25f, 0.0f, 0.1f}};
  const TParameterValues b{{64.0f, 16.0f, 1.0f, 1.0f, 0.9f}};
  TSettingsMailbox mailbox;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200000; ++i)
      mailbox.PostAll(i & 1 ? b : a);
    done = true;
  });
  TParameterValues v = a;
  long takes = 0, mixed = 0;
  while (!done.load()) {
    if (!mailbox.Take(v)) continue;
    ++takes;
    mixed += std::memcmp(&v, &a, sizeof v) != 0 && std::memcmp(&v, &b, sizeof v) != 0;
  }
  writer.join();
  EXPECT_EQ(mixed, 0) << "of " << takes << " takes";
}

TEST(ParameterStore, LimitsWhatItStoresAndFlagsChanges) {
  TParameterStore store;
  EXPECT_TRUE(store.TakeChanged()) << "a new store is news to an editor";
  EXPECT_FALSE(store.TakeChanged());
  EXPECT_EQ(store.Real(ppQuantizer), DefaultReal(ppQuantizer));
  store.SetReal(ppOversampling, 500.0f);
  store.SetReal(ppDither, std::numeric_limits<float>::quiet_NaN());
  store.SetReal(ppCount, 1.0f); // no such parameter: nothing
  EXPECT_TRUE(store.TakeChanged());
  EXPECT_EQ(store.Values().Real[ppOversampling], 128.0f);
  EXPECT_EQ(store.Real(ppDither), 0.0f);
}

} // namespace
