// The program's images (res/icons), compiled into the program.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace lumacrest {

// Makes the compiled-in resources available (they live in a static library).
void InitChromeResources();
// An image of the program's resources drawn at `size`.
QPixmap ResourceImage(const QString& name, QSize size);
// The window icon.
QIcon AppIcon();

}  // namespace lumacrest
