#include "ui/dataExchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>

namespace orvalis {

void fillOptionList(QComboBox& list, Parameter parameter) {
  list.clear();
  for (const ParameterOption& option : optionTable(parameter)) list.addItem(QString::fromUtf8(option.text));
}

void selectOptionOf(QComboBox& list, Parameter parameter, std::uint32_t value) {
  const auto options = optionTable(parameter);
  int index = -1;
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (options[i].value == value) {
      index = static_cast<int>(i);
      break;
    }
  }
  list.setCurrentIndex(index);
}

int checkedRadioIndex(const QButtonGroup& group) {
  return group.checkedId();
}

void checkRadioIndex(QButtonGroup& group, int index) {
  if (QAbstractButton* button = group.button(index)) {
    button->setChecked(true);
    return;
  }
  // An exclusive group refuses to uncheck its last checked button.
  const bool exclusive = group.exclusive();
  group.setExclusive(false);
  for (QAbstractButton* button : group.buttons()) button->setChecked(false);
  group.setExclusive(exclusive);
}

}  // namespace orvalis
