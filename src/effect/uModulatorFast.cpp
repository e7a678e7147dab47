#include "effect/uModulatorKernel.h"

void ModulateFramesSse2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed) {
  ModulateFramesExact(f, 0, frames, subSamples, feedback, c, s, seed);
}

void ModulateFramesAvx2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed) {
  ModulateFramesExact(f, 0, frames, subSamples, feedback, c, s, seed);
}
