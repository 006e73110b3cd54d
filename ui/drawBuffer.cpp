#include "ui/drawBuffer.h"

#include <QImage>
#include <QPainter>

#include "state/constants.h"

namespace orvalis {

void drawBuffer(QPainter& painter, const std::uint8_t* bgr, std::uint32_t width, std::uint32_t height,
                const PixelRect& target) {
  if (bgr == nullptr || !fitsImageCapacity(width, height) || target.width <= 0 || target.height <= 0) return;
  const QImage picture(bgr, static_cast<int>(width), static_cast<int>(height),
                       3 * static_cast<qsizetype>(width), QImage::Format_BGR888);
  painter.drawImage(QRect(target.x, target.y, target.width, target.height), picture);
}

}  // namespace orvalis
