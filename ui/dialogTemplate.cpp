#include "ui/dialogTemplate.h"

namespace orvalis {

QRect dialogRect(int x, int y, int width, int height) {
  // Corners are converted, not sizes, so that neighbouring controls that
  // touch in units also touch in pixels.
  const int left = dialogUnitsToPixelsX(x);
  const int top = dialogUnitsToPixelsY(y);
  const int right = dialogUnitsToPixelsX(x + width);
  const int bottom = dialogUnitsToPixelsY(y + height);
  return QRect(left, top, right - left, bottom - top);
}

QRect controlRect(const ControlTemplate& control) {
  const int height = control.kind == ControlKind::DropDownList ? kDropDownClosedHeightUnits : control.height;
  return dialogRect(control.x, control.y, control.width, height);
}

}  // namespace orvalis
