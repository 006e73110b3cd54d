// The window's template: size, every control at its converted rectangle with
// its caption, tab order, no default button.

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <set>

#include "tests/ui/windowFixture.h"
#include "ui/dialogTemplate.h"

namespace orvalis::testing {
namespace {

using Layout = WindowTest;

TEST(DialogUnits, ConvertAsOnA96DpiScreen) {
  // 1.5 pixels a horizontal unit, 1.625 a vertical one, rounded.
  EXPECT_EQ(dialogUnitsToPixelsX(657), 986);
  EXPECT_EQ(dialogUnitsToPixelsY(394), 640);
  EXPECT_EQ(dialogRect(500, 276, 84, 18), QRect(750, 449, 126, 29));   // "Chiudi"
  EXPECT_EQ(dialogRect(446, 256, 192, 18), QRect(669, 416, 288, 29));  // the mode buttons
  // Neighbours that touch in units touch in pixels.
  EXPECT_EQ(dialogRect(446, 204, 64, 18).right() + 1, dialogRect(510, 204, 64, 18).left());
  EXPECT_EQ(dialogRect(446, 204, 64, 18).bottom() + 1, dialogRect(446, 222, 64, 18).top());
}

TEST_F(Layout, FixedWindowWithTheClientAreaAndNoMaximizeBox) {
  COrvalisDlg& w = window();
  w.show();
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Orvalis 1.0"));
  EXPECT_EQ(w.clientArea()->size(), QSize(986, 640));
  EXPECT_EQ(w.clientArea()->mapTo(&w, QPoint(0, 0)).x(), 0);
  EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window must not be resizable";
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(Layout, EveryTemplateControlSitsAtItsRectangleWithItsCaption) {
  COrvalisDlg& w = window();
  std::set<QString> groupTitles;
  for (const QGroupBox* box : w.clientArea()->findChildren<QGroupBox*>()) {
    groupTitles.insert(box->title());
    const auto it = std::find_if(std::begin(kMainTemplate), std::end(kMainTemplate),
                                 [&](const auto& t) { return QString::fromUtf8(t.caption) == box->title(); });
    ASSERT_NE(it, std::end(kMainTemplate)) << box->title().toStdString();
    EXPECT_EQ(box->geometry(), dialogRect(it->x, it->y, it->width, it->height));
  }
  EXPECT_EQ(groupTitles, (std::set<QString>{QStringLiteral("Sposta oppure ridimensiona il mirino"),
                                            QString::fromUtf8("Seleziona la velocit\u00e0 del mirino"),
                                            QStringLiteral("Ricerca di una regione circolare congruente")}));

  for (const ControlTemplate& t : kMainTemplate) {
    if (t.kind == ControlKind::GroupBox) continue;
    SCOPED_TRACE(t.id);
    QWidget* widget = w.control(t.id);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), w.clientArea());
    const QRect units = dialogRect(t.x, t.y, t.width, t.height);
    EXPECT_EQ(widget->pos(), units.topLeft());
    EXPECT_EQ(widget->width(), units.width());
    switch (t.kind) {
      case ControlKind::PushButton:
        ASSERT_NE(qobject_cast<QPushButton*>(widget), nullptr);
        EXPECT_EQ(qobject_cast<QPushButton*>(widget)->text(), QString::fromUtf8(t.caption));
        EXPECT_EQ(widget->height(), units.height());
        break;
      case ControlKind::RadioButton:
        ASSERT_NE(qobject_cast<QRadioButton*>(widget), nullptr);
        EXPECT_EQ(qobject_cast<QRadioButton*>(widget)->text(), QString::fromUtf8(t.caption));
        break;
      case ControlKind::DropDownList:
        ASSERT_NE(qobject_cast<QComboBox*>(widget), nullptr);
        EXPECT_FALSE(qobject_cast<QComboBox*>(widget)->isEditable());
        break;
      case ControlKind::GroupBox: break;
    }
  }
  // The two mode buttons share one place; the step radio buttons sit inside
  // their frame, in a row.
  EXPECT_EQ(w.control(kAdjustButton)->geometry(), w.control(kNewSearchButton)->geometry());
  EXPECT_EQ(w.control(kCloseButton)->geometry(), QRect(750, 449, 126, 29));
  EXPECT_EQ(w.control(kStep50Radio)->pos(), QPoint(885, 284));
}

TEST_F(Layout, TabOrderFollowsTheTemplateAndNoButtonIsDefault) {
  COrvalisDlg& w = window();
  std::vector<int> order;
  QWidget* first = w.control(kCloseButton);
  for (QWidget* widget = first;;) {
    if (widget->objectName().toInt() >= kCloseButton && (widget->focusPolicy() & Qt::TabFocus))
      order.push_back(widget->objectName().toInt());
    widget = widget->nextInFocusChain();
    if (widget == first) break;
  }
  EXPECT_EQ(order, (std::vector<int>{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011,
                                     1012, 1015, 1016, 1017}));
  for (const QPushButton* b : w.clientArea()->findChildren<QPushButton*>()) {
    EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
  }
}

}  // namespace
}  // namespace orvalis::testing
