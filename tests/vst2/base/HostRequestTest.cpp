// Requests the effect sends to its host: opcode and arguments, how the answer is read, and
// what each one answers when there is no host callback.
#include <gtest/gtest.h>

#include <functional>

#include "RecordingEffect.h"
#include "RecordingHost.h"

namespace qltest {
namespace {

template <typename T> VstIntPtr AsInt(T* p) {
  return reinterpret_cast<VstIntPtr>(p);
}

auto* const kFake = reinterpret_cast<char*>(uintptr_t{4660});

struct TRequestCase {
  const char* name;
  std::function<VstIntPtr(AudioEffectX&)> run; // the caller's answer as a number
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  void* ptr;
  float opt;
  VstIntPtr hostAnswer;
  VstIntPtr answer;           // with that host answer
  VstIntPtr answerWithNoHost; // with no callback at all
};

const std::vector<TRequestCase>& RequestCases() {
  auto* time = reinterpret_cast<VstTimeInfo*>(kFake);
  auto* files = reinterpret_cast<VstAudioFile*>(kFake);
  auto* task = reinterpret_cast<VstOfflineTask*>(kFake);
  auto* window = reinterpret_cast<VstWindow*>(kFake);
  auto* select = reinterpret_cast<VstFileSelect*>(kFake);
  auto* events = reinterpret_cast<VstEvents*>(kFake);
  const VstIntPtr address = 0x5000;
  static const std::vector<TRequestCase> cases = {
      {"setParameterAutomated",
       [](AudioEffectX& f) {
         f.setParameterAutomated(3, 0.5f);
         return VstIntPtr{0};
       },
       audioMasterAutomate, 3, 0, nullptr, 0.5f, 77, 0, 0},
      {"getMasterVersion", [](AudioEffectX& f) { return VstIntPtr{f.getMasterVersion()}; },
       audioMasterVersion, 0, 0, nullptr, 0, 2300, 2300, 1},
      {"getMasterVersion zero", [](AudioEffectX& f) { return VstIntPtr{f.getMasterVersion()}; },
       audioMasterVersion, 0, 0, nullptr, 0, 0, 1, 1},
      {"getCurrentUniqueId", [](AudioEffectX& f) { return VstIntPtr{f.getCurrentUniqueId()}; },
       audioMasterCurrentId, 0, 0, nullptr, 0, 1234, 1234, 0},
      {"masterIdle",
       [](AudioEffectX& f) {
         f.masterIdle();
         return VstIntPtr{0};
       },
       audioMasterIdle, 0, 0, nullptr, 0, 5, 0, 0},
      {"isInputConnected", [](AudioEffectX& f) { return VstIntPtr{f.isInputConnected(3)}; },
       audioMasterPinConnected, 3, 0, nullptr, 0, 0, 1, 1},
      {"isInputConnected no", [](AudioEffectX& f) { return VstIntPtr{f.isInputConnected(3)}; },
       audioMasterPinConnected, 3, 0, nullptr, 0, 1, 0, 1},
      {"isOutputConnected", [](AudioEffectX& f) { return VstIntPtr{f.isOutputConnected(3)}; },
       audioMasterPinConnected, 3, 1, nullptr, 0, 0, 1, 1},
      {"isOutputConnected no", [](AudioEffectX& f) { return VstIntPtr{f.isOutputConnected(3)}; },
       audioMasterPinConnected, 3, 1, nullptr, 0, -1, 0, 1},
      {"wantEvents",
       [](AudioEffectX& f) {
         f.wantEvents(1);
         return VstIntPtr{0};
       },
       audioMasterWantMidi, 0, 1, nullptr, 0, 1, 0, 0},
      {"getTimeInfo", [](AudioEffectX& f) { return AsInt(f.getTimeInfo(0x0F00)); },
       audioMasterGetTime, 0, 0x0F00, nullptr, 0, address, address, 0},
      {"sendVstEventsToHost",
       [events](AudioEffectX& f) { return VstIntPtr{f.sendVstEventsToHost(events)}; },
       audioMasterProcessEvents, 0, 0, kFake, 0, 1, 1, 0},
      {"sendVstEventsToHost 2",
       [events](AudioEffectX& f) { return VstIntPtr{f.sendVstEventsToHost(events)}; },
       audioMasterProcessEvents, 0, 0, kFake, 0, 2, 0, 0},
      {"setTime",
       [time](AudioEffectX& f) {
         f.setTime(7, time);
         return VstIntPtr{0};
       },
       audioMasterSetTime, 0, 7, kFake, 0, 1, 0, 0},
      {"tempoAt", [](AudioEffectX& f) { return VstIntPtr{f.tempoAt(44100)}; }, audioMasterTempoAt,
       0, 44100, nullptr, 0, 120000, 120000, 0},
      {"getNumAutomatableParameters",
       [](AudioEffectX& f) { return VstIntPtr{f.getNumAutomatableParameters()}; },
       audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0, 9, 9, 0},
      {"getParameterQuantization",
       [](AudioEffectX& f) { return VstIntPtr{f.getParameterQuantization()}; },
       audioMasterGetParameterQuantization, 0, 0, nullptr, 0, 100, 100, 0},
      {"ioChanged", [](AudioEffectX& f) { return VstIntPtr{f.ioChanged()}; }, audioMasterIOChanged,
       0, 0, nullptr, 0, 2, 1, 0},
      {"needIdle", [](AudioEffectX& f) { return VstIntPtr{f.needIdle()}; }, audioMasterNeedIdle, 0,
       0, nullptr, 0, -1, 1, 0},
      {"sizeWindow", [](AudioEffectX& f) { return VstIntPtr{f.sizeWindow(1001, 579)}; },
       audioMasterSizeWindow, 1001, 579, nullptr, 0, 1, 1, 0},
      {"getInputLatency", [](AudioEffectX& f) { return VstIntPtr{f.getInputLatency()}; },
       audioMasterGetInputLatency, 0, 0, nullptr, 0, 64, 64, 0},
      {"getOutputLatency", [](AudioEffectX& f) { return VstIntPtr{f.getOutputLatency()}; },
       audioMasterGetOutputLatency, 0, 0, nullptr, 0, 128, 128, 0},
      {"getPreviousPlug", [](AudioEffectX& f) { return AsInt(f.getPreviousPlug()); },
       audioMasterGetPreviousPlug, 0, 0, nullptr, 0, address, address, 0},
      {"getNextPlug", [](AudioEffectX& f) { return AsInt(f.getNextPlug()); },
       audioMasterGetNextPlug, 0, 0, nullptr, 0, address, address, 0},
      {"willProcessReplacing", [](AudioEffectX& f) { return VstIntPtr{f.willProcessReplacing()}; },
       audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0, 2, 2, 0},
      {"getCurrentProcessLevel",
       [](AudioEffectX& f) { return VstIntPtr{f.getCurrentProcessLevel()}; },
       audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0, 2, 2, 0},
      {"getAutomationState", [](AudioEffectX& f) { return VstIntPtr{f.getAutomationState()}; },
       audioMasterGetAutomationState, 0, 0, nullptr, 0, 3, 3, 0},
      {"offlineStart", [files](AudioEffectX& f) { return VstIntPtr{f.offlineStart(files, 4, 2)}; },
       audioMasterOfflineStart, 2, 4, kFake, 0, 1, 1, 0},
      {"offlineRead", [task](AudioEffectX& f) { return VstIntPtr{f.offlineRead(task, 5, true)}; },
       audioMasterOfflineRead, 1, 5, kFake, 0, 1, 1, 0},
      {"offlineRead not source",
       [task](AudioEffectX& f) { return VstIntPtr{f.offlineRead(task, 5, false)}; },
       audioMasterOfflineRead, 0, 5, kFake, 0, 0, 0, 0},
      {"offlineWrite", [task](AudioEffectX& f) { return VstIntPtr{f.offlineWrite(task, 6)}; },
       audioMasterOfflineWrite, 0, 6, kFake, 0, 3, 1, 0},
      {"offlineGetCurrentPass",
       [](AudioEffectX& f) { return VstIntPtr{f.offlineGetCurrentPass()}; },
       audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0, 7, 1, 0},
      {"offlineGetCurrentMetaPass",
       [](AudioEffectX& f) { return VstIntPtr{f.offlineGetCurrentMetaPass()}; },
       audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0, 7, 1, 0},
      {"setOutputSamplerate",
       [](AudioEffectX& f) {
         f.setOutputSamplerate(96000.0f);
         return VstIntPtr{0};
       },
       audioMasterSetOutputSampleRate, 0, 0, nullptr, 96000.0f, 1, 0, 0},
      {"getOutputSpeakerArrangement",
       [](AudioEffectX& f) { return AsInt(f.getOutputSpeakerArrangement()); },
       audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0, address, address, 0},
      {"getHostVendorString",
       [](AudioEffectX& f) { return VstIntPtr{f.getHostVendorString(kFake)}; },
       audioMasterGetVendorString, 0, 0, kFake, 0, 1, 1, 0},
      {"getHostProductString",
       [](AudioEffectX& f) { return VstIntPtr{f.getHostProductString(kFake)}; },
       audioMasterGetProductString, 0, 0, kFake, 0, 1, 1, 0},
      {"getHostVendorVersion", [](AudioEffectX& f) { return VstIntPtr{f.getHostVendorVersion()}; },
       audioMasterGetVendorVersion, 0, 0, nullptr, 0, 1000, 1000, 0},
      {"hostVendorSpecific",
       [](AudioEffectX& f) { return f.hostVendorSpecific(1, 2, kFake, 3.0f); },
       audioMasterVendorSpecific, 1, 2, kFake, 3.0f, 44, 44, 0},
      {"canHostDo", [](AudioEffectX& f) { return VstIntPtr{f.canHostDo(kFake)}; }, audioMasterCanDo,
       0, 0, kFake, 0, -1, -1, 0},
      {"getHostLanguage", [](AudioEffectX& f) { return VstIntPtr{f.getHostLanguage()}; },
       audioMasterGetLanguage, 0, 0, nullptr, 0, 2, 2, 0},
      {"openWindow", [window](AudioEffectX& f) { return AsInt(f.openWindow(window)); },
       audioMasterOpenWindow, 0, 0, kFake, 0, address, address, 0},
      {"closeWindow", [window](AudioEffectX& f) { return VstIntPtr{f.closeWindow(window)}; },
       audioMasterCloseWindow, 0, 0, kFake, 0, 1, 1, 0},
      {"getDirectory", [](AudioEffectX& f) { return AsInt(f.getDirectory()); },
       audioMasterGetDirectory, 0, 0, nullptr, 0, address, address, 0},
      {"updateDisplay", [](AudioEffectX& f) { return VstIntPtr{f.updateDisplay()}; },
       audioMasterUpdateDisplay, 0, 0, nullptr, 0, 1, 1, 0},
      {"beginEdit", [](AudioEffectX& f) { return VstIntPtr{f.beginEdit(4)}; }, audioMasterBeginEdit,
       4, 0, nullptr, 0, 1, 1, 0},
      {"endEdit", [](AudioEffectX& f) { return VstIntPtr{f.endEdit(4)}; }, audioMasterEndEdit, 4, 0,
       nullptr, 0, 0, 0, 0},
      {"openFileSelector",
       [select](AudioEffectX& f) { return VstIntPtr{f.openFileSelector(select)}; },
       audioMasterOpenFileSelector, 0, 0, kFake, 0, 1, 1, 0},
      {"getInputSpeakerArrangement",
       [](AudioEffectX& f) { return AsInt(f.getInputSpeakerArrangement()); },
       audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0, address, address, 0},
  };
  return cases;
}

TEST(HostRequests, OpcodeArgumentsAndAnswer) {
  for (const TRequestCase& c : RequestCases()) {
    TRecordingHost host;
    host.Answer(c.opcode, c.hostAnswer);
    TPlainEffect fx(TRecordingHost::Callback());
    EXPECT_EQ(c.answer, c.run(fx)) << c.name;
    const auto requests = host.Requests();
    ASSERT_EQ(1u, requests.size()) << c.name;
    const THostRequest& r = requests[0];
    EXPECT_EQ(fx.getAeffect(), r.Effect) << c.name;
    EXPECT_EQ(c.opcode, r.Opcode) << c.name;
    EXPECT_EQ(c.index, r.Index) << c.name;
    EXPECT_EQ(c.value, r.Value) << c.name;
    EXPECT_EQ(c.ptr, r.Ptr) << c.name;
    EXPECT_EQ(c.opt, r.Opt) << c.name;
  }
}

TEST(HostRequests, AnswersWithoutACallback) {
  TRecordingHost host; // current, but not given to the effect: it must see nothing
  for (const TRequestCase& c : RequestCases()) {
    TPlainEffect fx(nullptr);
    EXPECT_EQ(c.answerWithNoHost, c.run(fx)) << c.name;
  }
  EXPECT_EQ(0u, host.Count());
}

// Address answers are passed on unchanged, whatever the host makes up.
TEST(HostRequests, GarbageAnswersArePassedOn) {
  TRecordingHost host;
  host.AnswerGarbage();
  TPlainEffect fx(TRecordingHost::Callback());
  const VstIntPtr time = AsInt(fx.getTimeInfo(0));
  EXPECT_EQ(host.Requests().size(), 1u);
  EXPECT_NE(0, time);
  EXPECT_EQ(1, fx.getMasterVersion() != 0);
  EXPECT_FALSE(fx.isInputConnected(0)); // odd garbage is never 0
  EXPECT_FALSE(fx.sendVstEventsToHost(nullptr)) << "only an answer of exactly 1 is success";
}

TEST(HostRequests, SetParameterAutomatedSetsBeforeTellingTheHost) {
  TRecordingHost host;
  TRecordingEffect fx(TRecordingHost::Callback());
  host.Answer(audioMasterAutomate, [&](const THostRequest&) {
    EXPECT_EQ(std::vector<std::string>{"setParameter(2,0.125)"}, fx.FCalls);
    return VstIntPtr{0};
  });
  fx.setParameterAutomated(2, 0.125f);
  EXPECT_EQ(1u, host.RequestsOf(audioMasterAutomate).size());
}

TEST(HostRequests, FileSelectorWithNoArgumentAsksNothing) {
  TRecordingHost host;
  host.Answer(audioMasterOpenFileSelector, 1);
  TPlainEffect fx(TRecordingHost::Callback());
  EXPECT_FALSE(fx.openFileSelector(nullptr));
  EXPECT_EQ(0u, host.Count());
}

TEST(HostRequests, HostStringsLandInTheCallersBuffer) {
  TRecordingHost host;
  host.AnswerText(audioMasterGetVendorString, "Vendor");
  TPlainEffect fx(TRecordingHost::Callback());
  char text[64] = "untouched";
  EXPECT_TRUE(fx.getHostVendorString(text));
  EXPECT_STREQ("Vendor", text);
  TPlainEffect alone(nullptr);
  char other[64] = "untouched";
  EXPECT_FALSE(alone.getHostProductString(other));
  EXPECT_STREQ("untouched", other);
}

// Only a positive answer replaces the stored value, through the virtual setter.
TEST(HostRequests, SampleRateAndBlockSizeUpdates) {
  const struct {
    VstIntPtr hostAnswer;
    double rate;
    VstInt32 block;
    int setterCalls;
  } cases[] = {{48000, 48000.0, 48000, 2}, {0, 44100.0, 1024, 0}, {-1, 44100.0, 1024, 0}};
  for (const auto& c : cases) {
    TRecordingHost host;
    host.Answer(audioMasterGetSampleRate, c.hostAnswer);
    host.Answer(audioMasterGetBlockSize, c.hostAnswer);
    struct TSpy : TPlainEffect {
      using TPlainEffect::TPlainEffect;
      int calls = 0;
      void setSampleRate(float v) override {
        ++calls;
        TPlainEffect::setSampleRate(v);
      }
      void setBlockSize(VstInt32 v) override {
        ++calls;
        TPlainEffect::setBlockSize(v);
      }
    } fx(TRecordingHost::Callback());
    EXPECT_EQ(c.rate, fx.updateSampleRate()) << c.hostAnswer;
    EXPECT_EQ(c.block, fx.updateBlockSize()) << c.hostAnswer;
    EXPECT_EQ(c.rate, fx.SampleRate());
    EXPECT_EQ(c.setterCalls, fx.calls);
  }
  TPlainEffect alone(nullptr);
  EXPECT_EQ(44100.0, alone.updateSampleRate());
  EXPECT_EQ(1024, alone.updateBlockSize());
}

} // namespace
} // namespace qltest
