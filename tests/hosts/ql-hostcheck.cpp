// Linux side of the cross-build and real-host checks.
//
//   ql-hostcheck record PLUGIN [OUT.f32] [REF.f32]
//       The record check of the Windows test hosts, on the Linux build: its output is the
//       reference the Windows builds must reproduce bit for bit.
//   ql-hostcheck merge LEFT.wav RIGHT.wav OUT.wav
//       Joins two mono files (as a host records them) into one stereo float file.
//   ql-hostcheck compare EXPECTED.wav ACTUAL.wav [--skip N] [--max-shift N] [--min N]
//       Aligns ACTUAL with EXPECTED (a host may start its files a few frames apart), then
//       demands bit-identical samples on every channel, leaving out N frames at each end of
//       EXPECTED (a host fades the edges). Fails when fewer than --min frames overlap.
#include "RecordCheck.h"

#include <dlfcn.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TSound {
  int Channels = 0;
  int Rate = 0;
  std::vector<float> Frames; // interleaved
  int64_t Count() const { return Channels ? static_cast<int64_t>(Frames.size()) / Channels : 0; }
};

bool Load(const char* path, TSound& s) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path, SFM_READ, &info);
  if (!f) {
    std::fprintf(stderr, "cannot read %s: %s\n", path, sf_strerror(nullptr));
    return false;
  }
  s.Channels = info.channels;
  s.Rate = info.samplerate;
  s.Frames.resize(static_cast<size_t>(info.frames * info.channels));
  sf_count_t got = sf_readf_float(f, s.Frames.data(), info.frames);
  sf_close(f);
  s.Frames.resize(static_cast<size_t>(got * info.channels));
  return true;
}

int Record(int argc, char** argv) {
  if (argc < 3 || argc > 5) return 2;
  void* library = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::printf("FAIL %s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<qlhosts::TPluginEntry>(dlsym(library, "main"));
  if (!entry) {
    std::printf("FAIL %s exports no main\n", argv[2]);
    return 1;
  }
  int status =
      qlhosts::RunRecordCheck(entry, argc > 3 ? argv[3] : "", argc > 4 ? argv[4] : "", stdout);
  dlclose(library);
  return status;
}

int Merge(int argc, char** argv) {
  if (argc != 5) return 2;
  TSound l, r;
  if (!Load(argv[2], l) || !Load(argv[3], r)) return 1;
  if (l.Channels != 1 || r.Channels != 1 || l.Rate != r.Rate) {
    std::fprintf(stderr, "merge needs two mono files of one sample rate\n");
    return 1;
  }
  const int64_t n = std::min(l.Count(), r.Count());
  std::vector<float> stereo(static_cast<size_t>(2 * n));
  for (int64_t i = 0; i < n; ++i) {
    stereo[static_cast<size_t>(2 * i)] = l.Frames[static_cast<size_t>(i)];
    stereo[static_cast<size_t>(2 * i + 1)] = r.Frames[static_cast<size_t>(i)];
  }
  SF_INFO info{};
  info.channels = 2;
  info.samplerate = l.Rate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(argv[4], SFM_WRITE, &info);
  if (!f) {
    std::fprintf(stderr, "cannot write %s: %s\n", argv[4], sf_strerror(nullptr));
    return 1;
  }
  bool ok = sf_writef_float(f, stereo.data(), n) == n;
  ok = sf_close(f) == 0 && ok;
  return ok ? 0 : 1;
}

long Option(int argc, char** argv, const char* name, long fallback) {
  for (int i = 4; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
  return fallback;
}

int Compare(int argc, char** argv) {
  if (argc < 4) return 2;
  TSound e, a;
  if (!Load(argv[2], e) || !Load(argv[3], a)) return 1;
  const long skip = Option(argc, argv, "--skip", 0);
  const long maxShift = Option(argc, argv, "--max-shift", 0);
  const long minFrames = Option(argc, argv, "--min", 1);
  if (e.Channels != a.Channels) {
    std::printf("FAIL %d channels, expected %d\n", a.Channels, e.Channels);
    return 1;
  }
  const int ch = e.Channels;
  auto same = [](float x, float y) {
    return std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y);
  };
  const int64_t from = skip, to = e.Count() - skip;
  // Best alignment: the shift with the most identical samples over the compared range.
  long shift = 0;
  int64_t bestSame = -1;
  for (long s = -maxShift; s <= maxShift; ++s) {
    int64_t count = 0;
    for (int64_t i = std::max<int64_t>(from, -s); i < to && i + s < a.Count(); i += 7)
      for (int c = 0; c < ch; ++c)
        count += same(e.Frames[static_cast<size_t>(i * ch + c)],
                      a.Frames[static_cast<size_t>((i + s) * ch + c)]);
    if (count > bestSame) {
      bestSame = count;
      shift = s;
    }
  }
  int64_t compared = 0, differing = 0, first = -1;
  double maxDiff = 0;
  for (int64_t i = std::max<int64_t>(from, -shift); i < to && i + shift < a.Count(); ++i) {
    ++compared;
    for (int c = 0; c < ch; ++c) {
      float x = e.Frames[static_cast<size_t>(i * ch + c)];
      float y = a.Frames[static_cast<size_t>((i + shift) * ch + c)];
      if (!same(x, y)) {
        if (differing++ == 0) first = i;
        maxDiff = std::max(maxDiff, std::fabs(static_cast<double>(x) - y));
      }
    }
  }
  if (differing == 0 && compared >= minFrames) {
    std::printf("ok   %lld frames x %d channels bit-identical (shift %ld, %ld frames left out "
                "at each end)\n",
                static_cast<long long>(compared), ch, shift, skip);
    return 0;
  }
  if (differing)
    std::printf("FAIL %lld of %lld samples differ (shift %ld), first at frame %lld, largest "
                "difference %.9g\n",
                static_cast<long long>(differing), static_cast<long long>(compared * ch), shift,
                static_cast<long long>(first), maxDiff);
  else
    std::printf("FAIL only %lld frames overlap\n", static_cast<long long>(compared));
  return 1;
}

} // namespace

int main(int argc, char** argv) {
  struct {
    const char* Name;
    int (*Run)(int, char**);
  } const commands[] = {{"record", Record}, {"merge", Merge}, {"compare", Compare}};
  for (const auto& c : commands) {
    if (argc >= 2 && std::strcmp(argv[1], c.Name) == 0) {
      int status = c.Run(argc, argv);
      if (status != 2) return status;
    }
  }
  std::fprintf(stderr,
               "usage: %s record PLUGIN [OUT.f32] [REF.f32]\n"
               "       %s merge LEFT.wav RIGHT.wav OUT.wav\n"
               "       %s compare EXPECTED.wav ACTUAL.wav [--skip N] [--max-shift N] "
               "[--min N]\n",
               argv[0], argv[0], argv[0]);
  return 2;
}
