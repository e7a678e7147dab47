// Stands for the editor window until the window class exists: no window can be made, so
// effEditOpen answers 0 and the adapter stays closed.
#include "editor/uEditor.h"

TEditorForm* CreatePluginEditorWindow(void* /*parentWindow*/) {
  return nullptr;
}
