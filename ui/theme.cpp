#include "ui/theme.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

// The desktop's dynamic type sizes, in points, for a 13-point body.
constexpr int kBodySize = 13;

int designSize(TextStyle style) {
    switch (style) {
    case TextStyle::title2:
        return 17;
    case TextStyle::title3:
        return 15;
    case TextStyle::headline:
        return 13;
    case TextStyle::callout:
        return 12;
    case TextStyle::caption:
        return 10;
    case TextStyle::caption2:
        return 10;
    case TextStyle::body:
        break;
    }
    return kBodySize;
}

QPalette paletteOf(const QWidget *widget) {
    return widget ? widget->palette() : QApplication::palette();
}

} // namespace

int textPixelSize(TextStyle style) {
    // One point of the layout is one device-independent pixel, so sizes are pixel sizes; a
    // user who chose a larger application font gets every style scaled with it.
    const int appBody = QFontInfo(QApplication::font()).pixelSize();
    const int body = std::max(kBodySize, appBody);
    return static_cast<int>(std::lround(designSize(style) * body / double(kBodySize)));
}

int symbolSize(TextStyle style) {
    return static_cast<int>(std::lround(textPixelSize(style) * 1.2));
}

QLabel *styledLabel(const QString &text, TextStyle style, const QColor &color,
                    Qt::TextFormat format) {
    auto *label = new QLabel;
    label->setTextFormat(format);
    label->setText(text);
    label->setFont(textFont(style));
    if (color.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    }
    return label;
}

QFont textFont(TextStyle style) {
    QFont font = QApplication::font();
    font.setPixelSize(textPixelSize(style));
    font.setBold(style == TextStyle::headline);
    return font;
}

QColor accentColor(const QWidget *widget) {
    return paletteOf(widget).color(QPalette::Active, QPalette::Highlight);
}

QColor secondaryColor(const QWidget *widget) {
    return paletteOf(widget).color(QPalette::Active, QPalette::PlaceholderText);
}

QColor primaryColor(const QWidget *widget) {
    return paletteOf(widget).color(QPalette::Active, QPalette::WindowText);
}

QColor withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QString emphasized(const QString &markdown) {
    const QStringList pieces = markdown.split(QStringLiteral("**"));
    QString html;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        // An unpaired marker at the end stays as it was written.
        const bool bold = i % 2 == 1 && i + 1 < pieces.size();
        const QString text = pieces[i].toHtmlEscaped();
        if (bold)
            html += QStringLiteral("<b>") + text + QStringLiteral("</b>");
        else if (i % 2 == 1)
            html += QStringLiteral("**") + text;
        else
            html += text;
    }
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

} // namespace tessaly
