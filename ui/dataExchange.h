#pragma once

#include <QString>

#include "files/parametersFile.h"

class QButtonGroup;
class QComboBox;

namespace orvalis {

// Fills a drop-down list with the texts of an option table, in table order.
void fillOptionList(QComboBox& list, Parameter parameter);

// Writing a text to a drop-down list: selects the first item, in list order,
// whose text begins with `text`, ignoring case. When none does (or the text is
// empty) the selection stays as it was. Returns whether an item was selected.
// The lists are in ascending order, so a table text such as "...:   2" is
// found before the longer "...:   256".
bool selectItemBeginningWith(QComboBox& list, const QString& text);

// The radio group as an index: the id of the checked button, -1 when none is
// checked. Writing an index that no button has unchecks them all.
int checkedRadioIndex(const QButtonGroup& group);
void checkRadioIndex(QButtonGroup& group, int index);

}  // namespace orvalis
