// Driving the editor without a display: a vendor-specific request through the effect record.
//
// A tool or a test that loads the plug-in library cannot reach the library's own window
// backend, so the plug-in answers effVendorSpecific (opcode 50) with index kEditorDriveIndex and
// `ptr` pointing at a TEditorDrive:
//   edcUseHeadless  before effEditOpen: Value 1 makes the editor windows this instance opens
//                   from then on live in the library's headless backend (in memory, no window
//                   system, a clock that moves only when told to); Value 0 goes back to the
//                   window system's. Other instances in the process are not affected.
//   edcPress, edcRelease, edcMove, edcLeave
//                   a pointer event at X, Y of the editor's client area, with Button (0 left,
//                   1 right, 2 middle), and in Shift the modifier keys (edsShift, edsAlt,
//                   edsCtrl) and the buttons held with the event (edsLeft, edsRight,
//                   edsMiddle) as the window system reports them: a press holds its own button
//                   as well, a release no longer holds its own, a move holds exactly the
//                   buttons named (a drag moves with edsLeft; a move without it after a press
//                   is one whose release went elsewhere). Two presses at one point without
//                   edcAdvance between them make a double click.
//   edcCaptureLost  the editor's window loses the pointer to another window (a host dialog
//                   took the capture): a drag on it ends without its release.
//   edcAdvance      moves the headless clock on by Milliseconds in 10 ms steps, serving posted
//                   messages, timers and paints after each step.
//   edcPixels       paints what is pending and copies the window's pixels into Pixels: 0x00RRGGBB
//                   per pixel, top row first, Width x Height of them at most (the caller's
//                   capacity); Width and Height come back as the window's size.
// The answer is 1 when the request was carried out, 0 otherwise (no editor open, or an editor
// that is not in the headless backend). Everything runs on the calling thread, which must be
// the one that opened the editor.
//
// This header is plain data so that hosts can include it without the rest of the editor.
#pragma once

#include <cstdint>

// 'QlEd', first character in the most significant byte.
constexpr int32_t kEditorDriveIndex = ('Q' << 24) | ('l' << 16) | ('E' << 8) | 'd';

enum TEditorDriveCommand : int32_t {
  edcUseHeadless = 1,
  edcPress = 2,
  edcRelease = 3,
  edcMove = 4,
  edcLeave = 5,
  edcAdvance = 6,
  edcPixels = 7,
  edcCaptureLost = 8,
};

enum : uint32_t {
  edsShift = 1,
  edsAlt = 2,
  edsCtrl = 4,
  edsLeft = 8,
  edsRight = 16,
  edsMiddle = 32,
};

struct TEditorDrive {
  int32_t Command = 0;
  int32_t Value = 0;
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Button = 0;
  uint32_t Shift = 0;
  uint32_t Milliseconds = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  uint32_t* Pixels = nullptr;
};
