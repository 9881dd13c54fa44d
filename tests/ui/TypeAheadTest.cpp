// Type-ahead over a combo's names: narrowing, refilled lists and picking a name.

#include "platform/ui/widgets/TypeAhead.h"
#include "platform/data/ComboListModel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A combo as DataAccess leaves it after a fill: the names in a ComboListModel.
struct NameCombo {
    QComboBox combo;
    ComboListModel* list = new ComboListModel(&combo);
    QCompleter* popup = nullptr;

    explicit NameCombo(const QStringList& names) {
        combo.setModel(list);
        list->Reset(names, {});
        combo.setCurrentIndex(-1);
        TypeAhead::Attach(&combo);
        popup = combo.findChild<QCompleter*>();
        combo.show();
        combo.setFocus();
    }
    void Type(const QString& keys) { QTest::keyClicks(combo.lineEdit(), keys); }
    QStringList Offered() const {
        QStringList names;
        for (int row = 0; row < popup->model()->rowCount(); ++row)
            names << popup->model()->index(row, 0).data().toString();
        return names;
    }
};

} // namespace

TEST(TypeAheadTest, AnyPartOfANameInAnyCaseNarrowsThePopup) {
    NameCombo names({"Ana García López", "Edgar Ruiz", "Luis Anaya", "GARCÍA ROS, Pilar", ""});
    ASSERT_NE(names.popup, nullptr);
    EXPECT_EQ(names.combo.completer(), nullptr); // no second search on every key

    names.Type("gar");
    EXPECT_EQ(names.Offered(),
              QStringList({"Ana García López", "Edgar Ruiz", "GARCÍA ROS, Pilar"}));
    EXPECT_TRUE(names.popup->popup()->isVisible());
    names.Type("c");
    EXPECT_EQ(names.Offered(), QStringList({"Ana García López", "GARCÍA ROS, Pilar"}));

    // Back to a shorter text: the names dropped on the way come back.
    QTest::keyClick(names.combo.lineEdit(), Qt::Key_Backspace);
    QTest::keyClick(names.combo.lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(names.Offered().size(), 3);
    names.Type("zzz");
    EXPECT_TRUE(names.Offered().isEmpty());
    EXPECT_FALSE(names.popup->popup()->isVisible());
}

TEST(TypeAheadTest, ARefilledListIsSearchedAfreshEvenWhenTheTextOnlyGrows) {
    NameCombo names({"Ana García López", "Luis Anaya"});
    names.Type("an");
    EXPECT_EQ(names.Offered().size(), 2);
    // Refilled as the selector does, keeping the typed text.
    names.list->Reset({"Anselmo Vidal", "Juana Ortiz", "Pedro Gil"}, {});
    names.combo.setCurrentIndex(-1);
    names.combo.setEditText("an");
    names.Type("a");
    EXPECT_EQ(names.Offered(), QStringList({"Juana Ortiz"}));
}

TEST(TypeAheadTest, PickingANameSelectsItsEntryAsAClickDoes) {
    NameCombo names({"Ana García López", "Edgar Ruiz", "Luis Anaya"});
    QSignalSpy clicks(&names.combo, &QComboBox::activated);
    names.Type("ruiz");
    Q_EMIT names.popup->activated(QStringLiteral("Edgar Ruiz"));
    EXPECT_EQ(names.combo.currentIndex(), 1);
    EXPECT_EQ(names.combo.currentText(), "Edgar Ruiz");
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks.first().first().toInt(), 1);
}
