// The library's entry. Windows exports it as `main` through Quantaloop.def; Linux exports it
// as VSTPluginMain, which Linux hosts look for first, and as `main` for the others.
#include "vst2/plugin/uPlugin.h"

#ifdef _WIN32
extern "C" AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
  return CreateQuantaloop(audioMaster);
}
#else
extern "C" __attribute__((visibility("default"))) AEffect*
VSTPluginMain(audioMasterCallback audioMaster) {
  return CreateQuantaloop(audioMaster);
}

// A C++ function cannot be called main; the symbol gets the name through its assembler label.
extern "C" __attribute__((visibility("default"))) AEffect*
VSTPluginMainLegacy(audioMasterCallback audioMaster) __asm__("main");

extern "C" AEffect* VSTPluginMainLegacy(audioMasterCallback audioMaster) {
  return CreateQuantaloop(audioMaster);
}
#endif
