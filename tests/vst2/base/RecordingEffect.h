// Test effects for the host-interface layer.
//
// TPlainEffect keeps every default of the layer. TRecordingEffect overrides every plug-side
// operation an opcode can reach: each one records "name(arguments)" and answers something that
// no default answers (true, its own position number, or a fake address), so a test sees both
// which operation ran and how the dispatcher converts its answer.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "vst2/base/DAudioEffectX.h"

namespace qltest {

// Pointers are recorded as numbers; tests pass small fake addresses.
inline std::string Arg(const void* p) {
  return std::to_string(reinterpret_cast<uintptr_t>(p));
}
inline std::string Arg(bool b) {
  return b ? "true" : "false";
}
inline std::string Arg(float f) {
  std::ostringstream s;
  s << f;
  return s.str();
}
inline std::string Arg(int i) {
  return std::to_string(i);
}
inline std::string Arg(long long i) {
  return std::to_string(i);
}
inline std::string Arg(long i) {
  return std::to_string(i);
}

template <typename... A> std::string Call(const char* name, A... args) {
  std::string s = name;
  s += '(';
  bool first = true;
  ((s += (first ? "" : ","), s += Arg(args), first = false), ...);
  return s + ')';
}

class TPlainEffect : public AudioEffectX {
public:
  explicit TPlainEffect(audioMasterCallback host = nullptr, VstInt32 programs = 2,
                        VstInt32 params = 5)
      : AudioEffectX(host, programs, params) {}
  void process(float**, float**, VstInt32) override {}

  // Fields of the layer, for checks.
  float SampleRate() const { return sampleRate; }
  VstInt32 BlockSize() const { return blockSize; }
  VstInt32 CurProgram() const { return curProgram; }
  VstInt32 NumPrograms() const { return numPrograms; }
  VstInt32 NumParams() const { return numParams; }
  AEffEditor* Editor() const { return editor; }
};

class TRecordingEditor : public AEffEditor {
public:
  explicit TRecordingEditor(AudioEffect* effect, std::vector<std::string>& calls,
                            bool* destroyed = nullptr)
      : AEffEditor(effect), FCalls(calls), FDestroyed(destroyed) {}
  ~TRecordingEditor() override {
    if (FDestroyed != nullptr) *FDestroyed = true;
  }
  VstInt32 getRect(ERect** rect) override {
    FCalls.push_back(Call("getRect"));
    *rect = &FRect;
    return 13;
  }
  VstInt32 open(void* ptr) override {
    FCalls.push_back(Call("editor.open", ptr));
    return 14;
  }
  void close() override { FCalls.push_back(Call("editor.close")); }
  void idle() override {
    FCalls.push_back(Call("idle"));
    AEffEditor::idle();
  }
  void update() override { FCalls.push_back(Call("update")); }
  VstInt32 onKeyDown(VstKeyCode& k) override {
    FCalls.push_back(Call("onKeyDown", k.character, int{k.virt}, int{k.modifier}));
    k.character = 99;
    return 59;
  }
  VstInt32 onKeyUp(VstKeyCode& k) override {
    FCalls.push_back(Call("onKeyUp", k.character, int{k.virt}, int{k.modifier}));
    return 60;
  }
  VstInt32 setKnobMode(VstInt32 mode) override {
    FCalls.push_back(Call("setKnobMode", mode));
    return 61;
  }
  void* Window() const { return systemWindow; }

  ERect FRect{1, 2, 3, 4};

private:
  std::vector<std::string>& FCalls;
  bool* FDestroyed;
};

class TRecordingEffect : public AudioEffectX {
public:
  explicit TRecordingEffect(audioMasterCallback host = nullptr) : AudioEffectX(host, 2, 5) {}

  std::vector<std::string> FCalls;
  float FVu = 0.0f;

#define QL_LOG(...) FCalls.push_back(Call(__VA_ARGS__))
  // AudioEffect
  void setSampleRate(float v) override {
    QL_LOG("setSampleRate", v);
  }
  void setBlockSize(VstInt32 v) override {
    QL_LOG("setBlockSize", v);
  }
  void setParameter(VstInt32 i, float v) override {
    QL_LOG("setParameter", i, v);
  }
  float getParameter(VstInt32 i) override {
    QL_LOG("getParameter", i);
    return 0.25f;
  }
  void process(float** in, float** out, VstInt32 n) override {
    QL_LOG("process", in, out, n);
  }
  void processReplacing(float** in, float** out, VstInt32 n) override {
    QL_LOG("processReplacing", in, out, n);
  }
  void open() override {
    QL_LOG("open");
  }
  void close() override {
    QL_LOG("close");
  }
  VstInt32 getProgram() override {
    QL_LOG("getProgram");
    return 10;
  }
  void setProgram(VstInt32 p) override {
    QL_LOG("setProgram", p);
  }
  void setProgramName(char* t) override {
    QL_LOG("setProgramName", t);
  }
  void getProgramName(char* t) override {
    QL_LOG("getProgramName", t);
  }
  void getParameterLabel(VstInt32 i, char* t) override {
    QL_LOG("getParameterLabel", i, t);
  }
  void getParameterDisplay(VstInt32 i, char* t) override {
    QL_LOG("getParameterDisplay", i, t);
  }
  void getParameterName(VstInt32 i, char* t) override {
    QL_LOG("getParameterName", i, t);
  }
  float getVu() override {
    QL_LOG("getVu");
    return FVu;
  }
  VstInt32 getChunk(void** d, bool preset) override {
    QL_LOG("getChunk", d, preset);
    return 18;
  }
  VstInt32 setChunk(void* d, VstInt32 size, bool preset) override {
    QL_LOG("setChunk", d, size, preset);
    return 19;
  }
  void suspend() override {
    QL_LOG("suspend");
  }
  void resume() override {
    QL_LOG("resume");
  }

  // AudioEffectX, plug side
  VstInt32 processEvents(VstEvents* e) override {
    QL_LOG("processEvents", e);
    return 41;
  }
  bool canParameterBeAutomated(VstInt32 i) override {
    QL_LOG("canParameterBeAutomated", i);
    return false;
  }
  bool string2parameter(VstInt32 i, char* t) override {
    QL_LOG("string2parameter", i, t);
    return true;
  }
  VstInt32 getNumCategories() override {
    QL_LOG("getNumCategories");
    return 47;
  }
  bool getProgramNameIndexed(VstInt32 c, VstInt32 i, char* t) override {
    QL_LOG("getProgramNameIndexed", c, i, t);
    return true;
  }
  bool copyProgram(VstInt32 d) override {
    QL_LOG("copyProgram", d);
    return true;
  }
  void inputConnected(VstInt32 i, bool s) override {
    QL_LOG("inputConnected", i, s);
  }
  void outputConnected(VstInt32 i, bool s) override {
    QL_LOG("outputConnected", i, s);
  }
  bool getInputProperties(VstInt32 i, VstPinProperties* p) override {
    QL_LOG("getInputProperties", i, p);
    return true;
  }
  bool getOutputProperties(VstInt32 i, VstPinProperties* p) override {
    QL_LOG("getOutputProperties", i, p);
    return true;
  }
  VstInt32 getPlugCategory() override {
    QL_LOG("getPlugCategory");
    return 63;
  }
  VstInt32 reportCurrentPosition() override {
    QL_LOG("reportCurrentPosition");
    return 69;
  }
  float* reportDestinationBuffer() override {
    QL_LOG("reportDestinationBuffer");
    return reinterpret_cast<float*>(uintptr_t{7000});
  }
  bool offlineNotify(VstAudioFile* f, VstInt32 n, bool start) override {
    QL_LOG("offlineNotify", f, n, start);
    return true;
  }
  bool offlinePrepare(VstOfflineTask* t, VstInt32 n) override {
    QL_LOG("offlinePrepare", t, n);
    return true;
  }
  bool offlineRun(VstOfflineTask* t, VstInt32 n) override {
    QL_LOG("offlineRun", t, n);
    return true;
  }
  bool processVariableIo(VstVariableIo* v) override {
    QL_LOG("processVariableIo", v);
    return true;
  }
  bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
    QL_LOG("setSpeakerArrangement", in, out);
    return true;
  }
  void setBlockSizeAndSampleRate(VstInt32 b, float r) override {
    QL_LOG("setBlockSizeAndSampleRate", b, r);
  }
  bool setBypass(bool on) override {
    QL_LOG("setBypass", on);
    return true;
  }
  bool getEffectName(char* t) override {
    QL_LOG("getEffectName", t);
    return true;
  }
  bool getErrorText(char* t) override {
    QL_LOG("getErrorText", t);
    return true;
  }
  bool getVendorString(char* t) override {
    QL_LOG("getVendorString", t);
    return true;
  }
  bool getProductString(char* t) override {
    QL_LOG("getProductString", t);
    return true;
  }
  VstInt32 getVendorVersion() override {
    QL_LOG("getVendorVersion");
    return 105;
  }
  VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* p, float f) override {
    QL_LOG("vendorSpecific", a, static_cast<long long>(b), p, f);
    return 106;
  }
  VstInt32 canDo(char* t) override {
    QL_LOG("canDo", t);
    return -1;
  }
  void* getIcon() override {
    QL_LOG("getIcon");
    return reinterpret_cast<void*>(uintptr_t{7108});
  }
  bool setViewPosition(VstInt32 x, VstInt32 y) override {
    QL_LOG("setViewPosition", x, y);
    return true;
  }
  VstInt32 getGetTailSize() override {
    QL_LOG("getGetTailSize");
    return 110;
  }
  VstInt32 fxIdle() override {
    QL_LOG("fxIdle");
    return 111;
  }
  bool getParameterProperties(VstInt32 i, VstParameterProperties* p) override {
    QL_LOG("getParameterProperties", i, p);
    return true;
  }
  bool keysRequired() override {
    QL_LOG("keysRequired");
    return true;
  }
  VstInt32 getVstVersion() override {
    QL_LOG("getVstVersion");
    return 2400;
  }
  VstInt32 getMidiProgramName(VstInt32 c, MidiProgramName* p) override {
    QL_LOG("getMidiProgramName", c, p);
    return 115;
  }
  VstInt32 getCurrentMidiProgram(VstInt32 c, MidiProgramName* p) override {
    QL_LOG("getCurrentMidiProgram", c, p);
    return 116;
  }
  VstInt32 getMidiProgramCategory(VstInt32 c, MidiProgramCategory* p) override {
    QL_LOG("getMidiProgramCategory", c, p);
    return 117;
  }
  bool hasMidiProgramsChanged(VstInt32 c) override {
    QL_LOG("hasMidiProgramsChanged", c);
    return true;
  }
  bool getMidiKeyName(VstInt32 c, MidiKeyName* k) override {
    QL_LOG("getMidiKeyName", c, k);
    return true;
  }
  bool beginSetProgram() override {
    QL_LOG("beginSetProgram");
    return true;
  }
  bool endSetProgram() override {
    QL_LOG("endSetProgram");
    return true;
  }
  bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
    QL_LOG("getSpeakerArrangement", in, out);
    return true;
  }
  VstInt32 getNextShellPlugin(char* t) override {
    QL_LOG("getNextShellPlugin", t);
    return 126;
  }
  VstInt32 startProcess() override {
    QL_LOG("startProcess");
    return 127;
  }
  VstInt32 stopProcess() override {
    QL_LOG("stopProcess");
    return 128;
  }
  VstInt32 setTotalSampleToProcess(VstInt32 v) override {
    QL_LOG("setTotalSampleToProcess", v);
    return 125;
  }
  bool setPanLaw(VstInt32 t, float v) override {
    QL_LOG("setPanLaw", t, v);
    return true;
  }
  VstInt32 beginLoadBank(VstPatchChunkInfo* p) override {
    QL_LOG("beginLoadBank", p);
    return 130;
  }
  VstInt32 beginLoadProgram(VstPatchChunkInfo* p) override {
    QL_LOG("beginLoadProgram", p);
    return 131;
  }
#undef QL_LOG
};

} // namespace qltest
