#include <gtest/gtest.h>

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRegion>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <limits>

#include "common/steps.h"
#include "tests/support/memorystore.h"
#include "vireo/vireocontrol.h"

using namespace tamarin;

namespace {

QVariantList configureArgs(const QVariant& port, const QString& address = "127.0.0.1") {
    return {address, port, QString("q3"), QString("q3a"), 30000, QString()};
}

class VireoControlTest : public ::testing::Test {
  protected:
    float heightTwips() { return control.get(dispid::Height).toFloat(); }

    MemoryStore store;
    VireoControl control{TwipsScale{}, contract::StoredProperties{}, store};
};

TEST_F(VireoControlTest, StartsAtTheStoredSizeWithDetailsShown) {
    EXPECT_EQ(control.width(), 509);  // 13467 HIMETRIC is 7635 twips, 15 twips a pixel
    EXPECT_FLOAT_EQ(heightTwips(), 1755.0f);
    EXPECT_EQ(control.get(dispid::Details), QVariant(true));
    EXPECT_EQ(control.get(dispid::ExpandedHight), QVariant(1755));
    EXPECT_EQ(control.get(dispid::Version), QVariant(QString("1.0")));
    EXPECT_EQ(control.get(dispid::HostName), QVariant(QString()));
    EXPECT_EQ(control.get(dispid::HostPort), QVariant(0));
    EXPECT_EQ(control.get(dispid::RefreshInterval), QVariant(0));
}

TEST_F(VireoControlTest, ConfigureServerReportsWhatWasHandedOver) {
    QVariantList args = configureArgs(QString("27960"), "game.example");
    control.call(dispid::ConfigureServer, args);

    EXPECT_EQ(control.get(dispid::HostName), QVariant(QString("game.example")));
    const QVariant port = control.get(dispid::HostPort);
    EXPECT_EQ(port.typeId(), QMetaType::Int);
    EXPECT_EQ(port.toInt(), 27960);
    EXPECT_EQ(control.get(dispid::GameType), QVariant(QString("q3")));
    EXPECT_EQ(control.get(dispid::RefreshInterval), QVariant(30000));
    EXPECT_EQ(args.at(3), QVariant(QString("q3a")));  // the key by reference comes back unchanged
    QVariantList v6 = configureArgs(QString("27961"), "::1");
    control.call(dispid::ConfigureServer, v6);
    EXPECT_EQ(control.addressText(), "[::1]:27961");
}

TEST_F(VireoControlTest, RefusedPortsLeaveEverythingUnchanged) {
    QVariantList good = configureArgs(QString("27960"));
    control.call(dispid::ConfigureServer, good);

    for (const char* port : {"0", "65536", "-1", "abc", "", "   "}) {
        QVariantList args = {
            QString("other.example"), QString(port), QString("hl"), QString("hl"), 5000, QString()};
        EXPECT_THROW(control.call(dispid::ConfigureServer, args), StepFailure) << port;
        EXPECT_EQ(control.get(dispid::HostName).toString(), "127.0.0.1");
        EXPECT_EQ(control.get(dispid::HostPort).toInt(), 27960);
        EXPECT_EQ(control.get(dispid::GameType).toString(), "q3");
        EXPECT_EQ(control.get(dispid::RefreshInterval).toInt(), 30000);
    }
    QVariantList edges = configureArgs(QString(" 65535 "));
    control.call(dispid::ConfigureServer, edges);
    EXPECT_EQ(control.get(dispid::HostPort).toInt(), 65535);
}

TEST_F(VireoControlTest, RefusesWrongCallsAndUnknownIds) {
    QVariantList five = {QString("h"), QString("1"), QString("q3"), QString("k"), 0};
    EXPECT_THROW(control.call(dispid::ConfigureServer, five), StepFailure);
    QVariantList args = configureArgs(QString("1"));
    EXPECT_THROW(control.call(0x60030001u, args), StepFailure);
    EXPECT_THROW(control.get(0x68030099u), StepFailure);
    EXPECT_THROW(control.put(0x68030099u, 1), StepFailure);
    EXPECT_THROW(control.put(dispid::Version, QString("2.0")), StepFailure);
    EXPECT_EQ(control.get(dispid::Version).toString(), VireoControl::versionText());
    EXPECT_THROW(control.put(dispid::HostPort, 0), StepFailure);
    EXPECT_THROW(control.put(dispid::HostPort, QString("abc")), StepFailure);
    EXPECT_EQ(control.get(dispid::HostPort).toInt(), 0);
    EXPECT_EQ(control.get(dispid::HostName).toString(), "");
}

TEST_F(VireoControlTest, ServerPropertiesAreWritableLikePageParameters) {
    control.put(dispid::HostName, QString("127.0.0.1"));
    control.put(dispid::HostPort, QString("27015"));
    control.put(dispid::GameType, QString("cs"));
    control.put(dispid::RefreshInterval, 5000);
    EXPECT_EQ(control.get(dispid::HostName).toString(), "127.0.0.1");
    EXPECT_EQ(control.get(dispid::HostPort), QVariant(27015));
    EXPECT_EQ(control.get(dispid::GameType).toString(), "cs");
    EXPECT_EQ(control.get(dispid::RefreshInterval), QVariant(5000));
}

TEST_F(VireoControlTest, DetailsAndExpandedHightDriveTheHeight) {
    QSignalSpy resized(&control, &StatusControl::PreviewResized);

    control.put(dispid::Details, false);
    EXPECT_FLOAT_EQ(heightTwips(), 645.0f);  // 1138 HIMETRIC, 43 pixels
    EXPECT_EQ(resized.count(), 1);
    control.put(dispid::Details, false);
    EXPECT_EQ(resized.count(), 1);

    // While collapsed the expanded height is kept but changes nothing on screen.
    control.put(dispid::ExpandedHight, 7005);
    EXPECT_EQ(resized.count(), 1);
    EXPECT_EQ(control.get(dispid::ExpandedHight), QVariant(7005));

    control.put(dispid::Details, true);
    EXPECT_FLOAT_EQ(heightTwips(), 7005.0f);
    EXPECT_EQ(resized.count(), 2);
    control.put(dispid::ExpandedHight, 7005);
    EXPECT_EQ(resized.count(), 2);
    control.put(dispid::ExpandedHight, 1740);
    EXPECT_FLOAT_EQ(heightTwips(), 1740.0f);
    EXPECT_EQ(resized.count(), 3);
}

TEST_F(VireoControlTest, OddExpandedHeightsAreDrawnWithinBoundsButReportedAsWritten) {
    control.put(dispid::ExpandedHight, -5);
    EXPECT_EQ(control.get(dispid::ExpandedHight), QVariant(-5));
    EXPECT_FLOAT_EQ(heightTwips(), 645.0f);

    control.put(dispid::ExpandedHight, std::numeric_limits<qint32>::max());
    EXPECT_EQ(control.get(dispid::ExpandedHight).toInt(), std::numeric_limits<qint32>::max());
    EXPECT_LE(heightTwips(), 32767.0f);
    EXPECT_GT(heightTwips(), 32767.0f - 15.0f);
    EXPECT_EQ(control.visibleRowCount(), VireoControl::rowsThatFit(32767));

    EXPECT_THROW(control.put(dispid::ExpandedHight, QString("tall")), StepFailure);
    EXPECT_EQ(control.get(dispid::ExpandedHight).toInt(), std::numeric_limits<qint32>::max());
}

TEST(VireoControlRows, RowsThatFitTheToolsHeights) {
    EXPECT_EQ(VireoControl::rowsThatFit(1740), 5);
    EXPECT_EQ(VireoControl::rowsThatFit(1739), 4);
    EXPECT_EQ(VireoControl::rowsThatFit(7005), 32);
    EXPECT_EQ(VireoControl::rowsThatFit(765), 0);
    EXPECT_EQ(VireoControl::rowsThatFit(-1), 0);
    EXPECT_EQ(VireoControl::rowsThatFit(std::nan("")), 0);
    EXPECT_EQ(VireoControl::rowsThatFit(1e300), (32767 - 765) / 195);
}

TEST_F(VireoControlTest, ExactlyTheRowsThatFitAreDrawnInsideTheControl) {
    for (int players : {5, 32}) {
        control.put(dispid::ExpandedHight, 1740 + (players - 5) * 195);
        EXPECT_EQ(control.visibleRowCount(), players);
        const QRect last = control.playerRowRect(players - 1);
        EXPECT_LE(last.bottom(), control.height() - 1);
        EXPECT_GT(control.playerRowRect(players).bottom(), control.height() - 1);
    }
    control.put(dispid::Details, false);
    EXPECT_EQ(control.visibleRowCount(), 0);
}

TEST_F(VireoControlTest, TheButtonInsideTogglesDetailsAndRaisesPreviewResized) {
    QSignalSpy resized(&control, &StatusControl::PreviewResized);
    auto* button = control.findChild<QToolButton*>("detailsButton");
    ASSERT_NE(button, nullptr);

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(control.get(dispid::Details), QVariant(false));
    EXPECT_FLOAT_EQ(heightTwips(), 645.0f);
    EXPECT_EQ(resized.count(), 1);
    EXPECT_TRUE(control.rect().contains(button->geometry()));

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(control.get(dispid::Details), QVariant(true));
    EXPECT_FLOAT_EQ(heightTwips(), 1755.0f);
    EXPECT_EQ(resized.count(), 2);
}

TEST_F(VireoControlTest, PaintsServerTextWithoutInterpretingIt) {
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = "<b>bold</b> & \xe2\x80\xae reversed";
    status.map = QString(5000, QChar('m'));
    status.players = 40;
    status.maxPlayers = 2;
    for (int i = 0; i < 40; ++i) {
        status.rows.append({QString("<i>%1</i>").arg(i), -i, i * 1000});
    }
    control.showStatus(status);
    control.put(dispid::ExpandedHight, 32767);
    QImage image(control.size(), QImage::Format_ARGB32);
    control.render(&image);
    EXPECT_EQ(control.status().rows.size(), 40);
}

TEST(VireoControlCatalogue, WrittenOnANewAccountOnlyAndNeverOverAUsersList) {
    MemoryStore fresh;
    VireoControl first(TwipsScale{}, contract::StoredProperties{}, fresh);
    EXPECT_EQ(fresh.saveAllCalls, 1);
    EXPECT_EQ(fresh.get("Vireo", "Config", "ServerCount", "?"), "8");
    VireoControl second(TwipsScale{}, contract::StoredProperties{}, fresh);
    EXPECT_EQ(fresh.saveAllCalls, 1);

    MemoryStore emptied;
    emptied.seed("Vireo", "Config", "ServerCount", "-1");
    VireoControl onEmptied(TwipsScale{}, contract::StoredProperties{}, emptied);
    EXPECT_TRUE(emptied.writes.isEmpty());

    MemoryStore refusing;
    refusing.refuseSaves = true;
    VireoControl onRefusing(TwipsScale{}, contract::StoredProperties{}, refusing);
    EXPECT_EQ(onRefusing.get(dispid::Version).toString(), "1.0");
}

TEST_F(VireoControlTest, ConfigureServerShowsTheConfiguredGamesName) {
    QVariantList args = configureArgs(QString("27960"));
    control.call(dispid::ConfigureServer, args);
    EXPECT_EQ(store.get("Vireo", "q3a", "GameName", "?"), "Quake III Arena");
    EXPECT_EQ(control.stateText(), "querying\u2026");

    QVariantList unknown = {
        QString("127.0.0.1"), QString("1"), QString("zz"), QString("zz"), 0, QString()};
    control.call(dispid::ConfigureServer, unknown);
    EXPECT_EQ(control.stateText(), "unknown game type");
    EXPECT_EQ(control.get(dispid::GameType).toString(), "zz");
}

TEST_F(VireoControlTest, TheContextMenuOffersTheOptions) {
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            offered << action->text();
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            control.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&control, &event);
    EXPECT_EQ(offered, QStringList({"Options\u2026"}));
}

ServerStatus withRows(ServerStatus::State state, int rows) {
    return {state, "Arena", {}, rows, 8, QList<PlayerRow>(rows, PlayerRow{"HHHH", 10, 20})};
}

// How tall the ink within `area` is: whatever is not the panel's colour.
int inkHeight(const QImage& image, const QRect& area) {
    const QImage ink =
        image.copy(area).createMaskFromColor(qRgb(0x1c, 0x22, 0x2e), Qt::MaskInColor);
    return QRegion(QBitmap::fromImage(ink)).boundingRect().height();
}

TEST_F(VireoControlTest, OneMissedAnswerKeepsTheLastStatusMarkedStale) {
    using State = ServerStatus::State;
    for (const State state :
         {State::Online, State::NotAnswering, State::Online, State::NotAnswering}) {
        control.showStatus(withRows(state, 1));
    }
    // The answer in between cleared the first miss; the last answer stays, marked.
    EXPECT_EQ(control.stateText(), "online (stale)");
    control.showStatus(withRows(State::NotAnswering, 0));
    EXPECT_EQ(control.stateText(), "not answering");
}

TEST_F(VireoControlTest, PlayerRowsHaveHeadingsReadableTextAndTellWhatDidNotFit) {
    control.showStatus(withRows(ServerStatus::State::Online, 7));  // for five rows
    EXPECT_EQ(control.moreRowsText(), "+2 more");
    QImage image(control.size(), QImage::Format_RGB32);
    control.render(&image);
    const QRect row = control.playerRowRect(0);
    EXPECT_GE(inkHeight(image, QRect(row.left(), 40, row.width(), row.top() - 40)), 5);  // headings
    EXPECT_GE(inkHeight(image, row), 9);  // capitals about as tall as the summary's
}

}  // namespace
