// The editor's four pictures, embedded in the library as stored picture data ("DIBCMP" header,
// packed by the skin's LZH compressor). Load one with TAbstractSuperDIB::LoadFromData, which
// finds the decompressor through the skin's registry.
#pragma once

#include <cstddef>

struct TArtwork {
  const char* DisplayName; // the image list item's name
  const unsigned char* Data;
  size_t Size;
};

// The pictures in image-list order: "Trunc", "ErrorFeedback", "Dither", "OrvaneLogo".
const TArtwork* ArtworkItems(size_t& count);
