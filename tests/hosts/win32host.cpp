// Windows test host (built by both mingw builds): loads the plug-in DLL with LoadLibrary, finds
// its exported `main` and drives the effect through the record the way a Windows host does.
//
//   win32host check DLL [OUT.f32] [REF.f32]
//       Checks the record and the text answers, runs the fixed processing sequence, writes its
//       output samples to OUT and compares them bit for bit with REF (the Linux build's output
//       for the same input), checks the MIDI note echo and closes the effect.
//
//   win32host editor DLL [--no-click] [--timeout SECONDS] [--dump DIR]
//       Opens the editor inside a host window of its own and checks its link message, its timer,
//       clicks and its pixels against the headless rendering (win32host_editor.cpp). The clicks
//       and the X server's screenshot are asked of a script ("click X Y", "grab X Y W H FILE");
//       --no-click asks for neither. --timeout bounds each wait (60 s by default); --dump
//       writes the pictures there as PPM files.
//
//   win32host pointer DLL
//       Drives editors with the system's own pointer input and host-made capture changes:
//       lost releases, lost capture, two editors at once (win32host_pointer.cpp). Needs a
//       display and nothing else.
#include "RecordCheck.h"
#include "win32host_editor.h"
#include "win32host_pointer.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void PrintVerdict(int status) {
  std::printf("%s: %s\n", sizeof(void*) == 4 ? "win32host" : "win64host",
              status == 0 ? "passed" : "FAILED");
}

int RunCheck(qlhosts::TPluginEntry entry, int argc, char** argv) {
  if (argc > 5) return 2;
  return qlhosts::RunRecordCheck(entry, argc > 3 ? argv[3] : "", argc > 4 ? argv[4] : "", stdout);
}

int Usage(const char* self) {
  std::fprintf(stderr,
               "usage: %s check DLL [OUT.f32] [REF.f32]\n"
               "       %s editor DLL [--no-click] [--timeout SECONDS] [--dump DIR]\n"
               "       %s pointer DLL\n",
               self, self, self);
  return 2;
}

struct TCommand {
  const char* Name;
  int (*Run)(qlhosts::TPluginEntry, int, char**);
};

constexpr TCommand kCommands[] = {{"check", RunCheck},
                                  {"editor", qlhosts::RunEditorCheck},
                                  {"pointer", qlhosts::RunPointerCheck}};

// Loads the DLL, finds its exported main and runs the command with it; 1 when either fails,
// 2 when the command's arguments are wrong.
int RunWithPlugin(const TCommand& c, int argc, char** argv) {
  HMODULE library = LoadLibraryA(argv[2]);
  if (!library) {
    std::printf("FAIL cannot load %s (error %lu)\n", argv[2], GetLastError());
    return 1;
  }
  auto entry = reinterpret_cast<qlhosts::TPluginEntry>(
      reinterpret_cast<void*>(GetProcAddress(library, "main")));
  int status = 1;
  if (!entry)
    std::printf("FAIL %s exports no main\n", argv[2]);
  else
    status = c.Run(entry, argc, argv);
  FreeLibrary(library);
  return status;
}

} // namespace

int main(int argc, char** argv) {
  // Unbuffered, so that a run killed by the emulator's time limit still shows how far it got.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  for (const TCommand& c : kCommands) {
    if (argc >= 3 && std::strcmp(argv[1], c.Name) == 0) {
      const int status = RunWithPlugin(c, argc, argv);
      if (status != 2) PrintVerdict(status);
      return status == 2 ? Usage(argv[0]) : status;
    }
  }
  return Usage(argv[0]);
}
