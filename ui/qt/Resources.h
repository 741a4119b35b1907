// The module's bitmap resources, drawn here rather than stored as files.
#pragma once

#include <QPixmap>

namespace tarvo::ui::qt {

// The bitmap with the resource id at the given size; an empty pixmap for an unknown id.
// 114 is the banner of the About page and box.
QPixmap BitmapResource(int id, QSize size);

}  // namespace tarvo::ui::qt
