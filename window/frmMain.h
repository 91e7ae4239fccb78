#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "common/twips.h"
#include "platform/desktop.h"
#include "settings/settingsstore.h"
#include "statuscontrol/statuscontrol.h"
#include "window/controls.h"

namespace tamarin {

class FrameExtents;

// The tool's one window. It owns every piece of run-time state: its controls, GameKeys and the
// preview control Vireo. Controls carry their names as object names, so tests find them by name.
class frmMain : public QWidget {
    Q_OBJECT

  public:
    using ControlFactory = std::function<StatusControl*(TwipsScale scale, QWidget* parent)>;

    // Creates the window with its designed controls and runs start-up (before it is first shown).
    frmMain(SettingsStore& store, Desktop& desktop, const ControlFactory& makeControl,
            QWidget* parent = nullptr);
    ~frmMain() override;

    // The window's procedures, the very operations its handlers run.
    void LoadGameList();
    void ApplyOptions();
    void ArrangePreview();
    void BuildHtml();  // throws StepFailure; its caller moves on to its own next step
    void FillDefaultPort();

    const QStringList& gameKeys() const { return GameKeys; }
    StatusControl* preview() const { return Vireo; }
    TwipsScale scale() const { return scale_; }

    // The window's outer height (frame included) in twips, as last asked for.
    double requestedOuterHeightTwips() const { return requestedOuterTwips_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void createControls(const ControlFactory& makeControl);
    void applyLook();
    void describeControls();
    void setTabOrder();
    void connectEvents();
    void placeTwips(QWidget* widget, double left, double top, double width, double height);

    // Handlers are named on_<sender>_<signal>, after the object that raises the event and what
    // it raised; the window's own load (start-up) and unload (shut-down) are frmMain's.
    void on_frmMain_load();
    void on_frmMain_unload();
    void restoreLastServer();
    void saveLastServer();

    void on_cmdReload_clicked();
    void on_cmdShow_clicked();
    void on_Vireo_PreviewResized();
    void on_lblEMail_clicked();
    void on_lblWebSite_clicked();
    void on_lblDetails_clicked();

    bool inputsFilled() const;
    bool validateInputs();
    void limitRefresh();
    void configureServer();
    void layOverPreview();
    void fitWindowToPreview();
    void setOuterHeightTwips(double twips);
    void applyOuterHeight();
    int frameHeight() const;  // the window manager's frame, top and bottom together, in pixels

    QString lastServer(const char* key, const QString& defaultValue) const;

    SettingsStore& store_;
    Desktop& desktop_;
    TwipsScale scale_;

    SortedComboBox* cboGame = nullptr;
    QLineEdit* txtIP = nullptr;
    QLineEdit* txtPort = nullptr;
    QLineEdit* txtRefresh = nullptr;
    PlayersComboBox* cboPlayers = nullptr;
    WrappingButton* cmdSave = nullptr;
    WrappingButton* cmdShow = nullptr;
    SnippetBox* txtHTML = nullptr;
    QLabel* Label1 = nullptr;  // "Server Address:"
    QLabel* Label2 = nullptr;  // "Server Port:"
    QLabel* Label3 = nullptr;  // "Refresh Seconds:"
    QLabel* lblAbout = nullptr;
    ClickableLabel* lblWebSite = nullptr;
    QLabel* Label4 = nullptr;  // "Game Type:"
    ClickableLabel* lblEMail = nullptr;
    QLabel* Label5 = nullptr;  // "EMail:"
    QLabel* Label6 = nullptr;  // "# Players Visible:"
    WrappingButton* cmdReload = nullptr;
    DetailsCheckBox* chkDetials = nullptr;
    ClickableLabel* lblDetails = nullptr;
    StatusControl* Vireo = nullptr;
    QLabel* Image1 = nullptr;

    // The game keys split from the status control's GameList; entry i of cboGame carries i.
    QStringList GameKeys;
    // Set while a GameKeys entry is handed to the preview, so a reload cannot replace it then.
    bool gameKeysHeld_ = false;

    double requestedOuterTwips_ = 0.0;
    FrameExtents* frame_ = nullptr;
    bool unloaded_ = false;
    bool shownOnce_ = false;
};

}  // namespace tamarin
