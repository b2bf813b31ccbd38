#pragma once

#include "engine/relink/relink_records.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tessaly {

/// The feedback mail's body as UTF-8: the request, the versions, the last error (or "No
/// error recorded") and one line per change.
QByteArray feedbackBody(const QString &systemVersion, const std::optional<QString> &errorMessage,
                        const std::vector<RelinkChange> &changes);

/// `bytes` with every byte outside the URL-query set (letters, digits and
/// `-._~!$&'()*+,;=:@/?`) written as an upper-case percent escape.
QByteArray percentEncodeQuery(const QByteArray &bytes);

/// The whole `mailto:` URL text to `address`, with the encoded subject and body.
QByteArray feedbackMailURL(const QString &address, const QString &systemVersion,
                           const std::optional<QString> &errorMessage,
                           const std::vector<RelinkChange> &changes);

/// The running system's name and kernel version, as shown in the mail.
QString systemVersionText();

} // namespace tessaly
