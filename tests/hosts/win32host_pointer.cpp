// The pointer check of the Windows test host: the pointer cases of PointerCases.h against the
// VST 2 editor. Editors open in top-level windows of ours, our message loop dispatches
// everything and calls effEditIdle from a timer; the parameters are read back through
// getParameter and the edits are what the host callback heard.
#include "win32host_pointer.h"

#include "PointerCases.h"
#include "RecordCheck.h"
#include "vst2/interface/DAEffectX.h"

#include <windows.h>

#include <string>
#include <vector>

namespace qlhosts {
namespace {

constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleMs = 40;
constexpr const wchar_t* kHostClass = L"QuantaloopPointerHost";

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kIdleTimer) {
    if (auto* e = reinterpret_cast<AEffect*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
      e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// One instance with its editor open in a host window of its own.
struct THosted {
  AEffect* Effect = nullptr;
  HWND Host = nullptr;
  HWND Editor = nullptr;
};

class TVst2PointerHost final : public TPointerHost {
public:
  explicit TVst2PointerHost(TPluginEntry entry)
      : FEntry(entry), FWindows(kHostClass, HostWindowProc) {}
  ~TVst2PointerHost() override { CloseAll(); }

  bool Open(int left, int top) override {
    THosted h;
    h.Effect = FEntry(HostCallback);
    if (h.Effect) {
      h.Effect->dispatcher(h.Effect, effOpen, 0, 0, nullptr, 0.0f);
      h.Host = FWindows.Create(left, top, h.Effect);
    }
    if (h.Host) {
      if (h.Effect->dispatcher(h.Effect, effEditOpen, 0, 0, h.Host, 0.0f) != 0)
        h.Editor = GetWindow(h.Host, GW_CHILD);
      SetTimer(h.Host, kIdleTimer, kIdleMs, nullptr);
    }
    FHosted.push_back(h);
    return h.Editor != nullptr;
  }
  HWND Host(size_t slot) const override { return FHosted[slot].Host; }
  HWND Editor(size_t slot) const override { return FHosted[slot].Editor; }
  float Oversampling(size_t slot) override {
    AEffect* e = FHosted[slot].Effect;
    return e->getParameter(e, 0) * 128.0f;
  }
  void ClearEdits(size_t) override { EditsHeard().clear(); }
  std::string Edits(size_t slot) override { return EditsHeardFrom(FHosted[slot].Effect); }
  std::string WholeEdit(float) const override { return "begin 0, automate 0, end 0"; }
  void CloseEditor(size_t slot) override {
    THosted& h = FHosted[slot];
    if (!h.Editor) return;
    KillTimer(h.Host, kIdleTimer);
    h.Effect->dispatcher(h.Effect, effEditClose, 0, 0, nullptr, 0.0f);
    h.Editor = nullptr;
  }
  void CloseAll() override {
    for (size_t slot = 0; slot < FHosted.size(); ++slot) {
      CloseEditor(slot);
      THosted& h = FHosted[slot];
      if (h.Host) DestroyWindow(h.Host);
      if (h.Effect) h.Effect->dispatcher(h.Effect, effClose, 0, 0, nullptr, 0.0f);
    }
    FHosted.clear();
  }

private:
  TPluginEntry FEntry;
  THostWindows FWindows;
  std::vector<THosted> FHosted;
};

} // namespace

int RunPointerCheck(TPluginEntry entry, int argc, char**) {
  if (argc != 3) return 2;
  TVst2PointerHost host(entry);
  return RunPointerCases(host) ? 1 : 0;
}

} // namespace qlhosts
