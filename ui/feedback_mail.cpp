#include "ui/feedback_mail.h"

#include <QSysInfo>

#include <string_view>

namespace tessaly {

namespace {

// Fixed texts of the mail; they are part of what the developer reads, not of the interface,
// so they are not translated.
constexpr std::string_view kSubject = "Tessaly \u2014 Feedback";
constexpr std::string_view kOpening =
    "Please describe your issue or request below:\n\n---\n\nApp Version: 1.0\nmacOS: ";
constexpr std::string_view kErrorHeading = "\n\n--- Error Log ---\n";
constexpr std::string_view kNoError = "No error recorded";
constexpr std::string_view kChangesHeading = "\n\n--- Changes Log ---\n";
constexpr std::string_view kArrow = " \u2192 ";

void append(QByteArray &to, std::string_view text) {
    to.append(text.data(), static_cast<qsizetype>(text.size()));
}

bool inQuerySet(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("-._~!$&'()*+,;=:@/?").find(c) != std::string_view::npos;
}

} // namespace

QByteArray feedbackBody(const QString &systemVersion, const std::optional<QString> &errorMessage,
                        const std::vector<RelinkChange> &changes) {
    QByteArray body;
    append(body, kOpening);
    body += systemVersion.toUtf8();
    append(body, kErrorHeading);
    if (errorMessage)
        body += errorMessage->toUtf8();
    else
        append(body, kNoError);
    append(body, kChangesHeading);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (i > 0)
            body += '\n';
        const RelinkChange &change = changes[i];
        append(body, change.stem);
        append(body, ": ");
        append(body, change.oldSrc);
        append(body, kArrow);
        append(body, change.newSrc);
    }
    return body;
}

QByteArray percentEncodeQuery(const QByteArray &bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        if (inQuerySet(c)) {
            encoded += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += kHex[byte >> 4];
        encoded += kHex[byte & 0xF];
    }
    return encoded;
}

QByteArray feedbackMailURL(const QString &address, const QString &systemVersion,
                           const std::optional<QString> &errorMessage,
                           const std::vector<RelinkChange> &changes) {
    QByteArray url("mailto:");
    url += address.toUtf8();
    url += "?subject=";
    url += percentEncodeQuery(QByteArray(kSubject.data(), qsizetype(kSubject.size())));
    url += "&body=";
    url += percentEncodeQuery(feedbackBody(systemVersion, errorMessage, changes));
    return url;
}

QString systemVersionText() {
    return QSysInfo::prettyProductName() + QStringLiteral(" (") + QSysInfo::kernelType() +
           QLatin1Char(' ') + QSysInfo::kernelVersion() + QLatin1Char(')');
}

} // namespace tessaly
