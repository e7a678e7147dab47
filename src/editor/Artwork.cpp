#include "editor/Artwork.h"

#include <iterator>

namespace {

#include "ArtworkData.inc"

constexpr TArtwork kItems[] = {
    {"Trunc", kTrunc, sizeof(kTrunc)},
    {"ErrorFeedback", kErrorFeedback, sizeof(kErrorFeedback)},
    {"Dither", kDither, sizeof(kDither)},
    {"OrvaneLogo", kOrvaneLogo, sizeof(kOrvaneLogo)},
};

} // namespace

const TArtwork* ArtworkItems(size_t& count) {
  count = std::size(kItems);
  return kItems;
}
