#include "ui/feedback_mail.h"

#include <QSysInfo>

#include <string_view>

namespace tessaly {

namespace {

// Fixed texts of the mail; they are part of what the developer reads, not of the interface,
// so they are not translated.
constexpr std::string_view kSubject = "Tessaly \u2014 Feedback";
constexpr std::string_view kOpening =
    "Please describe your issue or request below:\n\n---\n\nApp Version: 1.0\n";
constexpr std::string_view kErrorHeading = "\n\n--- Error Log ---\n";
constexpr std::string_view kNoError = "No error recorded";
constexpr std::string_view kChangesHeading = "\n\n--- Changes Log ---\n";
constexpr std::string_view kArrow = " \u2192 ";
constexpr std::string_view kEllipsis = "\u2026 and ";

void append(QByteArray &to, std::string_view text) {
    to.append(text.data(), static_cast<qsizetype>(text.size()));
}

bool inQuerySet(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("-._~!$&'()*+,;=:@/?").find(c) != std::string_view::npos;
}

QByteArray changeLine(const RelinkChange &change) {
    QByteArray line;
    append(line, change.stem);
    append(line, ": ");
    append(line, change.oldSrc);
    append(line, kArrow);
    append(line, change.newSrc);
    return line;
}

/// The last line of a shortened list: how many changes it leaves out and where they are.
QByteArray moreLine(std::size_t more, const std::optional<std::filesystem::path> &logFile) {
    QByteArray line;
    append(line, kEllipsis);
    line += QByteArray::number(qulonglong(more));
    line += more == 1 ? " more change" : " more changes";
    if (logFile) {
        line += "; the full list is in the change log: ";
        append(line, logFile->native());
    } else {
        line += ", too many for one mail.";
    }
    return line;
}

} // namespace

QByteArray feedbackBody(const QString &systemVersion, const std::optional<QString> &errorMessage,
                        const std::vector<RelinkChange> &changes) {
    QByteArray body;
    append(body, kOpening);
    append(body, kSystemLabel);
    append(body, ": ");
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
        body += changeLine(changes[i]);
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
                           const std::vector<RelinkChange> &changes,
                           const std::optional<std::filesystem::path> &logFile,
                           qsizetype maxLength) {
    QByteArray url("mailto:");
    url += address.toUtf8();
    url += "?subject=";
    url += percentEncodeQuery(QByteArray(kSubject.data(), qsizetype(kSubject.size())));
    url += "&body=";
    // Escapes are per byte, so the body is encoded piece by piece: the text up to the change
    // list, then each line, joined by an encoded line feed.
    url += percentEncodeQuery(feedbackBody(systemVersion, errorMessage, {}));
    const QByteArray separator = percentEncodeQuery("\n");
    std::vector<QByteArray> lines;
    lines.reserve(changes.size());
    qsizetype full = url.size();
    for (const RelinkChange &change : changes) {
        lines.push_back(percentEncodeQuery(changeLine(change)));
        full += lines.back().size() + (lines.size() > 1 ? separator.size() : 0);
    }
    // Handed to the desktop as one argument, a longer URL is refused and no mail opens.
    std::size_t listed = lines.size();
    if (full > maxLength) {
        listed = 0;
        qsizetype length = url.size();
        for (const QByteArray &line : lines) {
            const qsizetype withLine = length + (listed > 0 ? separator.size() : 0) + line.size();
            const QByteArray more =
                percentEncodeQuery(moreLine(lines.size() - listed - 1, logFile));
            if (withLine + separator.size() + more.size() > maxLength)
                break;
            length = withLine;
            ++listed;
        }
    }
    for (std::size_t i = 0; i < listed; ++i) {
        if (i > 0)
            url += separator;
        url += lines[i];
    }
    if (listed < lines.size()) {
        if (listed > 0)
            url += separator;
        url += percentEncodeQuery(moreLine(lines.size() - listed, logFile));
    }
    return url;
}

QString systemVersionText() {
    return QSysInfo::prettyProductName() + QStringLiteral(" (") + QSysInfo::kernelType() +
           QLatin1Char(' ') + QSysInfo::kernelVersion() + QLatin1Char(')');
}

} // namespace tessaly
