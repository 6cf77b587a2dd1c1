#pragma once

// The base of every window test: the window under test (built by the fixture that derives from this one),
// and its controls found by object name.

#include "app/form1.h"

#include <QLabel>
#include <QString>

#include <gmock/gmock.h>

#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace testsupport {

class WindowTest : public ::testing::Test {
protected:
    // A fixture whose members the window uses (a pseudo-terminal, a simulated device) resets `form` in
    // its own destructor, before they go.
    ~WindowTest() override { form.reset(); }

    // The window's control of that name and type; the test fails when there is none.
    template <typename T> T* widget(const char* name) {
        T* w = form ? form->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        if (w == nullptr)
            ADD_FAILURE() << "no control " << name;
        return w;
    }
    // The text of a label.
    QString text(const char* name) { return widget<QLabel>(name)->text(); }

    std::unique_ptr<DADOV::Form1> form;
};

} // namespace testsupport
