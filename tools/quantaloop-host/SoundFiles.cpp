#include "SoundFiles.h"

#include "ToolError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qlhost {

namespace {

// Temporary files that a signal must not leave behind. Fixed storage, so that the handler
// touches nothing but these bytes and unlink().
constexpr size_t kMaxTempFiles = 4;
constexpr size_t kMaxTempPath = 4096;
char PendingTemp[kMaxTempFiles][kMaxTempPath];
volatile sig_atomic_t PendingUsed[kMaxTempFiles];

void RemovePendingAndDie(int signal) {
  for (size_t i = 0; i < kMaxTempFiles; ++i)
    if (PendingUsed[i]) ::unlink(PendingTemp[i]);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

int RegisterPending(const std::string& path) {
  if (path.size() >= kMaxTempPath) return -1;
  for (size_t i = 0; i < kMaxTempFiles; ++i) {
    if (!PendingUsed[i]) {
      std::memcpy(PendingTemp[i], path.c_str(), path.size() + 1);
      PendingUsed[i] = 1;
      return static_cast<int>(i);
    }
  }
  return -1;
}

void UnregisterPending(const std::string& path) {
  for (size_t i = 0; i < kMaxTempFiles; ++i)
    if (PendingUsed[i] && path == PendingTemp[i]) PendingUsed[i] = 0;
}

std::string LowerExtension(const std::string& path) {
  auto slash = path.find_last_of('/');
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

struct TFormatByExtension {
  const char* Extension;
  int Format;
  const char* Description;
};

constexpr std::array<TFormatByExtension, 4> kOutputFormats{{
    {".wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "32-bit float WAV"},
    {".flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "24-bit FLAC"},
    {".aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, "32-bit float AIFF"},
    {".aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, "32-bit float AIFF"},
}};

} // namespace

void InstallInterruptCleanup() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    std::signal(signal, RemovePendingAndDie);
}

TOutputFormat OutputFormatFor(const std::string& path) {
  std::string ext = LowerExtension(path);
  for (const auto& f : kOutputFormats)
    if (ext == f.Extension) return {f.Format, f.Description};
  throw TToolError("cannot tell the output format of " + path +
                   ": give it the extension .wav, .flac or .aiff");
}

// ---------------------------------------------------------------------------------------------

TSoundReader::TSoundReader(const std::string& path) : FPath(path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw TToolError("cannot open " + path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw TToolError("cannot open " + path + ": it is a folder");
  FFile = sf_open(path.c_str(), SFM_READ, &FInfo);
  if (!FFile) throw TToolError("cannot read " + path + " as a sound file: " + sf_strerror(nullptr));
  if (FInfo.channels < 1 || FInfo.samplerate < 1) {
    sf_close(FFile);
    throw TToolError(path + " has no channels or no sample rate");
  }
}

TSoundReader::~TSoundReader() {
  sf_close(FFile);
}

int64_t TSoundReader::Read(float* interleaved, int64_t frames) {
  sf_count_t got = sf_readf_float(FFile, interleaved, frames);
  if (got < frames && sf_error(FFile) != SF_ERR_NO_ERROR)
    throw TToolError("cannot read " + FPath + ": " + sf_strerror(FFile));
  return got;
}

std::vector<std::vector<float>> TSoundReader::ReadAll() {
  const int channels = Channels();
  std::vector<std::vector<float>> out(static_cast<size_t>(channels));
  std::vector<float> chunk(static_cast<size_t>(channels) * 65536);
  for (;;) {
    int64_t got = Read(chunk.data(), 65536);
    if (got <= 0) break;
    for (int c = 0; c < channels; ++c) {
      auto& ch = out[static_cast<size_t>(c)];
      for (int64_t i = 0; i < got; ++i)
        ch.push_back(chunk[static_cast<size_t>(i * channels + c)]);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------

TTempFile::TTempFile(const std::string& path) : FPath(path) {
  std::string pattern = path + ".part-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // An interrupt between creating the file and registering it would leave it behind: the
  // signals that clean up wait until the handler knows the file.
  sigset_t cleanup, before;
  sigemptyset(&cleanup);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    sigaddset(&cleanup, signal);
  ::sigprocmask(SIG_BLOCK, &cleanup, &before);
  FDescriptor = ::mkstemp(name.data());
  const int error = errno;
  if (FDescriptor >= 0) RegisterPending(name.data());
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
  if (FDescriptor < 0) throw TToolError("cannot create " + path + ": " + std::strerror(error));
  FTemp = name.data();
  // mkstemp makes the file private; the result gets the permissions of any new file.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(FDescriptor, 0666 & ~mask);
}

TTempFile::~TTempFile() {
  if (FDescriptor >= 0) ::close(FDescriptor);
  if (!FCommitted) ::unlink(FTemp.c_str());
  UnregisterPending(FTemp);
}

void TTempFile::Commit() {
  if (FDescriptor >= 0) {
    int rc = ::close(FDescriptor);
    FDescriptor = -1;
    if (rc != 0) throw TToolError("cannot write " + FPath + ": " + std::strerror(errno));
  }
  if (::rename(FTemp.c_str(), FPath.c_str()) != 0)
    throw TToolError("cannot write " + FPath + ": " + std::strerror(errno));
  FCommitted = true;
}

// ---------------------------------------------------------------------------------------------

TSoundWriter::TSoundWriter(const std::string& path, int channels, int sampleRate) : FPath(path) {
  TOutputFormat format = OutputFormatFor(path);
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = sampleRate;
  info.format = format.Format;
  if (!sf_format_check(&info))
    throw TToolError("cannot write " + path + " as " + format.Description + " with " +
                     std::to_string(channels) + " channels at " + std::to_string(sampleRate) +
                     " Hz");
  FTemp = std::make_unique<TTempFile>(path);
  FFile = sf_open_fd(FTemp->Descriptor(), SFM_WRITE, &info, SF_TRUE);
  if (!FFile)
    throw TToolError("cannot write " + path + " as " + format.Description + " at " +
                     std::to_string(sampleRate) + " Hz: " + sf_strerror(nullptr));
  FTemp->Released();
  // Integer formats clip samples beyond full scale instead of wrapping them around.
  sf_command(FFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

TSoundWriter::~TSoundWriter() {
  if (FFile) sf_close(FFile);
}

void TSoundWriter::Write(const float* interleaved, int64_t frames) {
  if (sf_writef_float(FFile, interleaved, frames) != frames)
    throw TToolError("cannot write " + FPath + ": " + sf_strerror(FFile));
}

void TSoundWriter::Commit() {
  int rc = sf_close(FFile);
  FFile = nullptr;
  if (rc != 0) throw TToolError("cannot write " + FPath + ": " + sf_error_number(rc));
  FTemp->Commit();
}

} // namespace qlhost
