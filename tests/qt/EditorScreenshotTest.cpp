// The flash buffer editor opened through its command over a loaded image, as the operator
// sees it. Checks that the address, hex and character columns line up on the pixels; with
// LUMACREST_SCREENSHOT=file.png the dialog is also written as a picture, and with
// LUMACREST_EDITOR_IMAGE=file.hex the flash buffer is first loaded from that image file, an
// image from 0x4000 (scripts/screenshot-editor.sh does both under Xvfb).
#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "host/Host.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"
#include "support/ScriptedPrompts.h"
#include "ui/main/qt/QtPrompts.h"
#include "platform/DialogSessions.h"
#include "ui/edit/qt/CBufferEditDlg.h"
#include "ui/edit/qt/CHexEditCtrl.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"

using namespace lumacrest;

namespace {
void LoadImage(Host& h) {
    auto& flash = h.target.buf().flash;
    if (const char* path = std::getenv("LUMACREST_EDITOR_IMAGE")) {
        QVERIFY(LoadImageFile(h.target, ImageTarget::Flash, path, 0x4000));
        return;
    }
    const std::string text = "Lumacrest flash image: vectors, code and a few strings.";
    for (std::size_t i = 0; i < 0x400; ++i) flash[i] = static_cast<uint8_t>(i * 37 + 11);
    std::copy(text.begin(), text.end(), flash.begin() + 0x40);
}

// Whether every pixel of the cell column `cell` in the rows' band is background.
bool BlankCell(const QImage& img, int cell, int cw, int top, int bottom) {
    for (int y = top; y < bottom; ++y)
        for (int x = cell * cw + 1; x < (cell + 1) * cw - 1 && x < img.width(); ++x)
            if (img.pixelColor(x, y) != QColor(Qt::white)) return false;
    return true;
}
bool InkedCell(const QImage& img, int cell, int cw, int top, int bottom) {
    for (int y = top; y < bottom; ++y)
        for (int x = cell * cw; x < (cell + 1) * cw && x < img.width(); ++x)
            if (img.pixelColor(x, y) != QColor(Qt::white)) return true;
    return false;
}
}  // namespace

class EditorScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void flashEditorOverALoadedImage() {
        QtPrompts prompts;
        RecordingShell shell;
        Host h;
        h.platform.prompts = &prompts;
        h.platform.shell = &shell;
        QVERIFY(SetPageGeometry(h.target, 256, 256, 256, 16));  // 64 KiB of flash
        LoadImage(h);
        Application dlgApp(h);
    CMainDlg& dlg = dlgApp.dlg;

        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CBufferEditDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Flash Buffer Edit"));
            dialog->resize(dialog->sizeHint());
            QTRY_VERIFY(dialog->Loaded());
            CHexEditCtrl* editor = dialog->Editor();
            editor->setFocus();
            QApplication::processEvents();

            const QImage img = editor->viewport()->grab().toImage();
            HexEditModel& m = editor->model();
            const int cw = m.CharWidth(), lh = m.LineHeight();
            const int rows = std::min(m.VisibleRows(), img.height() / lh);
            QVERIFY(rows >= 8);
            for (int row = 0; row < rows; ++row) {
                const int top = row * lh, bottom = top + lh;
                QVERIFY2(BlankCell(img, 8, cw, top, bottom), "address runs into the hex column");
                for (int i = 0; i < 16; ++i) {
                    QVERIFY(InkedCell(img, 9 + 3 * i, cw, top, bottom));
                    QVERIFY(InkedCell(img, 10 + 3 * i, cw, top, bottom));
                    QVERIFY2(BlankCell(img, 11 + 3 * i, cw, top, bottom),
                             qPrintable(QStringLiteral("row %1 pair %2").arg(row).arg(i)));
                }
                QVERIFY(BlankCell(img, 73, cw, top, bottom));  // after the characters
            }
            if (const char* out = std::getenv("LUMACREST_SCREENSHOT")) {
                editor->SetSelection(0x42, 0x4B);  // show a highlighted range as well
                QApplication::processEvents();
                QVERIFY(dialog->grab().save(QString::fromLocal8Bit(out)));
            }
            checked = true;
            dialog->Button(1)->click();
        });
        dlg.OnCommand(id::FlashBuffer);
        QVERIFY(checked);
        QVERIFY(h.view.LogText().find("Flash Buffer Check Sum: 0x") != std::string::npos);
    }
};

QTEST_MAIN(EditorScreenshotTest)
#include "EditorScreenshotTest.moc"
