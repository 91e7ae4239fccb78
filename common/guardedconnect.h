#pragma once

#include <QObject>
#include <type_traits>

#include "common/steps.h"

namespace tamarin {

// Connects a signal to a member function that runs under runGuarded: whatever the handler
// throws stays in the handler and never reaches Qt's event dispatch. The window and the status
// control connect every handler through here.
template <typename Sender, typename Signal, typename Receiver, typename Class, typename... Args>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, Receiver* receiver,
                                       void (Class::*handler)(Args...)) {
    static_assert(std::is_base_of_v<Class, Receiver>, "the handler must be the receiver's");
    return QObject::connect(sender, signal, receiver, [receiver, handler](Args... args) {
        runGuarded([&] { (receiver->*handler)(args...); });
    });
}

}  // namespace tamarin
