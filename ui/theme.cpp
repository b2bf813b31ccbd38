#include "ui/theme.h"

#include "ui/surface.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QList>
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
    if (!widget)
        return QApplication::palette();
    // A tinted label keeps its resolved colour in its own palette; the tint is looked up in
    // the palette it inherits, or a switch of the desktop's palette would find the old colour.
    if (widget->isWindow() || !widget->parentWidget())
        return widget->palette();
    return widget->parentWidget()->palette();
}

} // namespace

int textPixelSize(TextStyle style) {
    // One point of the layout is one device-independent pixel, so sizes are pixel sizes; a
    // user who chose a larger application font gets every style scaled with it.
    const int appBody = QFontInfo(QApplication::font()).pixelSize();
    const int body = std::max(kBodySize, appBody);
    return static_cast<int>(std::lround(designSize(style) * body / double(kBodySize)));
}

int inkBelowDescent(const QFont &font) {
    const QFontMetricsF metrics(font);
    // Half a pixel more than the outline reaches: at 2x the hinted glyph may sit half a
    // logical pixel lower than at 1x.
    const qreal lowest = metrics.tightBoundingRect(QStringLiteral("_gjpqy|")).bottom() + 0.5;
    return std::max(0, int(std::ceil(lowest)) - QFontMetrics(font).descent());
}

int symbolSize(TextStyle style) {
    return static_cast<int>(std::lround(textPixelSize(style) * 1.2));
}

QFont textFont(TextStyle style) {
    QFont font = QApplication::font();
    font.setPixelSize(textPixelSize(style));
    font.setBold(style == TextStyle::headline);
    return font;
}

QColor tintColor(Tint tint, const QWidget *widget) {
    const QPalette palette = paletteOf(widget);
    switch (tint) {
    case Tint::primary:
        return palette.color(QPalette::Active, QPalette::WindowText);
    case Tint::secondary:
        return palette.color(QPalette::Active, QPalette::PlaceholderText);
    case Tint::accent:
        return palette.color(QPalette::Active, QPalette::Highlight);
    case Tint::control:
        return palette.color(QPalette::Active, QPalette::Base);
    case Tint::orange:
        return SystemColor::orange;
    case Tint::green:
        return SystemColor::green;
    case Tint::red:
        return SystemColor::red;
    case Tint::blue:
        return SystemColor::blue;
    case Tint::purple:
        return SystemColor::purple;
    }
    return palette.color(QPalette::Active, QPalette::WindowText);
}

QColor textColor(Tint tint, const QWidget *widget) {
    return readableOn(tintColor(tint, widget), backgroundBehind(widget));
}

QColor backgroundBehind(const QWidget *widget) {
    // The fills met on the way up, innermost first, down to the first opaque background.
    QList<QColor> fills;
    QColor base = paletteOf(widget).color(QPalette::Active, QPalette::Window);
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (const auto *surface = dynamic_cast<const Surface *>(w))
            fills << surface->surfaceFill();
        if (w->autoFillBackground() || w->isWindow()) {
            base = w->palette().color(QPalette::Active, w->backgroundRole());
            break;
        }
    }
    base.setAlpha(255);
    for (qsizetype i = fills.size() - 1; i >= 0; --i)
        base = composite(fills[i], base);
    return base;
}

qreal relativeLuminance(const QColor &color) {
    const auto channel = [](qreal value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

qreal contrastRatio(const QColor &first, const QColor &second) {
    const qreal a = relativeLuminance(first);
    const qreal b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor composite(const QColor &color, const QColor &background) {
    const QColor over = color.toRgb();
    const QColor under = background.toRgb();
    const qreal alpha = over.alphaF();
    const auto mix = [alpha](qreal top, qreal bottom) {
        return top * alpha + bottom * (1 - alpha);
    };
    return QColor::fromRgbF(float(mix(over.redF(), under.redF())),
                            float(mix(over.greenF(), under.greenF())),
                            float(mix(over.blueF(), under.blueF())));
}

QColor readableOn(const QColor &color, const QColor &background, qreal minimum) {
    // A little above the bound, so that the rounding of what lies underneath to eight-bit
    // channels cannot take a text below it.
    minimum *= 1.02;
    const QColor opaque = composite(color, background);
    if (contrastRatio(opaque, background) >= minimum)
        return opaque;
    // Towards black on a light background, towards white on a dark one, keeping hue and
    // saturation: the least change of lightness that reaches the contrast, found by halving.
    const bool darken =
        contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background);
    const float hue = opaque.hslHueF();
    const float saturation = opaque.hslSaturationF();
    const float start = opaque.lightnessF();
    const auto at = [&](float lightness) { return QColor::fromHslF(hue, saturation, lightness); };
    float reaches = darken ? 0.0F : 1.0F;
    float fails = start;
    for (int step = 0; step < 24; ++step) {
        const float middle = (reaches + fails) / 2;
        if (contrastRatio(at(middle).toRgb(), background) >= minimum)
            reaches = middle;
        else
            fails = middle;
    }
    QColor result = at(reaches).toRgb();
    // Eight-bit channels may round a hair below the bound; one more step of lightness fixes it.
    while (contrastRatio(result, background) < minimum && reaches > 0.0F && reaches < 1.0F) {
        reaches = std::clamp(reaches + (darken ? -0.004F : 0.004F), 0.0F, 1.0F);
        result = at(reaches).toRgb();
    }
    return result;
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
