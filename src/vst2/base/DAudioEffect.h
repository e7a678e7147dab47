// The effect side of the plug-in interface at its core level: AudioEffect owns the effect
// record handed to the host, its static entries forward every host call to a virtual operation,
// and AEffEditor is the base of every editor object the dispatcher drives.
#pragma once

#include <atomic>

#include "vst2/interface/DAEffect.h"
#include "vst2/interface/DAEffectX.h"

class AEffEditor;

class AudioEffect {
public:
  // Fills the record with defaults; makes no call to the host.
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  // Destroys an attached editor.
  virtual ~AudioEffect();

  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  // Virtual operations, positions 0 to 37.
  virtual void setSampleRate(float sampleRate);                                          // 0
  virtual void setBlockSize(VstInt32 blockSize);                                         // 1
  virtual void setParameter(VstInt32 index, float value);                                // 2
  virtual float getParameter(VstInt32 index);                                            // 3
  virtual void setParameterAutomated(VstInt32 index, float value);                       // 4
  virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;      // 5
  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames); // 6
  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);                                         // 7
  virtual void open();                                                             // 8
  virtual void close();                                                            // 9
  virtual VstInt32 getProgram();                                                   // 10
  virtual void setProgram(VstInt32 program);                                       // 11
  virtual void setProgramName(char* name);                                         // 12
  virtual void getProgramName(char* name);                                         // 13
  virtual void getParameterLabel(VstInt32 index, char* label);                     // 14
  virtual void getParameterDisplay(VstInt32 index, char* text);                    // 15
  virtual void getParameterName(VstInt32 index, char* text);                       // 16
  virtual float getVu();                                                           // 17
  virtual VstInt32 getChunk(void** data, bool isPreset = false);                   // 18
  virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false); // 19
  virtual void suspend();                                                          // 20
  virtual void resume();                                                           // 21
  virtual void setUniqueID(VstInt32 iD);                                           // 22
  virtual void setNumInputs(VstInt32 inputs);                                      // 23
  virtual void setNumOutputs(VstInt32 outputs);                                    // 24
  virtual void hasVu(bool state = true);                                           // 25
  virtual void hasClip(bool state = true);                                         // 26
  virtual void canMono(bool state = true);                                         // 27
  virtual void canProcessReplacing(bool state = true);                             // 28
  virtual void programsAreChunks(bool state = true);                               // 29
  virtual void setRealtimeQualities(VstInt32 qualities);                           // 30
  virtual void setOfflineQualities(VstInt32 qualities);                            // 31
  virtual void setInitialDelay(VstInt32 delay);                                    // 32
  virtual VstInt32 getMasterVersion();                                             // 33
  virtual VstInt32 getCurrentUniqueId();                                           // 34
  virtual void masterIdle();                                                       // 35
  virtual bool isInputConnected(VstInt32 input);                                   // 36
  virtual bool isOutputConnected(VstInt32 output);                                 // 37

  // The record the entry point hands to the host; its address is fixed for the object's life.
  AEffect* getAeffect() { return &cEffect; }
  // Attaches an editor (or none) and sets effFlagsHasEditor to match. A previously attached
  // editor is not destroyed.
  void setEditor(AEffEditor* editor);

  // The entries stored in the record. Each finds the object through the record's `object`
  // field; none lets an exception through to the host.
  static VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                   VstIntPtr value, void* ptr, float opt);
  static void VSTCALLBACK processClass(AEffect* e, float** inputs, float** outputs,
                                       VstInt32 sampleFrames);
  static void VSTCALLBACK processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                                VstInt32 sampleFrames);
  static void VSTCALLBACK setParameterClass(AEffect* e, VstInt32 index, float value);
  static float VSTCALLBACK getParameterClass(AEffect* e, VstInt32 index);

protected:
  // Sends one request to the host, or answers `none` without a call when there is no callback.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt,
                     VstIntPtr none);
  // Sets `bit` of the record's flags when `state` is true, clears it otherwise.
  void setFlag(VstInt32 bit, bool state);

  AEffect cEffect;
  float sampleRate;
  AEffEditor* editor;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 blockSize;
  VstInt32 curProgram;
  const audioMasterCallback audioMaster;
};

class AEffEditor {
public:
  explicit AEffEditor(AudioEffect* effect);
  virtual ~AEffEditor();

  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual VstInt32 getRect(ERect** rect);
  virtual VstInt32 open(void* ptr);
  virtual void close();
  virtual void idle();
  virtual void update();
  virtual void postUpdate();
  virtual VstInt32 onKeyDown(VstKeyCode& keyCode);
  virtual VstInt32 onKeyUp(VstKeyCode& keyCode);
  virtual VstInt32 setKnobMode(VstInt32 val);
  virtual bool onWheel(float distance);

protected:
  AudioEffect* effect;
  void* systemWindow;
  // postUpdate may come from any thread (a parameter change on the audio thread), idle from
  // the host's UI thread: the flag is written whole, so a relaxed atomic is enough.
  std::atomic<VstInt32> updateFlag;
};
