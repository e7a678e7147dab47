// Who the plug-in is, written once: its names, its one version (the project's, handed in by the
// build) and the identifier each plug-in format knows it by. Every format and the packages read
// them from here.
#pragma once

#include <cstdint>

#if !defined(QL_VERSION_MAJOR) || !defined(QL_VERSION_MINOR) || !defined(QL_VERSION_MICRO)
#error "the build names the project's version (QL_VERSION_MAJOR, _MINOR, _MICRO)"
#endif

struct TVersion {
  int32_t Major, Minor, Micro;
};

inline constexpr const char* kPluginName = "Quantaloop";
inline constexpr const char* kVendorName = "Brennholt";
inline constexpr TVersion kVersion{QL_VERSION_MAJOR, QL_VERSION_MINOR, QL_VERSION_MICRO};

// VST 2: the unique id as four characters, and the vendor version, which hosts show as one
// whole number: the major version.
inline constexpr char kVst2UniqueId[5] = "QtLp";
inline constexpr int32_t kVst2VendorVersion = kVersion.Major;

// LV2: the plug-in, its user interface and its project. A bundle's version is minor.micro; a
// new major version would be a new plug-in URI.
inline constexpr const char* kLv2PluginUri = "urn:quantaloop:plugin";
inline constexpr const char* kLv2UiUri = "urn:quantaloop:plugin#ui";
inline constexpr const char* kLv2ProjectUri = "urn:quantaloop:project";
inline constexpr int32_t kLv2MinorVersion = kVersion.Minor;
inline constexpr int32_t kLv2MicroVersion = kVersion.Micro;

// CLAP: the plug-in's id.
inline constexpr const char* kClapId = "org.quantaloop.quantaloop";

// VST 3: the class ids of the processor component and of its edit controller, as four 32-bit
// words, first word first; each platform lays the words out in its own byte order.
struct TClassId {
  uint32_t Words[4];
};
inline constexpr TClassId kVst3ComponentId{{0x907E5D53u, 0x352BFAB7u, 0xBE014B79u, 0x4DA15EC9u}};
inline constexpr TClassId kVst3ControllerId{{0x9D3BA649u, 0xD06A7610u, 0x5DCABBE0u, 0x7873E291u}};
