#pragma once

// Text of device properties and registry values as SetupAPI and the registry
// hand it over: bytes of UTF-16 in little-endian order, a REG_SZ ending in one
// NUL, a REG_MULTI_SZ a series of NUL-terminated strings closed by an empty
// one. Whatever the bytes, nothing is read outside them.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <optional>

namespace DADOV::setupapi_text {

// The largest property or value read; anything bigger is unreadable (hardware
// IDs, names and GUIDs come to a few hundred bytes).
inline constexpr qsizetype kMaxBytes = 64 * 1024;

// Whether a REG_SZ text must end in its NUL: SetupAPI always gives one, the
// registry gives whatever its writer stored.
enum class Terminator { Required, Optional };

namespace detail {

inline char16_t unitAt(QByteArrayView bytes, qsizetype i) {
    return char16_t(qFromLittleEndian<quint16>(bytes.data() + 2 * i));
}

inline QString textOf(QByteArrayView bytes, qsizetype from, qsizetype to) {
    QString text(to - from, Qt::Uninitialized);
    for (qsizetype i = from; i < to; ++i)
        text[i - from] = QChar(unitAt(bytes, i));
    return text;
}

} // namespace detail

// A REG_SZ text: the characters before the first NUL. Nothing for an odd or
// oversized byte count, or for a required NUL that is missing.
inline std::optional<QString> textFromBytes(QByteArrayView bytes, Terminator terminator) {
    if (bytes.size() > kMaxBytes || bytes.size() % 2 != 0)
        return std::nullopt;
    const qsizetype units = bytes.size() / 2;
    qsizetype end = 0;
    while (end < units && detail::unitAt(bytes, end) != 0)
        ++end;
    if (end == units && terminator == Terminator::Required)
        return std::nullopt;
    return detail::textOf(bytes, 0, end);
}

// A REG_MULTI_SZ list: its strings up to the first empty one (the list's
// end). The bytes must end in a NUL, so that every string is terminated; the
// empty string that closes the list may be missing. Nothing for an odd or
// oversized byte count or a last string without its NUL.
inline std::optional<QStringList> multiTextFromBytes(QByteArrayView bytes) {
    if (bytes.size() > kMaxBytes || bytes.size() % 2 != 0 || bytes.isEmpty())
        return std::nullopt;
    const qsizetype units = bytes.size() / 2;
    if (detail::unitAt(bytes, units - 1) != 0)
        return std::nullopt;
    QStringList list;
    qsizetype start = 0;
    while (start < units) {
        qsizetype end = start;
        while (detail::unitAt(bytes, end) != 0)
            ++end; // stops at the last unit at the latest
        if (end == start)
            break;
        list.push_back(detail::textOf(bytes, start, end));
        start = end + 1;
    }
    return list;
}

} // namespace DADOV::setupapi_text
