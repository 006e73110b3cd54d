#pragma once

#include <cstdint>

#include "files/parametersFile.h"

class QButtonGroup;
class QComboBox;

namespace orvalis {

// Fills a drop-down list with the texts of an option table, in table order.
void fillOptionList(QComboBox& list, Parameter parameter);

// Selects the item of a list filled by fillOptionList that offers value; a
// value the table does not offer leaves the list with no selection, so that
// the list never claims a value the search is not using.
void selectOptionOf(QComboBox& list, Parameter parameter, std::uint32_t value);

// The radio group as an index: the id of the checked button, -1 when none is
// checked. Writing an index that no button has unchecks them all.
int checkedRadioIndex(const QButtonGroup& group);
void checkRadioIndex(QButtonGroup& group, int index);

}  // namespace orvalis
