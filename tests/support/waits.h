#pragma once

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTimer>

namespace tamarin::testing {

// For the proofs that something does NOT happen within a time (no second query before the
// refresh period, no late report from a deleted query): the one event that must come after it,
// a timer of the test's own, waited for like any other event. Everything the code under test
// scheduled for earlier has run by then.
inline bool waitPast(int ms) {
    QTimer marker;
    marker.setSingleShot(true);
    marker.setTimerType(Qt::PreciseTimer);
    QSignalSpy fired(&marker, &QTimer::timeout);
    marker.start(ms);
    return fired.wait(ms + 60000);
}

// Runs whatever is already queued (posted events, signals across the loop), and nothing later.
inline void runQueuedEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace tamarin::testing
