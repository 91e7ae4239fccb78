#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "common/refresh.h"
#include "tests/fakeservers/fakeservers.h"
#include "tests/support/memorystore.h"
#include "tests/support/waits.h"
#include "vireo/gamecatalog.h"
#include "vireo/vireocontrol.h"

using namespace tamarin;

namespace {

using State = ServerStatus::State;
constexpr int kWaitMs = 4000;

class VireoLiveTest : public ::testing::Test {
  protected:
    void configure(quint16 port, const QString& type, int intervalMs) {
        QVariantList args = {
            QString("127.0.0.1"), QString::number(port), type, type, intervalMs, QString()};
        control.call(dispid::ConfigureServer, args);
    }
    bool waitForState(State state, int ms = kWaitMs) {
        return QTest::qWaitFor([&] { return control.status().state == state; }, ms);
    }

    MemoryStore store;
    VireoControl control{TwipsScale{}, contract::StoredProperties{}, store};
};

TEST_F(VireoLiveTest, ShowsWhatAQuake3ServerSaid) {
    fake::FakeQuake3Server server;
    ASSERT_TRUE(server.isListening());
    QElapsedTimer clock;
    clock.start();
    configure(server.port(), "q3", 0);
    EXPECT_EQ(control.status().state, State::Querying);
    ASSERT_TRUE(waitForState(State::Online));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(control.status().name, "Fake Arena");
    EXPECT_EQ(control.stateText(), "online");
}

TEST_F(VireoLiveTest, ShowsWhatAnA2sServerWithAChallengeSaid) {
    fake::FakeA2sServer server;
    server.setChallenge(0x12345678u);
    configure(server.port(), "tf2", 0);
    ASSERT_TRUE(waitForState(State::Online));
    EXPECT_EQ(control.status().name, "Fake Server");
    EXPECT_EQ(control.status().map, "cp_fake");
    ASSERT_EQ(control.status().rows.size(), 2);
    EXPECT_EQ(control.status().rows.at(1).name, "beta");
}

TEST_F(VireoLiveTest, AnUnknownGameTypeAsksNoServer) {
    fake::FakeQuake3Server server;
    configure(server.port(), "quake9", 1000);
    EXPECT_EQ(control.stateText(), "unknown game type");
    tamarin::testing::waitPast(1300);  // past a refresh
    EXPECT_TRUE(server.requests().isEmpty());
}

// Valheim answers queries on its game port + 1: the snippet names the game port, the preview asks
// the port after it where the list or the table says so, and shows the game port all the same.
TEST_F(VireoLiveTest, AGameIsAskedOnItsQueryPortAndShownOnItsGamePort) {
    fake::FakeA2sServer server;
    const quint16 gamePort = server.port() - 1;
    const QString address = QString("127.0.0.1:%1").arg(gamePort);
    const QString hint =
        QString("Valheim answers queries on %1, its query port").arg(server.port());
    for (const QString& stored : {QString("+1"), QString("none"), QString()}) {
        SCOPED_TRACE(stored.toStdString());
        if (stored == "none") {
            store.values.clear();  // a game the list lacks: the table says where
        } else {
            GameCatalog({{"valheim", "Valheim", "2456", "valheim", stored}}).saveTo(store);
        }
        configure(gamePort, "valheim", 0);
        if (stored.isEmpty()) {  // a list from before query ports asks the game port
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return control.view().summary.contains(hint); }, kWaitMs));
            EXPECT_EQ(control.view().title, address);
            continue;
        }
        ASSERT_TRUE(waitForState(State::Online));
        EXPECT_TRUE(control.view().summary.endsWith(address))
            << control.view().summary.toStdString();
    }
}

TEST_F(VireoLiveTest, AClosedPortShowsAsRefused) {
    configure(fake::closedUdpPort(), "q3", 0);
    EXPECT_TRUE(waitForState(State::Refused, 1000));
    EXPECT_EQ(control.stateText(), "refused");
}

TEST_F(VireoLiveTest, RefreshesAtMostOnceASecond) {
    fake::FakeQuake3Server server;
    configure(server.port(), "q3", 200);
    EXPECT_EQ(control.refreshPeriodMs(), refresh::kMinRefreshMs);
    // The query at once, then one at 1 s and one at 2 s: three queries take two seconds at least,
    // where a 200 ms period would have taken 0.4.
    QElapsedTimer since;
    since.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() >= 3; }, 60000));
    EXPECT_GE(since.elapsed(), 2 * refresh::kMinRefreshMs - 100);

    const auto asked = server.requests().size();
    configure(server.port(), "q3", 0);
    EXPECT_EQ(control.refreshPeriodMs(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == asked + 1; }, 60000));
    tamarin::testing::waitPast(1300);  // past a refresh that must not come
    EXPECT_EQ(server.requests().size(), asked + 1);

    configure(server.port(), "q3", 1500);
    EXPECT_EQ(control.refreshPeriodMs(), 1500);
    configure(server.port(), "q3", -5);
    EXPECT_EQ(control.refreshPeriodMs(), 0);
}

TEST_F(VireoLiveTest, ASilentServerComesToShowAsNotAnsweringDespiteFastRefreshes) {
    fake::FakeQuake3Server server;
    server.setSilent(true);
    configure(server.port(), "q3", 1000);
    EXPECT_TRUE(waitForState(State::NotAnswering));
    EXPECT_EQ(control.stateText(), "not answering");
}

TEST_F(VireoLiveTest, AServerSetByPageParametersIsQueried) {
    fake::FakeQuake3Server server;
    control.put(dispid::HostName, QString("127.0.0.1"));
    control.put(dispid::GameType, QString("oa"));
    control.put(dispid::HostPort, int(server.port()));
    ASSERT_TRUE(waitForState(State::Online));
    EXPECT_EQ(server.requests().size(), 1);
}

}  // namespace
