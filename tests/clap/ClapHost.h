// A small CLAP host for tests: loads the built Quantaloop.clap through its entry, offers the host
// extensions a desktop host offers (params, timer and descriptor support, thread-check) and
// records what the plug-in asks of it, and drives one instance the way hosts do.
#pragma once

#include "PluginLibrary.h"
#include "clap/ClapInterface.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace qltest {

// The built library of this build (Quantaloop.clap beside the test).
std::string ClapPath();

// The library and its factory; with `freshCopy` a private copy, so that its process-wide state
// (the dither generator) starts as in a newly started host.
class TClapLibrary {
public:
  explicit TClapLibrary(bool freshCopy = false);
  ~TClapLibrary();
  TClapLibrary(const TClapLibrary&) = delete;
  TClapLibrary& operator=(const TClapLibrary&) = delete;

  const clap::plugin_entry* Entry = nullptr;
  const clap::plugin_factory* Factory = nullptr;

private:
  TPluginLibrary FLibrary;
  bool FInitialised = false;
};

// What the host offers, chosen per test.
struct THostOffer {
  bool Params = true;
  bool Timer = true;
  bool Fd = true;
  bool ThreadCheck = true;
};

class TClapHost {
public:
  explicit TClapHost(THostOffer offer = {});
  TClapHost(const TClapHost&) = delete;
  TClapHost& operator=(const TClapHost&) = delete;

  const clap::host* Host() const { return &FHost; }

  // The thread that counts as the audio thread while a call runs on it (the main thread is the
  // one that made the host).
  std::thread::id AudioThread{};

  // What the plug-in asked for.
  int FlushRequests = 0;
  struct TTimer {
    uint32_t Period;
    clap::id Id;
  };
  std::vector<TTimer> Timers;
  std::vector<int> Fds;
  int TimerRegistrations = 0, TimerUnregistrations = 0;
  int FdRegistrations = 0, FdUnregistrations = 0;
  // Host functions called from a thread they are not for, by name.
  std::vector<std::string> WrongThread;

private:
  static TClapHost& Of(const clap::host* h) { return *static_cast<TClapHost*>(h->host_data); }
  void OnMain(const char* what);
  static const void* CLAP_CALL Extension(const clap::host* h, const char* id);

  THostOffer FOffer;
  std::thread::id FMain;
  clap::id FNextTimer = 1;
  clap::host FHost{};
  clap::host_params FParams{};
  clap::host_timer_support FTimerSupport{};
  clap::host_posix_fd_support FFdSupport{};
  clap::host_thread_check FThreadCheck{};
};

// A list of input events the host hands over, in the order added (hosts sort them by time).
class TInputEvents {
public:
  TInputEvents();
  void Param(uint32_t time, clap::id id, double value);
  void Midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2);
  void Note(uint32_t time, uint16_t type, int16_t channel, int16_t key, double velocity,
            int32_t noteId = -1);
  void Add(const void* event, uint32_t size);
  void Clear() { FEvents.clear(); }
  const clap::input_events* List() const { return &FList; }

private:
  std::vector<std::vector<uint8_t>> FEvents;
  clap::input_events FList{};
};

// The events the plug-in pushes, kept whole.
class TOutputEvents {
public:
  TOutputEvents();
  const clap::output_events* List() const { return &FList; }
  std::vector<std::vector<uint8_t>> Events;
  template <class T> const T& As(size_t i) const {
    return *reinterpret_cast<const T*>(Events[i].data());
  }
  uint16_t Type(size_t i) const { return As<clap::event_header>(i).type; }
  // "begin ID", "value ID V", "end ID", "midi T S D1 D2", "note on|off T CH KEY ID", one line each.
  std::vector<std::string> Lines() const;

private:
  clap::output_events FList{};
};

// One instance made, initialised and (optionally) activated as hosts do.
class TClapInstance {
public:
  TClapInstance(const TClapLibrary& library, const TClapHost& host);
  ~TClapInstance();
  TClapInstance(const TClapInstance&) = delete;
  TClapInstance& operator=(const TClapInstance&) = delete;

  template <class T> const T* Ext(const char* id) const {
    return static_cast<const T*>(P->get_extension(P, id));
  }
  bool Activate(uint32_t maxFrames = 8192);
  void Deactivate();
  // One block of stereo audio from `in` into `out` (which may be `in`), with `events`; the
  // plug-in's events land in `out`.
  clap::process_status Process(float* const* in, float* const* out, uint32_t frames,
                               const TInputEvents& events, TOutputEvents& outEvents);

  double Value(clap::id id) const;
  std::vector<uint8_t> Save() const;
  bool Load(const std::vector<uint8_t>& blob) const;

  const clap::plugin* P = nullptr;
  const clap::plugin_params* Params = nullptr;
  const clap::plugin_state* State = nullptr;
  const clap::plugin_gui* Gui = nullptr;
  bool Active = false;
  bool Processing = false;
};

} // namespace qltest
