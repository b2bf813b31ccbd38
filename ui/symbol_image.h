#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace tessaly {

/// Whether the application ships a symbol named `name` (for example "folder").
bool hasSymbol(const QString &name);

/// The symbol `name` drawn `size` device-independent pixels square in `color` at
/// `devicePixelRatio`; an unknown name gives a visible stand-in, never a blank image.
///
/// The symbol files are drawn in black with white knock-outs: black becomes `color`, white
/// becomes transparent, so holes show the background as the desktop's own symbols do.
QPixmap symbolPixmap(const QString &name, int size, const QColor &color, qreal devicePixelRatio);

} // namespace tessaly
