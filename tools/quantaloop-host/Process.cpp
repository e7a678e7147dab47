// The process command: streams a sound file through the plug-in's processing entry.

#include "Commands.h"
#include "HostedPlugin.h"
#include "SettingParser.h"
#include "SoundFiles.h"
#include "ToolError.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace qlhost {

namespace {

// A bar on stderr, only when stderr is a terminal and the file is long enough to wait for.
class TProgress {
public:
  TProgress(int64_t total, int sampleRate)
      : FTotal(total), FShown(total > 10LL * sampleRate && ::isatty(STDERR_FILENO)) {}
  ~TProgress() {
    if (FShown && FLast >= 0) std::fprintf(stderr, "\r%60s\r", "");
  }
  void Update(int64_t done) {
    if (!FShown || FTotal <= 0) return;
    int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / FTotal));
    if (percent == FLast) return;
    FLast = percent;
    char bar[41];
    int filled = percent * 40 / 100;
    for (int i = 0; i < 40; ++i)
      bar[i] = i < filled ? '#' : '.';
    bar[40] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
  }

private:
  int64_t FTotal;
  bool FShown;
  int FLast = -1;
};

} // namespace

int RunProcess(const std::vector<std::string>& args) {
  TArguments a(args, {"set", "set-at", "program", "block"});
  a.ExpectPositional(3, 3,
                     "process PLUGIN IN OUT [--set NAME=VALUE ...] [--set-at FRAME:NAME=VALUE ...] "
                     "[--program N] [--block N]");
  const std::string& outPath = a.Positional()[2];
  const int block = static_cast<int>(a.Integer("block", 512, 1, 1 << 16));
  OutputFormatFor(outPath); // an unknown extension fails before any work

  const std::unique_ptr<THostedPlugin> plugin = OpenPlugin(a.Positional()[0]);
  THostedPlugin& fx = *plugin;
  TSoundReader in(a.Positional()[1]);
  const int inputs = fx.NumInputs(), outputs = fx.NumOutputs();
  const int channels = in.Channels();
  if (outputs < 1) throw TToolError(fx.Path() + " has no outputs");
  if (channels > inputs)
    throw TToolError(in.Path() + " has " + std::to_string(channels) + " channels but the plug-in " +
                     "has " + std::to_string(inputs) + (inputs == 1 ? " input" : " inputs"));

  fx.SetSampleRate(static_cast<float>(in.SampleRate()));
  fx.SetBlockSize(block);
  if (a.Has("program")) {
    const long count = fx.NumPrograms();
    if (count < 1) throw TToolError(fx.Path() + " has no programs");
    const long program = a.Integer("program", 0, 0, count - 1 < 0 ? 0 : count - 1);
    fx.SelectProgram(static_cast<int>(program));
  }
  for (const std::string& setting : a.Values("set"))
    fx.ApplySetting(setting);
  // Settings from a frame of the file on, in frame order (the command line's among equals).
  struct TTimedSetting {
    int64_t Frame;
    std::string Text;
  };
  std::vector<TTimedSetting> timed;
  for (const std::string& s : a.Values("set-at")) {
    const size_t colon = s.find(':');
    const auto frame = colon == std::string::npos ? std::nullopt : WholeNumber(s.substr(0, colon));
    if (!frame || *frame < 0 || *frame != static_cast<double>(static_cast<int64_t>(*frame)))
      throw TUsageError("--set-at needs FRAME:NAME=VALUE, not '" + s + "'");
    timed.push_back({static_cast<int64_t>(*frame), s.substr(colon + 1)});
  }
  std::stable_sort(timed.begin(), timed.end(), [](const TTimedSetting& x, const TTimedSetting& y) {
    return x.Frame < y.Frame;
  });
  size_t nextTimed = 0;

  TSoundWriter out(outPath, outputs, in.SampleRate());

  // Interleaved file chunks of whole blocks, split into one buffer per pin for the plug-in.
  const int64_t chunk = static_cast<int64_t>(block) * std::max(1, 8192 / block);
  std::vector<float> fileIn(static_cast<size_t>(chunk * channels));
  std::vector<float> fileOut(static_cast<size_t>(chunk * outputs));
  std::vector<std::vector<float>> pinIn(static_cast<size_t>(std::max(inputs, 1)),
                                        std::vector<float>(static_cast<size_t>(chunk)));
  std::vector<std::vector<float>> pinOut(static_cast<size_t>(outputs),
                                         std::vector<float>(static_cast<size_t>(chunk)));
  std::vector<float*> inPtr(pinIn.size()), outPtr(pinOut.size());

  TProgress progress(in.Frames(), in.SampleRate());
  int64_t done = 0;
  fx.Start();
  for (;;) {
    const int64_t got = in.Read(fileIn.data(), chunk);
    if (got <= 0) break;
    for (int p = 0; p < inputs; ++p) {
      float* pin = pinIn[static_cast<size_t>(p)].data();
      if (channels == 1 || p < channels) {
        const int c = channels == 1 ? 0 : p;
        for (int64_t i = 0; i < got; ++i)
          pin[i] = fileIn[static_cast<size_t>(i * channels + c)];
      } else {
        std::fill(pin, pin + got, 0.0f);
      }
    }
    // Each block with the timed settings inside it: at their frames for a plug-in that takes
    // changes inside a block, else the block split there.
    auto run = [&](int64_t at, int frames) {
      for (size_t p = 0; p < inPtr.size(); ++p)
        inPtr[p] = pinIn[p].data() + at;
      for (size_t p = 0; p < outPtr.size(); ++p)
        outPtr[p] = pinOut[p].data() + at;
      fx.Process(inPtr.data(), outPtr.data(), frames);
    };
    for (int64_t at = 0; at < got; at += block) {
      const int frames = static_cast<int>(std::min<int64_t>(block, got - at));
      const int64_t start = done + at, end = start + frames;
      int64_t from = at;
      while (nextTimed < timed.size() && timed[nextTimed].Frame < end) {
        const TTimedSetting& t = timed[nextTimed++];
        const int64_t inside = std::max<int64_t>(t.Frame - start, 0);
        if (fx.ChangesInsideBlocks()) {
          fx.ApplySettingAt(static_cast<int>(inside), t.Text);
          continue;
        }
        if (at + inside > from) run(from, static_cast<int>(at + inside - from));
        from = at + inside;
        fx.ApplySetting(t.Text);
      }
      if (at + frames > from) run(from, static_cast<int>(at + frames - from));
    }
    for (int p = 0; p < outputs; ++p) {
      const float* pin = pinOut[static_cast<size_t>(p)].data();
      for (int64_t i = 0; i < got; ++i)
        fileOut[static_cast<size_t>(i * outputs + p)] = pin[i];
    }
    out.Write(fileOut.data(), got);
    done += got;
    progress.Update(done);
  }
  fx.Stop();
  out.Commit();
  return 0;
}

} // namespace qlhost
