#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace tessaly {

/// The text styles the window uses, after the desktop's dynamic type scale.
enum class TextStyle { body, title2, title3, headline, callout, caption, caption2 };

/// The font of `style`, scaled from the application font (body is never below 13 pixels).
QFont textFont(TextStyle style);

/// The pixel size of `style`'s font.
int textPixelSize(TextStyle style);

/// How many pixels the ink of `font`'s lowest glyphs (an underscore, the tail of a "g") can
/// reach below the font's descent, at 1x and 2x alike; a line of text needs that much room
/// below its descent or an underscore is cut off and "Reel_04" reads as "Reel 04".
int inkBelowDescent(const QFont &font);

/// The square size of a symbol shown in `style`, a little above the font's pixel size as the
/// desktop's symbols are.
int symbolSize(TextStyle style);

/// What a colour is for. A tint is resolved against the palette each time it is drawn, so
/// every colour follows the desktop when it switches between light and dark.
enum class Tint {
    primary,   ///< primary text: the palette's window text
    secondary, ///< secondary text: the palette's placeholder text
    accent,    ///< the palette's highlight
    control,   ///< the background of controls and fields: the palette's base
    orange,
    green,
    red,
    blue,
    purple,
};

/// Fixed equivalents of the system colours the window names.
namespace SystemColor {
inline const QColor orange{0xFF, 0x95, 0x00};
inline const QColor green{0x28, 0xCD, 0x41};
inline const QColor red{0xFF, 0x3B, 0x30};
inline const QColor blue{0x00, 0x7A, 0xFF};
inline const QColor purple{0xAF, 0x52, 0xDE};
} // namespace SystemColor

/// The least contrast of text against what it is drawn on (WCAG 2 level AA).
inline constexpr qreal kMinimumTextContrast = 4.5;

/// The colour `tint` names in the palette of `widget` (or of the application), as it is
/// used for fills and symbols.
QColor tintColor(Tint tint, const QWidget *widget = nullptr);

/// The colour to draw text of `tint` in within `widget`: the tint with its hue kept, made
/// dark or light enough to read on what `widget` is drawn on.
QColor textColor(Tint tint, const QWidget *widget);

/// The opaque colour `widget` is drawn on: its window's background under the fills of the
/// surfaces that hold it.
QColor backgroundBehind(const QWidget *widget);

/// `color` over `background` and then, keeping its hue, darkened or lightened until its
/// contrast against `background` is at least `minimum`; opaque.
QColor readableOn(const QColor &color, const QColor &background,
                  qreal minimum = kMinimumTextContrast);

/// The WCAG 2 relative luminance of the opaque colour `color` (0 for black, 1 for white).
qreal relativeLuminance(const QColor &color);

/// The WCAG 2 contrast ratio of two opaque colours, from 1 to 21.
qreal contrastRatio(const QColor &first, const QColor &second);

/// `color` drawn over the opaque `background`, as one opaque colour.
QColor composite(const QColor &color, const QColor &background);

/// `color` with its alpha set to `opacity` (0 to 1).
QColor withOpacity(QColor color, qreal opacity);

/// Rich text for a fixed text: HTML-escaped, each `**phrase**` bold, line feeds as breaks.
QString emphasized(const QString &markdown);

} // namespace tessaly
