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
//   ql-hostcheck constant OUT.wav VALUE FRAMES
//       Writes a constant stereo float file at 48 kHz.
//   ql-hostcheck levels FILE.wav [--min-run N]
//       Prints the runs of one value on the left channel, at least N frames long (4800).
//   ql-hostcheck phases HEARD.wav REF.wav...
//       Names each stretch of HEARD by the reference whose spread it has.
//   ql-hostcheck picture SHOWN.ppm RENDERED.png [--except X,Y,W,H]
//       Compares an X server's picture with a rendering, pixel for pixel.
#include "RecordCheck.h"

#include <dlfcn.h>
#include <png.h>
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

// Writes interleaved stereo frames as a float WAV file.
bool SaveStereo(const char* path, int rate, const std::vector<float>& stereo) {
  SF_INFO info{};
  info.channels = 2;
  info.samplerate = rate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path, SFM_WRITE, &info);
  if (!f) {
    std::fprintf(stderr, "cannot write %s: %s\n", path, sf_strerror(nullptr));
    return false;
  }
  const sf_count_t n = static_cast<sf_count_t>(stereo.size() / 2);
  bool ok = sf_writef_float(f, stereo.data(), n) == n;
  return sf_close(f) == 0 && ok;
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
  return SaveStereo(argv[4], l.Rate, stereo) ? 0 : 1;
}

// A constant stereo signal at 48 kHz: what a host plays to see a setting in the output.
int Constant(int argc, char** argv) {
  if (argc != 5) return 2;
  const float value = std::strtof(argv[3], nullptr);
  const long frames = std::strtol(argv[4], nullptr, 10);
  if (frames <= 0) return 2;
  return SaveStereo(argv[2], 48000, std::vector<float>(static_cast<size_t>(2 * frames), value)) ? 0
                                                                                                : 1;
}

// The runs of one value on the left channel at least --min-run frames long, in order, one
// "VALUE FRAMES" line each: what a constant input sounded like while the settings changed.
int Levels(int argc, char** argv) {
  if (argc < 3) return 2;
  long minRun = 4800;
  for (int i = 3; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--min-run") == 0) minRun = std::strtol(argv[i + 1], nullptr, 10);
  TSound s;
  if (!Load(argv[2], s)) return 1;
  const int64_t n = s.Count();
  for (int64_t i = 0; i < n;) {
    const float v = s.Frames[static_cast<size_t>(i * s.Channels)];
    int64_t j = i + 1;
    while (j < n && std::bit_cast<uint32_t>(s.Frames[static_cast<size_t>(j * s.Channels)]) ==
                        std::bit_cast<uint32_t>(v))
      ++j;
    if (j - i >= minRun) std::printf("%.9g %lld\n", v, static_cast<long long>(j - i));
    i = j;
  }
  return 0;
}

// Standard deviation of the left channel over frames [from, to).
double Spread(const TSound& s, int64_t from, int64_t to) {
  double sum = 0, squares = 0;
  for (int64_t i = from; i < to; ++i)
    sum += s.Frames[static_cast<size_t>(i * s.Channels)];
  const double mean = sum / static_cast<double>(to - from);
  for (int64_t i = from; i < to; ++i) {
    const double d = s.Frames[static_cast<size_t>(i * s.Channels)] - mean;
    squares += d * d;
  }
  return std::sqrt(squares / static_cast<double>(to - from));
}

// Which of the references each stretch of HEARD sounds like, by the spread of the left channel
// in windows of 4800 frames: reference k (from 1) when within 15 % of its spread (or both none),
// "-" for none. Prints the runs in order, "k:WINDOWS" each. A constant input with dither shows
// the oversampling ratio this way: the spread falls with the square root of the ratio.
int Phases(int argc, char** argv) {
  if (argc < 4) return 2;
  constexpr int64_t kWindow = 4800;
  TSound heard;
  if (!Load(argv[2], heard)) return 1;
  std::vector<double> refs;
  for (int i = 3; i < argc; ++i) {
    TSound r;
    if (!Load(argv[i], r)) return 1;
    if (r.Count() < 2 * kWindow) {
      std::fprintf(stderr, "%s is too short\n", argv[i]);
      return 1;
    }
    refs.push_back(Spread(r, kWindow, r.Count()));
  }
  std::string last;
  int64_t count = 0;
  auto flush = [&] {
    if (count) std::printf("%s:%lld ", last.c_str(), static_cast<long long>(count));
  };
  for (int64_t w = 0; w + kWindow <= heard.Count(); w += kWindow) {
    const double s = Spread(heard, w, w + kWindow);
    std::string label = "-";
    for (size_t k = 0; k < refs.size(); ++k)
      if (refs[k] == 0 ? s < 1e-12 : std::fabs(s / refs[k] - 1) < 0.15) {
        label = std::to_string(k + 1);
        break;
      }
    if (label != last) {
      flush();
      last = label;
      count = 0;
    }
    ++count;
  }
  flush();
  std::printf("\n");
  return 0;
}

// A binary PPM (as wineditor-xgrab writes it) as RGB bytes.
bool LoadPpm(const char* path, int& w, int& h, std::vector<unsigned char>& rgb) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  int max = 0;
  bool ok = std::fscanf(f, "P6 %d %d %d", &w, &h, &max) == 3 && max == 255 && w > 0 && h > 0 &&
            std::fgetc(f) != EOF;
  if (ok) {
    rgb.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    ok = std::fread(rgb.data(), 1, rgb.size(), f) == rgb.size();
  }
  std::fclose(f);
  return ok;
}

bool LoadPng(const char* path, int& w, int& h, std::vector<unsigned char>& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) return false;
  image.format = PNG_FORMAT_RGB;
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  rgb.resize(PNG_IMAGE_SIZE(image));
  const bool ok = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

// An X server's picture of the editor against a rendering of it, pixel for pixel, leaving out
// the rectangle given by --except X,Y,W,H (what moves by itself, such as a pulsing logo).
int Picture(int argc, char** argv) {
  if (argc < 4) return 2;
  int ex = 0, ey = 0, ew = 0, eh = 0;
  for (int i = 4; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--except") == 0 &&
        std::sscanf(argv[i + 1], "%d,%d,%d,%d", &ex, &ey, &ew, &eh) != 4)
      return 2;
  int w = 0, h = 0, rw = 0, rh = 0;
  std::vector<unsigned char> shown, rendered;
  if (!LoadPpm(argv[2], w, h, shown) || !LoadPng(argv[3], rw, rh, rendered)) {
    std::printf("FAIL cannot read %s or %s\n", argv[2], argv[3]);
    return 1;
  }
  if (w != rw || h != rh) {
    std::printf("FAIL %dx%d shown, %dx%d rendered\n", w, h, rw, rh);
    return 1;
  }
  long differing = 0, compared = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (x >= ex && x < ex + ew && y >= ey && y < ey + eh) continue;
      ++compared;
      const size_t at =
          (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3;
      if (std::memcmp(&shown[at], &rendered[at], 3) != 0) ++differing;
    }
  std::printf("%s %ld of %ld pixels differ (%dx%d, leaving out %dx%d at %d,%d)\n",
              differing ? "FAIL" : "ok  ", differing, compared, w, h, ew, eh, ex, ey);
  return differing ? 1 : 0;
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
  } const commands[] = {{"record", Record},     {"merge", Merge},   {"compare", Compare},
                        {"constant", Constant}, {"levels", Levels}, {"phases", Phases},
                        {"picture", Picture}};
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
               "[--min N]\n"
               "       %s constant OUT.wav VALUE FRAMES\n"
               "       %s levels FILE.wav [--min-run N]\n"
               "       %s phases HEARD.wav REF.wav...\n"
               "       %s picture SHOWN.ppm RENDERED.png [--except X,Y,W,H]\n",
               argv[0], argv[0], argv[0], argv[0], argv[0], argv[0], argv[0]);
  return 2;
}
