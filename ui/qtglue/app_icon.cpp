#include "qtglue/app_icon.h"

#include <QString>

// Resources of a static library are registered only when something names them; without this the
// linker may drop them and the pictures come out empty.
static void registerAppImages() {
  Q_INIT_RESOURCE(app_images);
}

namespace verbalon::ui {

namespace {
void ensureRegistered() {
  static const bool registered = (registerAppImages(), true);
  (void)registered;
}
}  // namespace

QIcon appIcon() {
  ensureRegistered();
  return QIcon(QStringLiteral(":/verbalon/icon16.png"));
}

QPixmap productPicture() {
  ensureRegistered();
  return QPixmap(QStringLiteral(":/verbalon/product.jpg"));
}

}  // namespace verbalon::ui
