#pragma once

#include <QColor>

namespace tessaly {

/// A widget that paints a fill under its content, so that the text it holds is chosen to
/// read on that fill.
class Surface {
public:
    virtual ~Surface() = default;

    /// The colour this widget fills itself with now, transparency included.
    virtual QColor surfaceFill() const = 0;
};

} // namespace tessaly
