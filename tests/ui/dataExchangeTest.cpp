// Parameter values and the controls: list texts, the selection a value
// shows, the radio group as an index.

#include <QButtonGroup>
#include <QRadioButton>

#include "tests/ui/windowFixture.h"
#include "ui/dataExchange.h"

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

TEST_F(DataExchange, ShownParametersSelectTheirItemsAndUnlistedValuesSelectNone) {
  const int steps[4] = {kStep1Radio, kStep10Radio, kStep25Radio, kStep50Radio};
  struct Row {
    SearchParameters shown;
    const char* framesPerSecond;  // "" for no selection
    const char* filterRadius;
    const char* colorTolerance;
    int checkedStep;  // index into steps
  };
  const Row rows[] = {
      {{2, 1, 2, 1, 0, 0, 0},
       "Immagini elaborate per secondo:   2",
       "Raggio della filtrazione immagine:   1 pixels",
       "Precisione cromatica della ricerca:   2",
       0},
      {{256, 20, 40, 50, 0, 0, 0},
       "Immagini elaborate per secondo:   256",
       "Raggio della filtrazione immagine:   20 pixels",
       "Precisione cromatica della ricerca:   40",
       3},
      // Stored values the lists don't offer: the search uses them, so no
      // item may claim another value; an unknown step shows the first step.
      {{3, 0, 17, 7, 0, 0, 0}, "", "", "", 0},
  };
  for (const Row& row : rows) {
    window().showParameters(row.shown);
    const auto expect = [](QComboBox* l, const char* text) {
      if (*text == '\0') {
        EXPECT_EQ(l->currentIndex(), -1) << l->currentText().toStdString();
      } else {
        EXPECT_EQ(l->currentText().toStdString(), text);
      }
    };
    expect(list(kFramesPerSecondList), row.framesPerSecond);
    expect(list(kFilterRadiusList), row.filterRadius);
    expect(list(kColorToleranceList), row.colorTolerance);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(button(steps[j])->isChecked(), j == row.checkedStep) << j;
  }
}

TEST_F(DataExchange, RadioIndexRoundTripsAndNoneCheckedIsMinusOne) {
  const int ids[4] = {kStep1Radio, kStep10Radio, kStep25Radio, kStep50Radio};
  QButtonGroup& group = *button(kStep1Radio)->group();
  for (int index = 0; index < 4; ++index) {
    checkRadioIndex(group, index);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(button(ids[j])->isChecked(), j == index) << index;
    EXPECT_EQ(checkedRadioIndex(group), index);
  }
  // An index that no button has unchecks them all.
  for (int outside : {-1, 4}) {
    checkRadioIndex(group, outside);
    for (int id : ids) EXPECT_FALSE(button(id)->isChecked()) << outside;
    EXPECT_EQ(checkedRadioIndex(group), -1);
  }
}

}  // namespace
}  // namespace orvalis::testing
