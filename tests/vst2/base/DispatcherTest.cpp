// The effect record, the static entries and both dispatchers, driven the way a host drives
// them: through the function pointers stored in the record.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <new>

#include "RecordingEffect.h"
#include "vst2/base/DVstUtils.h"

namespace qltest {
namespace {

constexpr uintptr_t kPtr = 4660; // a fake address that the operations only pass on
void* const kFakePtr = reinterpret_cast<void*>(kPtr);

VstIntPtr Dispatch(AudioEffect& fx, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
  // effClose through the record would destroy this object (CloseDestroysTheObject covers it);
  // the tables ask the virtual dispatcher itself.
  if (opcode == effClose) return fx.dispatcher(opcode, index, value, ptr, opt);
  AEffect* e = fx.getAeffect();
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

TEST(EffectRecord, ConstructorFillsEveryField) {
  TPlainEffect fx(nullptr, 3, 7);
  const AEffect* e = fx.getAeffect();
  const auto* bytes = reinterpret_cast<const unsigned char*>(e);
  EXPECT_EQ(0, std::memcmp(bytes, "PtsV", 4)) << "magic in memory order";
  EXPECT_EQ(0x56737450, e->magic);
  EXPECT_EQ(&AudioEffect::dispatchEffectClass, e->dispatcher);
  EXPECT_EQ(&AudioEffect::processClass, e->process);
  EXPECT_EQ(&AudioEffect::setParameterClass, e->setParameter);
  EXPECT_EQ(&AudioEffect::getParameterClass, e->getParameter);
  EXPECT_EQ(&AudioEffect::processClassReplacing, e->processReplacing);
  EXPECT_EQ(3, e->numPrograms);
  EXPECT_EQ(7, e->numParams);
  EXPECT_EQ(1, e->numInputs);
  EXPECT_EQ(2, e->numOutputs);
  EXPECT_EQ(0, e->flags);
  EXPECT_EQ(0, e->resvd1);
  EXPECT_EQ(0, e->resvd2);
  EXPECT_EQ(0, e->initialDelay);
  EXPECT_EQ(0, e->realQualities);
  EXPECT_EQ(0, e->offQualities);
  EXPECT_EQ(1.0f, e->ioRatio);
  EXPECT_EQ(static_cast<AudioEffect*>(&fx), e->object);
  EXPECT_EQ(nullptr, e->user);
  EXPECT_EQ(0x4E6F4566, e->uniqueID);
  EXPECT_EQ(1, e->version);
  for (unsigned char b : e->future)
    EXPECT_EQ(0, b);
  EXPECT_EQ(44100.0f, fx.SampleRate());
  EXPECT_EQ(1024, fx.BlockSize());
  EXPECT_EQ(0, fx.CurProgram());
  EXPECT_EQ(nullptr, fx.Editor());
}

TEST(EffectRecord, SettersWriteTheRecordInPlace) {
  TPlainEffect fx;
  AEffect* e = fx.getAeffect();
  fx.setUniqueID(makeFourCharCode('Q', 't', 'L', 'p'));
  fx.setNumInputs(2);
  fx.setNumOutputs(6);
  fx.setRealtimeQualities(3);
  fx.setOfflineQualities(4);
  fx.setInitialDelay(64);
  EXPECT_EQ(0x51744C70, e->uniqueID);
  EXPECT_EQ(2, e->numInputs);
  EXPECT_EQ(6, e->numOutputs);
  EXPECT_EQ(3, e->realQualities);
  EXPECT_EQ(4, e->offQualities);
  EXPECT_EQ(64, e->initialDelay);
}

TEST(EffectRecord, EachFlagSetterOwnsOneBit) {
  struct Case {
    const char* name;
    void (*set)(AudioEffectX&, bool);
    VstInt32 bit;
  };
  const Case cases[] = {
      {"hasClip", [](AudioEffectX& f, bool s) { f.hasClip(s); }, 2},
      {"hasVu", [](AudioEffectX& f, bool s) { f.hasVu(s); }, 4},
      {"canMono", [](AudioEffectX& f, bool s) { f.canMono(s); }, 8},
      {"canProcessReplacing", [](AudioEffectX& f, bool s) { f.canProcessReplacing(s); }, 16},
      {"programsAreChunks", [](AudioEffectX& f, bool s) { f.programsAreChunks(s); }, 32},
      {"isSynth", [](AudioEffectX& f, bool s) { f.isSynth(s); }, 256},
      {"noTail", [](AudioEffectX& f, bool s) { f.noTail(s); }, 512},
      {"wantAsyncOperation", [](AudioEffectX& f, bool s) { f.wantAsyncOperation(s); }, 1024},
      {"hasExternalBuffer", [](AudioEffectX& f, bool s) { f.hasExternalBuffer(s); }, 2048},
  };
  for (const Case& c : cases) {
    TPlainEffect fx;
    AEffect* e = fx.getAeffect();
    e->flags = 0x7FFF0000; // bits that belong to no setter must survive
    c.set(fx, true);
    EXPECT_EQ(0x7FFF0000 | c.bit, e->flags) << c.name;
    c.set(fx, false);
    EXPECT_EQ(0x7FFF0000, e->flags) << c.name;
  }
}

// Defaults: every opcode with nothing overridden and no editor.
TEST(Dispatcher, DefaultAnswers) {
  struct Case {
    VstInt32 opcode;
    VstIntPtr value;
    VstIntPtr answer;
  };
  const Case cases[] = {
      {effOpen, 0, 0},
      {effClose, 0, 0}, // the virtual dispatcher; the static entry answers 1
      {effSetProgram, 1, 0},
      {effGetProgram, 0, 1}, // after the effSetProgram above
      {effSetProgramName, 0, 0},
      {effGetProgramName, 0, 0},
      {effGetParamLabel, 0, 0},
      {effGetParamDisplay, 0, 0},
      {effGetParamName, 0, 0},
      {effGetVu, 0, 0},
      {effSetSampleRate, 0, 0},
      {effSetBlockSize, 512, 0},
      {effMainsChanged, 1, 0},
      {effEditGetRect, 0, 0},
      {effEditOpen, 0, 0},
      {effEditClose, 0, 0},
      {effEditDraw, 0, 0},
      {effEditMouse, 0, 0},
      {effEditKey, 0, 0},
      {effEditIdle, 0, 0},
      {effEditTop, 0, 0},
      {effEditSleep, 0, 0},
      {effIdentify, 0, 0x4E764566},
      {effGetChunk, 0, 0},
      {effSetChunk, 0, 0},
      {effProcessEvents, 0, 0},
      {effCanBeAutomated, 0, 1},
      {effString2Parameter, 0, 0},
      {effGetNumProgramCategories, 0, 1},
      {effGetProgramNameIndexed, 0, 0},
      {effCopyProgram, 0, 0},
      {effConnectInput, 1, 1},
      {effConnectOutput, 0, 1},
      {effGetInputProperties, 0, 0},
      {effGetOutputProperties, 0, 0},
      {effGetPlugCategory, 0, 0},
      {effGetCurrentPosition, 0, 0},
      {effGetDestinationBuffer, 0, 0},
      {effOfflineNotify, 0, 0},
      {effOfflinePrepare, 0, 0},
      {effOfflineRun, 0, 0},
      {effProcessVarIo, 0, 0},
      {effSetSpeakerArrangement, 0, 0},
      {effSetBlockSizeAndSampleRate, 256, 1},
      {effSetBypass, 1, 0},
      {effGetEffectName, 0, 0},
      {effGetErrorText, 0, 0},
      {effGetVendorString, 0, 0},
      {effGetProductString, 0, 0},
      {effGetVendorVersion, 0, 0},
      {effVendorSpecific, 0, 0},
      {effCanDo, 0, 0},
      {effGetTailSize, 0, 0},
      {effIdle, 0, 0},
      {effGetIcon, 0, 0},
      {effSetViewPosition, 0, 0},
      {effGetParameterProperties, 0, 0},
      {effKeysRequired, 0, 1},
      {effGetVstVersion, 0, 2300},
      {effEditKeyDown, 0x141, 0},
      {effEditKeyUp, 0x141, 0},
      {effSetEditKnobMode, 2, 0},
      {effGetMidiProgramName, 0, 0},
      {effGetCurrentMidiProgram, 0, -1},
      {effGetMidiProgramCategory, 0, 0},
      {effHasMidiProgramsChanged, 0, 0},
      {effGetMidiKeyName, 0, 0},
      {effBeginSetProgram, 0, 0},
      {effEndSetProgram, 0, 0},
      {effGetSpeakerArrangement, 0, 0},
      {effShellGetNextPlugin, 0, 0},
      {effStartProcess, 0, 0},
      {effStopProcess, 0, 0},
      {effSetTotalSampleToProcess, 4096, 4096},
      {effSetPanLaw, 0, 0},
      {effBeginLoadBank, 0, 0},
      {effBeginLoadProgram, 0, 0},
      {77, 0, 0},
      {1000, 0, 0},
      {-1, 0, 0},
      {INT_MIN, 0, 0},
  };
  TPlainEffect fx;
  for (const Case& c : cases)
    EXPECT_EQ(c.answer, Dispatch(fx, c.opcode, 0, c.value)) << "opcode " << c.opcode;
}

// Which operation each opcode reaches and with which arguments, and how its answer comes back.
TEST(Dispatcher, OpcodesReachTheirOperations) {
  struct Case {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    const char* call; // "" when nothing may run
    VstIntPtr answer;
  };
  const Case cases[] = {
      {effOpen, 0, 0, 0, "open()", 0},
      {effClose, 0, 0, 0, "close()", 0},
      {effSetProgram, 0, 1, 0, "setProgram(1)", 0},
      {effSetProgram, 0, 2, 0, "", 0}, // not below numPrograms (2)
      {effSetProgram, 0, -1, 0, "setProgram(-1)", 0},
      {effGetProgram, 0, 0, 0, "getProgram()", 10},
      {effSetProgramName, 0, 0, 0, "setProgramName(4660)", 0},
      {effGetProgramName, 0, 0, 0, "getProgramName(4660)", 0},
      {effGetParamLabel, 3, 0, 0, "getParameterLabel(3,4660)", 0},
      {effGetParamDisplay, 3, 0, 0, "getParameterDisplay(3,4660)", 0},
      {effGetParamName, 3, 0, 0, "getParameterName(3,4660)", 0},
      {effGetVu, 0, 0, 0, "getVu()", 0},
      {effSetSampleRate, 0, 0, 48000.0f, "setSampleRate(48000)", 0},
      {effSetBlockSize, 0, 256, 0, "setBlockSize(256)", 0},
      {effMainsChanged, 0, 0, 0, "suspend()", 0},
      {effMainsChanged, 0, 2, 0, "resume()", 0},
      {effEditDraw, 0, 0, 0, "", 0},
      {effIdentify, 9, 9, 9.0f, "", 0x4E764566},
      {effGetChunk, 5, 0, 0, "getChunk(4660,true)", 18},
      {effGetChunk, 0, 0, 0, "getChunk(4660,false)", 18},
      {effSetChunk, 5, 300, 0, "setChunk(4660,300,true)", 19},
      {effProcessEvents, 0, 0, 0, "processEvents(4660)", 41},
      {effCanBeAutomated, 4, 0, 0, "canParameterBeAutomated(4)", 0},
      {effString2Parameter, 4, 0, 0, "string2parameter(4,4660)", 1},
      {effGetNumProgramCategories, 0, 0, 0, "getNumCategories()", 47},
      {effGetProgramNameIndexed, 3, 7, 0, "getProgramNameIndexed(7,3,4660)", 1},
      {effCopyProgram, 1, 0, 0, "copyProgram(1)", 1},
      {effConnectInput, 1, 0, 0, "inputConnected(1,false)", 1},
      {effConnectOutput, 1, 5, 0, "outputConnected(1,true)", 1},
      {effGetInputProperties, 1, 0, 0, "getInputProperties(1,4660)", 1},
      {effGetOutputProperties, 1, 0, 0, "getOutputProperties(1,4660)", 1},
      {effGetPlugCategory, 0, 0, 0, "getPlugCategory()", 63},
      {effGetCurrentPosition, 0, 0, 0, "reportCurrentPosition()", 69},
      {effGetDestinationBuffer, 0, 0, 0, "reportDestinationBuffer()", 7000},
      {effOfflineNotify, 1, 3, 0, "offlineNotify(4660,3,true)", 1},
      {effOfflinePrepare, 0, 3, 0, "offlinePrepare(4660,3)", 1},
      {effOfflineRun, 0, 3, 0, "offlineRun(4660,3)", 1},
      {effProcessVarIo, 0, 0, 0, "processVariableIo(4660)", 1},
      {effSetSpeakerArrangement, 0, 8000, 0, "setSpeakerArrangement(8000,4660)", 1},
      {effSetBlockSizeAndSampleRate, 0, 512, 48000.0f, "setBlockSizeAndSampleRate(512,48000)", 1},
      {effSetBypass, 0, 1, 0, "setBypass(true)", 1},
      {effGetEffectName, 0, 0, 0, "getEffectName(4660)", 1},
      {effGetErrorText, 0, 0, 0, "getErrorText(4660)", 1},
      {effGetVendorString, 0, 0, 0, "getVendorString(4660)", 1},
      {effGetProductString, 0, 0, 0, "getProductString(4660)", 1},
      {effGetVendorVersion, 0, 0, 0, "getVendorVersion()", 105},
      {effVendorSpecific, 2, 3, 1.5f, "vendorSpecific(2,3,4660,1.5)", 106},
      {effCanDo, 0, 0, 0, "canDo(4660)", -1},
      {effGetTailSize, 0, 0, 0, "getGetTailSize()", 110},
      {effIdle, 0, 0, 0, "fxIdle()", 111},
      {effGetIcon, 0, 0, 0, "getIcon()", 7108},
      {effSetViewPosition, 10, 20, 0, "setViewPosition(10,20)", 1},
      {effGetParameterProperties, 2, 0, 0, "getParameterProperties(2,4660)", 1},
      {effKeysRequired, 0, 0, 0, "keysRequired()", 0}, // inverted
      {effGetVstVersion, 0, 0, 0, "getVstVersion()", 2400},
      {effGetMidiProgramName, 3, 0, 0, "getMidiProgramName(3,4660)", 115},
      {effGetCurrentMidiProgram, 3, 0, 0, "getCurrentMidiProgram(3,4660)", 116},
      {effGetMidiProgramCategory, 3, 0, 0, "getMidiProgramCategory(3,4660)", 117},
      {effHasMidiProgramsChanged, 3, 0, 0, "hasMidiProgramsChanged(3)", 1},
      {effGetMidiKeyName, 3, 0, 0, "getMidiKeyName(3,4660)", 1},
      {effBeginSetProgram, 0, 0, 0, "beginSetProgram()", 1},
      {effEndSetProgram, 0, 0, 0, "endSetProgram()", 1},
      {effGetSpeakerArrangement, 0, 8000, 0, "getSpeakerArrangement(8000,4660)", 1},
      {effShellGetNextPlugin, 0, 0, 0, "getNextShellPlugin(4660)", 126},
      {effStartProcess, 0, 0, 0, "startProcess()", 127},
      {effStopProcess, 0, 0, 0, "stopProcess()", 128},
      {effSetTotalSampleToProcess, 0, 4096, 0, "setTotalSampleToProcess(4096)", 125},
      {effSetPanLaw, 0, 1, 0.5f, "setPanLaw(1,0.5)", 1},
      {effBeginLoadBank, 0, 0, 0, "beginLoadBank(4660)", 130},
      {effBeginLoadProgram, 0, 0, 0, "beginLoadProgram(4660)", 131},
      {77, 0, 0, 0, "", 0},
      {-1, 0, 0, 0, "", 0},
  };
  for (const Case& c : cases) {
    TRecordingEffect fx;
    const VstIntPtr answer = Dispatch(fx, c.opcode, c.index, c.value, kFakePtr, c.opt);
    EXPECT_EQ(c.answer, answer) << "opcode " << c.opcode;
    const std::vector<std::string> expected =
        *c.call ? std::vector<std::string>{c.call} : std::vector<std::string>{};
    EXPECT_EQ(expected, fx.FCalls) << "opcode " << c.opcode;
  }
}

TEST(Dispatcher, VuIsScaledAndRoundedHalvesToEven) {
  const struct {
    float vu;
    VstIntPtr answer;
  } cases[] = {{0.0f, 0},
               {0.5f, 16384}, // 16383.5 goes to the even neighbour
               {1.0f, 32767},
               {-1.0f, -32767},
               {std::numeric_limits<float>::quiet_NaN(), 0},
               {std::numeric_limits<float>::infinity(), 0}};
  for (const auto& c : cases) {
    TRecordingEffect fx;
    fx.FVu = c.vu;
    EXPECT_EQ(c.answer, Dispatch(fx, effGetVu)) << c.vu;
  }
}

TEST(Dispatcher, BlockSizeAndSampleRateAreStoredWithoutTheSetters) {
  struct TSetterSpy : TPlainEffect {
    int setterCalls = 0;
    void setSampleRate(float) override { ++setterCalls; }
    void setBlockSize(VstInt32) override { ++setterCalls; }
  } fx;
  EXPECT_EQ(1, Dispatch(fx, effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f));
  EXPECT_EQ(512, fx.BlockSize());
  EXPECT_EQ(48000.0f, fx.SampleRate());
  EXPECT_EQ(0, fx.setterCalls);
  Dispatch(fx, effSetSampleRate, 0, 0, nullptr, 96000.0f);
  EXPECT_EQ(1, fx.setterCalls);
}

TEST(Dispatcher, PlugCategoryFollowsTheSynthFlag) {
  TPlainEffect fx;
  fx.isSynth(true);
  EXPECT_EQ(2, Dispatch(fx, effGetPlugCategory));
  fx.isSynth(false);
  EXPECT_EQ(0, Dispatch(fx, effGetPlugCategory));
}

TEST(Dispatcher, SpeakerArrangementDefaultClearsTheHostsLocations) {
  TPlainEffect fx;
  auto* junk = reinterpret_cast<VstSpeakerArrangement*>(uintptr_t{1});
  VstSpeakerArrangement* in = junk;
  VstSpeakerArrangement* out = junk;
  EXPECT_EQ(0, Dispatch(fx, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out));
  EXPECT_EQ(nullptr, in);
  EXPECT_EQ(nullptr, out);
}

// Editor opcodes with an editor attached; without one they answer 0 (DefaultAnswers).
TEST(Dispatcher, EditorOpcodesReachTheEditor) {
  TRecordingEffect fx;
  std::vector<std::string> calls;
  auto* ed = new TRecordingEditor(&fx, calls);
  fx.setEditor(ed);

  ERect* rect = nullptr;
  EXPECT_EQ(13, Dispatch(fx, effEditGetRect, 0, 0, &rect));
  EXPECT_EQ(&ed->FRect, rect);
  EXPECT_EQ(0, Dispatch(fx, effEditGetRect)) << "no location to store the rectangle in";
  EXPECT_EQ(14, Dispatch(fx, effEditOpen, 0, 0, kFakePtr));
  EXPECT_EQ(0, Dispatch(fx, effEditIdle));
  EXPECT_EQ(0, Dispatch(fx, effEditClose));
  for (VstInt32 op : {effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep})
    EXPECT_EQ(0, Dispatch(fx, op));
  EXPECT_EQ(61, Dispatch(fx, effSetEditKnobMode, 0, 2));
  EXPECT_EQ((std::vector<std::string>{"getRect()", "editor.open(4660)", "idle()", "editor.close()",
                                      "setKnobMode(2)"}),
            calls);
  EXPECT_TRUE(fx.FCalls.empty());
}

TEST(Dispatcher, KeyCodeIsBuiltFromIndexValueAndOpt) {
  const struct {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    const char* call;
    VstIntPtr answer;
  } cases[] = {
      {effEditKeyDown, 65, 0x141, 2.5f, "onKeyDown(65,65,2)", 59}, // 2.5 to the even 2
      {effEditKeyDown, 65, 0x141, 3.5f, "onKeyDown(65,65,4)", 59}, // 3.5 to the even 4
      {effEditKeyUp, 0, 0xFFFF, 258.0f, "onKeyUp(0,255,2)", 60},   // low 8 bits of each
      {effEditKeyUp, -3, 7, 1.4f, "onKeyUp(-3,7,1)", 60},
  };
  for (const auto& c : cases) {
    TRecordingEffect fx;
    std::vector<std::string> calls;
    fx.setEditor(new TRecordingEditor(&fx, calls));
    EXPECT_EQ(c.answer, Dispatch(fx, c.opcode, c.index, c.value, nullptr, c.opt));
    EXPECT_EQ(std::vector<std::string>{c.call}, calls);
  }
}

TEST(Editor, SetEditorSetsTheFlagAndKeepsTheOldEditor) {
  std::vector<std::string> calls;
  bool destroyed = false;
  TPlainEffect fx;
  TRecordingEditor ed(&fx, calls, &destroyed);
  fx.setEditor(&ed);
  EXPECT_EQ(effFlagsHasEditor, fx.getAeffect()->flags & effFlagsHasEditor);
  fx.setEditor(nullptr);
  EXPECT_EQ(0, fx.getAeffect()->flags);
  EXPECT_FALSE(destroyed);
}

TEST(Editor, PostUpdateThenIdleGivesExactlyOneUpdate) {
  TPlainEffect fx;
  std::vector<std::string> calls;
  TRecordingEditor ed(&fx, calls);
  ed.idle();
  ed.postUpdate();
  ed.postUpdate();
  ed.idle();
  ed.idle();
  EXPECT_EQ((std::vector<std::string>{"idle()", "idle()", "update()", "idle()"}), calls);
}

TEST(Editor, BaseDefaults) {
  TPlainEffect fx;
  AEffEditor ed(&fx);
  ERect junk{};
  ERect* rect = &junk;
  EXPECT_EQ(0, ed.getRect(&rect));
  EXPECT_EQ(nullptr, rect);
  EXPECT_EQ(0, ed.getRect(nullptr)); // no location: nothing written
  EXPECT_EQ(0, ed.open(kFakePtr));
  VstKeyCode key{};
  EXPECT_EQ(-1, ed.onKeyDown(key));
  EXPECT_EQ(-1, ed.onKeyUp(key));
  EXPECT_EQ(0, ed.setKnobMode(1));
  EXPECT_FALSE(ed.onWheel(1.0f));
}

TEST(StaticEntries, ForwardToTheObject) {
  TRecordingEffect fx;
  AEffect* e = fx.getAeffect();
  float* in[2] = {};
  float* out[2] = {};
  e->process(e, in, out, 64);
  e->processReplacing(e, in, out, 32);
  e->setParameter(e, 3, 0.75f);
  EXPECT_EQ(0.25f, e->getParameter(e, 4));
  EXPECT_EQ(
      (std::vector<std::string>{Call("process", in, out, 64), Call("processReplacing", in, out, 32),
                                "setParameter(3,0.75)", "getParameter(4)"}),
      fx.FCalls);
}

// effClose answers 1 whatever the dispatcher says, after destroying the object and its editor.
TEST(StaticEntries, CloseDestroysTheObjectAndAnswersOne) {
  bool effectGone = false;
  bool editorGone = false;
  std::vector<std::string> calls;
  struct TDoomed : TRecordingEffect {
    bool* gone;
    std::vector<std::string>* calls;
    ~TDoomed() override { *gone = true; }
    void close() override { calls->push_back("close()"); }
  };
  auto* fx = new TDoomed;
  fx->gone = &effectGone;
  fx->calls = &calls;
  fx->setEditor(new TRecordingEditor(fx, calls, &editorGone));
  AEffect* e = fx->getAeffect();
  EXPECT_EQ(1, e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f));
  EXPECT_TRUE(effectGone);
  EXPECT_TRUE(editorGone);
  EXPECT_EQ(std::vector<std::string>{"close()"}, calls);
}

// The effect's code may throw; nothing of that reaches the host.
TEST(StaticEntries, ExceptionsStopAtTheBoundary) {
  struct TThrowing : TPlainEffect {
    bool* gone = nullptr;
    ~TThrowing() override {
      if (gone != nullptr) *gone = true;
    }
    VstIntPtr dispatcher(VstInt32, VstInt32, VstIntPtr, void*, float) override {
      throw std::bad_alloc();
    }
    void process(float**, float**, VstInt32) override { throw std::bad_alloc(); }
    void processReplacing(float**, float**, VstInt32) override { throw 42; }
    void setParameter(VstInt32, float) override { throw std::bad_alloc(); }
    float getParameter(VstInt32) override { throw std::bad_alloc(); }
  };
  bool gone = false;
  auto* fx = new TThrowing;
  fx->gone = &gone;
  AEffect* e = fx->getAeffect();
  EXPECT_EQ(0, e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f));
  e->process(e, nullptr, nullptr, 1);
  e->processReplacing(e, nullptr, nullptr, 1);
  e->setParameter(e, 0, 0.5f);
  EXPECT_EQ(0.0f, e->getParameter(e, 0));
  EXPECT_EQ(1, e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f));
  EXPECT_TRUE(gone);
}

} // namespace
} // namespace qltest
