#include "ui/appIcon.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace orvalis {

QImage appIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);

  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;

  // Backdrop: the window's dark gray, rounded.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(58, 58, 58));
  p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);

  // The viewfinder circle.
  const QPointF centre(s / 2, s / 2);
  const double radius = s * 0.32;
  QPen ring(QColor(235, 235, 235));
  ring.setWidthF(std::max(1.0, s / 14));
  p.setPen(ring);
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(centre, radius, radius);

  // The two markers: the centre, and angle 0 at the top of the circle.
  const double dot = std::max(1.0, s / 12);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(235, 235, 235));
  p.drawEllipse(centre, dot, dot);
  p.setBrush(QColor(240, 140, 30));
  p.drawEllipse(QPointF(centre.x(), centre.y() - radius), dot * 1.3, dot * 1.3);
  return image;
}

QIcon appIcon() {
  QIcon icon;
  for (int size : {48, 32, 16}) icon.addPixmap(QPixmap::fromImage(appIconImage(size)));
  return icon;
}

}  // namespace orvalis
