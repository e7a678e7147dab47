#include "RecordCheck.h"

#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstring>

namespace qlhosts {

namespace {

// What the effect sent with audioMasterProcessEvents since the last reset. The check runs on one
// thread, so a plain vector is enough.
std::vector<VstMidiEvent> GReceivedMidi;

struct TExpectedText {
  VstInt32 Opcode;
  const char* What;
  const char* Text;
};

constexpr TExpectedText kTexts[] = {
    {effGetEffectName, "effect name", "Quantaloop"},
    {effGetProductString, "product", "Quantaloop"},
    {effGetVendorString, "vendor", "Brennholt"},
};

constexpr const char* kParameterNames[] = {"Oversampling", "Quantizer", "Dither", "NoiseShaper",
                                           "ErrorFilter"};

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%" PRIx32, v);
  return buf;
}

std::string Text(AEffect& effect, VstInt32 opcode, VstInt32 index = 0) {
  char buf[256] = {};
  effect.dispatcher(&effect, opcode, index, 0, buf, 0.0f);
  buf[sizeof buf - 1] = '\0';
  return buf;
}

// One processing call, replacing or accumulating, on channel buffers of the block's size.
void ProcessBlock(AEffect& effect, const std::vector<std::vector<float>>& in, int at, int frames,
                  bool accumulate, std::vector<float>& out) {
  std::vector<float> o0(static_cast<size_t>(frames), accumulate ? 0.5f : 0.0f);
  std::vector<float> o1 = o0;
  float* inputs[2] = {const_cast<float*>(in[0].data()) + at, const_cast<float*>(in[1].data()) + at};
  float* outputs[2] = {o0.data(), o1.data()};
  if (accumulate)
    effect.process(&effect, inputs, outputs, frames);
  else
    effect.processReplacing(&effect, inputs, outputs, frames);
  out.insert(out.end(), o0.begin(), o0.end());
  out.insert(out.end(), o1.begin(), o1.end());
}

// Host-side settings before a phase of the run: normalised writes, as hosts make them.
struct TSetting {
  VstInt32 Index;
  float Value;
};

struct TPhase {
  const char* Name;
  std::vector<TSetting> Settings;
  int Frames;                 // processed from the start of the signal
  std::vector<int> Blocks;    // block sizes, repeated until Frames are done
  bool AlternateAccumulating; // every second block through the accumulating entry
};

const std::vector<TPhase>& Phases() {
  static const std::vector<TPhase> phases = {
      // The values after construction: one sub-sample, 24 bits, no feedback.
      {"defaults", {}, 6000, {512, 1, 77, 1000, 256}, false},
      // Four sub-samples with error feedback carried across blocks; the gain stays as it was,
      // since host writes do not recompute it.
      {"oversampling 4, feedback", {{0, 4.0f / 128.0f}, {3, 1.0f}}, 6000, {333, 64}, true},
      // The largest ratio; a feedback switch just below 1 counts as off.
      {"oversampling 128", {{0, 1.0f}, {3, 0.999f}}, 1500, {500}, false},
  };
  return phases;
}

} // namespace

std::vector<TEditHeard>& EditsHeard() {
  static std::vector<TEditHeard> edits;
  return edits;
}

std::string EditsHeardFrom(const AEffect* effect) {
  std::string heard;
  for (const TEditHeard& e : EditsHeard())
    if (e.Effect == effect) heard += (heard.empty() ? "" : ", ") + e.What;
  return heard.empty() ? "nothing" : heard;
}

VstIntPtr VSTCALLBACK HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr,
                                   void* ptr, float) {
  switch (opcode) {
  case audioMasterAutomate:
    EditsHeard().push_back({effect, "automate " + std::to_string(index)});
    return 0;
  case audioMasterBeginEdit:
    EditsHeard().push_back({effect, "begin " + std::to_string(index)});
    return 0;
  case audioMasterEndEdit:
    EditsHeard().push_back({effect, "end " + std::to_string(index)});
    return 0;
  case audioMasterVersion:
    return 2400;
  case audioMasterGetSampleRate:
    return 44100;
  case audioMasterGetBlockSize:
    return 1024;
  case audioMasterProcessEvents:
    if (auto* events = static_cast<VstEvents*>(ptr)) {
      for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* e = events->events[i];
        if (e && e->type == kVstMidiType) {
          VstMidiEvent m;
          std::memcpy(&m, e, sizeof m);
          GReceivedMidi.push_back(m);
        }
      }
    }
    return 1;
  default:
    return 0;
  }
}

std::vector<std::string> CheckRecord(AEffect& e) {
  std::vector<std::string> problems;
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) problems.push_back(what);
  };
  expect(e.magic == kEffectMagic, "magic is " + Hex(static_cast<uint32_t>(e.magic)));
  expect(e.flags == 0x19, "flags are " + Hex(static_cast<uint32_t>(e.flags)) + ", not 0x19");
  expect(e.numInputs == 2 && e.numOutputs == 2,
         std::to_string(e.numInputs) + " inputs and " + std::to_string(e.numOutputs) + " outputs");
  expect(e.numParams == 5, std::to_string(e.numParams) + " parameters");
  expect(e.numPrograms == 2, std::to_string(e.numPrograms) + " programs");
  expect(e.uniqueID == kFourCC('Q', 't', 'L', 'p'),
         "unique id is " + Hex(static_cast<uint32_t>(e.uniqueID)));
  expect(e.version == 1, "version is " + std::to_string(e.version));
  expect(e.ioRatio == 1.0f, "ioRatio is " + std::to_string(e.ioRatio));
  expect(e.object != nullptr, "object is null");
  expect(e.dispatcher && e.process && e.processReplacing && e.setParameter && e.getParameter,
         "an entry is null");
  // The tail after processReplacing is zero in a record laid out as this build expects; a
  // record of another width would show its later fields here.
  bool tailZero = true;
  for (char c : e.future)
    tailZero = tailZero && c == 0;
  expect(tailZero, "the record's reserved tail is not zero");
  if (!problems.empty()) return problems; // the dispatcher may not be safe to call

  for (const TExpectedText& t : kTexts) {
    std::string got = Text(e, t.Opcode);
    expect(got == t.Text, std::string(t.What) + " is \"" + got + "\"");
  }
  VstIntPtr version = e.dispatcher(&e, effGetVendorVersion, 0, 0, nullptr, 0.0f);
  expect(version == 1, "vendor version is " + std::to_string(version));
  for (VstInt32 i = 0; i < 5; ++i) {
    std::string got = Text(e, effGetParamName, i);
    expect(got == kParameterNames[i], "parameter " + std::to_string(i) + " is \"" + got + "\"");
  }
  return problems;
}

std::vector<std::string> CheckMidiEcho(AEffect& effect) {
  struct TCase {
    unsigned char In[3];
    VstInt32 Delta;
    bool Echoed;
    unsigned char Out[3];
  };
  static constexpr TCase kCases[] = {
      {{0x95, 60, 0}, 3, true, {0x85, 60, 0}},          // note-on of velocity 0 is a note-off
      {{0x80, 61, 64}, 5, true, {0x80, 61, 64}},        // release velocity kept
      {{0xB0, 7, 100}, 6, false, {}},                   // controllers are not echoed
      {{0x93, 0xC0, 0x90}, 0, true, {0x93, 0x40, 0x10}} // data bytes lose their top bit
  };
  constexpr int kCount = sizeof kCases / sizeof kCases[0];
  VstMidiEvent events[kCount] = {};
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kCount];
  } list = {kCount, 0, {}};
  for (int i = 0; i < kCount; ++i) {
    events[i].type = kVstMidiType;
    events[i].byteSize = sizeof(VstMidiEvent);
    events[i].deltaFrames = kCases[i].Delta;
    std::memcpy(events[i].midiData, kCases[i].In, 3);
    list.events[i] = reinterpret_cast<VstEvent*>(&events[i]);
  }

  GReceivedMidi.clear();
  effect.dispatcher(&effect, effProcessEvents, 0, 0, &list, 0.0f);
  std::vector<std::vector<float>> silence(2, std::vector<float>(16, 0.0f));
  std::vector<float> ignored;
  ProcessBlock(effect, silence, 0, 16, false, ignored);

  std::vector<std::string> problems;
  size_t next = 0;
  for (const TCase& c : kCases) {
    if (!c.Echoed) continue;
    char want[64];
    std::snprintf(want, sizeof want, "%02x %02x %02x at %d", c.Out[0], c.Out[1], c.Out[2],
                  static_cast<int>(c.Delta));
    if (next >= GReceivedMidi.size()) {
      problems.push_back(std::string("missing echo ") + want);
      continue;
    }
    const VstMidiEvent& m = GReceivedMidi[next++];
    char got[64];
    std::snprintf(got, sizeof got, "%02x %02x %02x at %d",
                  static_cast<unsigned char>(m.midiData[0]),
                  static_cast<unsigned char>(m.midiData[1]),
                  static_cast<unsigned char>(m.midiData[2]), static_cast<int>(m.deltaFrames));
    if (std::strcmp(got, want) != 0)
      problems.push_back(std::string("echo ") + got + ", expected " + want);
  }
  if (GReceivedMidi.size() > next)
    problems.push_back(std::to_string(GReceivedMidi.size() - next) + " unexpected MIDI events");
  return problems;
}

std::vector<std::vector<float>> TestSignal(int frames) {
  std::vector<std::vector<float>> s(2, std::vector<float>(static_cast<size_t>(frames)));
  uint32_t state = 12345u;
  // Exact special values: -0, the smallest denormal, the ends of the range, values beyond
  // them and the largest float.
  static constexpr uint32_t kSpecial[] = {0x80000000u, 0x00000001u, 0x3f800000u, 0xbf800000u,
                                          0x3fa00000u, 0xc0000000u, 0x7f7fffffu, 0x00000000u};
  for (int i = 0; i < frames; ++i) {
    state = state * 1664525u + 1013904223u;
    // 24 random bits scaled by a power of two: exact in every build.
    float noise = static_cast<float>(static_cast<int32_t>(state) >> 8) * (1.0f / 8388608.0f);
    float ramp = static_cast<float>(i % 8192) * (1.0f / 4096.0f) - 1.0f;
    if (i % 97 == 0) noise = std::bit_cast<float>(kSpecial[(i / 97) % 8]);
    s[0][static_cast<size_t>(i)] = noise;
    s[1][static_cast<size_t>(i)] = ramp;
  }
  return s;
}

std::vector<float> ProcessRun(AEffect& effect) {
  std::vector<float> out;
  const auto signal = TestSignal(6000);
  for (const TPhase& phase : Phases()) {
    for (const TSetting& s : phase.Settings)
      effect.setParameter(&effect, s.Index, s.Value);
    int at = 0, block = 0;
    while (at < phase.Frames) {
      int frames = phase.Blocks[static_cast<size_t>(block) % phase.Blocks.size()];
      if (frames > phase.Frames - at) frames = phase.Frames - at;
      ProcessBlock(effect, signal, at, frames, phase.AlternateAccumulating && block % 2 == 1, out);
      at += frames;
      ++block;
    }
  }
  return out;
}

bool WriteSamples(const std::string& path, const std::vector<float>& samples) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(samples.data(), sizeof(float), samples.size(), f) == samples.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadSamples(const std::string& path, std::vector<float>& samples) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  samples.clear();
  float buf[4096];
  size_t n;
  while ((n = std::fread(buf, sizeof(float), 4096, f)) > 0)
    samples.insert(samples.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::string CompareSamples(const std::vector<float>& expected, const std::vector<float>& actual) {
  if (expected.size() != actual.size())
    return std::to_string(actual.size()) + " samples where the reference has " +
           std::to_string(expected.size());
  size_t differing = 0, first = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::bit_cast<uint32_t>(expected[i]) != std::bit_cast<uint32_t>(actual[i])) {
      if (differing++ == 0) first = i;
    }
  }
  if (differing == 0) return {};
  char buf[160];
  std::snprintf(buf, sizeof buf, "%zu of %zu samples differ; first at %zu: %.9g, reference %.9g",
                differing, expected.size(), first, static_cast<double>(actual[first]),
                static_cast<double>(expected[first]));
  return buf;
}

int RunRecordCheck(TPluginEntry entry, const std::string& outPath, const std::string& refPath,
                   std::FILE* log) {
  AEffect* effect = entry(HostCallback);
  if (!effect) {
    std::fprintf(log, "FAIL entry: main answered no effect\n");
    return 1;
  }
  int failures = 0;
  auto report = [&](const char* what, const std::vector<std::string>& problems) {
    for (const std::string& p : problems)
      std::fprintf(log, "FAIL %s: %s\n", what, p.c_str());
    if (problems.empty()) std::fprintf(log, "ok   %s\n", what);
    failures += problems.empty() ? 0 : 1;
  };
  std::vector<std::string> recordProblems = CheckRecord(*effect);
  report("record (magic, flags 0x19, 2 in / 2 out, id QtLp, names)", recordProblems);
  if (!recordProblems.empty()) {
    // Nothing but closing is safe on a record that is not the expected one; closing releases it
    // when it is a record of this interface at all.
    if (effect->magic == kEffectMagic && effect->dispatcher)
      effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 1;
  }

  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  effect->dispatcher(effect, effSetBlockSize, 0, 1024, nullptr, 0.0f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

  std::vector<float> samples = ProcessRun(*effect);
  std::fprintf(log, "ok   processed %zu samples\n", samples.size());
  if (!outPath.empty() && !WriteSamples(outPath, samples)) {
    std::fprintf(log, "FAIL cannot write %s\n", outPath.c_str());
    ++failures;
  }
  if (!refPath.empty()) {
    std::vector<float> reference;
    if (!ReadSamples(refPath, reference)) {
      std::fprintf(log, "FAIL cannot read the reference %s\n", refPath.c_str());
      ++failures;
    } else {
      std::string diff = CompareSamples(reference, samples);
      report("output bit-identical to the reference",
             diff.empty() ? std::vector<std::string>{} : std::vector<std::string>{diff});
    }
  }
  report("MIDI note echo", CheckMidiEcho(*effect));

  effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
  VstIntPtr closed = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  report("effClose", closed == 1 ? std::vector<std::string>{}
                                 : std::vector<std::string>{"answered " + std::to_string(closed)});
  return failures ? 1 : 0;
}

} // namespace qlhosts
