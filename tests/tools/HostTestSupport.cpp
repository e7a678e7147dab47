#include "HostTestSupport.h"

#include "TestPaths.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qlhosttest {

namespace fs = std::filesystem;

std::string BinPath(const std::string& file) {
  return qltest::ExecutableDir() + file;
}

TScratchDir::TScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "ql-host-test-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  FPath = name.data();
}

TScratchDir::~TScratchDir() {
  std::error_code ignored;
  fs::remove_all(FPath, ignored);
}

std::vector<std::string> TScratchDir::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(FPath))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TRun RunHost(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  TScratchDir io;
  const std::string outPath = io / "stdout", errPath = io / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string program = BinPath("quantaloop-host");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e)
    envp.push_back(*e);
  for (const auto& e : env)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  int status = 0;
  ::waitpid(pid, &status, 0);
  TRun run;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.Out = ReadText(outPath);
  run.Err = ReadText(errPath);
  return run;
}

int StartHost(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
  const std::string program = BinPath("quantaloop-host");
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e)
    envp.push_back(*e);
  for (const auto& e : env)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  return pid;
}

void WriteSound(const std::string& path, const TSound& sound, int format) {
  SF_INFO info{};
  info.channels = sound.Channels;
  info.samplerate = sound.SampleRate;
  info.format = format ? format : SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(sf_writef_float(f, sound.Samples.data(), static_cast<sf_count_t>(sound.Frames())),
            static_cast<sf_count_t>(sound.Frames()));
  sf_close(f);
}

TSound ReadSound(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  TSound s;
  if (!f) {
    ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
    return s;
  }
  s.Channels = info.channels;
  s.SampleRate = info.samplerate;
  s.Samples.resize(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(f, s.Samples.data(), info.frames);
  sf_close(f);
  return s;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TSound TestSignal(int channels, size_t frames, int sampleRate) {
  TSound s;
  s.Channels = channels;
  s.SampleRate = sampleRate;
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s.Samples.push_back(
          static_cast<float>(0.6 * std::sin(0.01 * static_cast<double>(i) * (c + 1)) +
                             0.3 * (static_cast<double>(i % 97) / 97.0 - 0.5) * (c % 2 ? -1 : 1)));
  return s;
}

} // namespace qlhosttest
