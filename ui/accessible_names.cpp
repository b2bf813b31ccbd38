#include "ui/accessible_names.h"

#include "ui/elided_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace tessaly {

namespace {

/// A shortened label read as the whole text it stands for, not as an empty "filler".
class AccessibleElidedLabel : public QAccessibleWidget {
public:
    explicit AccessibleElidedLabel(ElidedLabel *label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const ElidedLabel *>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface *accessibleText(const QString &className, QObject *object) {
    if (className == QLatin1String("tessaly::ElidedLabel") && object && object->isWidgetType())
        return new AccessibleElidedLabel(static_cast<ElidedLabel *>(object));
    return nullptr;
}

} // namespace

void nameControl(QWidget *control, const QString &name, const QString &description) {
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

void installAccessibleTexts() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleText);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace tessaly
