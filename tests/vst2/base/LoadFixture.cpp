// A minimal plug-in library built on the host-interface layer, so that a test can load it the
// way a host does and look at what loading did to the loading thread.
#include "vst2/base/DAudioEffectX.h"

namespace {

class TFixtureEffect : public AudioEffectX {
public:
  explicit TFixtureEffect(audioMasterCallback host) : AudioEffectX(host, 1, 1) {}
  void process(float**, float**, VstInt32) override {}
};

} // namespace

#ifdef _WIN32
#define QL_FIXTURE_EXPORT extern "C" __declspec(dllexport)
#else
#define QL_FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QL_FIXTURE_EXPORT AEffect* qlFixtureCreate(audioMasterCallback host) {
  return (new TFixtureEffect(host))->getAeffect();
}
