// Soak run: QL_SOAK_SECONDS seconds of audio (1800 by default) at 44.1 kHz through one
// instance at oversampling 64, with every other parameter automated at random once per block.
// Reports resident memory before and after (after a warm-up block) and the count of
// non-finite output samples, which must stay zero.
//   build/linux/bin/bench_soak                        the full 30 minutes of audio
//   QL_SOAK_SECONDS=60 build/linux/bin/bench_soak     a shortened run
#include "vst2/interface/DAEffectX.h"
#include "vst2/plugin/uPlugin.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

VstIntPtr VSTCALLBACK SoakHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Resident set size in KiB, from /proc/self/status.
double ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6);
  return -1.0;
}

void BM_Soak(benchmark::State& state) {
  const char* env = std::getenv("QL_SOAK_SECONDS");
  const double seconds = env ? std::atof(env) : 1800.0;
  constexpr VstInt32 kBlock = 512;
  constexpr float kRate = 44100.0f;
  const long blocks = static_cast<long>(seconds * kRate / kBlock);

  AEffect* e = CreateQuantaloop(&SoakHost);
  if (!e) {
    state.SkipWithError("no instance");
    return;
  }
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, kRate);
  e->dispatcher(e, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  e->setParameter(e, 0, 64.0f / 128.0f); // oversampling 64

  std::vector<float> i0(kBlock), i1(kBlock), o0(kBlock), o1(kBlock);
  float* ins[] = {i0.data(), i1.data()};
  float* outs[] = {o0.data(), o1.data()};
  std::minstd_rand rng(7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  double phase = 0.0;
  long nonFinite = 0;
  auto block = [&] {
    for (VstInt32 i = 0; i < kBlock; ++i) {
      phase += 2.0 * 3.14159265358979 * 997.0 / kRate;
      i0[i] = static_cast<float>(0.8 * std::sin(phase));
      i1[i] = unit(rng) * 2.0f - 1.0f;
    }
    for (VstInt32 p = 1; p < 5; ++p)
      e->setParameter(e, p, unit(rng));
    e->processReplacing(e, ins, outs, kBlock);
    for (VstInt32 i = 0; i < kBlock; ++i)
      if (!std::isfinite(o0[i]) || !std::isfinite(o1[i])) ++nonFinite;
  };

  block();
  const double before = ResidentKiB();
  for (auto _ : state)
    for (long b = 0; b < blocks; ++b)
      block();
  const double after = ResidentKiB();
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);

  state.counters["audio_s"] = seconds;
  state.counters["rss_before_KiB"] = before;
  state.counters["rss_after_KiB"] = after;
  state.counters["rss_growth_KiB"] = after - before;
  state.counters["non_finite"] = static_cast<double>(nonFinite);
  if (nonFinite != 0) state.SkipWithError("non-finite output");
}
BENCHMARK(BM_Soak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
