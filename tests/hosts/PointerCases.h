// The pointer cases of the Windows test hosts, one set for every plug-in format: what a host
// that is not polite does to the editor's pointer. Each format's host opens instances with
// their editors in top-level windows of ours and reads back the oversampling number and the
// edits it heard; these cases move and press through SendInput, the system's own input path
// (so TrackMouseEvent, capture and the MK_ flags of the messages are the window system's), and
// send the editor's window messages of its own.
//
//   1. A press on the upper half of the oversampling number, then the host takes the capture
//      (as a host dialog does), the release goes to the host, the host lets go, and the pointer
//      moves up over the number three times: the number stays where the press put it.
//   2. The same drag lost three other ways, with messages sent straight to the editor's
//      window: moves whose MK_ flags hold no button; WM_CAPTURECHANGED, then moves that still
//      hold the button; WM_CANCELMODE, then such moves.
//      Every lost drag reaches the host as one whole edit, ended when it was lost.
//   3. Two editors of two instances at once, the pointer resting on one when it closes (each
//      order): the other still shows its hints, highlights its logo under the pointer and gets
//      WM_MOUSELEAVE when the pointer leaves it, and its logo takes back its own opacity.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qlhosts {

constexpr int kEditorWidth = 1001;
constexpr int kEditorHeight = 579;

// One format's host of editors. Slots count from 0 in the order of Open.
class TPointerHost {
public:
  virtual ~TPointerHost() = default;
  // Creates an instance and opens its editor in a new top-level host window at left, top (its
  // client area the editor's size, the editor at its origin). The slot is taken even when no
  // editor opened; answers whether one did.
  virtual bool Open(int left, int top) = 0;
  virtual HWND Host(size_t slot) const = 0;
  virtual HWND Editor(size_t slot) const = 0;
  virtual float Oversampling(size_t slot) = 0;
  // What the host heard of the slot's edits since the last clear, in the format's words, and
  // what it should have heard of one whole edit that set the oversampling number to `value`.
  virtual void ClearEdits(size_t slot) = 0;
  virtual std::string Edits(size_t slot) = 0;
  virtual std::string WholeEdit(float value) const = 0;
  virtual void CloseEditor(size_t slot) = 0;
  // Closes every slot's editor, window and instance; the next Open takes slot 0.
  virtual void CloseAll() = 0;
};

// The host windows of a format's TPointerHost: a window class of its own for the time it lives,
// and top-level windows of the editor's size that stay above the others, with a pointer of the
// host's for their window procedure.
class THostWindows {
public:
  THostWindows(const wchar_t* className, WNDPROC proc);
  ~THostWindows();
  THostWindows(const THostWindows&) = delete;
  THostWindows& operator=(const THostWindows&) = delete;
  HWND Create(int left, int top, void* userData) const;

private:
  const wchar_t* FClassName;
  bool FRegistered = false;
};

// Runs the cases above, printing "ok   ..." or "FAIL ..." lines; answers the failures.
int RunPointerCases(TPointerHost& host);

// A rectangle of a device context through a top-down 32-bit DIB section, 0x00RRGGBB, top row
// first; empty when the system would not copy it. WindowPixels: the window's client area.
std::vector<uint32_t> DcPixels(HDC source, int x, int y, int width, int height);
std::vector<uint32_t> WindowPixels(HWND window, int width, int height);

} // namespace qlhosts
