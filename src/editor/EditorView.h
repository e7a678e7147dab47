// What the editor window knows of the plug-in it shows: the one narrow view through which it
// reads parameters and changes them by the user's gestures. Every plug-in format that shows the
// editor implements it over what that format keeps of the parameters, and tells its host of a
// gesture in the format's own words.
//
// A gesture is the user holding one control: BeginGesture when the user takes hold of it (a
// press on a number, a click on a switch), the values it sets, EndGesture when the user lets go
// (the release, or a drag that ended without one). Hosts that record touch automation follow
// the parameter's lane between the two. The window holds at most one gesture at a time and
// ends each one it began, also when it closes.
//
// All calls come from the window's thread.
#pragma once

#include <cstdint>

class TEditorView {
public:
  // The parameter's value in its real units.
  virtual float ParameterReal(int32_t index) = 0;
  // The user took hold of the parameter's control.
  virtual void BeginGesture(int32_t index) = 0;
  // The user set the parameter to `real` (real units) within a gesture: store it at once and
  // let the host know, as it learns of any change the user makes.
  virtual void SetParameterByGesture(int32_t index, float real) = 0;
  // The user let go of the parameter's control.
  virtual void EndGesture(int32_t index) = 0;
  // Whether anything the window shows may have changed since the last call; the answer is
  // taken, so that only a change after this call sets it again.
  virtual bool TakeUpdate() = 0;

protected:
  ~TEditorView() = default;
};
