// The editor command: opens the plug-in's editor in the plug-in's own headless window backend,
// replays scripted gestures, saves what a user would see as a PNG and prints the parameters.
//
// A host cannot reach a plug-in's window backend from outside, so the plug-in must answer the
// vendor-specific requests of editor/EditorDrive.h; plug-ins that do not are refused with a
// clear error.

#include "Commands.h"
#include "HostedEffect.h"
#include "Plot.h"
#include "SoundFiles.h"
#include "ToolError.h"

#include "editor/EditorDrive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace qlhost {

namespace {

// Any nonzero number stands for the host's window in the headless backend.
void* const kHeadlessParent = reinterpret_cast<void*>(uintptr_t{1});

constexpr uint32_t kTickMs = 100;
// A drag moves the pointer in steps of this many pixels along its line.
constexpr int kDragStep = 5;

struct TGesture {
  bool Drag = false;
  int X = 0, Y = 0, DX = 0, DY = 0;
};

int ParseInt(const std::string& text, const std::string& what) {
  size_t used = 0;
  int v = 0;
  try {
    v = std::stoi(text, &used);
  } catch (...) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw TUsageError("bad number '" + text + "' in " + what);
  return v;
}

// "X,Y" into two numbers.
void ParsePoint(const std::string& text, const std::string& what, int& x, int& y) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) throw TUsageError(what + " needs X,Y, not '" + text + "'");
  x = ParseInt(text.substr(0, comma), what);
  y = ParseInt(text.substr(comma + 1), what);
}

// The gestures in the order they were given: --click X,Y and --drag X,Y:DX,DY.
std::vector<TGesture> ParseGestures(const std::vector<std::string>& args) {
  std::vector<TGesture> gestures;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i], value;
    if (const size_t eq = option.find('='); eq != std::string::npos) {
      value = option.substr(eq + 1);
      option = option.substr(0, eq);
    } else if (option == "--click" || option == "--drag") {
      if (i + 1 < args.size()) value = args[++i];
    }
    if (option == "--click") {
      TGesture g;
      ParsePoint(value, "--click", g.X, g.Y);
      gestures.push_back(g);
    } else if (option == "--drag") {
      const size_t colon = value.find(':');
      if (colon == std::string::npos)
        throw TUsageError("--drag needs X,Y:DX,DY, not '" + value + "'");
      TGesture g;
      g.Drag = true;
      ParsePoint(value.substr(0, colon), "--drag", g.X, g.Y);
      ParsePoint(value.substr(colon + 1), "--drag", g.DX, g.DY);
      gestures.push_back(g);
    }
  }
  return gestures;
}

class TEditorSession {
public:
  explicit TEditorSession(THostedEffect& fx) : FFx(fx) {
    TEditorDrive headless;
    headless.Command = edcUseHeadless;
    headless.Value = 1;
    if (Drive(headless) != 1)
      throw TToolError("the plug-in's editor cannot be opened without a display (it does not "
                       "answer the headless-editor request)");
    if (FFx.Dispatch(effEditOpen, 0, 0, kHeadlessParent) == 0)
      throw TToolError("the plug-in did not open its editor");
    FOpen = true;
    ERect* rect = nullptr;
    if (FFx.Dispatch(effEditGetRect, 0, 0, &rect) && rect) {
      FWidth = rect->right - rect->left;
      FHeight = rect->bottom - rect->top;
    }
    if (FWidth <= 0 || FHeight <= 0) throw TToolError("the plug-in's editor has no size");
    // The posted link message, then the first tick, as a user sees the window once opened.
    FFx.Dispatch(effEditIdle);
    Advance(kTickMs);
  }
  ~TEditorSession() {
    if (FOpen) FFx.Dispatch(effEditClose);
  }
  TEditorSession(const TEditorSession&) = delete;
  TEditorSession& operator=(const TEditorSession&) = delete;

  void Pointer(TEditorDriveCommand command, int x, int y, uint32_t shift = 0) {
    TEditorDrive d;
    d.Command = command;
    d.X = x;
    d.Y = y;
    d.Shift = shift;
    if (Drive(d) != 1) throw TToolError("the plug-in's editor refused a pointer event");
  }
  void Advance(uint32_t ms) {
    TEditorDrive d;
    d.Command = edcAdvance;
    d.Milliseconds = ms;
    if (Drive(d) != 1) throw TToolError("the plug-in's editor refused to run its clock");
  }
  void Replay(const TGesture& g) {
    Pointer(edcMove, g.X, g.Y);
    Pointer(edcPress, g.X, g.Y);
    if (g.Drag) {
      const int length = std::max(std::abs(g.DX), std::abs(g.DY));
      const int steps = std::max(1, (length + kDragStep - 1) / kDragStep);
      for (int s = 1; s <= steps; ++s)
        Pointer(edcMove, g.X + g.DX * s / steps, g.Y + g.DY * s / steps, edsLeft);
    }
    Pointer(edcRelease, g.X + g.DX, g.Y + g.DY);
    Advance(kTickMs);
  }
  // The window's pixels as 8-bit RGB rows, top first.
  std::vector<uint8_t> Picture() {
    std::vector<uint32_t> pixels(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight));
    TEditorDrive d;
    d.Command = edcPixels;
    d.Width = FWidth;
    d.Height = FHeight;
    d.Pixels = pixels.data();
    if (Drive(d) != 1) throw TToolError("the plug-in's editor gave no picture");
    std::vector<uint8_t> rgb;
    rgb.reserve(pixels.size() * 3);
    for (uint32_t p : pixels) {
      rgb.push_back(static_cast<uint8_t>(p >> 16));
      rgb.push_back(static_cast<uint8_t>(p >> 8));
      rgb.push_back(static_cast<uint8_t>(p));
    }
    return rgb;
  }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

private:
  VstIntPtr Drive(TEditorDrive& d) {
    return FFx.Dispatch(effVendorSpecific, kEditorDriveIndex, 0, &d);
  }
  THostedEffect& FFx;
  bool FOpen = false;
  int FWidth = 0;
  int FHeight = 0;
};

} // namespace

int RunEditor(const std::vector<std::string>& args) {
  TArguments a(args, {"png", "click", "drag"});
  a.ExpectPositional(1, 1, "editor PLUGIN --png FILE");
  if (!a.Has("png")) throw TUsageError("editor needs --png FILE");
  const std::vector<TGesture> gestures = ParseGestures(args);

  THostedEffect fx(a.Positional()[0]);
  if (!(fx.Record().flags & effFlagsHasEditor)) throw TToolError("the plug-in has no editor");
  std::vector<uint8_t> picture;
  int width = 0, height = 0;
  {
    TEditorSession editor(fx);
    for (const TGesture& g : gestures)
      editor.Replay(g);
    picture = editor.Picture();
    width = editor.Width();
    height = editor.Height();
  }
  WritePng(a.Value("png"), picture.data(), width, height, false);

  for (int i = 0; i < fx.NumParams(); ++i)
    std::printf("%-14s %s %s (%.6g)\n", fx.ParamName(i).c_str(), fx.ParamDisplay(i).c_str(),
                fx.ParamLabel(i).c_str(), static_cast<double>(fx.GetParameter(i)));
  return 0;
}

} // namespace qlhost
