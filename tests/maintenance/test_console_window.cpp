// The engine's console window: lines as the engine writes them, "\r" rewriting the current line, and the
// event loop's turn at each line end.

#include "maintenance/console_window.h"

#include <QPlainTextEdit>
#include <QTimer>

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

} // namespace
