#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

// The few places where the window's controls behave differently from Qt's stock ones.
namespace tamarin {

// Sets a button's caption from a text whose line breaks are CR LF (Qt's buttons break at LF), and
// the name a screen reader gives it.
void setCaption(QAbstractButton* button, const char* crlfText);

// A push button whose caption wraps at word boundaries when it is wider than the button, as the
// narrow Reload Games button needs; explicit line breaks are kept.
class WrappingButton : public QPushButton {
    Q_OBJECT

  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A pick-only list kept in case-insensitive order, whose entries carry an integer item data that
// stays with the entry wherever the list places it. Adding and clearing never select anything by
// themselves (a stock QComboBox selects its first entry when one is added to an empty list).
class SortedComboBox : public QComboBox {
    Q_OBJECT

  public:
    explicit SortedComboBox(QWidget* parent = nullptr);

    // Inserts the entry at its sorted place and returns that position.
    int addSorted(const QString& text);
    // Adds every entry, each with its item data, where addSorted one by one would place it
    // (entries that sort alike keep their order), but into an empty list in one go: thousands
    // of games would otherwise cost a search and a shift of the list each.
    void addAllSorted(QList<std::pair<QString, int>> entries);
    void clearEntries();
    // Selects a position; -1 selects nothing. Any other position outside the list is refused.
    void selectPosition(int position);
};

// An editable drop-down whose list operations leave the typed text alone.
class PlayersComboBox : public QComboBox {
    Q_OBJECT

  public:
    explicit PlayersComboBox(QWidget* parent = nullptr);

    void clearAll();  // entries and the text in the edit field
    void appendEntry(const QString& text);
};

// A label that reports a click (press and release on it with the left button).
class ClickableLabel : public QLabel {
    Q_OBJECT

  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// A check box whose value is 0 (unchecked), 1 (checked) or 2 (greyed). A user's click on a greyed
// box unchecks it, as the details caption does; greyed is only ever set from code.
class DetailsCheckBox : public QCheckBox {
    Q_OBJECT

  public:
    explicit DetailsCheckBox(QWidget* parent = nullptr);

    int value() const;
    void setValue(int value);  // refuses anything but 0, 1 and 2

  protected:
    void nextCheckState() override;
};

// The snippet box. It keeps the text it is given as its own value, exactly: a text widget would
// take a value's line or paragraph separator for a line break and hand a no-break space back as a
// plain one. The box shows each CR LF as a line break and every other character as one position,
// so any stretch of what it shows maps back onto the exact text; copies and drags are served from
// that, and the user's edits are folded into it.
class SnippetBox : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit SnippetBox(QWidget* parent = nullptr);

    void setSnippet(const QString& text);
    // The text exactly as it was set, with whatever the user has typed into the box since.
    QString snippet() const { return text_; }
    void selectAllText();

  protected:
    QMimeData* createMimeDataFromSelection() const override;
    void changeEvent(QEvent* event) override;

  private:
    void followEdit(int position, int removed, int added);
    void mapPositions();
    qsizetype startOf(int position) const;
    QString shownText(int from, int to) const;  // what the box shows there, line breaks as CR LF

    QString text_;
    QList<qsizetype> starts_ = {0};  // where each position of the box starts in text_, and its end
    bool setting_ = false;
};

}  // namespace tamarin
