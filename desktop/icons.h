#pragma once

#include <QIcon>

namespace kvillo {

// The program's image list: an icon for each image index 0 to 19, from the desktop's icon theme
// where it has a fitting one, otherwise the program's own image, shipped at 1x and 2x.
QIcon imageListIcon(int index);

// The program's own icon: an address book with an envelope.
QIcon programIcon();

} // namespace kvillo
