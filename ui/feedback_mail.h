#pragma once

#include "engine/relink/relink_records.h"

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaly {

/// The name of the system the mail's version line is about.
#if defined(Q_OS_MACOS)
inline constexpr std::string_view kSystemLabel = "macOS";
#elif defined(Q_OS_LINUX)
inline constexpr std::string_view kSystemLabel = "Linux";
#else
inline constexpr std::string_view kSystemLabel = "System";
#endif

/// The feedback mail's body as UTF-8: the request, the versions, the last error (or "No
/// error recorded") and one line per change.
QByteArray feedbackBody(const QString &systemVersion, const std::optional<QString> &errorMessage,
                        const std::vector<RelinkChange> &changes);

/// `bytes` with every byte outside the URL-query set (letters, digits and
/// `-._~!$&'()*+,;=:@/?`) written as an upper-case percent escape.
QByteArray percentEncodeQuery(const QByteArray &bytes);

/// The longest `mailto:` URL the desktop is handed: it travels as one program argument, and
/// Linux refuses any argument of 128 KiB or more (the terminating zero included).
inline constexpr qsizetype kMaxMailURLLength = 128 * 1024 - 1;

/// The whole `mailto:` URL text to `address`, with the encoded subject and body; when it would
/// be longer than `maxLength`, the body lists as many changes as fit and ends with a line
/// saying how many more there are and, when `logFile` is set, where the change log is.
QByteArray feedbackMailURL(const QString &address, const QString &systemVersion,
                           const std::optional<QString> &errorMessage,
                           const std::vector<RelinkChange> &changes,
                           const std::optional<std::filesystem::path> &logFile = std::nullopt,
                           qsizetype maxLength = kMaxMailURLLength);

/// The running system's name and kernel version, as shown in the mail.
QString systemVersionText();

} // namespace tessaly
