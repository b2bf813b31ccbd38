#include "ui/reveal_container.h"

#include <QEvent>

namespace tessaly {

namespace {
constexpr int kDurationMs = 250;
} // namespace

RevealContainer::RevealContainer(int gap, QWidget *parent) : QWidget(parent), m_gap(gap) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_animation.setDuration(kDurationMs);
    m_animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_animatedHeight = value.toInt();
        updateGeometry();
    });
    connect(&m_animation, &QVariantAnimation::finished, this, [this] {
        m_animatedHeight.reset();
        delete m_leaving.data();
        updateGeometry();
        Q_EMIT settled();
    });
}

void RevealContainer::setPanel(QWidget *panel, bool animated) {
    const int from = m_animatedHeight.value_or(naturalHeight(width()));
    m_animation.stop();
    m_animatedHeight.reset();
    delete m_leaving.data();
    if (m_panel && !panel && animated) {
        // The old panel stays visible while the container closes over it.
        m_leaving = m_panel;
    } else {
        delete m_panel;
    }
    m_panel = panel;
    if (m_panel) {
        m_panel->setParent(this);
        m_panel->show();
    }
    placePanels();
    const int to = naturalHeight(width());
    if (animated && isVisible() && from != to) {
        m_animatedHeight = from;
        m_animation.setStartValue(from);
        m_animation.setEndValue(to);
        m_animation.start();
        updateGeometry();
        return;
    }
    delete m_leaving.data();
    updateGeometry();
    Q_EMIT settled();
}

int RevealContainer::panelHeight(const QWidget *panel, int width) const {
    if (!panel)
        return 0;
    return panel->hasHeightForWidth() ? panel->heightForWidth(width) : panel->sizeHint().height();
}

int RevealContainer::naturalHeight(int width) const {
    return m_panel ? m_gap + panelHeight(m_panel, width) : 0;
}

QSize RevealContainer::sizeHint() const {
    const int width = m_panel ? m_panel->sizeHint().width() : 0;
    return {width, m_animatedHeight.value_or(naturalHeight(width))};
}

QSize RevealContainer::minimumSizeHint() const {
    return {m_panel ? m_panel->minimumSizeHint().width() : 0, 0};
}

bool RevealContainer::hasHeightForWidth() const {
    return true;
}

int RevealContainer::heightForWidth(int width) const {
    return m_animatedHeight.value_or(naturalHeight(width));
}

void RevealContainer::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    placePanels();
}

bool RevealContainer::event(QEvent *event) {
    // A panel whose own content changed asks its parent to lay it out again.
    if (event->type() == QEvent::LayoutRequest) {
        placePanels();
        updateGeometry();
    }
    return QWidget::event(event);
}

void RevealContainer::placePanels() {
    for (QWidget *panel : {m_panel, m_leaving.data()}) {
        if (panel)
            panel->setGeometry(0, m_gap, width(), panelHeight(panel, width()));
    }
}

} // namespace tessaly
