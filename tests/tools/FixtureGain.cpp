// A tiny plug-in for testing the command-line host: stereo gain with an offset, two programs and
// three parameters with a linear, a curved and a worded display. Compile definitions make
// the variants a host must cope with:
//   FIXTURE_MAIN_ONLY     exports only `main`
//   FIXTURE_NULL_ENTRY    the entry answers no effect
//   FIXTURE_NO_ENTRY      no entry at all
//   FIXTURE_ACCUMULATE    only the accumulating processing entry
// It checks how it is driven: processing before the sample rate, the block size and switching on
// have arrived, or a block longer than announced, makes it output kProtocolFault instead of audio.

#include "vst2/interface/DAEffectX.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#if !defined(FIXTURE_NO_ENTRY)

namespace {

constexpr float kProtocolFault = 1000.0f;
constexpr int kParams = 3;
constexpr int kPrograms = 2;

struct TFixture {
  AEffect Record{};
  float Values[kPrograms][kParams] = {{0.25f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f}};
  int Program = 0;
  float SampleRate = 0.0f;
  VstIntPtr BlockSize = 0;
  bool On = false;
  char ProgramNames[kPrograms][kVstMaxProgNameLen + 1] = {"Unity", "Double"};
};

TFixture* Of(AEffect* e) {
  return static_cast<TFixture*>(e->object);
}

// Gain shows 0.00 to 4.00 in a straight line; Offset shows 100 n^2 percent, a curve.
float GainOf(const TFixture& f) {
  return 4.0f * f.Values[f.Program][0];
}
float OffsetOf(const TFixture& f) {
  float n = f.Values[f.Program][1];
  return n * n;
}

// Mode "On" turns the output upside down.
bool ModeOf(const TFixture& f) {
  return f.Values[f.Program][2] >= 0.5f;
}

void Copy(void* ptr, const char* text, size_t limit) {
  std::snprintf(static_cast<char*>(ptr), limit + 1, "%s", text);
}

VstIntPtr VSTCALLBACK Dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                 void* ptr, float opt) {
  TFixture& f = *Of(e);
  static const char* const kNames[kParams] = {"Gain", "Offset", "Mode"};
  static const char* const kLabels[kParams] = {"x", "%", ""};
  const bool validParam = index >= 0 && index < kParams;
  switch (opcode) {
  case effClose:
    delete &f;
    return 1;
  case effSetProgram:
    if (value >= 0 && value < kPrograms) f.Program = static_cast<int>(value);
    return 0;
  case effGetProgram:
    return f.Program;
  case effSetProgramName:
    Copy(f.ProgramNames[f.Program], static_cast<const char*>(ptr), kVstMaxProgNameLen);
    return 0;
  case effGetProgramName:
    Copy(ptr, f.ProgramNames[f.Program], kVstMaxProgNameLen);
    return 0;
  case effGetProgramNameIndexed:
    if (index < 0 || index >= kPrograms) return 0;
    Copy(ptr, f.ProgramNames[index], kVstMaxProgNameLen);
    return 1;
  case effGetParamName:
    Copy(ptr, validParam ? kNames[index] : "", kVstMaxParamStrLen);
    return 0;
  case effGetParamLabel:
    Copy(ptr, validParam ? kLabels[index] : "", kVstMaxParamStrLen);
    return 0;
  case effGetParamDisplay: {
    char text[32] = "";
    if (index == 0) {
      std::snprintf(text, sizeof text, "%.2f", static_cast<double>(GainOf(f)));
      // Hosts meet plug-ins that write the regional decimal separator.
      static const bool comma = std::getenv("QL_FIXTURE_COMMA") != nullptr;
      if (comma) *std::strchr(text, '.') = ',';
    }
    if (index == 1)
      std::snprintf(text, sizeof text, "%.1f", 100.0 * static_cast<double>(OffsetOf(f)));
    if (index == 2) std::snprintf(text, sizeof text, "%s", ModeOf(f) ? "On" : "Off");
    Copy(ptr, text, kVstMaxParamStrLen);
    return 0;
  }
  case effSetSampleRate:
    f.SampleRate = opt;
    return 0;
  case effSetBlockSize:
    f.BlockSize = value;
    return 0;
  case effMainsChanged:
    f.On = value != 0;
    return 0;
  case effGetEffectName:
    Copy(ptr, "Fixture Gain", kVstMaxEffectNameLen);
    return 1;
  case effGetVendorString:
    Copy(ptr, "Test Bench", kVstMaxVendorStrLen);
    return 1;
  case effGetProductString:
    Copy(ptr, "Gain Fixture", kVstMaxProductStrLen);
    return 1;
  case effGetVendorVersion:
    return 7;
  case effCanDo:
    if (std::strcmp(static_cast<const char*>(ptr), "plugAsChannelInsert") == 0) return 1;
    if (std::strcmp(static_cast<const char*>(ptr), "offline") == 0) return -1;
    return 0;
  case effGetVstVersion:
    return 2400;
  default:
    return 0;
  }
}

void Render(TFixture& f, float** in, float** out, VstInt32 frames, bool accumulate) {
  const bool fault = !f.On || f.SampleRate <= 0.0f || f.BlockSize <= 0 || frames > f.BlockSize;
  for (int c = 0; c < 2; ++c)
    for (VstInt32 i = 0; i < frames; ++i) {
      float v = in[c][i] * GainOf(f) + OffsetOf(f);
      if (ModeOf(f)) v = -v;
      if (fault) v = kProtocolFault;
      out[c][i] = accumulate ? out[c][i] + v : v;
    }
}

void VSTCALLBACK ProcessReplacing(AEffect* e, float** in, float** out, VstInt32 frames) {
  // Lets a test interrupt the host in the middle of a file.
  static const bool slow = std::getenv("QL_FIXTURE_SLOW") != nullptr;
  if (slow) ::usleep(2000);
  Render(*Of(e), in, out, frames, false);
}
void VSTCALLBACK ProcessAccumulating(AEffect* e, float** in, float** out, VstInt32 frames) {
  Render(*Of(e), in, out, frames, true);
}
void VSTCALLBACK SetParameter(AEffect* e, VstInt32 index, float value) {
  TFixture& f = *Of(e);
  if (index >= 0 && index < kParams)
    f.Values[f.Program][index] = std::fmin(1.0f, std::fmax(0.0f, value));
}
float VSTCALLBACK GetParameter(AEffect* e, VstInt32 index) {
  TFixture& f = *Of(e);
  return index >= 0 && index < kParams ? f.Values[f.Program][index] : 0.0f;
}

AEffect* CreateFixture(audioMasterCallback host) {
  if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
#if defined(FIXTURE_NULL_ENTRY)
  const bool nullEntry = true;
#else
  const bool nullEntry = false;
#endif
  if (nullEntry) return nullptr;
  auto* f = new TFixture;
  AEffect& r = f->Record;
  r.magic = kEffectMagic;
  r.dispatcher = Dispatcher;
  r.process = ProcessAccumulating;
  r.setParameter = SetParameter;
  r.getParameter = GetParameter;
  r.numPrograms = kPrograms;
  r.numParams = kParams;
  r.numInputs = 2;
  r.numOutputs = 2;
  r.flags = effFlagsCanMono;
#if defined(FIXTURE_ACCUMULATE)
  const bool replacing = false;
#else
  const bool replacing = true;
#endif
  if (replacing) {
    r.flags |= effFlagsCanReplacing;
    r.processReplacing = ProcessReplacing;
  }
  r.ioRatio = 1.0f;
  r.object = f;
  r.uniqueID = kFourCC('F', 'x', 'G', 'n');
  r.version = 3;
  return &r;
}

} // namespace

#if defined(FIXTURE_MAIN_ONLY)
extern "C" __attribute__((visibility("default"))) AEffect*
FixtureMain(audioMasterCallback host) __asm__("main");
extern "C" AEffect* FixtureMain(audioMasterCallback host) {
  return CreateFixture(host);
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
  return CreateFixture(host);
}
#endif

#else

// A library that is no plug-in: it exports something, just not an entry.
extern "C" __attribute__((visibility("default"))) int FixtureNothing() {
  return 42;
}

#endif
