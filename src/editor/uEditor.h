// The effect's editor window class.
#pragma once

#include "template/DVstTemplate.h"

// Creates the editor window as a child of parentWindow; null when no window can be made there.
TEditorForm* CreatePluginEditorWindow(void* parentWindow);
