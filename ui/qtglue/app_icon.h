#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, compiled into it (see images/make_images.sh for how they were
// drawn).
namespace verbalon::ui {

// "ICON16": the 16 x 16 icon of the windows, the application and the tray.
QIcon appIcon();

// The product picture of the splash and about window, 281 x 185.
QPixmap productPicture();

}  // namespace verbalon::ui
