// The progress control's painting and the skinned buttons.
#include <QImage>
#include <QtTest>

#include "ui/chrome/ProgressFace.h"
#include "ui/chrome/qt/CGradientProgressCtrl.h"
#include "ui/chrome/qt/CSkinButton.h"
#include "ui/main/qt/MainWindow.h"

using namespace lumacrest;

namespace {
// Counts pixels close to black (the text colour on the main window) or, with `light`, close
// to white, between the columns x0 and x1.
int Pixels(const QImage& image, int x0, int x1, bool light = false) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, image.width()); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int low = std::min({c.red(), c.green(), c.blue()});
            const int high = std::max({c.red(), c.green(), c.blue()});
            if (light ? low > 215 : high < 90) ++count;
        }
    return count;
}
int DarkPixels(const QImage& image) { return Pixels(image, 0, image.width()); }
}  // namespace

class ChromeTest : public QObject {
    Q_OBJECT
private slots:
    void progressPaintsTextOnlyAboveTheLowerBound() {
        CGradientProgressCtrl bar;
        bar.resize(300, 24);
        bar.SetRange(1, 100);
        bar.SetTextColor(Qt::black);
        QCOMPARE(bar.Pos(), 1);

        bar.SetPos(50);
        QCOMPARE(bar.Text(), QStringLiteral(" 49 %"));
        const QImage half = bar.grab().toImage();
        QVERIFY(DarkPixels(half) > 10);
        // Left end red, the end of the filled half blue-ish, the right half the background.
        const QColor left = half.pixelColor(3, 12);
        QVERIFY(left.red() > 200 && left.blue() < 60);
        const QColor mid = half.pixelColor(bar.width() / 2 - 3, 3);
        QVERIFY(mid.blue() > 180 && mid.red() < 60);
        const QColor right = half.pixelColor(bar.width() - 4, 12);
        QCOMPARE(right, bar.palette().color(QPalette::Button));

        // The text stays black over the light background and turns white over the dark
        // filled part; no black text sits on the gradient's blue end.
        const int fill = 1 + ProgressExtent(50, 100, bar.width() - 2);
        QVERIFY(Pixels(half, fill, bar.width()) > 10);
        QVERIFY(Pixels(half, bar.width() / 3, fill, true) > 10);
        QCOMPARE(Pixels(half, bar.width() / 3, fill), 0);
        bar.SetPos(100);
        const QImage full = bar.grab().toImage();
        QVERIFY(Pixels(full, 0, bar.width(), true) > 20);
        QCOMPARE(DarkPixels(full), 0);

        bar.SetPos(1);
        QCOMPARE(bar.Text(), QString());
        const QImage empty = bar.grab().toImage();
        QCOMPARE(DarkPixels(empty), 0);
        QCOMPARE(empty.pixelColor(3, 12), bar.palette().color(QPalette::Button));
        bar.SetPos(0);
        QCOMPARE(DarkPixels(bar.grab().toImage()), 0);
    }

    void skinnedButtonShowsItsImagesByState() {
        CSkinButton button(QStringLiteral("Load File"));
        button.resize(120, 40);
        button.SetEffect(7, 8, 10, 0, 0);
        QCOMPARE(button.EffectStyle(), 7);
        const QPixmap hot = ResourceImage(QStringLiteral("maker-174.svg"), QSize(96, 24));
        const QPixmap normal = ResourceImage(QStringLiteral("maker-173.svg"), QSize(96, 24));
        QVERIFY(!hot.isNull() && !normal.isNull());
        QVERIFY(hot.toImage() != normal.toImage());
        button.SetImages(hot, normal);
        QCOMPARE(button.CurrentImage().toImage(), normal.toImage());
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&button, &enter);
        QVERIFY(button.IsHovered());
        QCOMPARE(button.CurrentImage().toImage(), hot.toImage());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QCOMPARE(button.CurrentImage().toImage(), normal.toImage());

        // Style 7 is a noisy texture: neighbouring pixels of one row differ.
        const QImage face = button.grab().toImage();
        int changes = 0;
        for (int x = 10; x < 100; ++x)
            if (face.pixel(x, 20) != face.pixel(x + 1, 20)) ++changes;
        QVERIFY(changes > 10);
    }

    void everyImageResourceLoads() {
        for (const char* name : {"app-128.svg", "load-file-158.svg", "update-163.svg",
                                 "save-161.svg", "fill-162.svg", "maker-173.svg", "maker-174.svg"}) {
            const QImage image = ResourceImage(QString::fromLatin1(name), QSize(32, 32)).toImage();
            bool painted = false;
            for (int y = 0; y < image.height() && !painted; ++y)
                for (int x = 0; x < image.width() && !painted; ++x)
                    painted = qAlpha(image.pixel(x, y)) != 0;
            QVERIFY2(painted, name);
        }
    }
};

QTEST_MAIN(ChromeTest)
#include "ChromeTest.moc"
