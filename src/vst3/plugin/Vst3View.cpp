#include "vst3/plugin/Vst3View.h"

#include "editor/uEditor.h"
#include "vst3/plugin/Vst3Plugin.h"

#include <cstring>

using namespace vst3;

namespace {

#ifdef _WIN32
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif
// How often the run loop pumps the window: often enough for a drag to follow the pointer; the
// window's own timers run by its clock within the pumps.
constexpr TimerInterval kPumpMs = 20;

} // namespace

TVst3View::TVst3View(TVst3Plugin& plugin) : FPlugin(plugin) {
  FPlugin.addRef();
}

TVst3View::~TVst3View() {
  removed();
  FPlugin.release();
}

tresult TVst3View::queryInterface(const char* iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPlugViewIid))
    *obj = static_cast<IPlugView*>(this);
  else if (SameUid(iid, kITimerHandlerIid))
    *obj = static_cast<ITimerHandler*>(this);
  else if (SameUid(iid, kIEventHandlerIid))
    *obj = static_cast<IEventHandler*>(this);
  else
    return kNoInterface;
  addRef();
  return kResultOk;
}

uint32 TVst3View::addRef() {
  return ++FRefs;
}

uint32 TVst3View::release() {
  const uint32 left = --FRefs;
  if (left == 0) delete this;
  return left;
}

tresult TVst3View::isPlatformTypeSupported(FIDString type) {
  return type && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
}

tresult TVst3View::attached(void* parent, FIDString type) {
  if (FWindow) return kResultFalse;
  if (!FPlugin.HeadlessEditor() && (!parent || isPlatformTypeSupported(type) != kResultTrue))
    return kInvalidArgument;
  FWindow = CreatePluginEditorWindow(parent, FPlugin.HeadlessEditor());
  if (!FWindow) return kResultFalse;
  FWindow->SetBounds(0, 0, kWidth, kHeight);
  FWindow->Link(&FPlugin);
  FPlugin.ViewOpened(this);
  Register();
  return kResultOk;
}

tresult TVst3View::removed() {
  Unregister();
  if (!FWindow) return kResultFalse;
  FPlugin.ViewClosed(this);
  // The window ends a gesture under way through the plug-in, which this view still holds.
  FWindow.reset();
  return kResultOk;
}

tresult TVst3View::getSize(ViewRect* size) {
  if (!size) return kInvalidArgument;
  *size = {0, 0, kWidth, kHeight};
  return kResultOk;
}

tresult TVst3View::onSize(ViewRect* newSize) {
  if (!newSize) return kInvalidArgument;
  // Not resizable: any other size is the host's mistake, answered with ours.
  return newSize->right - newSize->left == kWidth && newSize->bottom - newSize->top == kHeight
             ? kResultOk
             : kResultFalse;
}

tresult TVst3View::checkSizeConstraint(ViewRect* rect) {
  if (!rect) return kInvalidArgument;
  rect->right = rect->left + kWidth;
  rect->bottom = rect->top + kHeight;
  return kResultOk;
}

tresult TVst3View::setFrame(IPlugFrame* frame) {
  if (frame != FFrame) Unregister();
  FFrame = frame;
  if (FWindow) Register();
  return kResultOk;
}

void TVst3View::onTimer() {
  if (FWindow) FWindow->Idle();
}

void TVst3View::onFDIsSet(FileDescriptor) {
  if (FWindow) FWindow->Idle();
}

void TVst3View::Register() {
#ifndef _WIN32
  if (FRunLoop || !FFrame || !FWindow) return;
  void* loop = nullptr;
  if (FFrame->queryInterface(kIRunLoopIid.Bytes, &loop) != kResultOk || !loop) return;
  FRunLoop = static_cast<IRunLoop*>(loop);
  FTimerRegistered = FRunLoop->registerTimer(this, kPumpMs) == kResultOk;
  const int fd = FWindow->EventDescriptor();
  if (fd >= 0) FEventsRegistered = FRunLoop->registerEventHandler(this, fd) == kResultOk;
#endif
}

void TVst3View::Unregister() {
  if (!FRunLoop) return;
  if (FEventsRegistered) FRunLoop->unregisterEventHandler(this);
  if (FTimerRegistered) FRunLoop->unregisterTimer(this);
  FEventsRegistered = FTimerRegistered = false;
  FRunLoop->release();
  FRunLoop = nullptr;
}
