#pragma once

#include "ui/tinted_label.h"

namespace tessaly {

/// Verbatim text that wraps at the width it is given, never cut off, and that the user can
/// select and copy; its size hint asks for little width, so a long message never widens the
/// window, only makes it taller.
class WrappingLabel : public TintedLabel {
    Q_OBJECT
public:
    /// A label of `text` as plain text.
    explicit WrappingLabel(const QString &text, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

} // namespace tessaly
