#include "ui/dataExchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>

namespace orvalis {

void fillOptionList(QComboBox& list, Parameter parameter) {
  list.clear();
  for (const ParameterOption& option : optionTable(parameter)) list.addItem(QString::fromUtf8(option.text));
}

bool selectItemBeginningWith(QComboBox& list, const QString& text) {
  if (text.isEmpty()) return false;
  for (int i = 0; i < list.count(); ++i) {
    if (list.itemText(i).startsWith(text, Qt::CaseInsensitive)) {
      list.setCurrentIndex(i);
      return true;
    }
  }
  return false;
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
