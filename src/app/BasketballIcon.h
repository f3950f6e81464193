#pragma once

#include <QIcon>

// The program's mark: an orange basketball, drawn so the program needs no image plugin.
namespace BasketballIcon {
QPixmap pixmap(int size);
QIcon icon();
}
