// Driving the editor without a display, for tools and tests that load the VST 3 library: the
// plug-in object answers queryInterface for this interface of its own, which carries the
// requests of editor/EditorDrive.h (edcUseHeadless before createView/attached, the others on the
// open editor) with the same answers: 1 when carried out, 0 otherwise.
#pragma once

#include "editor/EditorDrive.h"
#include "vst3/interface/Vst3Interface.h"

namespace vst3 {

inline constexpr TUid kIQuantaloopEditorDriveIid =
    MakeUid(0x26C00F2F, 0x1CFD4D78, 0xB58367CC, 0x7A7396A2);

class IQuantaloopEditorDrive : public FUnknown {
public:
  virtual int32 QL_VST3_CALL driveEditor(TEditorDrive* drive) = 0;
};

} // namespace vst3
