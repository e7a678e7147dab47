// The extended level of the effect interface: AudioEffectX takes opcodes 25 to 76, appends the
// virtual operations 38 to 135 (plug-side defaults, host requests, flag setters and the
// speaker-arrangement utilities) and hands every other opcode to the core dispatcher.
#pragma once

#include "vst2/base/DAudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
  AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;

  // Virtual operations, positions 38 to 135.
  virtual VstTimeInfo* getTimeInfo(VstInt32 filter);                                 // 38
  virtual void setTime(VstInt32 filter, VstTimeInfo* timeInfo);                      // 39
  virtual VstInt32 tempoAt(VstInt32 pos);                                            // 40
  virtual VstInt32 processEvents(VstEvents* events);                                 // 41
  virtual VstInt32 getNumAutomatableParameters();                                    // 42
  virtual VstInt32 getParameterQuantization();                                       // 43
  virtual bool canParameterBeAutomated(VstInt32 index);                              // 44
  virtual bool string2parameter(VstInt32 index, char* text);                         // 45
  virtual float getChannelParameter(VstInt32 channel, VstInt32 index);               // 46
  virtual VstInt32 getNumCategories();                                               // 47
  virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text); // 48
  virtual bool copyProgram(VstInt32 destination);                                    // 49
  virtual bool ioChanged();                                                          // 50
  virtual bool needIdle();                                                           // 51
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);                          // 52
  virtual double updateSampleRate();                                                 // 53
  virtual VstInt32 updateBlockSize();                                                // 54
  virtual VstInt32 getInputLatency();                                                // 55
  virtual VstInt32 getOutputLatency();                                               // 56
  virtual AEffect* getPreviousPlug();                                                // 57
  virtual AEffect* getNextPlug();                                                    // 58
  virtual void inputConnected(VstInt32 index, bool state);                           // 59
  virtual void outputConnected(VstInt32 index, bool state);                          // 60
  virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties);     // 61
  virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties);    // 62
  virtual VstInt32 getPlugCategory();                                                // 63
  virtual VstInt32 willProcessReplacing();                                           // 64
  virtual VstInt32 getCurrentProcessLevel();                                         // 65
  virtual VstInt32 getAutomationState();                                             // 66
  virtual void wantAsyncOperation(bool state = true);                                // 67
  virtual void hasExternalBuffer(bool state = true);                                 // 68
  virtual VstInt32 reportCurrentPosition();                                          // 69
  virtual float* reportDestinationBuffer();                                          // 70
  virtual bool offlineRead(VstOfflineTask* offline, VstInt32 option,
                           bool readSource = true);                    // 71
  virtual bool offlineWrite(VstOfflineTask* offline, VstInt32 option); // 72
  virtual bool offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles,
                            VstInt32 numNewAudioFiles);                              // 73
  virtual VstInt32 offlineGetCurrentPass();                                          // 74
  virtual VstInt32 offlineGetCurrentMetaPass();                                      // 75
  virtual bool offlineNotify(VstAudioFile* ptr, VstInt32 numAudioFiles, bool start); // 76
  virtual bool offlinePrepare(VstOfflineTask* offline, VstInt32 count);              // 77
  virtual bool offlineRun(VstOfflineTask* offline, VstInt32 count);                  // 78
  virtual VstInt32 offlineGetNumPasses();                                            // 79
  virtual VstInt32 offlineGetNumMetaPasses();                                        // 80
  virtual void setOutputSamplerate(float samplerate);                                // 81
  virtual VstSpeakerArrangement* getInputSpeakerArrangement();                       // 82
  virtual VstSpeakerArrangement* getOutputSpeakerArrangement();                      // 83
  virtual bool getHostVendorString(char* text);                                      // 84
  virtual bool getHostProductString(char* text);                                     // 85
  virtual VstInt32 getHostVendorVersion();                                           // 86
  virtual VstIntPtr hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                       float floatArg); // 87
  virtual VstInt32 canHostDo(char* text);               // 88
  virtual void isSynth(bool state = true);              // 89
  virtual void noTail(bool state = true);               // 90
  virtual VstInt32 getHostLanguage();                   // 91
  virtual void* openWindow(VstWindow* window);          // 92
  virtual bool closeWindow(VstWindow* window);          // 93
  virtual void* getDirectory();                         // 94
  virtual bool updateDisplay();                         // 95
  virtual bool processVariableIo(VstVariableIo* varIo); // 96
  virtual bool setSpeakerArrangement(VstSpeakerArrangement* pluginInput,
                                     VstSpeakerArrangement* pluginOutput); // 97
  virtual bool getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                     VstSpeakerArrangement** pluginOutput);     // 98
  virtual void setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate); // 99
  virtual bool setBypass(bool onOff);                                           // 100
  virtual bool getEffectName(char* name);                                       // 101
  virtual bool getErrorText(char* text);                                        // 102
  virtual bool getVendorString(char* text);                                     // 103
  virtual bool getProductString(char* text);                                    // 104
  virtual VstInt32 getVendorVersion();                                          // 105
  virtual VstIntPtr vendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                   float floatArg);                               // 106
  virtual VstInt32 canDo(char* text);                                             // 107
  virtual void* getIcon();                                                        // 108
  virtual bool setViewPosition(VstInt32 x, VstInt32 y);                           // 109
  virtual VstInt32 getGetTailSize();                                              // 110
  virtual VstInt32 fxIdle();                                                      // 111
  virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* p); // 112
  virtual bool keysRequired();                                                    // 113
  virtual VstInt32 getVstVersion();                                               // 114
  virtual VstInt32 getMidiProgramName(VstInt32 channel,
                                      MidiProgramName* midiProgramName); // 115
  virtual VstInt32 getCurrentMidiProgram(VstInt32 channel,
                                         MidiProgramName* currentProgram); // 116
  virtual VstInt32 getMidiProgramCategory(VstInt32 channel,
                                          MidiProgramCategory* category); // 117
  virtual bool hasMidiProgramsChanged(VstInt32 channel);                  // 118
  virtual bool getMidiKeyName(VstInt32 channel, MidiKeyName* keyName);    // 119
  virtual bool beginSetProgram();                                         // 120
  virtual bool endSetProgram();                                           // 121
  virtual bool beginEdit(VstInt32 index);                                 // 122
  virtual bool endEdit(VstInt32 index);                                   // 123
  virtual bool openFileSelector(VstFileSelect* fileSelect);               // 124
  virtual VstInt32 setTotalSampleToProcess(VstInt32 value);               // 125
  virtual VstInt32 getNextShellPlugin(char* name);                        // 126
  virtual VstInt32 startProcess();                                        // 127
  virtual VstInt32 stopProcess();                                         // 128
  virtual bool setPanLaw(VstInt32 type, float val);                       // 129
  virtual VstInt32 beginLoadBank(VstPatchChunkInfo* ptr);                 // 130
  virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* ptr);              // 131
  virtual bool allocateArrangement(VstSpeakerArrangement** arrangement,
                                   VstInt32 nbChannels);                          // 132
  virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);        // 133
  virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from); // 134
  virtual bool matchArrangement(VstSpeakerArrangement** to,
                                VstSpeakerArrangement* from); // 135

  // Host requests that are not virtual.
  void wantEvents(VstInt32 filter = 1);
  bool sendVstEventsToHost(VstEvents* events);
};
