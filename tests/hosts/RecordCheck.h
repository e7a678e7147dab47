// The check every build of the plug-in passes through its effect record alone: the record's
// identity, the text answers, the MIDI note echo, and a fixed processing run whose output
// samples must be bit-identical between the Linux, 64-bit Windows and 32-bit Windows builds.
// Portable on purpose: the Linux reference host and the Windows test hosts share it, and
// differ only in how they load the library.
#pragma once

#include "vst2/interface/DAEffectX.h"

#include <cstdio>
#include <string>
#include <vector>

namespace qlhosts {

using TPluginEntry = AEffect*(VSTCALLBACK*)(audioMasterCallback);

// The host side of the interface: answers the version question and collects what the effect
// sends back (MIDI events); everything else is declined.
VstIntPtr VSTCALLBACK HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt);

// What the host heard of the effect's parameter edits since the last clear, in order: "begin N"
// (audioMasterBeginEdit), "automate N" (audioMasterAutomate), "end N" (audioMasterEndEdit), each
// with the effect that sent it.
struct TEditHeard {
  AEffect* Effect;
  std::string What;
};
std::vector<TEditHeard>& EditsHeard();
// Those of `effect`, joined: "begin 0, automate 0, end 0", or "nothing".
std::string EditsHeardFrom(const AEffect* effect);

// Problems with the record and the text answers, one line each; empty when all is as expected.
std::vector<std::string> CheckRecord(AEffect& effect);

// Sends note events through effProcessEvents and checks what one processing call echoes.
std::vector<std::string> CheckMidiEcho(AEffect& effect);

// The input of the processing run: two channels of `frames` samples made from integer
// arithmetic only, so that every build sees exactly the same floats.
std::vector<std::vector<float>> TestSignal(int frames);

// Runs the fixed sequence of host settings and blocks and returns the output samples, channel
// 0 then channel 1 for every block, in order.
std::vector<float> ProcessRun(AEffect& effect);

// Raw little-endian float files for the samples.
bool WriteSamples(const std::string& path, const std::vector<float>& samples);
bool ReadSamples(const std::string& path, std::vector<float>& samples);

// Compares bit patterns (so that -0 and NaN payloads count too); empty when identical.
std::string CompareSamples(const std::vector<float>& expected, const std::vector<float>& actual);

// The whole check as a host program runs it: calls `entry`, checks, processes, writes the
// samples to `outPath` (when not empty), compares them with `refPath` (when not empty) and
// closes the effect. Prints one line per finding to `log`; answers the exit status.
int RunRecordCheck(TPluginEntry entry, const std::string& outPath, const std::string& refPath,
                   std::FILE* log);

} // namespace qlhosts
