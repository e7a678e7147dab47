// VST 3 test host, built by every build: loads a bundle's library for its platform through the
// module's entries and runs one fixed sequence through the plug-in, as a host does: settings as
// parameter changes (also inside blocks), blocks of changing sizes, notes, the bypass, a state
// saved and loaded again. The Linux build writes the reference; the Windows builds, under wine,
// must reproduce it bit for bit.
//
//   vst3host render BUNDLE OUT.f32 [REF.f32]
//       Writes every output sample (both channels, interleaved, 32-bit float) to OUT and, with
//       REF, compares them with it. Prints one "ok"/"FAIL" line per check and a verdict line.
//
//   vst3host editor BUNDLE [--no-click]      (Windows builds)
//       The editor attached to a window of ours as an HWND: a click through the script, the
//       window's pixels against the headless rendering (vst3host_editor.cpp).
#include "vst3/host/Vst3Host.h"
#ifdef _WIN32
#include "vst3host_editor.h"
#endif

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vst3host;

namespace {

int gFailures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++gFailures;
}

// A test signal from integer arithmetic and float operations alone, so that every platform's
// build makes the same samples: a triangle, a square, noise, and a stretch past full scale.
std::vector<float> Signal(int channel, size_t frames) {
  std::vector<float> s(frames);
  uint32_t noise = 777u + static_cast<uint32_t>(channel);
  for (size_t i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const float n = static_cast<float>(static_cast<int32_t>(noise >> 8) - (1 << 23)) / 838860800.0f;
    const uint32_t period = channel ? 331u : 109u;
    const float phase = static_cast<float>(i % period) / static_cast<float>(period);
    const float triangle = phase < 0.5f ? 4.0f * phase - 1.0f : 3.0f - 4.0f * phase;
    const float square = (i / 2000) % 2 ? 0.3f : -0.3f;
    const float level = (i / 3000) % 4 == 2 ? 1.4f : 0.6f;
    s[i] = level * triangle * (channel ? 0.5f : 0.9f) + (channel ? square : 0.0f) + n;
  }
  return s;
}

struct TChange {
  int32_t Offset;
  vst3::ParamID Id;
  double Value;
};

struct TSection {
  const char* Name;
  int32_t Frames;
  std::vector<int32_t> Blocks;  // cycled
  std::vector<TChange> Changes; // in the section's first block
};

int Render(const std::string& bundle, const std::string& outPath, const std::string& refPath) {
  TModule module(bundle);
  Check(module.Factory() != nullptr,
        "module loaded, factory found" + (module.Error().empty() ? "" : ": " + module.Error()));
  if (!module.Factory()) return 1;
  TInstance fx(module);
  Check(fx.Valid(), "component, processor and controller");
  if (!fx.Valid()) return 1;
  Check(fx.Processor->canProcessSampleSize(vst3::kSample32) == vst3::kResultTrue &&
            fx.Processor->canProcessSampleSize(vst3::kSample64) == vst3::kResultFalse,
        "32-bit samples only");
  Check(fx.Start(4096), "set up and switched on");

  const TSection sections[] = {
      {"defaults", 6000, {512}, {}},
      {"8x, 4 bits, feedback", 9000, {1000, 7}, {{0, 0, 8.0 / 128}, {0, 1, 4.0 / 24}, {0, 3, 1}}},
      {"changes inside a block",
       12000,
       {4096},
       {{0, 1, 2.0 / 24}, {100, 2, 1}, {2000, 0, 3.0 / 128}, {2000, 3, 0.3}, {4095, 1, 6.0 / 24}}},
      {"bypassed from 500", 5000, {1024}, {{500, 5, 1}}},
      {"dither, filter, odd blocks",
       9000,
       {1, 333, 64, 4096},
       {{0, 5, 0}, {0, 2, 0.6}, {0, 4, 0.7}, {17, 1, 3.0 / 24}}},
  };
  int32_t total = 0;
  for (const TSection& s : sections)
    total += s.Frames;
  std::vector<float> in[2] = {Signal(0, static_cast<size_t>(total)),
                              Signal(1, static_cast<size_t>(total))};
  std::vector<float> out[2] = {std::vector<float>(static_cast<size_t>(total)),
                               std::vector<float>(static_cast<size_t>(total))};
  int32_t at = 0, echoes = 0;
  bool bypassHeld = true;
  for (const TSection& s : sections) {
    TParamChanges changes;
    for (const TChange& c : s.Changes)
      changes.Add(c.Id, c.Offset, c.Value);
    for (int32_t done = 0, b = 0; done < s.Frames; ++b) {
      const int32_t n =
          std::min(s.Blocks[static_cast<size_t>(b) % s.Blocks.size()], s.Frames - done);
      float* ins[] = {in[0].data() + at + done, in[1].data() + at + done};
      float* outs[] = {out[0].data() + at + done, out[1].data() + at + done};
      TEventList notes, echoed;
      vst3::Event e{};
      e.type = vst3::kNoteOnEvent;
      e.sampleOffset = n / 2;
      e.noteOn = {0, static_cast<vst3::int16>(40 + b % 40), 0.0f, 0.5f, 0, -1};
      notes.Events.push_back(e);
      fx.Process(ins, outs, n, b == 0 ? &changes : nullptr, &notes, &echoed);
      echoes += echoed.Events.size() == 1 && echoed.Events[0].sampleOffset == n / 2 &&
                echoed.Events[0].noteOn.pitch == 40 + b % 40;
      done += n;
    }
    if (std::strncmp(s.Name, "bypassed", 8) == 0)
      for (int ch = 0; ch < 2; ++ch)
        for (int32_t i = 500; i < s.Frames; ++i)
          bypassHeld = bypassHeld && std::memcmp(&out[ch][static_cast<size_t>(at + i)],
                                                 &in[ch][static_cast<size_t>(at + i)], 4) == 0;
    at += s.Frames;
  }
  Check(bypassHeld, "the bypassed part is the input bit for bit");
  Check(echoes > 0, "notes echoed at their offsets: " + std::to_string(echoes));

  // The state, saved and loaded into a new instance, saves the same again.
  const std::vector<uint8_t> state = fx.State();
  TInstance again(module);
  Check(!state.empty() && again.Valid() && again.Restore(state) && again.State() == state,
        "state of " + std::to_string(state.size()) + " bytes round trip");
  TMemoryStream junk(std::vector<uint8_t>(40, 0x5A));
  Check(again.Component->setState(&junk) == vst3::kResultFalse && again.State() == state,
        "a stream that is no state is refused and changes nothing");

  std::vector<float> interleaved;
  for (int32_t i = 0; i < total; ++i)
    for (int ch = 0; ch < 2; ++ch)
      interleaved.push_back(out[ch][static_cast<size_t>(i)]);
  if (!outPath.empty()) {
    std::ofstream f(outPath, std::ios::binary);
    f.write(reinterpret_cast<const char*>(interleaved.data()),
            static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    Check(f.good(), "wrote " + std::to_string(interleaved.size()) + " samples to " + outPath);
  }
  if (!refPath.empty()) {
    std::ifstream f(refPath, std::ios::binary);
    std::vector<char> ref((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t first = interleaved.size();
    if (ref.size() == interleaved.size() * sizeof(float))
      for (size_t i = 0; i < interleaved.size() && first == interleaved.size(); ++i)
        if (std::memcmp(ref.data() + i * 4, &interleaved[i], 4) != 0) first = i;
    if (ref.size() != interleaved.size() * sizeof(float))
      Check(false, refPath + " holds " + std::to_string(ref.size()) + " bytes, not " +
                       std::to_string(interleaved.size() * sizeof(float)));
    else
      Check(first == interleaved.size(),
            first == interleaved.size()
                ? std::to_string(interleaved.size()) + " samples bit-identical to " + refPath
                : "samples differ from " + refPath + " from sample " + std::to_string(first));
  }
  return gFailures ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
  const char* self = sizeof(void*) == 4 ? "vst3host32" : "vst3host";
  int status = 2;
  if (argc >= 4 && argc <= 5 && std::strcmp(argv[1], "render") == 0) {
    status = Render(argv[2], argv[3], argc > 4 ? argv[4] : "");
#ifdef _WIN32
  } else if (argc >= 3 && argc <= 4 && std::strcmp(argv[1], "editor") == 0) {
    status =
        RunVst3EditorCheck(argv[2], !(argc == 4 && std::strcmp(argv[3], "--no-click") == 0), 60);
#endif
  } else {
    std::fprintf(stderr,
                 "usage: %s render BUNDLE OUT.f32 [REF.f32]\n       %s editor BUNDLE "
                 "[--no-click]\n",
                 argv[0], argv[0]);
    return 2;
  }
  std::printf("%s: %s\n", self, status == 0 ? "passed" : "FAILED");
  return status;
}
