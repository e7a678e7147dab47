#include "platform/BackendX11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
// Types only: the functions come from libXext at run time (TShmLibrary).
#include <X11/extensions/XShm.h>
#include <dlfcn.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdlib>

namespace {

// The error of the last of our requests that failed; 0 when none did. Only our own calls run
// with TErrorTrap installed, so only our connections' errors land here.
int gLastError = 0;

int RecordError(Display*, XErrorEvent* e) {
  gLastError = e->error_code;
  return 0;
}

// Our error handler for the lifetime of the trap, the previous one (the host's) afterwards.
class TErrorTrap {
public:
  TErrorTrap() : FPrevious(XSetErrorHandler(RecordError)) { gLastError = 0; }
  ~TErrorTrap() { XSetErrorHandler(FPrevious); }
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
  // Waits for the server to answer everything sent so far; true when none of it failed.
  bool Sync(Display* display) {
    XSync(display, False);
    return gLastError == 0;
  }

private:
  int (*FPrevious)(Display*, XErrorEvent*);
};

// The shared-memory transfer of libXext, looked up once per process. The plug-in may not depend
// on libXext, so a system without it simply transfers through XPutImage. The library stays
// loaded once found: a connection that used the extension calls back into it when it closes,
// and the extension's own records of the process live in it.
struct TShmLibrary {
  Bool (*QueryExtension)(Display*) = nullptr;
  int (*GetEventBase)(Display*) = nullptr;
  XImage* (*CreateImage)(Display*, Visual*, unsigned, int, char*, XShmSegmentInfo*, unsigned,
                         unsigned) = nullptr;
  Bool (*Attach)(Display*, XShmSegmentInfo*) = nullptr;
  Bool (*Detach)(Display*, XShmSegmentInfo*) = nullptr;
  Bool (*PutImage)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned, unsigned,
                   Bool) = nullptr;
  bool Loaded = false;
};

template <typename T> bool Resolve(void* library, const char* name, T& function) {
  function = reinterpret_cast<T>(dlsym(library, name));
  return function != nullptr;
}

const TShmLibrary& ShmLibrary() {
  static const TShmLibrary library = [] {
    TShmLibrary l;
    void* h = dlopen("libXext.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!h) return l;
    l.Loaded = Resolve(h, "XShmQueryExtension", l.QueryExtension) &&
               Resolve(h, "XShmGetEventBase", l.GetEventBase) &&
               Resolve(h, "XShmCreateImage", l.CreateImage) && Resolve(h, "XShmAttach", l.Attach) &&
               Resolve(h, "XShmDetach", l.Detach) && Resolve(h, "XShmPutImage", l.PutImage);
    if (!l.Loaded) dlclose(h);
    return l;
  }();
  return library;
}

// Shared memory only means the same memory when the server runs on this machine: a connection
// through a Unix socket. Over TCP (a remote display, a forwarded one) a segment id could name
// some other segment of the server's machine.
bool LocalConnection(Display* dpy) {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if (getsockname(ConnectionNumber(dpy), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return false;
  return address.ss_family == AF_UNIX;
}

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The keys and buttons an event's state says are held. The state is the one before the event:
// a press or release of a button changes it only for the events after.
TShiftState ShiftOf(unsigned state) {
  TShiftState shift;
  if (state & ShiftMask) shift.Include(ssShift);
  if (state & Mod1Mask) shift.Include(ssAlt);
  if (state & ControlMask) shift.Include(ssCtrl);
  if (state & Button1Mask) shift.Include(ssLeft);
  if (state & Button2Mask) shift.Include(ssMiddle);
  if (state & Button3Mask) shift.Include(ssRight);
  return shift;
}

// The first set bit of a colour mask and the number of bits in it.
void MaskShape(unsigned long mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (!mask) return;
  while (!(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++bits;
  }
}

unsigned long ScaleChannel(uint32_t value8, const int shift, const int bits) {
  const unsigned long v = bits >= 8 ? (value8 << (bits - 8)) : (value8 >> (8 - bits));
  return v << shift;
}

} // namespace

struct TX11Backend::TWindow {
  TWindowClient* Client = nullptr;
  Display* Dpy = nullptr;
  Window Id = 0;
  GC Gc = nullptr;
  Visual* Vis = nullptr;
  int Depth = 0;
  int Width = 0;
  int Height = 0;
  // The server's pixels are 0x00RRGGBB in 32 bits: our pictures go out as they are.
  bool DirectPixels = false;
  bool Destroyed = false; // the server destroyed it (its parent went)
  int Presents = 0;
  TRect Exposed;
  std::vector<uint32_t> Scratch;
  // Shared-memory transfer: possible on this connection; the image of the window's size in
  // the attached segment while there is one; the server still reading from it (a completion
  // event of type ShmCompletionType is due).
  bool ShmPossible = false;
  bool ShmUsed = false;
  bool ShmBusy = false;
  int ShmCompletionType = 0;
  XImage* ShmImage = nullptr;
  XShmSegmentInfo ShmInfo{};

  void WaitForShm();
  void ReleaseShm();
  bool CreateShm();
};

// The server has finished with the segment once it has answered everything sent before; the
// completion event of the last transfer is then in the queue, or never comes (the transfer
// failed), and goes either way. One round trip to a local server.
void TX11Backend::TWindow::WaitForShm() {
  if (!ShmBusy) return;
  XEvent e;
  if (!XCheckTypedEvent(Dpy, ShmCompletionType, &e)) {
    XSync(Dpy, False);
    XCheckTypedEvent(Dpy, ShmCompletionType, &e);
  }
  ShmBusy = false;
}

// Detaches and frees the segment; the server lets go of it before the memory goes.
void TX11Backend::TWindow::ReleaseShm() {
  if (!ShmImage) return;
  WaitForShm();
  ShmLibrary().Detach(Dpy, &ShmInfo);
  XSync(Dpy, False);
  ShmImage->data = nullptr;
  XDestroyImage(ShmImage);
  ShmImage = nullptr;
  shmdt(ShmInfo.shmaddr);
  ShmInfo = XShmSegmentInfo{};
}

// A segment for a picture of the window's size, attached by the server; false, with nothing
// left behind, when the server cannot attach it (another machine's or container's memory).
// The image keeps a pointer to ShmInfo, which therefore lives in the window. Runs inside the
// caller's error trap.
bool TX11Backend::TWindow::CreateShm() {
  const TShmLibrary& shm = ShmLibrary();
  ShmInfo = XShmSegmentInfo{};
  XImage* image =
      shm.CreateImage(Dpy, Vis, static_cast<unsigned>(Depth), ZPixmap, nullptr, &ShmInfo,
                      static_cast<unsigned>(Width), static_cast<unsigned>(Height));
  if (!image) return false;
  // Our words go into the segment as they are: the server must read them in this machine's
  // byte order, which a server on this machine does.
  const int native = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
  if (image->bits_per_pixel != 32 || image->byte_order != native) {
    XDestroyImage(image);
    return false;
  }
  const size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(Height);
  ShmInfo.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  void* address =
      ShmInfo.shmid < 0 ? reinterpret_cast<void*>(-1) : shmat(ShmInfo.shmid, nullptr, 0);
  bool attached = false;
  if (address != reinterpret_cast<void*>(-1)) {
    ShmInfo.shmaddr = static_cast<char*>(address);
    ShmInfo.readOnly = False;
    image->data = ShmInfo.shmaddr;
    gLastError = 0;
    attached = shm.Attach(Dpy, &ShmInfo) && (XSync(Dpy, False), gLastError == 0);
    gLastError = 0;
  }
  // Marked for removal at once: the segment goes when the last of us and the server detaches,
  // however the process ends.
  if (ShmInfo.shmid >= 0) shmctl(ShmInfo.shmid, IPC_RMID, nullptr);
  if (!attached) {
    image->data = nullptr;
    XDestroyImage(image);
    if (ShmInfo.shmaddr) shmdt(ShmInfo.shmaddr);
    ShmInfo = XShmSegmentInfo{};
    return false;
  }
  ShmImage = image;
  return true;
}

TX11Backend& TX11Backend::Instance() {
  static TX11Backend backend;
  return backend;
}

TPlatformBackend& NativePlatformBackend() {
  return TX11Backend::Instance();
}

TX11Backend::TWindow* TX11Backend::Find(TWindowHandle window) const {
  auto it = FWindows.find(window);
  return it == FWindows.end() ? nullptr : it->second.get();
}

TWindowHandle TX11Backend::OpenWindow(uintptr_t parent, int x, int y, int width, int height,
                                      TWindowClient* client) {
  if (!client || width <= 0 || height <= 0) return 0;
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return 0;

  auto w = std::make_unique<TWindow>();
  w->Client = client;
  w->Dpy = dpy;
  {
    TErrorTrap trap;
    const Window parentId = parent ? static_cast<Window>(parent) : DefaultRootWindow(dpy);
    XWindowAttributes pa{};
    if (!XGetWindowAttributes(dpy, parentId, &pa) || !trap.Sync(dpy)) {
      XCloseDisplay(dpy);
      return 0;
    }
    // The child takes the parent's visual and depth, so it may sit in any parent.
    w->Vis = pa.visual;
    w->Depth = pa.depth;
    w->Width = width;
    w->Height = height;
    XSetWindowAttributes attrs{};
    attrs.background_pixmap = None;
    attrs.border_pixel = 0;
    attrs.colormap = pa.colormap;
    attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                       EnterWindowMask | LeaveWindowMask | StructureNotifyMask;
    w->Id = XCreateWindow(dpy, parentId, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, pa.depth, InputOutput, pa.visual,
                          CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attrs);
    w->Gc = XCreateGC(dpy, w->Id, 0, nullptr);
    XMapWindow(dpy, w->Id);
    if (!trap.Sync(dpy)) {
      // Whatever was made goes with the connection.
      XCloseDisplay(dpy);
      return 0;
    }
    w->DirectPixels = (pa.depth == 24 || pa.depth == 32) && pa.visual->red_mask == 0xFF0000 &&
                      pa.visual->green_mask == 0xFF00 && pa.visual->blue_mask == 0xFF;
    // QL_X11_NO_SHM=1 in the environment forces the plain transfer (the tests compare both).
    const char* noShm = std::getenv("QL_X11_NO_SHM");
    const TShmLibrary& shm = ShmLibrary();
    if (w->DirectPixels && !(noShm && *noShm && *noShm != '0') && shm.Loaded &&
        LocalConnection(dpy) && shm.QueryExtension(dpy)) {
      w->ShmPossible = true;
      w->ShmCompletionType = shm.GetEventBase(dpy) + ShmCompletion;
    }
    if (const char* t = XGetDefault(dpy, "quantaloop", "multiClickTime")) {
      const long ms = std::strtol(t, nullptr, 10);
      if (ms > 0 && ms < 5000) FDoubleClickTime = static_cast<uint32_t>(ms);
    }
  }
  const TWindowHandle handle = FNextWindow++;
  FWindows[handle] = std::move(w);
  return handle;
}

void TX11Backend::CloseWindow(TWindowHandle window) {
  auto it = FWindows.find(window);
  if (it == FWindows.end()) return;
  TWindow& w = *it->second;
  {
    TErrorTrap trap;
    w.ReleaseShm();
    XFreeGC(w.Dpy, w.Gc);
    if (!w.Destroyed) XDestroyWindow(w.Dpy, w.Id);
    trap.Sync(w.Dpy);
    XCloseDisplay(w.Dpy);
  }
  FWindows.erase(it);
  std::erase_if(FMessages, [window](const TQueued& q) { return q.Window == window; });
  FSchedule.RemoveWindow(window);
}

void TX11Backend::MoveWindow(TWindowHandle window, int x, int y, int width, int height) {
  TWindow* w = Find(window);
  if (!w || w->Destroyed || width <= 0 || height <= 0) return;
  TErrorTrap trap;
  XMoveResizeWindow(w->Dpy, w->Id, x, y, static_cast<unsigned>(width),
                    static_cast<unsigned>(height));
  // The segment holds a picture of the old size; the next transfer makes one of the new.
  if (width != w->Width || height != w->Height) w->ReleaseShm();
  w->Width = width;
  w->Height = height;
  trap.Sync(w->Dpy);
}

uintptr_t TX11Backend::NativeHandle(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w ? static_cast<uintptr_t>(w->Id) : 0;
}

int TX11Backend::EventDescriptor(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w && w->Dpy ? ConnectionNumber(w->Dpy) : -1;
}

bool TX11Backend::Post(TWindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (!Find(window)) return false;
  FMessages.push_back(TQueued{window, msg, wParam, lParam});
  return true;
}

uintptr_t TX11Backend::StartTimer(TWindowHandle window, uint32_t intervalMs) {
  return Find(window) ? FSchedule.StartTimer(window, intervalMs, NowMs()) : 0;
}

void TX11Backend::StopTimer(TWindowHandle window, uintptr_t timerId) {
  FSchedule.StopTimer(window, timerId);
}

void TX11Backend::RequestPaint(TWindowHandle window, const TRect&) {
  if (Find(window)) FSchedule.RequestPaint(window);
}

void TX11Backend::Present(TWindowHandle window, const TBitmap32& picture, const TRect& source,
                          int x, int y) {
  TWindow* w = Find(window);
  if (!w || w->Destroyed) return;
  ++w->Presents;
  const TTransferArea area = ClipTransfer(picture, source, x, y, w->Width, w->Height);
  const TRect& src = area.Source;
  if (src.IsEmpty()) return;
  const int cw = src.Width();
  const int ch = src.Height();
  const int left = area.X;
  const int top = area.Y;

  TErrorTrap trap;
  if (w->ShmPossible && !w->ShmImage && !w->CreateShm()) w->ShmPossible = false;
  if (w->ShmImage) {
    // The rectangle goes to its place in the window-sized picture of the segment, once the
    // server has finished reading the previous one from it.
    w->WaitForShm();
    const size_t stride = static_cast<size_t>(w->ShmImage->bytes_per_line) / 4;
    auto* pixels = reinterpret_cast<uint32_t*>(w->ShmImage->data);
    for (int row = 0; row < ch; ++row)
      std::copy(picture.Row(src.Top + row) + src.Left, picture.Row(src.Top + row) + src.Right,
                pixels + static_cast<size_t>(top + row) * stride + left);
    ShmLibrary().PutImage(w->Dpy, w->Id, w->Gc, w->ShmImage, left, top, left, top,
                          static_cast<unsigned>(cw), static_cast<unsigned>(ch), True);
    w->ShmBusy = true;
    w->ShmUsed = true;
    XFlush(w->Dpy);
    return;
  }

  // Top-down rows of the rectangle, in a buffer the window keeps for the next transfer.
  w->Scratch.resize(static_cast<size_t>(cw) * static_cast<size_t>(ch));
  for (int row = 0; row < ch; ++row)
    std::copy(picture.Row(src.Top + row) + src.Left, picture.Row(src.Top + row) + src.Right,
              w->Scratch.begin() + static_cast<ptrdiff_t>(row) * cw);

  XImage* image = XCreateImage(w->Dpy, w->Vis, static_cast<unsigned>(w->Depth), ZPixmap, 0,
                               reinterpret_cast<char*>(w->Scratch.data()),
                               static_cast<unsigned>(cw), static_cast<unsigned>(ch), 32, cw * 4);
  if (!image) return;
  if (w->DirectPixels && image->bits_per_pixel == 32) {
    // Our words in this machine's byte order; Xlib swaps when the server's order differs.
    image->byte_order = LSBFirst;
    image->bitmap_bit_order = LSBFirst;
  } else {
    // Other visuals: convert pixel by pixel into a buffer of the image's own layout.
    int rs, rb, gs, gb, bs, bb;
    MaskShape(w->Vis->red_mask, rs, rb);
    MaskShape(w->Vis->green_mask, gs, gb);
    MaskShape(w->Vis->blue_mask, bs, bb);
    std::vector<uint32_t> source32 = w->Scratch;
    const size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(ch);
    w->Scratch.assign((bytes + 3) / 4, 0);
    image->data = reinterpret_cast<char*>(w->Scratch.data());
    for (int row = 0; row < ch; ++row)
      for (int col = 0; col < cw; ++col) {
        const uint32_t p = source32[static_cast<size_t>(row) * cw + col];
        XPutPixel(image, col, row,
                  ScaleChannel((p >> 16) & 0xFF, rs, rb) | ScaleChannel((p >> 8) & 0xFF, gs, gb) |
                      ScaleChannel(p & 0xFF, bs, bb));
      }
  }
  XPutImage(w->Dpy, w->Id, w->Gc, image, 0, 0, left, top, static_cast<unsigned>(cw),
            static_cast<unsigned>(ch));
  // The pixels belong to the window's buffer, not to the image.
  image->data = nullptr;
  XDestroyImage(image);
  XFlush(w->Dpy);
}

// The server grabs the pointer for a window on a press and lets go on the release (the implicit
// grab), so a drag's motion reaches the window without a request of ours; a grab taken by
// another client ends the drag through the crossing it sends.
void TX11Backend::CapturePointer(TWindowHandle) {}

void TX11Backend::ReleasePointer(TWindowHandle) {}

int TX11Backend::PresentCount(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w ? w->Presents : 0;
}

bool TX11Backend::PresentsThroughSharedMemory(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w && w->ShmUsed;
}

// Whether the window and all its ancestors are mapped. One round trip.
bool TX11Backend::Viewable(const TWindow& w) {
  TErrorTrap trap;
  XWindowAttributes a{};
  return XGetWindowAttributes(w.Dpy, w.Id, &a) != 0 && a.map_state == IsViewable;
}

void TX11Backend::PumpEvents(TWindowHandle handle) {
  for (;;) {
    TWindow* w = Find(handle);
    if (!w || w->Destroyed) return;
    XEvent e;
    {
      TErrorTrap trap;
      // XPending reads what has arrived and never waits for more.
      if (XPending(w->Dpy) == 0) return;
      XNextEvent(w->Dpy, &e);
    }
    if (w->ShmPossible && e.type == w->ShmCompletionType) {
      w->ShmBusy = false;
      continue;
    }
    TPointerEvent p;
    switch (e.type) {
    case Expose:
      w->Exposed = w->Exposed.Union(
          TRect::FromSize(e.xexpose.x, e.xexpose.y, e.xexpose.width, e.xexpose.height));
      if (e.xexpose.count == 0) {
        const TRect exposed = w->Exposed;
        w->Exposed = TRect{};
        w->Client->HandlePaint(exposed);
      }
      continue;
    case DestroyNotify:
      if (e.xdestroywindow.window == w->Id) w->Destroyed = true;
      continue;
    case UnmapNotify:
      // An unmapped window loses the pointer grab of a drag; its release goes elsewhere.
      if (e.xunmap.window != w->Id) continue;
      p.Kind = TPointerKind::CaptureLost;
      break;
    case ButtonPress:
    case ButtonRelease:
      // Buttons 4 to 7 are the wheel's steps.
      if (e.xbutton.button < Button1 || e.xbutton.button > Button3) continue;
      p.Kind = e.type == ButtonPress ? TPointerKind::Press : TPointerKind::Release;
      p.Button = e.xbutton.button == Button1   ? mbLeft
                 : e.xbutton.button == Button2 ? mbMiddle
                                               : mbRight;
      p.Shift = ShiftOf(e.xbutton.state);
      if (p.Kind == TPointerKind::Press)
        p.Shift.Include(ButtonShift(p.Button));
      else
        p.Shift.Exclude(ButtonShift(p.Button));
      p.X = e.xbutton.x;
      p.Y = e.xbutton.y;
      p.TimeMs = e.xbutton.time;
      break;
    case MotionNotify:
      p.Kind = TPointerKind::Move;
      p.Shift = ShiftOf(e.xmotion.state);
      p.X = e.xmotion.x;
      p.Y = e.xmotion.y;
      p.TimeMs = e.xmotion.time;
      break;
    case EnterNotify:
      p.Kind = TPointerKind::Enter;
      p.Shift = ShiftOf(e.xcrossing.state);
      p.X = e.xcrossing.x;
      p.Y = e.xcrossing.y;
      p.TimeMs = e.xcrossing.time;
      break;
    case LeaveNotify:
      // Into a child of ours is not out of the window.
      if (e.xcrossing.detail == NotifyInferior) continue;
      // A grab changed hands (another client took the pointer, the server ended ours), or the
      // window left because it is no longer viewable (the host unmapped its window), which
      // ends our grab too. Either way a drag's release will not come here.
      if (e.xcrossing.mode == NotifyGrab || e.xcrossing.mode == NotifyUngrab || !Viewable(*w)) {
        TPointerEvent lost;
        lost.Kind = TPointerKind::CaptureLost;
        lost.TimeMs = e.xcrossing.time;
        w->Client->HandlePointer(lost);
        if (!Find(handle)) return;
      }
      p.Kind = TPointerKind::Leave;
      p.TimeMs = e.xcrossing.time;
      break;
    default:
      continue;
    }
    w->Client->HandlePointer(p);
  }
}

void TX11Backend::Pump() {
  std::vector<TWindowHandle> handles;
  for (const auto& [handle, w] : FWindows)
    handles.push_back(handle);
  for (TWindowHandle handle : handles)
    PumpEvents(handle);

  // Messages posted while these are delivered wait for the next pump.
  std::deque<TQueued> due;
  due.swap(FMessages);
  for (const TQueued& q : due)
    if (TWindow* w = Find(q.Window)) w->Client->HandlePosted(q.Msg, q.WParam, q.LParam);

  FSchedule.FireTimers(NowMs(), [this](TWindowHandle window, uintptr_t id) {
    if (TWindow* w = Find(window)) w->Client->HandleTimer(id);
  });
  FSchedule.ServePaints([this](TWindowHandle window) {
    if (TWindow* w = Find(window)) w->Client->HandlePaint(TRect{});
  });
}
