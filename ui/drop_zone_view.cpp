#include "ui/drop_zone_view.h"

#include "ui/accessible_names.h"
#include "ui/elided_label.h"
#include "ui/push_button.h"
#include "ui/symbol_view.h"
#include "ui/theme.h"
#include "ui/tinted_label.h"
#include "workflow/path_string.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tessaly {

namespace {

constexpr int kEmptyHeight = 110;
constexpr int kLoadedHeight = 64;
constexpr qreal kRadius = 12;
constexpr qreal kLineWidth = 2;

} // namespace

DropZoneView::DropZoneView(std::function<void()> onTap, QWidget *parent)
    : QWidget(parent), m_onTap(std::move(onTap)), m_height(kEmptyHeight) {
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(emptyContent());
    stack->addWidget(loadedContent());

    m_heightAnimation.setDuration(150);
    m_heightAnimation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_heightAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) {
                m_height = value.toInt();
                updateGeometry();
            });
    // Stands in for the desktop's 0.3-second spring on the hover symbol.
    m_symbolAnimation.setDuration(300);
    m_symbolAnimation.setEasingCurve(QEasingCurve(QEasingCurve::OutBack));
    m_symbolAnimation.setStartValue(0.75);
    m_symbolAnimation.setEndValue(1.0);
    connect(&m_symbolAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { m_emptySymbol->setScale(value.toReal()); });
    updateContent();
}

QWidget *DropZoneView::emptyContent() {
    m_empty = new QWidget(this);
    auto *column = new QVBoxLayout(m_empty);
    column->setSpacing(8);
    column->setContentsMargins(16, 0, 16, 0);
    column->addStretch();
    m_emptySymbol = new SymbolView(QStringLiteral("arrow.down.doc"), 36, Tint::secondary);
    m_emptySymbol->setObjectName(QStringLiteral("emptySymbol"));
    column->addWidget(m_emptySymbol, 0, Qt::AlignHCenter);
    m_emptyMessage = new TintedLabel;
    m_emptyMessage->setObjectName(QStringLiteral("emptyMessage"));
    m_emptyMessage->setFont(textFont(TextStyle::callout));
    column->addWidget(m_emptyMessage, 0, Qt::AlignHCenter);
    auto *browse = new PushButton(tr("Or click to browse…"), QString());
    browse->setObjectName(QStringLiteral("browseButton"));
    browse->setLook(PushButton::Look::plain);
    browse->setFont(textFont(TextStyle::caption));
    nameControl(browse, tr("Choose Input…"), tr("Chooses the export to relink"));
    connect(browse, &PushButton::clicked, this, [this] { m_onTap(); });
    column->addWidget(browse, 0, Qt::AlignHCenter);
    column->addStretch();
    return m_empty;
}

QWidget *DropZoneView::loadedContent() {
    m_loaded = new QWidget(this);
    auto *row = new QHBoxLayout(m_loaded);
    row->setSpacing(12);
    row->setContentsMargins(16, 0, 16, 0);
    m_loadedSymbol = new SymbolView(QStringLiteral("doc.fill"), 28, Tint::accent);
    m_loadedSymbol->setObjectName(QStringLiteral("loadedSymbol"));
    row->addWidget(m_loadedSymbol);
    auto *text = new QVBoxLayout;
    text->setSpacing(3);
    text->addStretch(1);
    m_name = new ElidedLabel(QString(), Qt::ElideMiddle);
    m_name->setObjectName(QStringLiteral("inputName"));
    m_name->setFont(textFont(TextStyle::headline));
    text->addWidget(m_name);
    m_folder = new ElidedLabel(QString(), Qt::ElideLeft);
    m_folder->setObjectName(QStringLiteral("inputFolder"));
    m_folder->setFont(textFont(TextStyle::caption));
    m_folder->setTint(Tint::secondary);
    text->addWidget(m_folder);
    text->addStretch(1);
    row->addLayout(text, 1);
    auto *change = new PushButton(tr("Change…"), QString());
    change->setObjectName(QStringLiteral("changeInputButton"));
    change->setControlSize(PushButton::ControlSize::small);
    nameControl(change, tr("Change Input…"), tr("Chooses another export to relink"));
    connect(change, &PushButton::clicked, this, [this] { m_onTap(); });
    row->addWidget(change);
    return m_loaded;
}

void DropZoneView::setTargeted(bool isTargeted) {
    if (isTargeted == m_isTargeted)
        return;
    m_isTargeted = isTargeted;
    updateContent();
    if (!m_url)
        m_symbolAnimation.start();
}

void DropZoneView::setURL(const std::optional<std::filesystem::path> &url) {
    const bool stateChanges = url.has_value() != m_url.has_value();
    m_url = url;
    updateContent();
    if (!stateChanges)
        return;
    if (isVisible()) {
        m_heightAnimation.stop();
        m_heightAnimation.setStartValue(m_height);
        m_heightAnimation.setEndValue(stateHeight());
        m_heightAnimation.start();
    } else {
        m_height = stateHeight();
        updateGeometry();
    }
}

QString DropZoneView::iconName(const std::filesystem::path &url) {
    const QString extension = pathString(url.extension()).mid(1).toLower();
    if (extension == QLatin1String("fcpxmld"))
        return QStringLiteral("shippingbox.fill");
    if (extension == QLatin1String("fcpxml"))
        return QStringLiteral("doc.badge.gearshape.fill");
    return QStringLiteral("doc.fill");
}

int DropZoneView::stateHeight() const {
    return m_url ? kLoadedHeight : kEmptyHeight;
}

void DropZoneView::updateContent() {
    m_empty->setVisible(!m_url);
    m_loaded->setVisible(m_url.has_value());
    m_emptySymbol->setSymbol(m_isTargeted ? QStringLiteral("arrow.down.circle.fill")
                                          : QStringLiteral("arrow.down.doc"));
    const Tint tint = m_isTargeted ? Tint::accent : Tint::secondary;
    m_emptySymbol->setTint(tint);
    m_emptyMessage->setText(m_isTargeted ? tr("Release to load")
                                         : tr("Drop .fcpxml or .fcpxmld here"));
    // Set after the panel's own fill has changed, so the colour is chosen for the new fill.
    m_emptyMessage->setTint(tint);
    if (m_url) {
        m_loadedSymbol->setSymbol(iconName(*m_url));
        m_name->setText(pathString(m_url->filename()));
        m_folder->setText(pathString(m_url->parent_path()));
    }
    update();
}

QSize DropZoneView::sizeHint() const {
    return {m_empty->sizeHint().width(), m_height};
}

QSize DropZoneView::minimumSizeHint() const {
    return {0, m_height};
}

QColor DropZoneView::surfaceFill() const {
    if (m_isTargeted)
        return withOpacity(tintColor(Tint::accent, this), 0.08);
    if (m_url)
        return withOpacity(tintColor(Tint::accent, this), 0.04);
    return Qt::transparent;
}

void DropZoneView::paintEvent(QPaintEvent *) {
    const QColor accent = tintColor(Tint::accent, this);
    QColor stroke = withOpacity(tintColor(Tint::secondary, this), 0.4);
    if (m_isTargeted)
        stroke = accent;
    else if (m_url)
        stroke = withOpacity(accent, 0.6);
    const QColor fill = surfaceFill();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = kLineWidth / 2;
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kRadius - inset,
                        kRadius - inset);
    painter.fillPath(path, fill);
    QPen pen(stroke, kLineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    if (!m_url)
        pen.setDashPattern({6 / kLineWidth, 4 / kLineWidth}); // Qt counts dashes in line widths
    painter.strokePath(path, pen);
}

void DropZoneView::mousePressEvent(QMouseEvent *event) {
    // Accepting the press is what brings the release here rather than to the window.
    event->setAccepted(event->button() == Qt::LeftButton && !m_url);
}

void DropZoneView::mouseReleaseEvent(QMouseEvent *event) {
    // The whole empty panel is a target; a loaded one is changed only through its button.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        !m_url) {
        m_onTap();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace tessaly
