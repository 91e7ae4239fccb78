#include "window/frmMain.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <limits>

#include "common/guardedconnect.h"
#include "common/steps.h"
#include "window/frameextents.h"
#include "window/texts.h"

// The artwork is compiled into this library; a static library's resources must be registered.
static void registerArtwork() {
    Q_INIT_RESOURCE(assets);
}

namespace tamarin {

namespace {

// The designed client area, in twips.
constexpr double kClientWidth = 8595;
constexpr double kClientHeight = 4515;

TwipsScale scaleOf(const Desktop& desktop) {
    TwipsScale scale;
    if (desktop.twipsPerPixelX() > 0.0f) {
        scale.twipsPerPixelX = desktop.twipsPerPixelX();
    }
    if (desktop.twipsPerPixelY() > 0.0f) {
        scale.twipsPerPixelY = desktop.twipsPerPixelY();
    }
    return scale;
}

template <typename W, typename... Args>
W* named(QWidget* parent, const char* name, Args&&... args) {
    auto* widget = new W(std::forward<Args>(args)..., parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

frmMain::frmMain(SettingsStore& store, Desktop& desktop, const ControlFactory& makeControl,
                 QWidget* parent)
    : QWidget(parent), store_(store), desktop_(desktop), scale_(scaleOf(desktop)) {
    registerArtwork();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(texts::kWindowCaption));
    // The layout is fixed in twips: the window can be minimised and closed, not resized.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(scale_.toPixelsX(kClientWidth), scale_.toPixelsY(kClientHeight));
    frame_ = new FrameExtents(this, [this] { applyOuterHeight(); });
    createControls(makeControl);
    applyLook();
    setTabOrder();
    connectEvents();
    describeControls();
    on_frmMain_load();
}

frmMain::~frmMain() = default;

void frmMain::placeTwips(QWidget* widget, double left, double top, double width, double height) {
    widget->setGeometry(scale_.toPixelsX(left), scale_.toPixelsY(top), scale_.toPixelsX(width),
                        scale_.toPixelsY(height));
}

void frmMain::createControls(const ControlFactory& makeControl) {
    cboGame = named<SortedComboBox>(this, "cboGame");
    placeTwips(cboGame, 1800, 60, 2715, 360);
    txtIP = named<QLineEdit>(this, "txtIP", QStringLiteral("txtIP"));
    placeTwips(txtIP, 1800, 480, 2715, 360);
    txtPort = named<QLineEdit>(this, "txtPort", QStringLiteral("txtPort"));
    placeTwips(txtPort, 1800, 900, 2715, 360);
    txtRefresh = named<QLineEdit>(this, "txtRefresh", QStringLiteral("txtRefresh"));
    placeTwips(txtRefresh, 1800, 1320, 2715, 360);
    // Stored texts come back whole, however long: no cut at Qt's default of 32767 characters.
    for (QLineEdit* box : {txtIP, txtPort, txtRefresh}) {
        box->setMaxLength(std::numeric_limits<int>::max());
    }
    cboPlayers = named<PlayersComboBox>(this, "cboPlayers");
    cboPlayers->setEditText(QStringLiteral("cboPlayers"));
    placeTwips(cboPlayers, 1800, 1740, 735, 360);
    cmdSave = named<WrappingButton>(this, "cmdSave", QStringLiteral("Save Options"));
    placeTwips(cmdSave, 4620, 960, 1515, 675);
    cmdShow = named<WrappingButton>(this, "cmdShow", QStringLiteral("Show HTML"));
    placeTwips(cmdShow, 6180, 960, 1455, 675);
    txtHTML = named<SnippetBox>(this, "txtHTML");
    txtHTML->setPlainText(QStringLiteral("txtHTML\n"));
    placeTwips(txtHTML, 60, 2400, 7575, 2040);
    Label1 = named<QLabel>(this, "Label1", QStringLiteral("Server Address:"));
    placeTwips(Label1, 0, 540, 1755, 315);
    Label2 = named<QLabel>(this, "Label2", QStringLiteral("Server Port:"));
    placeTwips(Label2, 0, 960, 1755, 315);
    Label3 = named<QLabel>(this, "Label3", QStringLiteral("Refresh Seconds:"));
    placeTwips(Label3, 0, 1380, 1755, 315);
    lblAbout = named<QLabel>(this, "lblAbout", QStringLiteral("HTML Code Generator"));
    placeTwips(lblAbout, 4620, 600, 2955, 375);
    lblWebSite = named<ClickableLabel>(this, "lblWebSite", QString::fromLatin1(texts::kWebSite));
    placeTwips(lblWebSite, 4680, 2040, 3795, 315);
    Label4 = named<QLabel>(this, "Label4", QStringLiteral("Game Type:"));
    placeTwips(Label4, 0, 120, 1755, 315);
    lblEMail = named<ClickableLabel>(this, "lblEMail", QString::fromLatin1(texts::kEMail));
    placeTwips(lblEMail, 5640, 1740, 2355, 315);
    Label5 = named<QLabel>(this, "Label5", QStringLiteral("EMail:"));
    placeTwips(Label5, 4560, 1740, 1035, 315);
    Label6 = named<QLabel>(this, "Label6", QStringLiteral("# Players Visible:"));
    placeTwips(Label6, 0, 1800, 1755, 315);
    cmdReload = named<WrappingButton>(this, "cmdReload", QStringLiteral("Reload Games"));
    placeTwips(cmdReload, 7680, 1020, 855, 555);
    chkDetials = named<DetailsCheckBox>(this, "chkDetials");
    chkDetials->setText(QStringLiteral("Check1"));
    chkDetials->setValue(1);
    placeTwips(chkDetials, 2580, 1800, 195, 255);
    lblDetails = named<ClickableLabel>(this, "lblDetails", QStringLiteral("Details at startup"));
    placeTwips(lblDetails, 2880, 1800, 1815, 315);
    Vireo = makeControl(scale_, this);
    Vireo->setObjectName(QStringLiteral("Vireo"));
    Vireo->move(scale_.toPixelsX(60), scale_.toPixelsY(2400));
    Image1 = named<QLabel>(this, "Image1");
    placeTwips(Image1, 4980, 60, 2115, 555);
}

void frmMain::setTabOrder() {
    const QList<QWidget*> order = {cboGame, txtIP,   txtPort,   txtRefresh, cboPlayers, cmdSave,
                                   cmdShow, txtHTML, cmdReload, chkDetials, Vireo};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void frmMain::connectEvents() {
    connectGuarded(cboGame, &QComboBox::currentIndexChanged, this, &frmMain::FillDefaultPort);
    connectGuarded(cboGame, &QComboBox::activated, this, &frmMain::FillDefaultPort);
    connectGuarded(cmdSave, &QPushButton::clicked, this, &frmMain::ApplyOptions);
    connectGuarded(cmdShow, &QPushButton::clicked, this, &frmMain::on_cmdShow_clicked);
    connectGuarded(cmdReload, &QPushButton::clicked, this, &frmMain::on_cmdReload_clicked);
    connectGuarded(Vireo, &StatusControl::PreviewResized, this, &frmMain::on_Vireo_PreviewResized);
    connectGuarded(lblDetails, &ClickableLabel::clicked, this, &frmMain::on_lblDetails_clicked);
    connectGuarded(lblEMail, &ClickableLabel::clicked, this, &frmMain::on_lblEMail_clicked);
    connectGuarded(lblWebSite, &ClickableLabel::clicked, this, &frmMain::on_lblWebSite_clicked);
}

void frmMain::closeEvent(QCloseEvent* event) {
    // The close always goes ahead; the six values are written first, once.
    runGuarded([this] { on_frmMain_unload(); });
    event->accept();
}

void frmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) {
        return;
    }
    shownOnce_ = true;
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(width() / 2, height() / 2));
    }
}

bool frmMain::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The window manager's frame is known only once the window is mapped (and may change when
    // it is re-decorated): fit the outer height again whenever the frame may have changed.
    switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::WindowStateChange:
        case QEvent::ActivationChange:
            applyOuterHeight();
            break;
        default:
            break;
    }
    return handled;
}

void frmMain::setOuterHeightTwips(double twips) {
    requestedOuterTwips_ = twips;
    applyOuterHeight();
}

void frmMain::applyOuterHeight() {
    if (requestedOuterTwips_ <= 0.0) {
        return;
    }
    const int clientHeight = qMax(1, scale_.toPixelsY(requestedOuterTwips_) - frameHeight());
    if (clientHeight != height()) {
        setFixedHeight(clientHeight);
    }
}

int frmMain::frameHeight() const {
    if (const std::optional<int> published = frame_->verticalPixels()) {
        return qRound(*published / devicePixelRatioF());
    }
    // Without the window manager's word (no frame yet, or not on X11) Qt's measure is all there
    // is; a frame never makes the window smaller than what it frames.
    return qMax(0, frameGeometry().height() - geometry().height());
}

}  // namespace tamarin
