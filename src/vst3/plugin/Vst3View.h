// The effect's editor as a VST 3 view: the same window as the other formats', made in attached
// inside the host's window (an X11 window id on Linux, an HWND on Windows) and destroyed in
// removed. On Linux the window is served from the host's run loop, which the frame offers
// while the view is attached: a timer and the window's X connection both pump the window.
// Windows serves its windows from the host's own message loop.
//
// Main thread only. Holds the plug-in for as long as it lives.
#pragma once

#include "vst3/interface/Vst3Interface.h"

#include <atomic>
#include <memory>

class TPluginEditorWindow;
class TVst3Plugin;

class TVst3View final : public vst3::IPlugView,
                        public vst3::ITimerHandler,
                        public vst3::IEventHandler {
public:
  explicit TVst3View(TVst3Plugin& plugin);

  vst3::tresult QL_VST3_CALL queryInterface(const char* iid, void** obj) override;
  vst3::uint32 QL_VST3_CALL addRef() override;
  vst3::uint32 QL_VST3_CALL release() override;

  vst3::tresult QL_VST3_CALL isPlatformTypeSupported(vst3::FIDString type) override;
  vst3::tresult QL_VST3_CALL attached(void* parent, vst3::FIDString type) override;
  vst3::tresult QL_VST3_CALL removed() override;
  vst3::tresult QL_VST3_CALL onWheel(float) override { return vst3::kResultFalse; }
  vst3::tresult QL_VST3_CALL onKeyDown(vst3::char16, vst3::int16, vst3::int16) override {
    return vst3::kResultFalse;
  }
  vst3::tresult QL_VST3_CALL onKeyUp(vst3::char16, vst3::int16, vst3::int16) override {
    return vst3::kResultFalse;
  }
  vst3::tresult QL_VST3_CALL getSize(vst3::ViewRect* size) override;
  vst3::tresult QL_VST3_CALL onSize(vst3::ViewRect* newSize) override;
  vst3::tresult QL_VST3_CALL onFocus(vst3::TBool) override { return vst3::kResultOk; }
  vst3::tresult QL_VST3_CALL setFrame(vst3::IPlugFrame* frame) override;
  vst3::tresult QL_VST3_CALL canResize() override { return vst3::kResultFalse; }
  vst3::tresult QL_VST3_CALL checkSizeConstraint(vst3::ViewRect* rect) override;

  // The run loop's calls: both serve the window.
  void QL_VST3_CALL onTimer() override;
  void QL_VST3_CALL onFDIsSet(vst3::FileDescriptor fd) override;

  TPluginEditorWindow* Window() const { return FWindow.get(); }

  // The editor's fixed size.
  static constexpr int kWidth = 1001;
  static constexpr int kHeight = 579;

private:
  ~TVst3View();
  void Register();
  void Unregister();

  std::atomic<vst3::uint32> FRefs{1};
  TVst3Plugin& FPlugin;
  vst3::IPlugFrame* FFrame = nullptr; // not held: the host keeps it while it is set
  vst3::IRunLoop* FRunLoop = nullptr; // held while registered
  bool FTimerRegistered = false;
  bool FEventsRegistered = false;
  std::unique_ptr<TPluginEditorWindow> FWindow;
};
