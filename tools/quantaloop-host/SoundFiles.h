// Sound files through libsndfile: a reader for anything it opens, and a writer that fills a
// temporary file next to the destination and renames it only when everything went well, so
// that a failed or interrupted run never leaves a partial output behind.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qlhost {

class TSoundReader {
public:
  explicit TSoundReader(const std::string& path);
  ~TSoundReader();
  TSoundReader(const TSoundReader&) = delete;
  TSoundReader& operator=(const TSoundReader&) = delete;

  int Channels() const { return FInfo.channels; }
  int SampleRate() const { return FInfo.samplerate; }
  int64_t Frames() const { return FInfo.frames; }
  const std::string& Path() const { return FPath; }

  // Reads up to `frames` interleaved frames; answers how many were read (0 at the end).
  int64_t Read(float* interleaved, int64_t frames);
  // The whole file, one vector per channel.
  std::vector<std::vector<float>> ReadAll();

private:
  std::string FPath;
  SF_INFO FInfo{};
  SNDFILE* FFile = nullptr;
};

// Output format chosen by the file's extension.
struct TOutputFormat {
  int Format;
  const char* Description;
};
// Throws TToolError for an extension the tool does not write.
TOutputFormat OutputFormatFor(const std::string& path);

// Removes the temporary file of a writer if the process is interrupted by a signal.
void InstallInterruptCleanup();

// A temporary file next to `path` that becomes `path` on Commit; for writers other than
// libsndfile (the plot).
class TTempFile {
public:
  explicit TTempFile(const std::string& path);
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  int Descriptor() const { return FDescriptor; }
  const std::string& TempPath() const { return FTemp; }
  // The descriptor has been closed by its user (for example by fclose on a stream made on it).
  void Released() { FDescriptor = -1; }
  void Commit();

private:
  std::string FPath;
  std::string FTemp;
  int FDescriptor = -1;
  bool FCommitted = false;
};

class TSoundWriter {
public:
  TSoundWriter(const std::string& path, int channels, int sampleRate);
  ~TSoundWriter(); // removes the temporary file unless Commit succeeded
  TSoundWriter(const TSoundWriter&) = delete;
  TSoundWriter& operator=(const TSoundWriter&) = delete;

  void Write(const float* interleaved, int64_t frames);
  // Closes the file and moves it to its destination.
  void Commit();

private:
  std::string FPath;
  std::unique_ptr<TTempFile> FTemp;
  SNDFILE* FFile = nullptr;
};

} // namespace qlhost
