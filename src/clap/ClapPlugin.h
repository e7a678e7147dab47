// The effect as a CLAP plug-in: the core's block, split where the host's parameter events fall,
// its note echo in both note dialects, its state blob, and the editor in the host's window.
#pragma once

#include "clap/ClapInterface.h"

namespace clapq {

// The descriptor every instance and the factory answer.
const clap::plugin_descriptor& Descriptor();

// A new instance for `host`, or null (no host, or no memory). Never throws.
const clap::plugin* CreatePlugin(const clap::host* host) noexcept;

} // namespace clapq
