#pragma once

#include <QIcon>
#include <QImage>

namespace orvalis {

// The program's icon drawn at one size: a viewfinder circle on a dark square
// with a marker dot at its centre and one on its top edge.
QImage appIconImage(int size);

// The icon at 48, 32 and 16 pixels: window icon, task bar and About box.
QIcon appIcon();

}  // namespace orvalis
