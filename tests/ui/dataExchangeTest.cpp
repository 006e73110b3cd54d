// The four members and the controls: list texts, prefix selection, the radio
// group as an index, in both directions.

#include <QButtonGroup>
#include <QRadioButton>

#include "ui/dataExchange.h"
#include "tests/ui/windowFixture.h"

namespace orvalis::testing {
namespace {

using DataExchange = WindowTest;

TEST_F(DataExchange, ListsHoldTheOptionTextsInTableOrder) {
  const std::pair<int, Parameter> lists[] = {{kFramesPerSecondList, Parameter::FramesPerSecond},
                                             {kFilterRadiusList, Parameter::FilterRadius},
                                             {kColorToleranceList, Parameter::ColorTolerance}};
  for (const auto& [id, parameter] : lists) {
    SCOPED_TRACE(id);
    QComboBox* l = list(id);
    const auto table = optionTable(parameter);
    ASSERT_EQ(l->count(), static_cast<int>(table.size()));
    for (int i = 0; i < l->count(); ++i) EXPECT_EQ(l->itemText(i).toStdString(), table[i].text);
  }
  // The texts as the user reads them, three blanks after the colon.
  EXPECT_EQ(list(kFramesPerSecondList)->count(), 9);
  EXPECT_EQ(list(kFramesPerSecondList)->itemText(8), QStringLiteral("Immagini elaborate per secondo:   256"));
  EXPECT_EQ(list(kFilterRadiusList)->count(), 20);
  EXPECT_EQ(list(kFilterRadiusList)->itemText(7),
            QStringLiteral("Raggio della filtrazione immagine:   8 pixels"));
  EXPECT_EQ(list(kColorToleranceList)->count(), 20);
  EXPECT_EQ(list(kColorToleranceList)->itemText(0),
            QStringLiteral("Precisione cromatica della ricerca:   2"));
}

TEST_F(DataExchange, WritingATextSelectsTheFirstItemThatBeginsWithIt) {
  WindowMembers& m = window().members();
  m.framesPerSecondText = "Immagini elaborate per secondo:   2";
  m.colorToleranceText = "Precisione cromatica della ricerca:   2";
  m.filterRadiusText = "raggio della filtrazione immagine:   1";  // case is ignored
  window().writeMembersToControls();
  EXPECT_EQ(list(kFramesPerSecondList)->currentText(), QStringLiteral("Immagini elaborate per secondo:   2"));
  EXPECT_EQ(list(kColorToleranceList)->currentText(),
            QStringLiteral("Precisione cromatica della ricerca:   2"));
  EXPECT_EQ(list(kFilterRadiusList)->currentText(),
            QStringLiteral("Raggio della filtrazione immagine:   1 pixels"));

  // "...:   25" is no list text, but "...:   256" begins with it.
  m.framesPerSecondText = "Immagini elaborate per secondo:   25";
  window().writeMembersToControls();
  EXPECT_EQ(list(kFramesPerSecondList)->currentText(),
            QStringLiteral("Immagini elaborate per secondo:   256"));

  // A text that no item begins with, and an empty one, leave the selection.
  m.framesPerSecondText = "Immagini elaborate per secondo:   5";
  m.colorToleranceText = "";
  window().writeMembersToControls();
  EXPECT_EQ(list(kFramesPerSecondList)->currentText(),
            QStringLiteral("Immagini elaborate per secondo:   256"));
  EXPECT_EQ(list(kColorToleranceList)->currentText(),
            QStringLiteral("Precisione cromatica della ricerca:   2"));
}

TEST_F(DataExchange, ReadingGivesTheSelectedTextsAndTheCheckedIndex) {
  list(kFramesPerSecondList)->setCurrentIndex(4);
  list(kFilterRadiusList)->setCurrentIndex(19);
  list(kColorToleranceList)->setCurrentIndex(7);
  qobject_cast<QRadioButton*>(window().control(kStep50Radio))->setChecked(true);
  window().readMembersFromControls();
  const WindowMembers& m = window().members();
  EXPECT_EQ(m.framesPerSecondText, "Immagini elaborate per secondo:   16");
  EXPECT_EQ(m.filterRadiusText, "Raggio della filtrazione immagine:   20 pixels");
  EXPECT_EQ(m.colorToleranceText, "Precisione cromatica della ricerca:   16");
  EXPECT_EQ(m.stepIndex, 3);
}

TEST_F(DataExchange, RadioIndexRoundTripsAndNoneCheckedIsMinusOne) {
  const int ids[4] = {kStep1Radio, kStep10Radio, kStep25Radio, kStep50Radio};
  WindowMembers& m = window().members();
  window().readMembersFromControls();
  EXPECT_EQ(m.stepIndex, -1) << "nothing is checked before the members are written";

  for (int index = 0; index < 4; ++index) {
    m.stepIndex = index;
    window().writeMembersToControls();
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(button(ids[j])->isChecked(), j == index) << "index " << index << " button " << ids[j];
    }
    m.stepIndex = -7;
    window().readMembersFromControls();
    EXPECT_EQ(m.stepIndex, index);
  }
  // An index that no button has unchecks them all.
  for (int outside : {-1, 4}) {
    m.stepIndex = outside;
    window().writeMembersToControls();
    for (int id : ids) EXPECT_FALSE(button(id)->isChecked()) << outside;
    window().readMembersFromControls();
    EXPECT_EQ(m.stepIndex, -1);
  }
}

}  // namespace
}  // namespace orvalis::testing
