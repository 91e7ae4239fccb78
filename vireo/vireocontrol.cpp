#include "vireo/vireocontrol.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <algorithm>

#include "common/guardedconnect.h"
#include "common/numbers.h"
#include "common/panellook.h"
#include "common/ports.h"
#include "common/refresh.h"
#include "common/steps.h"
#include "common/variants.h"
#include "serverquery/statusview.h"
#include "settings/vireoconfig.h"
#include "vireo/gamecatalog.h"
#include "vireo/optionsdialog.h"
#include "vireo/vireotexts.h"

namespace tamarin {

namespace {

constexpr const char* kVersion = "1.0";

using namespace look;

QColor colour(unsigned rgb) {
    return QColor::fromRgb(QRgb(rgb));
}

QColor toneColour(StatusTone tone) {
    switch (tone) {
        case StatusTone::Online:
            return colour(kOnline);
        case StatusTone::Trouble:
            return colour(kTrouble);
        case StatusTone::Dim:
            break;
    }
    return colour(kDimText);
}

qint32 checkedPort(qint32 port) {
    if (!isPortNumber(port)) {
        throw StepFailure("the port must be a whole number from 1 to 65535");
    }
    return port;
}

qint32 portFromText(const QString& text) {
    return checkedPort(wholeText32(text));
}

// An IPv6 address written bare would run into the port ("::1:27960"); it takes brackets, as in
// a web address. What the user bracketed already is shown as typed.
QString hostForDisplay(const QString& host) {
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['))) {
        return QLatin1Char('[') + host + QLatin1Char(']');
    }
    return host;
}

}  // namespace

VireoControl::VireoControl(TwipsScale scale, contract::StoredProperties stored,
                           SettingsStore& store, QWidget* parent)
    : StatusControl(scale, parent),
      stored_(stored),
      store_(store),
      expandedHeight_(stored.expandedHight) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    writeDefaultCatalogue();

    connectGuarded(&query_, &ServerQuery::finished, this, &VireoControl::showStatus);
    // Precise, because a coarse timer may fire a little early and ask more than once a second.
    refreshTimer_.setTimerType(Qt::PreciseTimer);
    connectGuarded(&refreshTimer_, &QTimer::timeout, this, &VireoControl::refresh);
    // Several server properties written one after the other by a page give one query, not three.
    requeryTimer_.setSingleShot(true);
    requeryTimer_.setInterval(0);
    connectGuarded(&requeryTimer_, &QTimer::timeout, this, &VireoControl::startQuery);

    detailsButton_ = new QToolButton(this);
    detailsButton_->setObjectName("detailsButton");
    detailsButton_->setAutoRaise(true);
    QPalette buttonColours = detailsButton_->palette();
    buttonColours.setColor(QPalette::ButtonText, colour(kText));
    buttonColours.setColor(QPalette::Button, colour(kSeparator));
    detailsButton_->setPalette(buttonColours);
    connectGuarded(detailsButton_, &QToolButton::clicked, this, &VireoControl::toggleDetails);

    // Created at the designed size; the width is the stored one for good, the height follows the
    // details from now on.
    resize(scale.toPixelsX(contract::himetricToTwips(stored_.extentX)),
           scale.toPixelsY(drawnHeightTwips()));
    applyOwnHeight();
}

VireoControl::~VireoControl() = default;

QString VireoControl::versionText() {
    return QString::fromLatin1(kVersion);
}

void VireoControl::writeDefaultCatalogue() {
    // As an installer would on a new account. A store that refuses costs the user the defaults,
    // not the control.
    runStep([this] { GameCatalog::writeDefaultsIfUnconfigured(store_); });
}

int VireoControl::rowsThatFit(double heightTwips) {
    if (!(heightTwips >= kRowsTopTwips)) {
        return 0;
    }
    const double height = std::min(heightTwips, double(kMaxHeightTwips));
    return int((height - kRowsTopTwips) / kRowHeightTwips);
}

double VireoControl::collapsedHeightTwips() const {
    // A stored height of nothing or less would leave no control to click on at all.
    return std::clamp(contract::himetricToTwips(stored_.extentY), 1.0, double(kMaxHeightTwips));
}

double VireoControl::drawnHeightTwips() const {
    const double collapsed = collapsedHeightTwips();
    if (!details_) {
        return collapsed;
    }
    // The property keeps whatever was written; only what we draw is kept sane.
    return std::clamp(double(expandedHeight_), collapsed, double(kMaxHeightTwips));
}

int VireoControl::visibleRowCount() const {
    return details_ ? rowsThatFit(drawnHeightTwips()) : 0;
}

QRect VireoControl::playerRowRect(int row) const {
    const TwipsScale s = scale();
    const int top = s.toPixelsY(kRowsTopTwips + double(row) * kRowHeightTwips);
    const int bottom = s.toPixelsY(kRowsTopTwips + double(row + 1) * kRowHeightTwips);
    const int margin = s.toPixelsX(kMarginTwips);
    return QRect(margin, top, std::max(0, width() - 2 * margin), bottom - top);
}

void VireoControl::showStatus(const ServerStatus& status) {
    if (keepsLastAnswer(status)) {
        stale_ = true;
    } else {
        status_ = status;
        stale_ = false;
    }
    update();
}

// A busy server may miss one query now and then (it answers only so many a second); the last
// answer stays on screen, marked stale, until a second query in a row goes unanswered. A refusal
// or a bad address is news at once.
bool VireoControl::keepsLastAnswer(const ServerStatus& status) const {
    return status.state == ServerStatus::State::NotAnswering &&
           status_.state == ServerStatus::State::Online && !stale_;
}

void VireoControl::toggleDetails() {
    setDetails(!details_);
}

void VireoControl::showOptions() {
    OptionsDialog dialog(store_, this);
    dialog.exec();
}

void VireoControl::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    connectGuarded(menu.addAction(QString::fromUtf8(vireotexts::kOptionsMenu)), &QAction::triggered,
                   this, &VireoControl::showOptions);
    menu.exec(event->globalPos());
}

int VireoControl::refreshPeriodMs() const {
    return refreshTimer_.isActive() ? refreshTimer_.interval() : 0;
}

QVariant VireoControl::getOwn(dispid::DispId id) {
    switch (id) {
        case dispid::RefreshInterval:
            return refreshInterval_;
        case dispid::Version:
            return versionText();
        case dispid::GameType:
            return gameType_;
        case dispid::HostPort:
            return hostPort_;
        case dispid::HostName:
            return hostName_;
        case dispid::Details:
            return details_;
        case dispid::ExpandedHight:
            return expandedHeight_;
        default:
            throw StepFailure("the control has no such property");
    }
}

void VireoControl::putOwn(dispid::DispId id, const QVariant& value) {
    switch (id) {
        case dispid::RefreshInterval:
            refreshInterval_ = variantToInt32(value);
            restartRefreshTimer();
            break;
        case dispid::Version:
            throw StepFailure("the version is read only");
        case dispid::GameType:
            gameType_ = variantToText(value);
            requerySoon();
            break;
        case dispid::HostPort:
            hostPort_ = checkedPort(variantToInt32(value));
            requerySoon();
            break;
        case dispid::HostName:
            hostName_ = variantToText(value);
            requerySoon();
            break;
        case dispid::Details:
            setDetails(variantToBool(value));
            return;
        case dispid::ExpandedHight:
            setExpandedHeight(variantToInt32(value));
            return;
        default:
            throw StepFailure("the control has no such property");
    }
    update();
}

QVariant VireoControl::callOwn(dispid::DispId id, QVariantList& args) {
    if (id != dispid::ConfigureServer) {
        throw StepFailure("the control has no such method");
    }
    configureServer(args);
    return {};
}

void VireoControl::configureServer(QVariantList& args) {
    if (args.size() != contract::kConfigureServerArgs) {
        throw StepFailure("ConfigureServer takes six arguments");
    }
    // Everything is converted before anything changes, so a refused call leaves the control as
    // it was.
    const QString address = variantToText(args[0]);
    const qint32 port = portFromText(variantToText(args[1]));
    const QString gameType = variantToText(args[2]);
    const QString gameKey = variantToText(args[3]);
    const qint32 interval = variantToInt32(args[4]);

    hostName_ = address;
    hostPort_ = port;
    gameType_ = gameType;
    gameKey_ = gameKey;
    gameName_ = vireoconfig::gameValue(store_, gameKey, vireoconfig::kGameName);
    gameQueryPort_ = vireoconfig::gameValue(store_, gameKey, vireoconfig::kQueryPort);
    gameListed_ = !vireoconfig::gameValue(store_, gameKey, vireoconfig::kGameType).isEmpty();
    refreshInterval_ = interval;
    requeryTimer_.stop();
    startQuery();
    restartRefreshTimer();
}

void VireoControl::startQuery() {
    unknownGameType_ = protocolForGameType(gameType_) == QueryProtocol::None;
    status_ = ServerStatus{};
    stale_ = false;
    if (canQuery()) {
        status_.state = ServerStatus::State::Querying;
        sendQuery();
    } else {
        query_.cancel();
    }
    update();
}

void VireoControl::refresh() {
    // A query still waiting for its answer is left to finish: cutting it short every second would
    // never let a silent server show as not answering. What was shown stays until the next answer.
    if (!query_.isRunning() && canQuery()) {
        sendQuery();
    }
}

bool VireoControl::canQuery() const {
    return !unknownGameType_ && !hostName_.trimmed().isEmpty() && hostPort_ >= kLowestPort &&
           hostPort_ <= kHighestPort;
}

void VireoControl::sendQuery() {
    queriedPort_ = queryPort();
    query_.start(hostName_.trimmed(), queriedPort_, protocolForGameType(gameType_));
}

// A game of the user's list is asked where the list says: a list from before query ports, with no
// value, asks the game port as it always did. A game the list lacks is asked where the table says.
quint16 VireoControl::queryPort() const {
    const quint16 gamePort = quint16(hostPort_);
    if (!gameListed_) {
        return queryPortForGame(gameType_, gamePort);
    }
    const std::optional<QueryPortRule> rule = queryPortRuleFromText(gameQueryPort_);
    return rule ? rule->queryPortFor(gamePort) : gamePort;
}

void VireoControl::restartRefreshTimer() {
    refreshTimer_.stop();
    if (refreshInterval_ > 0) {
        refreshTimer_.start(std::max(refresh::kMinRefreshMs, int(refreshInterval_)));
    }
}

void VireoControl::requerySoon() {
    requeryTimer_.start();
    update();
}

void VireoControl::setDetails(bool details) {
    details_ = details;
    applyOwnHeight();
    update();
}

void VireoControl::setExpandedHeight(qint32 twips) {
    expandedHeight_ = twips;
    applyOwnHeight();
    update();
}

void VireoControl::applyOwnHeight() {
    setOwnHeightTwips(drawnHeightTwips());
    placeDetailsButton();
    labelDetailsButton();
}

void VireoControl::placeDetailsButton() {
    const TwipsScale s = scale();
    const int side = std::max(8, s.toPixelsY(kButtonSizeTwips));
    const int margin = s.toPixelsX(kMarginTwips);
    detailsButton_->setGeometry(width() - margin - side, s.toPixelsY(kButtonTopTwips), side, side);
}

void VireoControl::labelDetailsButton() {
    detailsButton_->setText(details_ ? QStringLiteral("\u2212") : QStringLiteral("+"));
    detailsButton_->setToolTip(
        QString::fromUtf8(details_ ? words::kHidePlayers : words::kShowPlayers));
    // A screen reader would read the button's glyph; it says what the button does instead.
    detailsButton_->setAccessibleName(detailsButton_->toolTip());
}

void VireoControl::resizeEvent(QResizeEvent* event) {
    StatusControl::resizeEvent(event);
    placeDetailsButton();
}

StatusView VireoControl::view() const {
    StatusFacts facts;
    facts.status = status_;
    facts.gameType = gameType_;
    facts.gameName = gameName_;
    facts.address = addressText();
    facts.stale = stale_;
    facts.gamePort = quint16(hostPort_);
    facts.queriedPort = queriedPort_;
    if (unknownGameType_) {
        facts.refusal = StatusFacts::Refusal::UnknownGame;
    }
    return describeStatus(facts, visibleRowCount());
}

QString VireoControl::stateText() const {
    return view().stateText;
}

QString VireoControl::addressText() const {
    if (hostName_.isEmpty()) {
        return QString::fromUtf8(words::kNoServer);
    }
    return hostForDisplay(hostName_.trimmed()) + QLatin1Char(':') + decimalText(hostPort_);
}

QString VireoControl::moreRowsText() const {
    return view().moreText;
}

void VireoControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colour(kPanel));
    const StatusView shown = view();
    paintStatusBlock(painter, shown);
    if (visibleRowCount() > 0 && shown.reason.isEmpty()) {
        paintPlayerRows(painter, shown);
    }
}

void VireoControl::paintStatusBlock(QPainter& painter, const StatusView& shown) const {
    const TwipsScale s = scale();
    const int margin = s.toPixelsX(kMarginTwips);
    const int right = detailsButton_->geometry().left() - margin;

    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPixelSize(std::max(6, s.toPixelsY(kTitleHeightTwips) * 3 / 4));
    const QFont summaryFont = plainFont();

    // The state sits at the right of the title line, the title takes what is left of it.
    painter.setFont(summaryFont);
    const QString& state = shown.stateText;
    const int stateWidth = QFontMetrics(summaryFont).horizontalAdvance(state);
    const QRect titleLine(margin, s.toPixelsY(kTitleTopTwips), std::max(0, right - margin),
                          s.toPixelsY(kTitleHeightTwips));
    painter.setPen(toneColour(shown.tone));
    painter.drawText(titleLine, Qt::AlignRight | Qt::AlignVCenter, state);

    // The server's picture (a checked PNG; one that does not decode is left out) before the title.
    int iconWidth = 0;
    if (QImage icon; !shown.icon.isEmpty() && icon.loadFromData(shown.icon, "PNG")) {
        const QRect iconRect(titleLine.topLeft(), QSize(titleLine.height(), titleLine.height()));
        painter.drawImage(iconRect, icon);
        iconWidth = iconRect.width() + s.toPixelsX(kMarginTwips) / 2;
    }
    painter.setFont(titleFont);
    painter.setPen(colour(kText));
    const QRect titleRect = titleLine.adjusted(iconWidth, 0, -(stateWidth + margin), 0);
    const QString title =
        QFontMetrics(titleFont).elidedText(shown.title, Qt::ElideRight, titleRect.width());
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, title);

    painter.setFont(summaryFont);
    painter.setPen(colour(kDimText));
    const QRect summaryRect(margin, s.toPixelsY(kSummaryTopTwips),
                            std::max(0, width() - 2 * margin), s.toPixelsY(kSummaryHeightTwips));
    // Why a server failed may take more than a line; an open control has the rows' room for it.
    if (details_ && !shown.reason.isEmpty()) {
        // Its first line where the one-line summary would stand, the rest below.
        const int lead = (summaryRect.height() - QFontMetrics(summaryFont).height()) / 2;
        const QRect room = summaryRect.adjusted(0, lead, 0, height() - summaryRect.bottom());
        painter.drawText(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, shown.summary);
        return;
    }
    const QString summary =
        QFontMetrics(summaryFont).elidedText(shown.summary, Qt::ElideRight, summaryRect.width());
    painter.drawText(summaryRect, Qt::AlignLeft | Qt::AlignVCenter, summary);
}

void VireoControl::paintPlayerRows(QPainter& painter, const StatusView& shown) const {
    const TwipsScale s = scale();
    const int separator = s.toPixelsY(kSeparatorTwips);
    painter.setPen(colour(kSeparator));
    painter.drawLine(s.toPixelsX(kMarginTwips), separator, width() - s.toPixelsX(kMarginTwips),
                     separator);

    // The rows are read as easily as the summary: the same size, which fits a row's height.
    const QFont rowFont = plainFont();
    const QFontMetrics metrics(rowFont);
    // None for a game that lists its players by name only.
    const int numberWidth =
        shown.rowNumbers ? metrics.horizontalAdvance(QStringLiteral("-0000000")) : 0;

    const int rows = int(shown.rows.size());
    if (rows > 0) {
        paintHeadings(painter, numberWidth, shown.moreText);
    }
    painter.setFont(rowFont);
    for (int row = 0; row < rows; ++row) {
        const PlayerRow& player = shown.rows.at(row);
        const QRect line = playerRowRect(row);
        const QRect pingRect(line.right() - numberWidth, line.top(), numberWidth, line.height());
        const QRect scoreRect = pingRect.translated(-numberWidth, 0);
        const QRect nameRect(line.left(), line.top(), std::max(0, scoreRect.left() - line.left()),
                             line.height());
        painter.setPen(colour(kText));
        painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(player.name, Qt::ElideRight, nameRect.width()));
        if (numberWidth > 0) {
            painter.setPen(colour(kDimText));
            painter.drawText(scoreRect, Qt::AlignRight | Qt::AlignVCenter,
                             decimalText(player.score));
            painter.drawText(pingRect, Qt::AlignRight | Qt::AlignVCenter, decimalText(player.ping));
        }
    }
}

// Small headings over the columns, in the band between the summary and the first row, so the
// rows keep their places and every row slot shows a player. What did not fit is told there too.
void VireoControl::paintHeadings(QPainter& painter, int numberWidth, const QString& more) const {
    const TwipsScale s = scale();
    const QRect first = playerRowRect(0);
    const int top = s.toPixelsY(kHeadingsTopTwips);
    const int height = s.toPixelsY(kHeadingsTopTwips + kHeadingsHeightTwips) - top;
    const QRect pingRect(first.right() - numberWidth, top, numberWidth, height);
    const QRect scoreRect = pingRect.translated(-numberWidth, 0);
    const QRect nameRect(first.left(), top, std::max(0, scoreRect.left() - first.left()), height);

    QFont headingFont = font();
    headingFont.setPixelSize(std::max(6, height * 9 / 10));
    painter.setFont(headingFont);
    painter.setPen(colour(kDimText));
    const QString player = QString::fromUtf8(words::kPlayerHeading);
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter, player);
    if (numberWidth > 0) {
        painter.drawText(scoreRect, Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromUtf8(words::kScoreHeading));
        painter.drawText(pingRect, Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromUtf8(words::kPingHeading));
    }
    // Right after the name heading: it counts names, and there it is not taken for a score.
    const QFontMetrics metrics(headingFont);
    const int gap = metrics.horizontalAdvance(player + QStringLiteral("  "));
    painter.setPen(colour(kText));
    painter.drawText(nameRect.adjusted(gap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, more);
}

QFont VireoControl::plainFont() const {
    QFont plain = font();
    plain.setPixelSize(std::max(6, scale().toPixelsY(kSummaryHeightTwips) * 2 / 3));
    return plain;
}

}  // namespace tamarin
