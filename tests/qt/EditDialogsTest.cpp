// The hex input field, the LOAD_ADDRESS dialog, the buffer editor and the SN dialog driven
// as an operator would, with scripted message boxes and file dialogs.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/ImageLoading.h"
#include "support/ScriptedPrompts.h"
#include "ui/main/qt/QtPrompts.h"
#include "ui/edit/qt/CBufferEditDlg.h"
#include "ui/edit/qt/CHexEditCtrl.h"
#include "ui/edit/qt/CHexInputEdit.h"
#include "ui/edit/qt/CLoadAddressDlg.h"
#include "ui/edit/qt/CSnSetDlg.h"

using namespace lumacrest;

namespace {
std::vector<std::string> Texts(const ScriptedPrompts& p) {
    std::vector<std::string> out;
    for (const auto& m : p.messages) out.push_back(m.text);
    return out;
}

void Retype(CHexInputEdit* field, const char* text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

// Runs `act` on the modal dialog of type T once it is up.
template <typename T, typename F>
void WhenModal(F act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(dialog);
    });
}
// A buffer editor session as the commands prepare it: `length` bytes under `title`, both
// range ends at the length.
BufferEditSession Session(const char* title, uint32_t length) {
    BufferEditSession session;
    session.title = title;
    session.length = length;
    session.Preset(length);
    return session;
}

// Shows the dialog with the copy already in its editor, and the editor focused.
void OpenLoaded(CBufferEditDlg& dialog) {
    dialog.show();
    dialog.LoadEditor();
    dialog.Editor()->setFocus();
}

}  // namespace

class EditDialogsTest : public QObject {
    Q_OBJECT

    std::string tempDir_;

  private slots:
    void initTestCase() {
        char pattern[] = "/tmp/lumacrest-dialogs-XXXXXX";
        QVERIFY(mkdtemp(pattern));
        tempDir_ = std::string(pattern) + "/";
    }
    void cleanupTestCase() { std::filesystem::remove_all(tempDir_); }

    void hexInputTyping() {
        CHexInputEdit field;
        field.show();
        Retype(&field, "0x1f");
        QCOMPARE(field.Value(), 0x1F);
        Retype(&field, "12");
        QCOMPARE(field.Value(), 12);
        Retype(&field, "0x");
        QCOMPARE(field.Value(), 0);
        Retype(&field, "q0xAbZ");  // q and Z refused
        QCOMPARE(field.text(), QStringLiteral("0xAb"));
        QCOMPARE(field.Value(), 0xAB);
        Retype(&field, "1a2");  // decimal text takes no letters
        QCOMPARE(field.text(), QStringLiteral("12"));
        field.setCursorPosition(0);
        QTest::keyClicks(&field, "x");  // not at position 0
        QCOMPARE(field.text(), QStringLiteral("12"));
    }

    void hexInputFullFieldRefusesUnlessSelected() {
        CHexInputEdit field;
        field.show();
        field.SetValue(0x12345678);
        QCOMPARE(field.text(), QStringLiteral("0x12345678"));
        field.setFocus();
        field.end(false);
        QTest::keyClick(&field, Qt::Key_Backspace);
        QTest::keyClicks(&field, "9");
        QCOMPARE(field.text(), QStringLiteral("0x12345678"));
        field.setCursorPosition(2);
        QTest::keyClick(&field, Qt::Key_Delete);  // a key, not a character: it works
        QCOMPARE(field.text(), QStringLiteral("0x2345678"));
        QCOMPARE(field.Value(), 0x2345678);
        field.SetValue(0xFFFFFFFFu);
        field.setSelection(9, 1);
        QTest::keyClicks(&field, "0");
        QCOMPARE(field.Unsigned(), 0xFFFFFFF0u);
    }

    void fileDialogShowsTheLabelsAndMatchesAnyCase() {
        for (const char* name : {"A.HEX", "b.hex", "c.Hex", "d.bin", "e.hexx"})
            std::ofstream(tempDir_ + name) << "x";
        QtPrompts prompts;
        QStringList labels, names;
        WhenModal<QFileDialog>([&](QFileDialog* d) {
            d->setDirectory(QString::fromStdString(tempDir_));
            auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; types && i < types->count(); ++i) labels << types->itemText(i);
            auto* view = d->findChild<QListView*>(QStringLiteral("listView"));
            QElapsedTimer wait;  // the directory is read in the background
            wait.start();
            while (view && names.size() < 3 && wait.elapsed() < 5000) {
                QApplication::processEvents(QEventLoop::AllEvents, 20);
                names.clear();
                for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                    names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            }
            d->reject();
        });
        QCOMPARE(prompts.OpenFile(kImageFilter), std::nullopt);
        QCOMPARE(labels, (QStringList{"Hex Files (*.hex)",
                                      "S-Record Files (*.s19;*.s28;*.s37;*.srec;*.mot)",
                                      "ELF Files (*.elf)", "Bin Files (*.bin)"}));
        names.sort();
        QCOMPARE(names, (QStringList{"A.HEX", "b.hex", "c.Hex"}));
    }

    void loadAddressProposes4000EveryTime() {
        QtPrompts prompts;
        WhenModal<CLoadAddressDlg>([](CLoadAddressDlg* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("LOAD_ADDRESS"));
            QCOMPARE(d->AddressField()->text(), QStringLiteral("0x4000"));
            Retype(d->AddressField(), "0x8000");
            QTest::keyClick(d->AddressField(), Qt::Key_Return);
        });
        QCOMPARE(prompts.AskLoadAddress(), std::optional<uint32_t>(0x8000));
        WhenModal<CLoadAddressDlg>([](CLoadAddressDlg* d) {
            QCOMPARE(d->Address(), 0x4000u);  // not the address used before
            d->findChild<QPushButton*>("2")->click();
        });
        QCOMPARE(prompts.AskLoadAddress(), std::nullopt);
    }

    void bufferEditorShowsTheCopyAfterTheTimerAndOkTakesTheEdits() {
        ScriptedPrompts prompts;
        BufferEditSession session = Session("Flash Buffer Edit", 73728);
        for (uint32_t i = 0; i < session.length; ++i) session.work[i] = static_cast<uint8_t>(i);
        CBufferEditDlg dialog(session, prompts);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Flash Buffer Edit"));
        QCOMPARE(dialog.Field(1009)->text(), QStringLiteral("0x12000"));
        QCOMPARE(dialog.Field(1011)->text(), QStringLiteral("0x12000"));
        QCOMPARE(dialog.Field(1008)->text(), QStringLiteral("0x0"));
        QCOMPARE(dialog.Field(1015)->text(), QStringLiteral("0x0"));
        QVERIFY(!dialog.Loaded());
        QTRY_VERIFY(dialog.Loaded());
        CHexEditCtrl* editor = dialog.Editor();
        QCOMPARE(editor->model().Length(), 73728);
        QCOMPARE(editor->model().TopOffset(), 0);
        QVERIFY(editor->verticalScrollBar()->isEnabled());

        // Finished from the keyboard: Enter stays in the editor and in the fields, Ctrl+Tab
        // leaves the editor, Alt+O is OK.
        editor->setFocus();
        QApplication::setActiveWindow(&dialog);
        QTest::keyClicks(editor, "ab");
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(!editor->hasFocus());
        for (int id : {1008, 1009, 1010, 1011, 1012})
            QTest::keyClick(dialog.Field(id), Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QVERIFY(prompts.messages.empty() && prompts.fileFilters.empty());
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));  // an animated click
        QCOMPARE(session.work[0], uint8_t(0xAB));
        QCOMPARE(session.work[1], uint8_t(1));
    }

    void bufferEditorCancelKeepsTheSessionCopy() {
        ScriptedPrompts prompts;
        BufferEditSession session = Session("KeyCode Edit", 16);
        CBufferEditDlg dialog(session, prompts);
        OpenLoaded(dialog);
        QTest::keyClicks(dialog.Editor(), "00");
        QApplication::setActiveWindow(&dialog);
        QTest::keyClick(dialog.Editor(), Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(session.work[0], uint8_t(0xFF));
    }

    void bufferEditorFillChecksAndKeepsTypedBytes() {
        ScriptedPrompts prompts;
        BufferEditSession session = Session("Boot Buffer Edit", 64);
        CBufferEditDlg dialog(session, prompts);
        OpenLoaded(dialog);
        QTest::keyClicks(dialog.Editor(), "12");  // byte 0, outside the fill

        Retype(dialog.Field(1012), "256");
        Retype(dialog.Field(1011), "999");
        dialog.Button(1013)->click();
        Retype(dialog.Field(1012), "0xaa");
        dialog.Button(1013)->click();
        Retype(dialog.Field(1010), "0x20");
        Retype(dialog.Field(1011), "0x1f");
        dialog.Button(1013)->click();
        QCOMPARE(Texts(prompts),
                 (std::vector<std::string>{
                     "****** Fill Value Must be 0 to 255 ******   ",
                     "******End address must be less than 64 ******   ",
                     "******End address must be high than start address******   "}));
        QCOMPARE(dialog.Field(1011)->text(), QStringLiteral("0x1f"));  // fields as typed

        Retype(dialog.Field(1010), "0x10");
        dialog.Button(1013)->click();
        QCOMPARE(prompts.messages.size(), 3u);
        const auto& bytes = dialog.Editor()->model().Bytes();
        QCOMPARE(bytes[0], uint8_t(0x12));
        QCOMPARE(bytes[0x0F], uint8_t(0xFF));
        QCOMPARE(bytes[0x10], uint8_t(0xAA));
        QCOMPARE(bytes[0x1F], uint8_t(0xAA));
        QCOMPARE(bytes[0x20], uint8_t(0xFF));
        QCOMPARE(dialog.Editor()->model().CaretOffset(), 0);  // the editor starts over
        dialog.Button(1)->click();
        QCOMPARE(session.work[0], uint8_t(0x12));
        QCOMPARE(session.work[0x10], uint8_t(0xAA));
    }

    void bufferEditorSavesTheTypedRange() {
        ScriptedPrompts prompts;
        BufferEditSession session = Session("Flash Buffer Edit", 32);
        CBufferEditDlg dialog(session, prompts);
        OpenLoaded(dialog);
        QTest::keyClicks(dialog.Editor(), "0102");

        Retype(dialog.Field(1009), "33");
        dialog.Button(1014)->click();
        QCOMPARE(Texts(prompts).back(),
                 std::string("******End address must be less than 32 ******   "));
        Retype(dialog.Field(1009), "3");
        prompts.QueueFile(tempDir_ + "range");
        dialog.Button(1014)->click();
        std::ifstream in(tempDir_ + "range.ses", std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), {});
        QCOMPARE(content, std::string("\x01\x02\xFF"));
        QCOMPARE(prompts.fileFilters.back(), std::string("Ses Files (*.ses)|*.SES||"));
        QCOMPARE(dialog.Field(1009)->text(), QStringLiteral("0x3"));  // pushed back
    }

    void snDialogStaysOpenWhileAChecksFails() {
        ScriptedPrompts prompts;
        SnSetSession session;
        session.value = 5;
        session.address = 0x100;
        session.flashSize = 0x2000;
        CSnSetDlg dialog(session, prompts);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("SN_Setting"));
        QCOMPARE(dialog.AddressField()->text(), QStringLiteral("0x100"));
        QCOMPARE(dialog.ValueField()->text(), QStringLiteral("0x5"));

        Retype(dialog.AddressField(), "0x2001");
        dialog.findChild<QPushButton*>("1")->click();
        QVERIFY(dialog.isVisible());
        Retype(dialog.AddressField(), "0x2000");
        Retype(dialog.ValueField(), "0xfffffffd");
        dialog.findChild<QPushButton*>("1")->click();
        QVERIFY(dialog.isVisible());
        QCOMPARE(session.value, 5u);
        QCOMPARE(Texts(prompts),
                 (std::vector<std::string>{"******Address is too long than Flash size******   ",
                                           "****** Init Value Must be 0 to 0xFFFFFFFC ******   "}));
        Retype(dialog.ValueField(), "0xfffffffc");
        dialog.findChild<QPushButton*>("1")->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(session.value, 0xFFFFFFFCu);
        QCOMPARE(session.address, 0x2000u);
    }

    void snDialogCancelKeepsTheSession() {
        ScriptedPrompts prompts;
        SnSetSession session;
        session.value = 9;
        session.flashSize = 0x2000;
        CSnSetDlg dialog(session, prompts);
        dialog.show();
        Retype(dialog.ValueField(), "77");
        dialog.findChild<QPushButton*>("2")->click();
        QCOMPARE(session.value, 9u);
    }
};

QTEST_MAIN(EditDialogsTest)
#include "EditDialogsTest.moc"
