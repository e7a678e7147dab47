// Host-side view of an effect record for tests: the calls a host makes, spelled once.
#pragma once

#include "vst2/interface/DAEffectX.h"

#include <cstring>
#include <string>

namespace qltest {

struct TRecord {
  AEffect* E;

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) const {
    return E->dispatcher(E, opcode, index, value, ptr, opt);
  }
  std::string Text(VstInt32 opcode, VstInt32 index = 0) const {
    char buf[256];
    std::memset(buf, 0x7F, sizeof(buf));
    buf[sizeof(buf) - 1] = 0;
    Dispatch(opcode, index, 0, buf);
    return buf;
  }
  VstIntPtr CanDo(const char* s) const { return Dispatch(effCanDo, 0, 0, const_cast<char*>(s)); }
  void Set(VstInt32 index, float v) const { E->setParameter(E, index, v); }
  float Get(VstInt32 index) const { return E->getParameter(E, index); }
  void Replace(float** in, float** out, VstInt32 n) const { E->processReplacing(E, in, out, n); }
  void Accumulate(float** in, float** out, VstInt32 n) const { E->process(E, in, out, n); }
  void Close() const { Dispatch(effClose); }
};

} // namespace qltest
