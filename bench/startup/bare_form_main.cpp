#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

// A second baseline: the tool's form built from plain Qt widgets with nothing behind them. The same
// controls, texts, fonts, picture and icon at the same places (96 dpi), and a preview area that
// draws a few lines of text in the preview's two fonts; no settings, no status control, no step
// logic. What the tool costs beyond this is what its own code costs.
namespace {

QFont verdana(double points, bool bold = false, bool underline = false) {
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

template <typename W>
W* place(W* widget, int left, int top, int width, int height) {
    // Twips to pixels at 96 dpi.
    widget->setGeometry(left / 15, top / 15, width / 15, height / 15);
    return widget;
}

class PreviewArea : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(32, 40, 48));
        painter.setPen(Qt::white);
        QFont title = font();
        title.setBold(true);
        title.setPixelSize(14);
        painter.setFont(title);
        painter.drawText(6, 3, width() - 40, 19, Qt::AlignVCenter, QStringLiteral("No server set"));
        QFont plain = font();
        plain.setPixelSize(12);
        painter.setFont(plain);
        painter.drawText(6, 22, width() - 12, 18, Qt::AlignVCenter,
                         QStringLiteral("Game: Quake III Arena   Players: 0/0"));
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare form"));
    window.setFixedSize(573, 301);
    window.setFont(verdana(9.75));
    window.setWindowIcon(QIcon(QStringLiteral(":/tamarin/icon-32.png")));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    window.setPalette(palette);
    window.setAutoFillBackground(true);

    place(new QComboBox(&window), 1800, 60, 2715, 360);
    for (int top : {480, 900, 1320}) {
        place(new QLineEdit(QStringLiteral("127.0.0.1"), &window), 1800, top, 2715, 360);
    }
    auto* players = place(new QComboBox(&window), 1800, 1740, 735, 360);
    players->setEditable(true);
    players->setEditText(QStringLiteral("5"));
    place(new QPushButton(QStringLiteral("Step 1:\nSave Options"), &window), 4620, 960, 1515, 675);
    place(new QPushButton(QStringLiteral("Step 2:\nShow HTML"), &window), 6180, 960, 1455, 675);
    place(new QPushButton(QStringLiteral("Reload\nGames"), &window), 7680, 1020, 855, 555)
        ->setFont(verdana(8.25));
    place(new QPlainTextEdit(&window), 60, 2400, 7575, 2040)->hide();
    const struct {
        const char* text;
        int left, top, width;
    } labels[] = {{"Game Type:", 0, 120, 1755},
                  {"Server Address:", 0, 540, 1755},
                  {"Server Port:", 0, 960, 1755},
                  {"Refresh Seconds:", 0, 1380, 1755},
                  {"# Players Visible:", 0, 1800, 1755},
                  {"EMail:", 4560, 1740, 1035},
                  {"Details at startup", 2880, 1800, 1815}};
    for (const auto& label : labels) {
        place(new QLabel(QString::fromLatin1(label.text), &window), label.left, label.top,
              label.width, 315);
    }
    place(new QLabel(QStringLiteral("HTML Code Generator"), &window), 4620, 600, 2955, 375)
        ->setFont(verdana(11.25, true));
    for (const auto& [text, left, width] :
         {std::tuple{"support@vireo.example", 5640, 2355},
          std::tuple{"HTTP://www.vireo.example/Vireo/", 4680, 3795}}) {
        place(new QLabel(QString::fromLatin1(text), &window), left, 2040, width, 315)
            ->setFont(verdana(9.75, false, true));
    }
    place(new QCheckBox(&window), 2580, 1800, 195, 255)->setChecked(true);
    auto* picture = place(new QLabel(&window), 4980, 60, 2115, 555);
    picture->setPixmap(QPixmap(QStringLiteral(":/tamarin/vireo.gif")));
    picture->setScaledContents(true);
    place(new PreviewArea(&window), 60, 2400, 7575, 1740);

    window.show();
    return QApplication::exec();
}
