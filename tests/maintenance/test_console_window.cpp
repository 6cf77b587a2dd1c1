// The engine's console window: lines as the engine writes them, "\r" rewriting the current line, and the
// event loop's turn at each line end.

#include "maintenance/console_window.h"

#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <gmock/gmock.h>

using DADOV::ConsoleWindow;

namespace {

QString shown(ConsoleWindow& console) {
    return console.findChild<QPlainTextEdit*>("consoleText")->toPlainText();
}

TEST(ConsoleWindow, AReturnRewritesTheProgressLineInPlace) {
    ConsoleWindow console;
    console.out() << "fw_update Version: 0.2.0\n";
    console.out() << "\rRVLN flash programming: 10%" << std::flush;
    EXPECT_EQ(shown(console), "fw_update Version: 0.2.0\nRVLN flash programming: 10%");
    console.out() << "\rRVLN flash programming: DONE.\n";
    console.err() << "WARNING: No data for memory type = eeprom" << std::endl;
    const QString expected = "fw_update Version: 0.2.0\nRVLN flash programming: DONE.\nWARNING: No data for "
                             "memory type = eeprom\n";
    EXPECT_EQ(console.text(), expected);
    EXPECT_EQ(shown(console), expected);

    // A return before the line end keeps the line; a shorter line replaces a longer one whole.
    console.clear();
    console.out() << "abc\r\n"
                  << "longer text\rxy" << std::flush;
    EXPECT_EQ(console.text(), "abc\nxy");
    EXPECT_EQ(shown(console), "abc\nxy");
}

TEST(ConsoleWindow, EachLineEndGivesTheEventLoopATurn) {
    ConsoleWindow console;
    console.present();
    bool delivered = false;
    QTimer::singleShot(0, &console, [&] { delivered = true; });
    console.out() << "partial";
    EXPECT_FALSE(delivered);
    console.out() << " line\n";
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(console.testAttribute(Qt::WA_QuitOnClose));
}

// The console opens beside the tool's window where the screen has room, covering nothing of it; else over
// it below the controls of the page it came from, lower if need be; else centred over it. It stays above
// the window while open.
TEST(ConsoleWindow, OpensBesideTheToolsWindowOrClearOfItsPagesControls) {
    const QSize console(676, 370);
    const QRect laptop(0, 0, 1366, 768);
    const QRect owner(179, 10, 1010, 758);
    const struct {
        QRect available;
        QRect owner;
        QRect keepClear;
        QRect at;
    } cases[] = {
        {{0, 0, 1920, 1040}, {100, 100, 1022, 760}, {}, {{1130, 100}, console}}, // to the right
        {{0, 0, 1920, 1040}, {800, 100, 1022, 760}, {}, {{116, 100}, console}},  // to the left
        {{0, 0, 1366, 1400}, {172, 0, 1022, 760}, {}, {{172, 768}, console}},    // below
        {laptop, owner, {204, 70, 880, 356}, {345, 434, 676, 334}},              // below the controls, lower
        {laptop, owner, {204, 70, 880, 600}, {{345, 203}, console}},  // no room below them: centred
        {{0, 0, 640, 480}, {0, 0, 640, 480}, {}, {{0, 54}, console}}, // wider than the screen
    };
    for (const auto& c : cases)
        EXPECT_EQ(DADOV::console_place(c.available, c.owner, console, c.keepClear), c.at) << c.at.y();

    QWidget window;
    window.setGeometry(10, 10, 300, 200);
    window.show();
    ConsoleWindow shown_console(&window);
    shown_console.present();
    // Below, 8 pixels apart: the offscreen screen (800 wide) has no room beside it.
    EXPECT_EQ(shown_console.frameGeometry().topLeft(), window.frameGeometry().bottomLeft() + QPoint(0, 9));
    ASSERT_NE(shown_console.windowHandle(), nullptr);
    EXPECT_EQ(shown_console.windowHandle()->transientParent(), window.windowHandle());
    EXPECT_EQ(shown_console.windowType(), Qt::Dialog);
}

} // namespace
