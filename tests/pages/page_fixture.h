#pragma once

// A window over a fake sysfs tree and a fake /dev, with a recording desktop shell, driven by its real
// 30 ms timer on the offscreen platform. The test plays the controller on a pseudo-terminal (Linux), or
// has the simulated controller play it (support/controller_session.h; on Windows, where there is no
// pseudo-terminal, over a named pipe among devices held in memory).

#include "app/form1.h"
#include "link/device_setup.h"
#include "pages/desktop_shell.h"
#include "support/dev_root.h"
#include "support/fake_sysfs.h"
#ifndef Q_OS_WIN
#include "support/pty_pair.h"
#endif
#include "support/window_fixture.h"
#include "widgets/text_box.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

#include <gmock/gmock.h>

#include <memory>
#include <vector>

namespace pagetest {

// What a message box looked like when the page showed it.
struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    bool owned;
};

class PageTest : public testsupport::WindowTest {
protected:
    PageTest() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        form = std::make_unique<DADOV::Form1>(testsupport::device_setup_of(sysfs), dev.path());
        shell = &form->desktopShell();
        shell->open = [this](const QUrl& url) {
            opened.push_back(url);
            return open_succeeds;
        };
        shell->show = [this](QMessageBox& box) {
            boxes.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons(),
                             box.parentWidget() != nullptr});
        };
        form->show();
        tabs = widget<QTabWidget>("TabControl1");
    }

    ~PageTest() override {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    QString box(const char* name) { return widget<DADOV::TextBox>(name)->text(); }

    // Returns once the next tick of timer1 has run to its end.
    void next_tick() {
        QSignalSpy tick(&form->timer1(), &QTimer::timeout);
        ASSERT_TRUE(tick.wait(2000)) << "no tick";
    }

    void select_page(int index) {
        tabs->setCurrentIndex(index);
        next_tick();
    }

#ifndef Q_OS_WIN
    void connect_controller() {
        pty = std::make_unique<testsupport::PtyPair>(dev, "ttyACM0");
        sysfs.addDevice(0x12BF, 0xF010, 0x0100, "q5 Controller", {"ttyACM0"});
        next_tick();
        ASSERT_TRUE(form->serialPort1().isOpen());
    }

    // What the tool wrote: waits, running the event loop, until `count` bytes have come.
    QByteArray received(qsizetype count, int timeoutMs = 3000) {
        QByteArray got;
        (void)QTest::qWaitFor(
            [&] {
                got += pty->read(count - got.size(), 0);
                return got.size() >= count;
            },
            timeoutMs);
        return got;
    }
    // What the tool wrote beyond what was read: once it has read and handled every line the controller
    // sent and flushed its answers (an empty result means it wrote nothing more).
    QByteArray nothing_more() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return pty->unreadByTool() == 0; }, 2000));
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        return pty->readAll(20);
    }
    // One line from the controller.
    void send(const QByteArray& line) {
        ASSERT_TRUE(pty->write(line + '\n'));
    }
#endif

    testsupport::FakeSysfs sysfs;
    testsupport::FakeDevRoot dev;
#ifndef Q_OS_WIN
    std::unique_ptr<testsupport::PtyPair> pty;
#endif
    DADOV::DesktopShell* shell = nullptr;
    QTabWidget* tabs = nullptr;
    std::vector<QUrl> opened;
    std::vector<ShownBox> boxes;
    bool open_succeeds = true;
};

} // namespace pagetest
