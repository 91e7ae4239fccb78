#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <functional>
#include <optional>

class QWidget;
struct xcb_connection_t;

namespace tamarin {

// The frame that the window manager has put around a top-level window, as the window manager
// itself publishes it on X11 (the client window's _NET_FRAME_EXTENTS). Qt's own frame geometry is
// a cache: read before the frame is in place it stays at nothing, or at a size taken from a
// half-built frame, until the window next moves. The published extents are the truth, and each
// change of them is passed on, so that a frame that arrives late is still accounted for.
class FrameExtents : public QObject, public QAbstractNativeEventFilter {
  public:
    FrameExtents(QWidget* window, std::function<void()> changed);
    ~FrameExtents() override;

    // The frame's top and bottom together, in device pixels; empty while nothing is published
    // (not framed yet, not on X11, or a window manager that does not say).
    std::optional<int> verticalPixels() const;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

  private:
    QWidget* window_;
    std::function<void()> changed_;
    xcb_connection_t* connection_ = nullptr;
    quint32 atom_ = 0;
};

}  // namespace tamarin
