#pragma once

// How often a status may be asked for, written once for the window, the preview, the gateway and
// (generated into its script when the gateway is built) the web panel.
namespace tamarin::refresh {

// However short the interval a page or the window asks for, a server is asked at most once a
// second: by the preview, by each web panel, and at the least by the gateway.
inline constexpr int kMinRefreshMs = 1000;
// The longest refresh the window lets an author choose, in seconds.
inline constexpr int kMostRefreshSeconds = 65;

}  // namespace tamarin::refresh
