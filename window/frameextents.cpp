#include "window/frameextents.h"

#include <QCoreApplication>
#include <QWidget>

#ifdef TAMARIN_HAVE_XCB
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#endif

namespace tamarin {

#ifdef TAMARIN_HAVE_XCB
namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

quint32 frameExtentsAtom(xcb_connection_t* connection) {
    const char name[] = "_NET_FRAME_EXTENTS";
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr));
    return reply ? reply->atom : 0;
}

}  // namespace
#endif

FrameExtents::FrameExtents(QWidget* window, std::function<void()> changed)
    : QObject(window), window_(window), changed_(std::move(changed)) {
#ifdef TAMARIN_HAVE_XCB
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    // Some platforms (offscreen among them) answer as X11 without a connection to a server.
    if (auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        connection_ = x11->connection();
    }
    if (connection_ != nullptr) {
        atom_ = frameExtentsAtom(connection_);
    }
#endif
    if (atom_ != 0) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

FrameExtents::~FrameExtents() {
    if (atom_ != 0 && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

std::optional<int> FrameExtents::verticalPixels() const {
#ifdef TAMARIN_HAVE_XCB
    const WId id = window_->internalWinId();
    if (atom_ == 0 || id == 0) {
        return std::nullopt;
    }
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, xcb_window_t(id), atom_, XCB_ATOM_CARDINAL, 0, 4),
        nullptr));
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) != 16) {
        return std::nullopt;
    }
    // Left, right, top, bottom; a window manager's nonsense must not turn the window inside out.
    const auto* extents = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    if (extents[2] > 10000 || extents[3] > 10000) {
        return std::nullopt;
    }
    return int(extents[2] + extents[3]);
#else
    return std::nullopt;
#endif
}

bool FrameExtents::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
#ifdef TAMARIN_HAVE_XCB
    if (type != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) {
        return false;
    }
    const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
    if (property->atom == atom_ && property->window == xcb_window_t(window_->internalWinId())) {
        // Filters run inside Qt's event delivery: act once it is done.
        QMetaObject::invokeMethod(this, changed_, Qt::QueuedConnection);
    }
#else
    Q_UNUSED(type);
    Q_UNUSED(message);
#endif
    return false;
}

}  // namespace tamarin
