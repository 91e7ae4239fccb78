#pragma once

#include <QByteArray>

#include "gateway/statusjson.h"

namespace tamarin::gateway {

struct BannerLayout {
    bool details = false;  // the player rows are shown
    int rows = 0;          // how many rows the expanded banner has room for
};

// The largest row count a banner is drawn with.
inline constexpr int kMaxBannerRows = 64;
// The rows an expanded banner shows when the page does not say: as many as the preview's
// designed expanded height holds.
inline constexpr int kDefaultBannerRows = 5;

// The status drawn as the preview draws it, as a standalone SVG image 514 pixels wide. Every
// text from the server is cleaned and escaped, so nothing it sends becomes markup or a link.
QByteArray bannerSvg(const PublishedStatus& published, const BannerLayout& layout);

}  // namespace tamarin::gateway
