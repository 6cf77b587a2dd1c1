#pragma once

// The window tests fail on any warning of a q5 logging category (the test main installs the message
// handler). A test that provokes a failure on purpose declares the warning it expects for its scope:
// the warning is then taken as expected, and the test fails if it never came.

#include <QString>

#include <string>

namespace testsupport {

class ExpectedWarning {
public:
    // `category` as "q5.link"; `message` is the whole logged text, e.g. "SetText: bad number".
    ExpectedWarning(std::string category, QString message);
    ~ExpectedWarning();
    ExpectedWarning(const ExpectedWarning&) = delete;
    ExpectedWarning& operator=(const ExpectedWarning&) = delete;

    // How often it was logged so far.
    int count() const;

    // For the handler: true when this expectation takes the message.
    bool take(const char* category, const QString& message);

private:
    std::string _category;
    QString _message;
    int _count = 0;
};

} // namespace testsupport
