#include "ui/chrome/qt/Resources.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtGlobal>

static void InitLumacrestResources() { Q_INIT_RESOURCE(lumacrest); }

namespace lumacrest {

void InitChromeResources() {
    static bool done = false;
    if (!done) {
        InitLumacrestResources();
        done = true;
    }
}

QPixmap ResourceImage(const QString& name, QSize size) {
    InitChromeResources();
    QSvgRenderer renderer(QStringLiteral(":/icons/") + name);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    renderer.render(&p);
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(ResourceImage(QStringLiteral("app-128.svg"), QSize(size, size)));
    return icon;
}

}  // namespace lumacrest
