// What the CLAP build tells hosts about the effect, beyond what the core already says: the
// features of its descriptor, its parameters' ids and flags, the editor's window interface and
// our own extension for tools and tests that drive the editor without a display. The plug-in
// and its tests read these from here.
#pragma once

#include "clap/ClapInterface.h"
#include "core/uParameters.h"
#include "editor/EditorDrive.h"

#include <cstdint>

namespace clapq {

inline constexpr const char* kFeatures[] = {"audio-effect", "distortion", "stereo", nullptr};

// A parameter's id: the FNV-1a hash of its symbol, which the saved state already treats as the
// parameter's lasting name, so ids survive new parameters and reordered rows.
constexpr clap::id ParamIdOf(int32_t index) {
  uint32_t h = 2166136261u;
  for (const char* c = kParameters[index].Symbol; *c; ++c)
    h = (h ^ static_cast<uint8_t>(*c)) * 16777619u;
  return h;
}

// The index of the parameter with id `id`, or -1.
constexpr int32_t ParamIndexOf(clap::id id) {
  for (int32_t i = 0; i < ppCount; ++i)
    if (ParamIdOf(i) == id) return i;
  return -1;
}

constexpr bool ParamIdsDistinct() {
  for (int32_t i = 0; i < ppCount; ++i) {
    if (ParamIdOf(i) == clap::kInvalidId) return false;
    for (int32_t j = 0; j < i; ++j)
      if (ParamIdOf(i) == ParamIdOf(j)) return false;
  }
  return true;
}
static_assert(ParamIdsDistinct());

// Counts and switches are stepped; every parameter is automatable.
constexpr uint32_t ParamFlagsOf(int32_t index) {
  const TParameterKind kind = kParameters[index].Kind;
  const bool stepped = kind == TParameterKind::Number || kind == TParameterKind::Switch;
  return clap::kParamIsAutomatable | (stepped ? clap::kParamIsStepped : 0u);
}

// The editor lives in the host's window of this interface, never floating.
#if defined(_WIN32)
inline constexpr const char* kWindowApi = clap::kWindowApiWin32;
#else
inline constexpr const char* kWindowApi = clap::kWindowApiX11;
#endif

// How often the host's timer serves the editor on Linux, where nothing else runs it.
inline constexpr uint32_t kEditorTimerMs = 20;

// The plug-in's own extension, offered to tools and tests: `drive` carries out a request of
// editor/EditorDrive.h on the instance's editor. edcUseHeadless comes before gui create and
// makes the windows it creates live in the headless backend (set_parent then accepts any
// window, even none); every other request needs such a window and answers false without one.
// Main thread only.
inline constexpr const char kEditorDriveExtension[] = "org.quantaloop.editor-drive";

struct TEditorDriveExtension {
  bool(CLAP_CALL* drive)(const clap::plugin* p, TEditorDrive* request);
};

} // namespace clapq
