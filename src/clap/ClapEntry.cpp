// The library's one export: the entry record hosts look up by name, with the factory of the one
// plug-in it holds.
#include "clap/ClapPlugin.h"

#include "core/uIdentity.h"

#include <cstring>

namespace {

uint32_t CLAP_CALL PluginCount(const clap::plugin_factory*) {
  return 1;
}

const clap::plugin_descriptor* CLAP_CALL PluginDescriptor(const clap::plugin_factory*,
                                                          uint32_t index) {
  return index == 0 ? &clapq::Descriptor() : nullptr;
}

const clap::plugin* CLAP_CALL CreatePlugin(const clap::plugin_factory*, const clap::host* host,
                                           const char* id) {
  if (!id || std::strcmp(id, kClapId) != 0) return nullptr;
  return clapq::CreatePlugin(host);
}

const clap::plugin_factory kFactory = {PluginCount, PluginDescriptor, CreatePlugin};

// Nothing to set up: every instance carries what it needs.
bool CLAP_CALL Init(const char*) {
  return true;
}

void CLAP_CALL Deinit() {}

const void* CLAP_CALL Factory(const char* id) {
  return id && std::strcmp(id, clap::kPluginFactoryId) == 0 ? &kFactory : nullptr;
}

} // namespace

// Windows exports it through Quantaloop.def, Linux through its visibility and exports.map.
extern "C" {
#if defined(_WIN32)
extern const clap::plugin_entry clap_entry;
#else
extern __attribute__((visibility("default"))) const clap::plugin_entry clap_entry;
#endif
const clap::plugin_entry clap_entry = {clap::kVersion, Init, Deinit, Factory};
}
