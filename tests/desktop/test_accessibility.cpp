#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>

#include "tests/support/windowharness.h"
#include "vireo/vireocontrol.h"

// What a screen reader finds on the real window (with the real status control): a name for
// everything that takes the focus, each input named after its caption and tied to it.
namespace tamarin {

namespace {

class Accessibility : public WindowTest {
  protected:
    void SetUp() override {
        open(
            [this](TwipsScale scale, QWidget* p) { return new VireoControl(scale, {}, store, p); });
    }

    QWidget* widget(const char* name) const { return find(name); }
    static QAccessibleInterface* of(QObject* object) {
        return QAccessible::queryAccessibleInterface(object);
    }
    QString name(const char* widgetName) const {
        QAccessibleInterface* face = of(widget(widgetName));
        return face ? face->text(QAccessible::Name) : QStringLiteral("<no interface>");
    }

    // Every node of the window's accessibility tree, depth first.
    void walk(QAccessibleInterface* node, const std::function<void(QAccessibleInterface*)>& visit) {
        visit(node);
        for (int i = 0; i < node->childCount(); ++i) {
            if (QAccessibleInterface* child = node->child(i)) {
                walk(child, visit);
            }
        }
    }
};

QString describe(QAccessibleInterface* node) {
    const QObject* object = node->object();
    return QStringLiteral("%1 (%2, role %3)")
        .arg(object ? object->objectName() : QString(),
             object ? QString::fromLatin1(object->metaObject()->className()) : QString())
        .arg(int(node->role()));
}

}  // namespace

TEST_F(Accessibility, EveryControlThatTakesTheFocusHasAName) {
    QStringList focusable;
    QStringList unnamed;
    walk(of(window.get()), [&](QAccessibleInterface* node) {
        if (!node->state().focusable) {
            return;
        }
        if (node->object() != nullptr) {
            focusable << node->object()->objectName();
        }
        if (node->text(QAccessible::Name).trimmed().isEmpty()) {
            unnamed << describe(node);
        }
    });
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    // The walk reached the whole form, the hidden snippet box and the preview's own button too.
    for (const char* name : {"cboGame", "txtIP", "txtPort", "txtRefresh", "cboPlayers", "cmdSave",
                             "cmdShow", "txtHTML", "cmdReload", "chkDetials", "detailsButton"}) {
        EXPECT_TRUE(focusable.contains(QString::fromLatin1(name))) << name;
    }
}

TEST_F(Accessibility, EachInputIsAnnouncedWithItsCaptionAndTiedToIt) {
    struct Input {
        const char* field;
        const char* caption;
        const char* label;
    };
    for (const Input& input :
         {Input{"cboGame", "Game Type:", "Label4"}, Input{"txtIP", "Server Address:", "Label1"},
          Input{"txtPort", "Server Port:", "Label2"},
          Input{"txtRefresh", "Refresh Seconds:", "Label3"},
          Input{"cboPlayers", "# Players Visible:", "Label6"},
          Input{"chkDetials", "Details at startup", "lblDetails"}}) {
        SCOPED_TRACE(input.field);
        QWidget* field = widget(input.field);
        auto* label = window->findChild<QLabel*>(QString::fromLatin1(input.label));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromLatin1(input.caption));
        EXPECT_EQ(label->buddy(), field);
        // What a screen reader on Linux reads beside the field: the label it is labelled by.
        QStringList labelledBy;
        for (const auto& [other, relation] : of(field)->relations(QAccessible::Label)) {
            labelledBy << other->text(QAccessible::Name);
        }
        EXPECT_EQ(labelledBy, QStringList{QString::fromLatin1(input.caption)});

        if (auto* box = qobject_cast<QComboBox*>(field)) {
            // A drop-down's own name is its value on Linux; its open list and its edit field
            // carry the caption.
            EXPECT_EQ(of(box->view())->text(QAccessible::Name), input.caption);
            if (box->isEditable()) {
                EXPECT_EQ(of(box->lineEdit())->text(QAccessible::Name), input.caption);
            }
        } else {
            EXPECT_EQ(of(field)->text(QAccessible::Name), input.caption);
        }
    }
}

TEST_F(Accessibility, StepButtonsAreReadAsOnePhraseThatFollowsTheToggle) {
    auto* save = qobject_cast<QPushButton*>(widget("cmdSave"));
    auto* show = qobject_cast<QPushButton*>(widget("cmdShow"));
    ASSERT_TRUE(save && show);
    EXPECT_EQ(save->text(), "Step 1:\nSave Options");  // the caption shown keeps its two lines
    EXPECT_EQ(name("cmdSave"), "Step 1: Save Options");
    EXPECT_EQ(name("cmdReload"), "Reload Games");

    EXPECT_EQ(name("cmdShow"), "Step 2: Show HTML");
    show->click();
    EXPECT_EQ(show->text(), "Step 2:\nShow Vireo");
    EXPECT_EQ(name("cmdShow"), "Step 2: Show Vireo");
    show->click();
    EXPECT_EQ(name("cmdShow"), "Step 2: Show HTML");
}

TEST_F(Accessibility, SnippetPreviewAndLinksSayWhatTheyAre) {
    EXPECT_EQ(name("txtHTML"), "HTML to copy");
    EXPECT_EQ(name("Vireo"), "Server status");
    // A link is read as the address it shows, and says where it leads.
    for (const char* link : {"lblEMail", "lblWebSite"}) {
        auto* label = qobject_cast<QLabel*>(widget(link));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(name(link), label->text());
        EXPECT_TRUE(of(label)->text(QAccessible::Description).startsWith("Link: ")) << link;
    }
    for (const char* described : {"txtHTML", "Vireo", "cmdSave", "cmdShow", "cmdReload"}) {
        EXPECT_FALSE(of(widget(described))->text(QAccessible::Description).isEmpty()) << described;
    }
}

}  // namespace tamarin
