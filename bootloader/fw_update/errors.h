#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fwu {

// Device family: failures of the device link, the bootloader protocol, the
// image files and the driver's checks of the argument combination. Each object
// carries its complete message, built once by the constructor. The family is
// deliberately not a standard exception, so that the driver can tell it apart
// from the parser family and from everything else.
class DException {
public:
    explicit DException(std::string message);
    DException(const DException&) = default;
    DException& operator=(const DException&) = default;
    virtual ~DException();

    const std::string& message() const { return _message; }

    // The message; catchers may read it directly.
    std::string _message;
};

class DEArgumentAbsent : public DException {
public:
    explicit DEArgumentAbsent(const std::string& name);
    ~DEArgumentAbsent() override;
};

class DEArgumentMultipleUsage : public DException {
public:
    explicit DEArgumentMultipleUsage(const std::string& what);
    ~DEArgumentMultipleUsage() override;
};

class DEBadArgument : public DException {
public:
    explicit DEBadArgument(const std::string& text);
    ~DEBadArgument() override;
};

class DEImageAbsent : public DException {
public:
    DEImageAbsent();
    ~DEImageAbsent() override;
};

class DEBadMemoryType : public DException {
public:
    DEBadMemoryType(const std::string& device, const std::string& memory);
    ~DEBadMemoryType() override;
};

class DEBadValue : public DException {
public:
    explicit DEBadValue(const std::string& name);
    DEBadValue(const std::string& name, std::uint32_t min, std::uint32_t max);
    DEBadValue(const std::string& name, const std::vector<std::string>& valid_values);
    ~DEBadValue() override;
};

class DEDeviceAbsent : public DException {
public:
    DEDeviceAbsent();
    ~DEDeviceAbsent() override;
};

class DEHidWriteFailed : public DException {
public:
    DEHidWriteFailed();
    ~DEHidWriteFailed() override;
};

class DEHidWriteTimeout : public DException {
public:
    DEHidWriteTimeout();
    ~DEHidWriteTimeout() override;
};

class DEHidReadFailed : public DException {
public:
    DEHidReadFailed();
    ~DEHidReadFailed() override;
};

class DEHidReadTimeout : public DException {
public:
    DEHidReadTimeout();
    ~DEHidReadTimeout() override;
};

class DEHidResponseIdMismatch : public DException {
public:
    DEHidResponseIdMismatch();
    ~DEHidResponseIdMismatch() override;
};

class DEVerificationFailed : public DException {
public:
    DEVerificationFailed();
    ~DEVerificationFailed() override;
};

class DEFileOpenFailed : public DException {
public:
    DEFileOpenFailed(const std::string& file, bool for_reading);
    ~DEFileOpenFailed() override;
};

class DEFileCloseFailed : public DException {
public:
    explicit DEFileCloseFailed(const std::string& file);
    ~DEFileCloseFailed() override;
};

class DEFileReadFailed : public DException {
public:
    DEFileReadFailed();
    ~DEFileReadFailed() override;
};

class DEFileWriteFailed : public DException {
public:
    DEFileWriteFailed();
    ~DEFileWriteFailed() override;
};

class DEFileInvalidHexFormat : public DException {
public:
    DEFileInvalidHexFormat();
    ~DEFileInvalidHexFormat() override;
};

// Parser family: failures of the command-line parser and of the typed value
// accessors. what() returns the complete message.
class EParserException : public std::runtime_error {
public:
    explicit EParserException(std::string message);
    EParserException(const EParserException&) = default;
    EParserException& operator=(const EParserException&) = default;
    ~EParserException() override;

    const char* what() const noexcept override;
    const std::string& message() const { return _message; }

private:
    std::string _message;
};

class EBadArgument : public EParserException {
public:
    explicit EBadArgument(const std::string& text);
    ~EBadArgument() override;
};

class EArgumentMultipleUsage : public EParserException {
public:
    explicit EArgumentMultipleUsage(const std::string& name);
    ~EArgumentMultipleUsage() override;
};

class EArgumentAbsent : public EParserException {
public:
    explicit EArgumentAbsent(const std::string& name);
    ~EArgumentAbsent() override;
};

class EValueAbsent : public EParserException {
public:
    explicit EValueAbsent(const std::string& name);
    ~EValueAbsent() override;
};

class EBadValue : public EParserException {
public:
    explicit EBadValue(const std::string& name);
    EBadValue(const std::string& name, std::uint32_t min, std::uint32_t max);
    ~EBadValue() override;
};

} // namespace fwu
