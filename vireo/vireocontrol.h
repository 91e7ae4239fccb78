#pragma once

#include <QRect>
#include <QString>
#include <QTimer>

#include "serverquery/serverquery.h"
#include "serverquery/serverstatus.h"
#include "serverquery/statusview.h"
#include "settings/settingsstore.h"
#include "statuscontrol/statuscontrol.h"

class QToolButton;

namespace tamarin {

// Our Vireo status control (VireoLib.Vireo), the preview on the window.
class VireoControl : public StatusControl {
    Q_OBJECT

  public:
    VireoControl(TwipsScale scale, contract::StoredProperties stored, SettingsStore& store,
                 QWidget* parent = nullptr);
    ~VireoControl() override;

    static QString versionText();

    // Player rows that fit in a height, in twips from the control's top.
    static int rowsThatFit(double heightTwips);

    // The height the control gives itself now, in twips: collapsed without details, otherwise the
    // expanded height kept within sane bounds.
    double collapsedHeightTwips() const;
    double drawnHeightTwips() const;
    // Player rows drawn at the current height (none while the details are hidden).
    int visibleRowCount() const;
    QRect playerRowRect(int row) const;

    const ServerStatus& status() const { return status_; }
    // The state as the control shows it, e.g. "online" or "unknown game type"; "online (stale)"
    // while the last answer is kept through one unanswered query.
    QString stateText() const;
    // The server as shown: host and port, an IPv6 address in brackets ("[::1]:27960").
    QString addressText() const;
    // "+2 more" when the server listed more players than there are rows to show them in.
    QString moreRowsText() const;
    // What the status means to a reader now, in the words every surface uses.
    StatusView view() const;
    // The milliseconds between automatic queries now; 0 while there are none.
    int refreshPeriodMs() const;

  public slots:
    // Shows what a query found out about the configured server.
    void showStatus(const tamarin::ServerStatus& status);
    // Toggles the details as a visitor of the page does with the button inside the control.
    void toggleDetails();
    // The control's options screen, as its context menu opens it.
    void showOptions();

  protected:
    QVariant getOwn(dispid::DispId id) override;
    void putOwn(dispid::DispId id, const QVariant& value) override;
    QVariant callOwn(dispid::DispId id, QVariantList& args) override;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void writeDefaultCatalogue();
    quint16 queryPort() const;
    void configureServer(QVariantList& args);
    void startQuery();
    void refresh();
    bool canQuery() const;
    void sendQuery();
    void restartRefreshTimer();
    void requerySoon();
    void setDetails(bool details);
    void setExpandedHeight(qint32 twips);
    void applyOwnHeight();
    void placeDetailsButton();
    void labelDetailsButton();

    QFont plainFont() const;
    bool keepsLastAnswer(const ServerStatus& status) const;
    void paintStatusBlock(QPainter& painter, const StatusView& shown) const;
    void paintPlayerRows(QPainter& painter, const StatusView& shown) const;
    void paintHeadings(QPainter& painter, int numberWidth, const QString& more) const;

    contract::StoredProperties stored_;
    SettingsStore& store_;

    qint32 refreshInterval_ = 0;
    QString gameType_;
    qint32 hostPort_ = 0;
    QString hostName_;
    QString gameKey_;
    QString gameName_;
    QString gameQueryPort_;    // the list's QueryPort for the game, as stored
    bool gameListed_ = false;  // the user's list holds the game's key
    quint16 queriedPort_ = 0;  // the port the last query asked
    bool details_ = true;
    qint32 expandedHeight_ = 0;

    ServerStatus status_;
    // The last good answer is still shown, though the latest query went unanswered.
    bool stale_ = false;
    bool unknownGameType_ = false;
    ServerQuery query_;
    QTimer refreshTimer_;
    QTimer requeryTimer_;
    QToolButton* detailsButton_ = nullptr;
};

}  // namespace tamarin
