#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace tessaly {

/// The text styles the window uses, after the desktop's dynamic type scale.
enum class TextStyle { body, title2, title3, headline, callout, caption, caption2 };

/// The font of `style`, scaled from the application font (body is never below 13 pixels).
QFont textFont(TextStyle style);

/// A new label of `text` in `style`, in `color` when that is valid.
QLabel *styledLabel(const QString &text, TextStyle style, const QColor &color = QColor(),
                    Qt::TextFormat format = Qt::PlainText);

/// The pixel size of `style`'s font.
int textPixelSize(TextStyle style);

/// The square size of a symbol shown in `style`, a little above the font's pixel size as the
/// desktop's symbols are.
int symbolSize(TextStyle style);

/// Fixed equivalents of the system colours the window names.
namespace SystemColor {
inline const QColor orange{0xFF, 0x95, 0x00};
inline const QColor green{0x28, 0xCD, 0x41};
inline const QColor red{0xFF, 0x3B, 0x30};
inline const QColor blue{0x00, 0x7A, 0xFF};
inline const QColor purple{0xAF, 0x52, 0xDE};
} // namespace SystemColor

/// The accent colour: the palette's highlight of `widget` (or of the application).
QColor accentColor(const QWidget *widget = nullptr);

/// The colour of secondary text: the palette's placeholder text of `widget`.
QColor secondaryColor(const QWidget *widget = nullptr);

/// The colour of primary text: the palette's window text of `widget`.
QColor primaryColor(const QWidget *widget = nullptr);

/// `color` with its alpha set to `opacity` (0 to 1).
QColor withOpacity(QColor color, qreal opacity);

/// Rich text for a fixed text: HTML-escaped, each `**phrase**` bold, line feeds as breaks.
QString emphasized(const QString &markdown);

} // namespace tessaly
