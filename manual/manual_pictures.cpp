// manual_pictures: the pictures of the tool's manual (manual/q5-controller-pc-app.md), taken of the real
// window in simulate mode, driven as a technician drives it, so that they show the tool as it is built.
//
//   manual_pictures FOLDER
//
// It runs on the offscreen platform with a screen of its own (1920x1200 at 96 dpi), so that the window and
// its fonts have the same size wherever it runs, and writes tuning.png, diagnostics.png, zidudo.png,
// firmware.png, console.png, service-record.png and documentation.png into FOLDER. Each picture waits for
// the state it shows; a state not reached in time ends the program with a message naming it and status 1.
// Nothing is shown or waited on: message boxes, file dialogs and the dialog are answered here.

#include "app/form1.h"
#include "maintenance/console_window.h"
#include "maintenance/firmware_page.h"
#include "pages/desktop_shell.h"
#include "pages/paint_throttle.h"
#include "sim/simulate_mode.h"
#include "widgets/text_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

// Generous: each state is reached in well under a second on a quiet machine.
constexpr std::chrono::seconds time_limit{30};

// The offscreen platform's one screen: large enough for the window at its full size beside its console.
const char screen_config[] = R"({"screens": [{"name": "manual", "x": 0, "y": 0, "width": 1920,
    "height": 1200, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";

// Runs the event loop until `reached` holds; throws, naming the state, when it does not in time.
void wait_for(const QString& state, const std::function<bool()>& reached) {
    const QDeadlineTimer deadline(time_limit);
    if (!reached()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (reached() || deadline.hasExpired())
                loop.quit();
        });
        poll.start(5);
        loop.exec();
    }
    if (!reached())
        throw std::runtime_error(
            QStringLiteral("not reached within %1 s: %2").arg(time_limit.count()).arg(state).toStdString());
    // What the state changed is laid out and painted before it is pictured.
    QCoreApplication::processEvents();
}

class Pictures {
public:
    explicit Pictures(const QString& folder);
    ~Pictures();
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // The seven pictures, in the order a technician meets the pages.
    void take();

private:
    template <typename T> T* control(const char* name) {
        T* found = _form.findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr)
            throw std::runtime_error(std::string("the window has no control ") + name);
        return found;
    }
    QString text(const char* lineEdit) { return control<QLineEdit>(lineEdit)->text(); }
    void click(const char* button);
    void select_page(int index);
    void save(QWidget& widget, const char* name);

    // A page after its "Check Settings": the controller's listing in the page's text area.
    void settings_listing(int page, const char* button, const char* textBox, const QString& pageName,
                          const char* picture);
    void diagnostics();
    void firmware();
    void documentation();

    QString _folder;
    sim::SimulateMode _simulation;
    DADOV::Form1 _form;
    QTabWidget* _tabs = nullptr;
    QStringList _boxes; // message boxes the window would have shown
    bool _recordShown = false;
    std::string _recordFailure;
};

Pictures::Pictures(const QString& folder)
    : _folder(folder), _form(_simulation.deviceSetup(), _simulation.deviceRoot()) {
    _simulation.apply(_form, _form.firmwarePage());
    DADOV::DesktopShell& shell = _form.desktopShell();
    shell.show = [this](QMessageBox& box) { _boxes << box.text(); };
    shell.open = [](const QUrl&) { return false; };
    shell.chooseSaveFile = [](QWidget*, const QString&, const QString&, const QString&) { return QString(); };
    DADOV::FirmwarePage& page = _form.firmwarePage();
    page.chooseFile = [](QWidget*, const QString& samples) {
        return samples + QStringLiteral("/q5_mainV2.vmk");
    };
    page.wait = [](int) {};
    // Shown from the button's handler, which would take a failure for the page's own: it is kept for later.
    page.showDialog = [this](QDialog& dialog) {
        try {
            dialog.show();
            auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("serviceRecordTable"));
            wait_for(QStringLiteral("the Service Record dialog lists the three runs"),
                     [&] { return dialog.isVisible() && table != nullptr && table->rowCount() == 3; });
            save(dialog, "service-record.png");
            _recordShown = true;
        } catch (const std::exception& e) {
            _recordFailure = e.what();
        }
        dialog.close();
    };
    // The readings fill the chart in two seconds instead of ten; it charts by sample, so it looks the same.
    _simulation.controller().setStreamRate(250);
    // The reflash at the simulator's own speed, not at the demo's USB pace.
    _simulation.mainMcu().set_latency(std::chrono::microseconds(0));
    _tabs = control<QTabWidget>("TabControl1");
    _form.show();
}

Pictures::~Pictures() {
    _simulation.unplugController();
}

void Pictures::click(const char* button) {
    auto* pressed = control<QAbstractButton>(button);
    if (!pressed->isEnabled() || !pressed->isVisibleTo(&_form))
        throw std::runtime_error(std::string("the button ") + button + " cannot be clicked now");
    pressed->click();
    if (!_boxes.isEmpty())
        throw std::runtime_error(
            ("a message box came up: " + _boxes.join(QStringLiteral(" | "))).toStdString());
}

void Pictures::select_page(int index) {
    _tabs->setCurrentIndex(index);
    wait_for(QStringLiteral("page %1 shown").arg(index), [&] { return _tabs->currentWidget()->isVisible(); });
}

void Pictures::save(QWidget& widget, const char* name) {
    const QString path = QDir(_folder).filePath(QString::fromLatin1(name));
    if (!widget.grab().save(path, "PNG"))
        throw std::runtime_error("cannot write " + path.toStdString());
}

void Pictures::take() {
    wait_for(QStringLiteral("the simulated controller attached"), [&] {
        return control<QLabel>("label18")->text() == QLatin1String("Status: Connected on ttyACM0");
    });
    settings_listing(0, "button21", "textBox6", QStringLiteral("Controller Tuning"), "tuning.png");
    settings_listing(2, "button32", "textBox1", QStringLiteral("zIdudo"), "zidudo.png");
    diagnostics();
    firmware();
    documentation();
}

void Pictures::settings_listing(int page, const char* button, const char* textBox, const QString& pageName,
                                const char* picture) {
    select_page(page);
    click(button);
    wait_for(QStringLiteral("the settings listing on the %1 page").arg(pageName), [&] {
        return control<DADOV::TextBox>(textBox)->text().contains(QLatin1String("Initial Bypass"));
    });
    save(_form, picture);
}

// The Diagnostics page streams as soon as it is shown: live bars, and the chart filled across.
void Pictures::diagnostics() {
    select_page(1);
    DADOV::DiagnosticsPage& page = _form.diagnostics();
    wait_for(QStringLiteral("the readings filling the Diagnostics chart"),
             [&] { return page.streaming_enabled() && page.t() >= page.s() && page.volts1() > 0; });
    // The bars and read-outs the stream holds back between paints show their last readings.
    page.paintThrottle().release();
    save(_form, "diagnostics.png");
    click("button25"); // "Stop Data Streaming"
}

// The q5 Firmware Update page: the ID read, the main MCU's file chosen and checked; the console after the
// main MCU's update; the Service Record dialog with the three runs.
void Pictures::firmware() {
    select_page(3);
    click("button20"); // "Get ID"
    wait_for(QStringLiteral("the controller ID read"), [&] { return text("textBox15") == "04271936"; });
    click("button2"); // "Browse" of the main MCU
    wait_for(QStringLiteral("the main MCU's file chosen and checked"), [&] {
        return text("textBox5").endsWith(QLatin1String("q5_mainV2.vmk")) &&
               !control<QLabel>("fileCheck5")->text().isEmpty();
    });
    save(_form, "firmware.png");

    click("button4"); // "Update  Main MCU"
    wait_for(QStringLiteral("the main MCU's update completed"), [&] {
        return text("textBox5") == QLatin1String("reflash of main MCU complete - recalibrate device");
    });
    DADOV::ConsoleWindow* console = _form.firmwarePage().console;
    wait_for(QStringLiteral("the update console showing the successful update"), [&] {
        return console != nullptr && console->isVisible() &&
               console->text().contains(QLatin1String("flash verifying: DONE."));
    });
    save(*console, "console.png");
    console->close();

    click("serviceRecordButton");
    if (!_recordFailure.empty())
        throw std::runtime_error(_recordFailure);
    if (!_recordShown)
        throw std::runtime_error("the Service Record dialog was not shown");
}

void Pictures::documentation() {
    select_page(4);
    save(_form, "documentation.png");
}

// The offscreen platform's note that it cannot pass a fixed size on to a window manager it does not have.
QtMessageHandler standard_handler = nullptr;

void quiet_platform_notes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    if (standard_handler != nullptr)
        standard_handler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: manual_pictures FOLDER\n");
        return 2;
    }
    QTemporaryDir config_dir;
    QFile config(config_dir.filePath(QStringLiteral("screen.json")));
    if (!config_dir.isValid() || !config.open(QIODevice::WriteOnly) ||
        config.write(screen_config) != qint64(sizeof screen_config - 1)) {
        std::fprintf(stderr, "manual_pictures: cannot write the screen's configuration\n");
        return 1;
    }
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) // a build has no desktop session
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(config_dir.path()));
    standard_handler = qInstallMessageHandler(quiet_platform_notes);
    QCoreApplication::setApplicationName(QStringLiteral("q5tool"));
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "manual_pictures: cannot create %s\n", argv[1]);
        return 1;
    }
    try {
        Pictures pictures(folder);
        pictures.take();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "manual_pictures: %s\n", e.what());
        return 1;
    }
    return 0;
}
