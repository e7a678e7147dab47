// What the editor window knows of the effect it shows: the one narrow view through which it
// reads and writes parameters. Every plug-in format that shows the editor implements it over
// what that format keeps of the effect's parameters.
//
// All calls come from the window's thread.
#pragma once

#include <cstdint>

class TEditorView {
public:
  // The parameter's value in its real units.
  virtual float ParameterReal(int32_t index) = 0;
  // The user set the parameter to `real` (real units) by a gesture: store it at once and let
  // the host know, as it learns of any change the user makes.
  virtual void SetParameterByGesture(int32_t index, float real) = 0;
  // Whether anything the window shows may have changed since the last call; the answer is
  // taken, so that only a change after this call sets it again.
  virtual bool TakeUpdate() = 0;

protected:
  ~TEditorView() = default;
};
