// The effect as a VST 3 plug-in: one object that is the processor component and its edit
// controller at once (hosts find the controller by queryInterface on the component, or create a
// second object of the controller class, which then serves as controller only).
//
// Two sets of values, as the interface keeps them apart:
// - the controller's (FStore): what the host and the editor read and set on the main thread;
//   the editor's gestures go from here to the host as begin, perform and end edits, and come
//   back to the processing as parameter changes;
// - the processing's (FAudio): the audio thread's own copy, changed only by the parameter queues
//   of each block (at their sample offsets, through the core's split block) and by a loaded
//   state, which the main thread posts whole; getState saves the main thread's copy of them.
//
// The bypass is a parameter of its own after the effect's five: while on, the output is the
// input, sample for sample.
#pragma once

#include "core/uParameterStore.h"
#include "core/uProcessing.h"
#include "editor/EditorView.h"
#include "vst3/interface/Vst3Interface.h"
#include "vst3/plugin/Vst3EditorDrive.h"

#include <atomic>
#include <cstddef>

class TVst3View;

namespace vst3q {

inline constexpr vst3::ParamID kBypassId = ppCount;
inline constexpr vst3::int32 kParamCount = ppCount + 1;

// The host's normalised value of parameter `index` as the real value the effect stores, and back.
float RealOf(int32_t index, double normalized);
double NormalizedOf(int32_t index, float real);

} // namespace vst3q

// IComponent and IEditController both name a setState and a getState of the same signature but
// of different meaning; each of these gives its pair a name of its own.
class TVst3ComponentBase : public vst3::IComponent {
public:
  vst3::tresult QL_VST3_CALL setState(vst3::IBStream* state) final { return LoadComponent(state); }
  vst3::tresult QL_VST3_CALL getState(vst3::IBStream* state) final { return SaveComponent(state); }
  virtual vst3::tresult LoadComponent(vst3::IBStream* state) = 0;
  virtual vst3::tresult SaveComponent(vst3::IBStream* state) = 0;
};

class TVst3ControllerBase : public vst3::IEditController {
public:
  vst3::tresult QL_VST3_CALL setState(vst3::IBStream*) final { return vst3::kResultOk; }
  // The controller keeps nothing of its own: its values follow the component's state.
  vst3::tresult QL_VST3_CALL getState(vst3::IBStream*) final { return vst3::kResultOk; }
};

class TVst3Plugin final : public TVst3ComponentBase,
                          public vst3::IAudioProcessor,
                          public TVst3ControllerBase,
                          public vst3::IQuantaloopEditorDrive,
                          public TEditorView {
public:
  TVst3Plugin();

  // FUnknown
  vst3::tresult QL_VST3_CALL queryInterface(const char* iid, void** obj) override;
  vst3::uint32 QL_VST3_CALL addRef() override;
  vst3::uint32 QL_VST3_CALL release() override;

  // IPluginBase (both as component and as controller)
  vst3::tresult QL_VST3_CALL initialize(vst3::FUnknown* context) override;
  vst3::tresult QL_VST3_CALL terminate() override;

  // IComponent
  vst3::tresult QL_VST3_CALL getControllerClassId(char* classId) override;
  vst3::tresult QL_VST3_CALL setIoMode(vst3::IoMode mode) override;
  vst3::int32 QL_VST3_CALL getBusCount(vst3::MediaType type, vst3::BusDirection dir) override;
  vst3::tresult QL_VST3_CALL getBusInfo(vst3::MediaType type, vst3::BusDirection dir,
                                        vst3::int32 index, vst3::BusInfo& bus) override;
  vst3::tresult QL_VST3_CALL getRoutingInfo(vst3::RoutingInfo& inInfo,
                                            vst3::RoutingInfo& outInfo) override;
  vst3::tresult QL_VST3_CALL activateBus(vst3::MediaType type, vst3::BusDirection dir,
                                         vst3::int32 index, vst3::TBool state) override;
  vst3::tresult QL_VST3_CALL setActive(vst3::TBool state) override;
  // IComponent's state: the core's blob. A stream that does not hold a whole valid blob is
  // refused and changes nothing.
  vst3::tresult LoadComponent(vst3::IBStream* state) override;
  vst3::tresult SaveComponent(vst3::IBStream* state) override;

  // IAudioProcessor
  vst3::tresult QL_VST3_CALL setBusArrangements(vst3::SpeakerArrangement* inputs,
                                                vst3::int32 numIns,
                                                vst3::SpeakerArrangement* outputs,
                                                vst3::int32 numOuts) override;
  vst3::tresult QL_VST3_CALL getBusArrangement(vst3::BusDirection dir, vst3::int32 index,
                                               vst3::SpeakerArrangement& arr) override;
  vst3::tresult QL_VST3_CALL canProcessSampleSize(vst3::int32 symbolicSampleSize) override;
  vst3::uint32 QL_VST3_CALL getLatencySamples() override { return 0; }
  vst3::tresult QL_VST3_CALL setupProcessing(vst3::ProcessSetup& setup) override;
  vst3::tresult QL_VST3_CALL setProcessing(vst3::TBool state) override;
  vst3::tresult QL_VST3_CALL process(vst3::ProcessData& data) override;
  vst3::uint32 QL_VST3_CALL getTailSamples() override { return 0; }

  // IEditController
  vst3::tresult QL_VST3_CALL setComponentState(vst3::IBStream* state) override;
  vst3::int32 QL_VST3_CALL getParameterCount() override { return vst3q::kParamCount; }
  vst3::tresult QL_VST3_CALL getParameterInfo(vst3::int32 paramIndex,
                                              vst3::ParameterInfo& info) override;
  vst3::tresult QL_VST3_CALL getParamStringByValue(vst3::ParamID id,
                                                   vst3::ParamValue valueNormalized,
                                                   vst3::String128 string) override;
  vst3::tresult QL_VST3_CALL getParamValueByString(vst3::ParamID id, vst3::TChar* string,
                                                   vst3::ParamValue& valueNormalized) override;
  vst3::ParamValue QL_VST3_CALL normalizedParamToPlain(vst3::ParamID id,
                                                       vst3::ParamValue valueNormalized) override;
  vst3::ParamValue QL_VST3_CALL plainParamToNormalized(vst3::ParamID id,
                                                       vst3::ParamValue plainValue) override;
  vst3::ParamValue QL_VST3_CALL getParamNormalized(vst3::ParamID id) override;
  vst3::tresult QL_VST3_CALL setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
  vst3::tresult QL_VST3_CALL setComponentHandler(vst3::IComponentHandler* handler) override;
  vst3::IPlugView* QL_VST3_CALL createView(vst3::FIDString name) override;

  // IQuantaloopEditorDrive
  vst3::int32 QL_VST3_CALL driveEditor(TEditorDrive* drive) override;

  // TEditorView: the controller's values; a gesture is the host's edit of the parameter.
  float ParameterReal(int32_t index) override { return FStore.Real(index); }
  void BeginGesture(int32_t index) override;
  void SetParameterByGesture(int32_t index, float real) override;
  void EndGesture(int32_t index) override;
  bool TakeUpdate() override { return FStore.TakeChanged(); }

  // The view tells the plug-in it is open or gone, for the editor drive.
  void ViewOpened(TVst3View* view) { FView = view; }
  void ViewClosed(TVst3View* view) {
    if (FView == view) FView = nullptr;
  }
  bool HeadlessEditor() const { return FHeadless; }

private:
  ~TVst3Plugin();
  // The processing's values as the main thread saves them (FSaved, brought up to date).
  TParameterValues ComponentValues();
  // A queue's points as changes of the block, in frame order with the others.
  void GatherChanges(vst3::IParameterChanges* changes, vst3::int32 frames);
  void GatherNotes(vst3::IEventList* events);

  std::atomic<vst3::uint32> FRefs{1};
  vst3::IComponentHandler* FHandler = nullptr; // held
  TVst3View* FView = nullptr;                  // the open editor, not held
  bool FHeadless = false;

  // Controller (main thread, the editor, any thread that reads).
  TParameterStore FStore;
  std::atomic<float> FBypassShown{0.0f};

  // Processing (audio thread) and what the main thread hands it: a loaded state goes to the
  // audio thread through FToAudio; the values the block's changes leave come back through
  // FFromAudio, each post whole. The main thread saves FSaved, its own copy: a loaded state at
  // once, the audio thread's values once the audio thread has taken every state loaded so far
  // (FLoadsSeen has caught up with FLoadsPosted), so that a block still running on the values
  // before a load never brings them back into the state saved after it.
  TSettingsMailbox FToAudio;
  TSettingsMailbox FFromAudio;
  std::atomic<uint32_t> FLoadsPosted{0};
  std::atomic<uint32_t> FLoadsSeen{0};
  TParameterValues FSaved; // main thread
  std::atomic<int32_t> FProgram{0};
  TParameterValues FAudio; // audio thread
  bool FBypass = false;
  TEffectProcessor FProcessor;

  // The block's changes and notes, gathered without allocating: room for this many, and the
  // last point of every queue whatever the count.
  static constexpr size_t kMaxChanges = 4096;
  static constexpr size_t kMaxNotes = 1024;
  TParameterChange FChanges[kMaxChanges];
  TParameterChange FPart[kMaxChanges];
  size_t FChangeCount = 0;
  TNoteMessage FNotes[kMaxNotes];
  size_t FNoteCount = 0;
};
