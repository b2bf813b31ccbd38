#pragma once

#include <QString>

class QWidget;

namespace tessaly {

// How the window speaks to a screen reader:
// - every text the user reads is a text object whose name is the whole text, shortened or not
//   (ElidedLabel does this for itself; QLabel does it already);
// - every control whose title alone does not say what it acts on ("Change…", "Locate…") gets,
//   through `nameControl`, a name that does, and a description of what pressing it does.

/// Gives `control` the accessible `name` a screen reader announces, and `description`.
void nameControl(QWidget *control, const QString &name, const QString &description = {});

/// Makes the widgets that paint their own text report it to assistive technology as text;
/// called once by the first such widget, harmless afterwards.
void installAccessibleTexts();

} // namespace tessaly
