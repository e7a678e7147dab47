// libFuzzer target: the input is a script of VST 3 host calls replayed on one plug-in object
// made through the module's factory: blocks of any length with random parameter queues (any id,
// any offset, any value) and events, random state streams to the component and the controller,
// values and texts to the controller, activation and setup in any order, and an editor opened in
// the headless backend and driven with random pointer events. Every buffer is exactly as long as
// the call says, so that the address sanitizer sees any access past it.
#include "vst3/host/Vst3Host.h"
#include "vst3/plugin/Vst3EditorDrive.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

extern "C" vst3::IPluginFactory* QL_VST3_CALL GetPluginFactory();

namespace {

using namespace vst3;
using namespace vst3host;

class TScript {
public:
  TScript(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  bool Done() const { return Pos >= Size; }
  uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  template <typename T> T Raw() {
    T v{};
    uint8_t bytes[sizeof(T)] = {};
    for (size_t i = 0; i < sizeof(T); ++i)
      bytes[i] = Byte();
    std::memcpy(&v, bytes, sizeof(T));
    return v;
  }
  int32_t Int() {
    const uint8_t kind = Byte();
    if (kind < 192) return static_cast<int32_t>(kind % 96) - 8;
    return Raw<int32_t>();
  }
  // Int() times `scale`, wrapping as the hardware does rather than overflowing.
  int32_t Scaled(uint32_t scale) {
    return static_cast<int32_t>(static_cast<uint32_t>(Int()) * scale);
  }
  double Value() {
    static const double kSpecial[] = {0.0,
                                      1.0,
                                      0.5,
                                      -0.0,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -1.0,
                                      2.0,
                                      1.0 / 128};
    const uint8_t kind = Byte();
    if (kind < 96) return kSpecial[kind % std::size(kSpecial)];
    if (kind < 224) return static_cast<double>(Byte()) / 255.0;
    return Raw<double>();
  }
  std::vector<uint8_t> Bytes(size_t max) {
    std::vector<uint8_t> b(Byte() % (max + 1));
    for (uint8_t& x : b)
      x = Byte();
    return b;
  }

private:
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
};

void Block(TInstance& fx, TScript& s) {
  const int32 frames = static_cast<int32>(s.Byte()) * 4 + (s.Byte() % 4);
  std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
  for (float& x : l)
    x = static_cast<float>(s.Value());
  float* io[] = {l.data(), r.data()};
  TParamChanges changes;
  for (int q = s.Byte() % 8; q > 0; --q) {
    const ParamID id = s.Byte() < 240 ? s.Byte() % 8 : s.Raw<uint32_t>();
    for (int p = s.Byte() % 6; p > 0; --p)
      changes.Add(id, s.Scaled(16), s.Value());
  }
  TEventList in, out;
  for (int e = s.Byte() % 6; e > 0; --e) {
    Event ev{};
    ev.type = static_cast<uint16>(s.Byte() % 4);
    ev.sampleOffset = s.Int();
    ev.noteOn = {static_cast<int16>(s.Int()),
                 static_cast<int16>(s.Int()),
                 0.0f,
                 static_cast<float>(s.Value()),
                 0,
                 -1};
    in.Events.push_back(ev);
  }
  ProcessData data{};
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = outBus.numChannels = s.Byte() < 240 ? 2 : s.Byte() % 3;
  inBus.channelBuffers32 = io;
  outBus.channelBuffers32 = io; // in place, as Ardour runs plug-ins
  data.symbolicSampleSize = s.Byte() < 250 ? kSample32 : kSample64;
  data.numSamples = frames;
  data.numInputs = data.numOutputs = s.Byte() < 250 ? 1 : 0;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.inputParameterChanges = s.Byte() < 200 ? &changes : nullptr;
  data.inputEvents = s.Byte() < 200 ? &in : nullptr;
  data.outputEvents = s.Byte() < 200 ? &out : nullptr;
  fx.Processor->process(data);
}

void Editor(TInstance& fx, TScript& s, IQuantaloopEditorDrive& drive) {
  TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
  drive.driveEditor(&headless);
  IPlugView* view = fx.Controller->createView(kEditorViewType);
  if (!view) return;
  view->attached(nullptr, kPlatformTypeX11EmbedWindowID);
  for (int n = s.Byte() % 16; n > 0; --n) {
    TEditorDrive d{};
    d.Command = s.Byte() % 9;
    d.X = s.Scaled(12);
    d.Y = s.Scaled(7);
    d.Button = s.Byte() % 3;
    d.Shift = s.Byte();
    d.Milliseconds = s.Byte();
    if (d.Command == edcPixels) d.Command = edcAdvance; // needs a buffer of the window's size
    if (d.Command == edcUseHeadless) continue;
    drive.driveEditor(&d);
    if (s.Byte() < 8) fx.Controller->setParamNormalized(s.Byte() % 6, s.Value());
  }
  if (s.Byte() < 200) view->removed();
  view->release();
}

void Step(TInstance& fx, TScript& s, IQuantaloopEditorDrive& drive) {
  switch (s.Byte() % 12) {
  case 0:
  case 1:
  case 2:
    Block(fx, s);
    break;
  case 3: {
    TMemoryStream st(s.Bytes(120));
    st.FailReadsAfter = s.Byte() < 32 ? s.Byte() : SIZE_MAX;
    fx.Component->setState(&st);
    break;
  }
  case 4: {
    TMemoryStream st(s.Bytes(120));
    fx.Controller->setComponentState(&st);
    break;
  }
  case 5: {
    const std::vector<uint8_t> state = fx.State();
    if (!state.empty() && s.Byte() < 128) fx.Restore(state);
    break;
  }
  case 6:
    fx.Component->setActive(s.Byte() % 2);
    break;
  case 7: {
    ProcessSetup setup{s.Int(), s.Byte() < 230 ? kSample32 : s.Int(), s.Scaled(100),
                       s.Value() * 96000};
    fx.Processor->setupProcessing(setup);
    break;
  }
  case 8:
    fx.Controller->setParamNormalized(s.Byte() < 240 ? s.Byte() % 8 : s.Raw<uint32_t>(), s.Value());
    break;
  case 9: {
    const ParamID id = s.Byte() % 8;
    String128 text;
    fx.Controller->getParamStringByValue(id, s.Value(), text);
    std::vector<TChar> in(s.Byte() % 40 + 1);
    for (size_t i = 0; i + 1 < in.size(); ++i)
      in[i] = static_cast<TChar>(s.Byte() < 230 ? s.Byte() % 128 : s.Raw<uint16_t>());
    in.back() = 0;
    ParamValue v = 0;
    fx.Controller->getParamValueByString(id, in.data(), v);
    fx.Controller->normalizedParamToPlain(id, s.Value());
    fx.Controller->plainParamToNormalized(id, s.Value() * 200);
    break;
  }
  case 10:
    Editor(fx, s, drive);
    break;
  case 11: {
    SpeakerArrangement a = s.Byte() % 5, b = s.Byte() % 5;
    fx.Processor->setBusArrangements(&a, s.Byte() % 3, &b, s.Byte() % 3);
    ParameterInfo info;
    fx.Controller->getParameterInfo(s.Int(), info);
    BusInfo bus;
    fx.Component->getBusInfo(s.Int(), s.Int(), s.Int(), bus);
    break;
  }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TScript s(data, size);
  TInstance fx(GetPluginFactory());
  if (!fx.Valid()) return 0;
  void* drive = nullptr;
  if (fx.Component->queryInterface(kIQuantaloopEditorDriveIid.Bytes, &drive) != kResultOk) return 0;
  if (s.Byte() < 200) fx.Start(1024);
  while (!s.Done())
    Step(fx, s, *static_cast<IQuantaloopEditorDrive*>(drive));
  static_cast<IQuantaloopEditorDrive*>(drive)->release();
  return 0;
}
