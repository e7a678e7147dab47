#include "platform/Backend.h"

#include "platform/HeadlessBackend.h"

namespace {
TPlatformBackend* gSelected = nullptr;
}

TPlatformBackend& PlatformBackend() {
  return gSelected ? *gSelected : THeadlessBackend::Instance();
}

void SelectPlatformBackend(TPlatformBackend* backend) {
  gSelected = backend;
}
