// The generic layer between the host interface and a concrete effect: parameter descriptions
// and real-unit mapping, programs, the texts, pins and capabilities answered to the host, the
// processing adapters with their MIDI queues, and the editor adapter.
//
// An effect derives from TVstTemplate, fills the configuration fields in its constructor and
// overrides the hooks InitializeParameters, ProcessAudio and ProcessMidiEvent. Because C++ does
// not dispatch to the derived class while a base is being constructed, the construction steps
// that reach the effect run in InitializeTemplate(), which the creator calls right after the
// effect's constructor, before the record is handed to the host.
#pragma once

#include "vst2/base/DAudioEffectX.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using TSingleArray = std::vector<float>;
using TArrayOfSingleArray = std::vector<TSingleArray>;

// Shape of the mapping between normalised and real parameter values. Any other value behaves
// as pcLinear.
enum TParameterCurve : uint8_t { pcLinear = 0, pcExponential = 1, pcLogarithmic = 2 };

// One parameter's description. The smoother states are written by every GetParameterReal, which
// may run on the audio, the host and the editor thread at once, so they are atomics.
struct TVstParameterProperty {
  std::atomic<float> SmoothState1{0.0f};
  std::atomic<float> SmoothState2{0.0f};
  float Min = 0.0f;
  float Max = 1.0f;
  TParameterCurve Curve = pcLinear;
  float CurveFactor = 1.0f;
  char Name[31] = {};
  char Units[kVstMaxParamStrLen + 1] = {};
  float SmoothingFactor = 1.0f;
};

// One program: a name and one normalised value per parameter. The values of the current program
// are the live parameter values; each is a float written whole from any thread.
struct TVstProgram {
  explicit TVstProgram(int32_t parameterCount);

  std::unique_ptr<std::atomic<float>[]> Values;
  char Name[kVstMaxProgNameLen + 1] = "Init";
};

// Capabilities answered to canDo; the element number is the bit in TVstCanDos and the index of
// the capability's string in kPlugCanDoStrings.
enum TVstCanDo : uint8_t {
  vcdSendVstEvents,
  vcdSendVstMidiEvent,
  vcdSendVstTimeInfo,
  vcdReceiveVstEvents,
  vcdReceiveVstMidiEvent,
  vcdReceiveVstTimeInfo,
  vcdOffline,
  vcdPlugAsChannelInsert,
  vcdPlugAsSend,
  vcdMixDryWet,
  vcdNoRealTime,
  vcdMultipass,
  vcdMetapass,
  vcd1in1out,
  vcd1in2out,
  vcd2in1out,
  vcd2in2out,
  vcd2in4out,
  vcd4in2out,
  vcd4in4out,
  vcd4in8out,
  vcd8in4out,
  vcd8in8out,
  vcdMidiProgramNames,
  vcdConformsToWindowRules,
  vcdBypass,
};
using TVstCanDos = uint32_t;

// Record flags the template applies at construction; the element number is the bit in
// TEffectFlags.
enum TEffectFlag : uint8_t {
  efIsSynth,
  efHasVu,
  efHasClip,
  efCanMono,
  efCanReplacing,
  efProgramChunks,
  efNoSoundInStop,
  efExtIsAsync,
  efExtHasBuffer,
};
using TEffectFlags = uint16_t;

template <typename TSet, typename TElement>
constexpr TSet SetOf(std::initializer_list<TElement> e) {
  TSet set = 0;
  for (TElement x : e)
    set = static_cast<TSet>(set | (TSet{1} << x));
  return set;
}

// The elements name the interface's capability strings in their published order.
static_assert(std::size(kPlugCanDoStrings) == vcdBypass + 1);

class TVstTemplate;

// The editor window as the adapter sees it. The effect supplies it; the adapter creates one
// through a TEditorFormClass on every open.
class TEditorForm {
public:
  virtual ~TEditorForm() = default;
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  virtual void SetBounds(int left, int top, int width, int height) = 0;
  // Hands the window its effect, later, on the window's thread.
  virtual void Link() = 0;
  // Serves window events for hosts that drive editors through effEditIdle.
  virtual void Idle() {}
};

// Creates the editor window of `effect` as a child of parentWindow; null when no window can be
// made there. `headless`: the window is to live in the library's in-memory window system
// instead of the host's, for a tool or test that drives the editor without a display.
using TEditorFormClass = TEditorForm* (*)(TVstTemplate& effect, void* parentWindow, bool headless);

// Connects the host's editor opcodes to a window made by the effect's window class.
class TVstTemplateEditor : public AEffEditor {
public:
  TVstTemplateEditor(TVstTemplate* effect, TEditorFormClass formClass);
  ~TVstTemplateEditor() override;

  VstInt32 getRect(ERect** rect) override;
  VstInt32 open(void* ptr) override;
  void close() override;
  void idle() override;
  void update() override {}

  ERect EditorRect{};
  int32_t OpenCount = 0;
  TEditorFormClass FormClass = nullptr;
  // Windows of this adapter open headless (see TEditorFormClass): asked for per instance, so
  // another instance's editor in the same process stays in the window system.
  bool Headless = false;
  void* ParentWindow = nullptr;
  std::unique_ptr<TEditorForm> Form;
};

// The outgoing event list: the VstEvents layout with room for 2048 event addresses.
struct TVstEventList {
  VstInt32 numEvents = 0;
  VstIntPtr reserved = 0;
  VstEvent* events[2048] = {};

  VstEvents* AsVstEvents() { return reinterpret_cast<VstEvents*>(this); }
};
static_assert(offsetof(TVstEventList, events) == offsetof(VstEvents, events));

class TVstTemplate : public AudioEffectX {
public:
  using TParameterChangeEvent = std::function<void(int32_t index, float value)>;

  // Queued notes per processing call; one more record catches the overflow and is never sent.
  static constexpr int32_t MidiOutCapacity = 256;

  TVstTemplate(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams,
               TEditorFormClass formClass);
  ~TVstTemplate() override;

  // The construction steps that dispatch to the effect: suspend, identifier, flags, pins,
  // program 0, the change flag and InitializeParameters, in that order.
  void InitializeTemplate();

  // Parameters and programs.
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void setProgram(VstInt32 program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;

  float GetParameterReal(int32_t index);
  // Parameters 0 .. count - 1 in real units, as GetParameterReal gives them but read straight
  // from the program's values: the selection once, then each stored value once. Processing
  // takes a block's settings from one such read, so whatever other threads store or select
  // meanwhile, the block runs with values that one program held.
  void GetParametersReal(float* values, int32_t count);
  void SetParameterReal(int32_t index, float value);
  float SmoothValue(TVstParameterProperty& p, float x);

  // Identity and capabilities.
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override;
  VstInt32 canDo(char* text) override;
  bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
  bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;

  // Processing and MIDI.
  void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  VstInt32 processEvents(VstEvents* events) override;
  void setBlockSize(VstInt32 blockSize) override;
  void suspend() override;
  void resume() override;

  void SetInputCount(int32_t n);
  void SetOutputCount(int32_t n);
  void QueueNoteOn(uint8_t channel, uint8_t note, uint8_t velocity, int32_t deltaFrames);
  void QueueNoteOff(uint8_t channel, uint8_t note, uint8_t velocity, int32_t deltaFrames);

  // Hooks for the effect.
  virtual void InitializeParameters() {}
  virtual void ProcessAudio(const float* const* /*inputs*/, float* const* /*outputs*/,
                            int32_t /*sampleFrames*/) {}
  virtual void ProcessMidiEvent(const VstMidiEvent& /*event*/) {}

  int32_t CurrentProgram() const { return FProgram.load(std::memory_order_relaxed); }
  TVstTemplateEditor* Editor() const { return FEditor; }

  // Configuration, filled by the effect before InitializeTemplate.
  TVstCanDos CanDos = 0;
  int32_t InputCount = 0;
  int32_t OutputCount = 0;
  std::string UniqueIdText;
  int32_t VendorVersion = 0;
  std::string EffectName;
  std::string VendorName;
  std::string ProductName;
  TEffectFlags EffectFlags = 0;
  TParameterChangeEvent OnParameterChange;

  // Parameter and program model.
  int32_t ProgramCount = 0;
  int32_t ParameterCount = 0;
  std::vector<std::unique_ptr<TVstParameterProperty>> ParameterProperties;
  std::vector<std::unique_ptr<TVstProgram>> Programs;
  std::atomic<bool> NeedsEditorUpdate{false};

  // Runtime.
  TVstEventList MidiOutEvents;
  int32_t MidiOutCount = 0;
  float Tempo = 0.0f;

private:
  void QueueNote(uint8_t status, uint8_t channel, uint8_t note, uint8_t velocity,
                 int32_t deltaFrames);
  void HandOverMidi();
  void ReserveScratch(int32_t frames);
  // The audio thread picks the program's values while the host's UI thread may switch programs,
  // so the selection it reads is the atomic copy, not the base's plain field.
  std::atomic<float>& Value(int32_t index) {
    return Programs[FProgram.load(std::memory_order_relaxed)]->Values[index];
  }
  bool ValidParameter(VstInt32 index) const { return index >= 0 && index < ParameterCount; }
  // A stored value in real units: curve, range and one smoother step.
  float RealValue(int32_t index, float normalised);

  std::unique_ptr<VstMidiEvent[]> FMidiOutRecords;
  TVstTemplateEditor* FEditor = nullptr; // owned by the base through setEditor
  std::atomic<int32_t> FProgram{0};      // the selected program, as the audio thread reads it
  TArrayOfSingleArray FScratch;
  std::vector<float*> FScratchPointers;
};
