#include "vst2/template/DVstTemplate.h"

#include "vst2/base/DVstUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Text limits of the answers, in characters without the terminator. Hosts size their buffers
// by the interface's published limits, so no answer writes more.
constexpr size_t kParamTextChars = kVstMaxParamStrLen;
constexpr size_t kProgramNameChars = kVstMaxProgNameLen;
constexpr size_t kEffectNameChars = kVstMaxEffectNameLen;
constexpr size_t kVendorChars = kVstMaxVendorStrLen;
constexpr size_t kProductChars = kVstMaxProductStrLen;
constexpr size_t kWhole = static_cast<size_t>(-1);

// Copies at most maxChars characters of src and a terminator into dest.
void CopyText(char* dest, const char* src, size_t maxChars) {
  if (!dest) return;
  size_t n = src ? strnlen(src, maxChars) : 0;
  if (n) std::memcpy(dest, src, n);
  dest[n] = '\0';
}

constexpr const char* kUndefined = "undefined";

// Effect flag element -> record setter, in the order the record is configured.
struct TFlagSetter {
  TEffectFlag Element;
  void (AudioEffectX::*Setter)(bool);
};

} // namespace

TVstProgram::TVstProgram(int32_t parameterCount)
    : Values(std::make_unique<std::atomic<float>[]>(static_cast<size_t>(parameterCount))) {
  for (int32_t i = 0; i < parameterCount; ++i)
    Values[i].store(0.0f, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// Editor adapter

TVstTemplateEditor::TVstTemplateEditor(TVstTemplate* effect, TEditorFormClass formClass)
    : AEffEditor(effect), FormClass(formClass) {}

TVstTemplateEditor::~TVstTemplateEditor() {
  Form.reset();
  ParentWindow = nullptr;
}

VstInt32 TVstTemplateEditor::getRect(ERect** rect) {
  EditorRect.top = 0;
  EditorRect.left = 0;
  if (Form) {
    EditorRect.bottom = static_cast<VstInt16>(Form->ClientHeight());
    EditorRect.right = static_cast<VstInt16>(Form->ClientWidth());
  }
  if (rect) *rect = &EditorRect;
  return 1;
}

VstInt32 TVstTemplateEditor::open(void* ptr) {
  ParentWindow = ptr;
  ++OpenCount;
  if (OpenCount != 1 && Form) return 1;

  TEditorForm* form = nullptr;
  try {
    form = FormClass ? FormClass(*static_cast<TVstTemplate*>(effect), ptr, Headless) : nullptr;
  } catch (...) {
    form = nullptr;
  }
  if (!form) {
    // No window could be made in this parent: stay closed so that a later open starts afresh.
    --OpenCount;
    ParentWindow = nullptr;
    return 0;
  }
  Form.reset(form);
  Form->SetBounds(0, 0, Form->ClientWidth(), Form->ClientHeight());
  Form->Link();
  return 1;
}

void TVstTemplateEditor::close() {
  --OpenCount;
  if (OpenCount > 0) return;
  OpenCount = 0;
  Form.reset();
  ParentWindow = nullptr;
}

void TVstTemplateEditor::idle() {
  if (Form) Form->Idle();
}

// ---------------------------------------------------------------------------------------------
// Construction

TVstTemplate::TVstTemplate(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams,
                           TEditorFormClass formClass)
    : AudioEffectX(audioMaster, numPrograms, numParams), ProgramCount(numPrograms),
      ParameterCount(numParams) {
  Programs.reserve(static_cast<size_t>(std::max(0, numPrograms)));
  for (int32_t i = 0; i < numPrograms; ++i)
    Programs.push_back(std::make_unique<TVstProgram>(numParams));

  ParameterProperties.reserve(static_cast<size_t>(std::max(0, numParams)));
  for (int32_t i = 0; i < numParams; ++i) {
    auto p = std::make_unique<TVstParameterProperty>();
    std::snprintf(p->Name, sizeof(p->Name), "Parameter %d", static_cast<int>(i));
    ParameterProperties.push_back(std::move(p));
  }

  // The outgoing records exist from the start, so that queueing a note never allocates.
  FMidiOutRecords = std::make_unique<VstMidiEvent[]>(MidiOutCapacity);
  for (int32_t i = 0; i < MidiOutCapacity; ++i) {
    VstMidiEvent& e = FMidiOutRecords[i];
    std::memset(&e, 0, sizeof(e));
    e.type = kVstMidiType;
    e.byteSize = static_cast<VstInt32>(sizeof(VstMidiEvent) - 2 * sizeof(VstInt32));
    MidiOutEvents.events[i] = reinterpret_cast<VstEvent*>(&e);
  }

  if (formClass) {
    FEditor = new TVstTemplateEditor(this, formClass);
    setEditor(FEditor);
  }
}

void TVstTemplate::InitializeTemplate() {
  suspend();

  std::string id = UniqueIdText;
  while (id.size() < 4)
    id += ' ';
  setUniqueID(makeFourCharCode(id[0], id[1], id[2], id[3]));

  // Every flag is set or cleared explicitly, in this order.
  static constexpr TFlagSetter kFlagSetters[] = {
      {efHasVu, &AudioEffectX::hasVu},
      {efIsSynth, &AudioEffectX::isSynth},
      {efHasClip, &AudioEffectX::hasClip},
      {efCanMono, &AudioEffectX::canMono},
      {efCanReplacing, &AudioEffectX::canProcessReplacing},
      {efProgramChunks, &AudioEffectX::programsAreChunks},
      {efExtHasBuffer, &AudioEffectX::hasExternalBuffer},
      {efExtIsAsync, &AudioEffectX::wantAsyncOperation},
      {efNoSoundInStop, &AudioEffectX::noTail},
  };
  for (const TFlagSetter& f : kFlagSetters)
    (this->*f.Setter)((EffectFlags >> f.Element) & 1);

  SetInputCount(InputCount);
  SetOutputCount(OutputCount);
  setProgram(0);
  NeedsEditorUpdate.store(true, std::memory_order_release);
  InitializeParameters();
  ReserveScratch(blockSize);
}

TVstTemplate::~TVstTemplate() {
  FMidiOutRecords.reset();
  Programs.clear();
  ParameterProperties.clear();
  // The base destructor frees the editor adapter and with it an open window.
}

// ---------------------------------------------------------------------------------------------
// Parameters and programs

void TVstTemplate::setParameter(VstInt32 index, float value) {
  if (value > 1.0f)
    value = 1.0f;
  else if (!(value >= 0.0f))
    value = 0.0f; // negative or not a number
  if (!ValidParameter(index)) return;
  Value(index).store(value, std::memory_order_relaxed);
  NeedsEditorUpdate.store(true, std::memory_order_release);
}

float TVstTemplate::getParameter(VstInt32 index) {
  if (!ValidParameter(index)) return 0.0f;
  return Value(index).load(std::memory_order_relaxed);
}

void TVstTemplate::setProgram(VstInt32 program) {
  if (program < 0 || program > ProgramCount - 1) return;
  curProgram = program;
  FProgram.store(program, std::memory_order_relaxed);
  // Written back through the virtual setter so that an effect sees every value of the newly
  // selected program, in index order.
  TVstProgram& p = *Programs[program];
  for (int32_t i = 0; i < ParameterCount; ++i)
    setParameter(i, p.Values[i].load(std::memory_order_relaxed));
  NeedsEditorUpdate.store(true, std::memory_order_release);
}

void TVstTemplate::setProgramName(char* name) {
  if (!name || ProgramCount <= 0) return;
  CopyText(Programs[CurrentProgram()]->Name, name, kProgramNameChars);
  NeedsEditorUpdate.store(true, std::memory_order_release);
}

void TVstTemplate::getProgramName(char* name) {
  if (ProgramCount <= 0) return;
  CopyText(name, Programs[CurrentProgram()]->Name, kProgramNameChars);
}

bool TVstTemplate::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
  if (index < 0 || index >= ProgramCount || !text) return false;
  CopyText(text, Programs[index]->Name, kProgramNameChars);
  return true;
}

void TVstTemplate::getParameterLabel(VstInt32 index, char* label) {
  CopyText(label, ValidParameter(index) ? ParameterProperties[index]->Units : kUndefined,
           kParamTextChars);
}

void TVstTemplate::getParameterDisplay(VstInt32 index, char* text) {
  if (!text) return;
  if (!ValidParameter(index)) {
    CopyText(text, kUndefined, kParamTextChars);
    return;
  }
  char formatted[64] = {};
  formatFloatFixed(GetParameterReal(index), formatted);
  CopyText(text, formatted, kParamTextChars);
}

void TVstTemplate::getParameterName(VstInt32 index, char* text) {
  CopyText(text, ValidParameter(index) ? ParameterProperties[index]->Name : kUndefined, kWhole);
}

float TVstTemplate::GetParameterReal(int32_t index) {
  return RealValue(index, getParameter(index));
}

void TVstTemplate::GetParametersReal(float* values, int32_t count) {
  const TVstProgram& program = *Programs[FProgram.load(std::memory_order_relaxed)];
  for (int32_t i = 0; i < count && i < ParameterCount; ++i)
    values[i] = RealValue(i, program.Values[i].load(std::memory_order_relaxed));
}

namespace {
// The curve between the normalised value and the linear range. The two curves mirror each
// other: the exponential curve's way to the real value is the logarithmic curve's way back, and
// the other way round.
float Bend(const TVstParameterProperty& p, float v, bool toReal) {
  if (p.Curve != pcExponential && p.Curve != pcLogarithmic) return v;
  const double c = p.CurveFactor;
  if ((p.Curve == pcExponential) == toReal)
    return static_cast<float>(std::exp(v * std::log(c + 1.0)) - 1.0);
  return static_cast<float>(std::log(c * v + 1.0) / std::log(c + 1.0));
}
} // namespace

float TVstTemplate::RealValue(int32_t index, float normalised) {
  TVstParameterProperty& p = *ParameterProperties[index];
  const float v = Bend(p, normalised, true);
  const float r = static_cast<float>((static_cast<double>(p.Max) - p.Min) * v + p.Min);
  return SmoothValue(p, r);
}

void TVstTemplate::SetParameterReal(int32_t index, float value) {
  TVstParameterProperty& p = *ParameterProperties[index];
  const float v = Bend(p,
                       static_cast<float>((static_cast<double>(value) - p.Min) /
                                          (static_cast<double>(p.Max) - p.Min)),
                       false);
  setParameterAutomated(index, v);
  if (OnParameterChange) OnParameterChange(index, value);
}

float TVstTemplate::SmoothValue(TVstParameterProperty& p, float x) {
  const double k = p.SmoothingFactor;
  const float s1 = p.SmoothState1.load(std::memory_order_relaxed);
  const float n1 = static_cast<float>(s1 + (static_cast<double>(x) - s1) * k);
  p.SmoothState1.store(n1, std::memory_order_relaxed);
  const float s2 = p.SmoothState2.load(std::memory_order_relaxed);
  const float n2 = static_cast<float>(s2 + (static_cast<double>(n1) - s2) * k);
  p.SmoothState2.store(n2, std::memory_order_relaxed);
  return n2;
}

// ---------------------------------------------------------------------------------------------
// Identity, capabilities and pins

bool TVstTemplate::getEffectName(char* name) {
  CopyText(name, EffectName.c_str(), kEffectNameChars);
  return true;
}

bool TVstTemplate::getVendorString(char* text) {
  CopyText(text, VendorName.c_str(), kVendorChars);
  return true;
}

bool TVstTemplate::getProductString(char* text) {
  CopyText(text, ProductName.c_str(), kProductChars);
  return true;
}

VstInt32 TVstTemplate::getVendorVersion() {
  return VendorVersion;
}

VstInt32 TVstTemplate::canDo(char* text) {
  if (!text) return -1;
  const std::string_view s(text);
  for (int i = 0; i <= vcdBypass; ++i)
    if (s == kPlugCanDoStrings[i]) return (CanDos >> i) & 1 ? 1 : 0;
  return -1;
}

namespace {
bool DescribePin(VstInt32 index, int32_t count, const char* prefix, VstPinProperties* pin) {
  // Negative indices are out of range like those at or above the count.
  if (!pin || index < 0 || index >= count) return false;
  std::snprintf(pin->label, sizeof(pin->label), "%s%d", prefix, static_cast<int>(index) + 1);
  pin->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}
} // namespace

bool TVstTemplate::getInputProperties(VstInt32 index, VstPinProperties* properties) {
  return DescribePin(index, InputCount, "Input #", properties);
}

bool TVstTemplate::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
  return DescribePin(index, OutputCount, "Output #", properties);
}

void TVstTemplate::SetInputCount(int32_t n) {
  InputCount = n;
  setNumInputs(n);
  ioChanged();
}

void TVstTemplate::SetOutputCount(int32_t n) {
  OutputCount = n;
  setNumOutputs(n);
  ioChanged();
}

// ---------------------------------------------------------------------------------------------
// Processing and MIDI

// The frames reserved ahead for an announced block size. An announcement is only a promise: a
// host that announces billions of frames would have us zero-fill gigabytes. Beyond a generous
// bound the scratch grows when such a block actually arrives, backed by the host's own buffers.
static int32_t ReservedFrames(int32_t announced) {
  constexpr int32_t kMaxReservedFrames = 1 << 16;
  return std::min(announced, kMaxReservedFrames);
}

void TVstTemplate::ReserveScratch(int32_t frames) {
  const int32_t channels = std::max(0, OutputCount);
  const size_t n = static_cast<size_t>(std::max(0, frames));
  if (FScratch.size() != static_cast<size_t>(channels)) FScratch.resize(channels);
  FScratchPointers.resize(channels);
  for (int32_t j = 0; j < channels; ++j) {
    if (FScratch[j].size() < n) FScratch[j].resize(n);
    FScratchPointers[j] = FScratch[j].data();
  }
}

void TVstTemplate::setBlockSize(VstInt32 blockSize) {
  AudioEffectX::setBlockSize(blockSize);
  ReserveScratch(ReservedFrames(blockSize));
}

void TVstTemplate::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
  Tempo = static_cast<float>(tempoAt(0) / 10000.0);
  const int32_t channels = std::max(0, OutputCount);
  if (sampleFrames > 0) {
    // The scratch buffer is sized at setBlockSize and resume; only a larger block allocates.
    if (FScratchPointers.size() != static_cast<size_t>(channels) ||
        (channels > 0 && FScratch[0].size() < static_cast<size_t>(sampleFrames)))
      ReserveScratch(std::max(sampleFrames, ReservedFrames(blockSize)));
    for (int32_t j = 0; j < channels; ++j)
      std::fill_n(FScratch[j].data(), sampleFrames, 0.0f);
    ProcessAudio(inputs, FScratchPointers.data(), sampleFrames);
    for (int32_t j = 0; j < channels; ++j) {
      float* out = outputs[j];
      const float* add = FScratch[j].data();
      for (int32_t i = 0; i < sampleFrames; ++i)
        out[i] += add[i];
    }
  }
  HandOverMidi();
}

void TVstTemplate::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  ProcessAudio(inputs, outputs, sampleFrames);
  HandOverMidi();
}

void TVstTemplate::HandOverMidi() {
  if (MidiOutCount <= 0) return;
  MidiOutEvents.numEvents = MidiOutCount;
  sendVstEventsToHost(MidiOutEvents.AsVstEvents());
  MidiOutCount = 0;
}

VstInt32 TVstTemplate::processEvents(VstEvents* events) {
  if (!events) return 1;
  // The record declares room for two slots; the host's list runs on past them, so the slots
  // are read through a plain pointer rather than by indexing the declared array.
  VstEvent* const* slots = events->events;
  for (VstInt32 i = 0; i < events->numEvents; ++i) {
    const VstEvent* e = slots[i];
    if (e && e->type == kVstMidiType) ProcessMidiEvent(*reinterpret_cast<const VstMidiEvent*>(e));
  }
  return 1;
}

void TVstTemplate::QueueNote(uint8_t status, uint8_t channel, uint8_t note, uint8_t velocity,
                             int32_t deltaFrames) {
  VstMidiEvent& e = FMidiOutRecords[MidiOutCount];
  e.midiData[0] = static_cast<char>(static_cast<uint8_t>(status + channel));
  e.midiData[1] = static_cast<char>(note);
  e.midiData[2] = static_cast<char>(velocity);
  e.deltaFrames = deltaFrames;
  // Once 255 are queued, further notes of the block overwrite the last record, which is never
  // handed over.
  if (MidiOutCount < MidiOutCapacity - 1) ++MidiOutCount;
}

void TVstTemplate::QueueNoteOn(uint8_t channel, uint8_t note, uint8_t velocity,
                               int32_t deltaFrames) {
  QueueNote(0x90, channel, note, velocity, deltaFrames);
}

void TVstTemplate::QueueNoteOff(uint8_t channel, uint8_t note, uint8_t velocity,
                                int32_t deltaFrames) {
  QueueNote(0x80, channel, note, velocity, deltaFrames);
}

void TVstTemplate::suspend() {}

void TVstTemplate::resume() {
  ReserveScratch(ReservedFrames(blockSize));
  wantEvents(1);
}
