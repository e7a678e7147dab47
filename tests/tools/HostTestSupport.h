// Helpers for driving quantaloop-host as its users do: as a program with arguments, on files
// in a fresh folder.
#pragma once

#include <string>
#include <vector>

namespace qlhosttest {

struct TRun {
  int Status; // exit status, or 128 + signal
  std::string Out;
  std::string Err;
};

// Runs the built quantaloop-host with `args` and collects its exit status and output.
// `env` adds entries ("NAME=value") to the environment.
TRun RunHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// Starts quantaloop-host with `args` and extra environment entries ("NAME=value"), output
// discarded; answers its process id.
int StartHost(const std::vector<std::string>& args, const std::vector<std::string>& env);

// Path of a library built next to the tests (e.g. "FixturePluginGain.so").
std::string BinPath(const std::string& file);

// A fresh folder, removed with everything in it at the end of the test.
class TScratchDir {
public:
  TScratchDir();
  ~TScratchDir();
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }
  std::vector<std::string> Files() const;

private:
  std::string FPath;
};

struct TSound {
  int Channels = 0;
  int SampleRate = 0;
  std::vector<float> Samples; // interleaved
  size_t Frames() const { return Channels ? Samples.size() / static_cast<size_t>(Channels) : 0; }
  float At(size_t frame, int channel) const {
    return Samples[frame * static_cast<size_t>(Channels) + static_cast<size_t>(channel)];
  }
};

// Writes a sound file with libsndfile; the format follows the extension (WAV float by default).
void WriteSound(const std::string& path, const TSound& sound, int format = 0);
TSound ReadSound(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// A test signal: frames of a ramp and a sine per channel, distinct per channel, inside -1..1.
TSound TestSignal(int channels, size_t frames, int sampleRate = 48000);

} // namespace qlhosttest
