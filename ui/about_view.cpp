#include "ui/about_view.h"

#include "ui/about_config.h"
#include "ui/push_button.h"
#include "ui/rounded_card.h"
#include "ui/symbol_view.h"
#include "ui/theme.h"
#include "ui/tinted_label.h"

#include "engine/version.h"

#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

namespace tessaly {

namespace {

constexpr int kSize = 400;
constexpr int kPadding = 20;

QLabel *textLine(const QString &text, Tint tint, QWidget *parent) {
    auto *label = new TintedLabel(text, tint, parent);
    label->setTextFormat(Qt::PlainText);
    // A line wider than the sheet wraps within it; a shorter one keeps its own width, so the
    // block it belongs to can be centred.
    const int room = kSize - 2 * kPadding;
    if (label->fontMetrics().horizontalAdvance(text) > room) {
        label->setWordWrap(true);
        label->setFixedWidth(room);
    }
    return label;
}

QLabel *link(const QString &title, const char *destination, QWidget *parent) {
    const QUrl url(QString::fromUtf8(destination), QUrl::StrictMode);
    // The link takes the label's tint, so it follows the palette like every other text.
    auto *label = new TintedLabel(QString(), Tint::accent, parent);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"") + url.toString(QUrl::FullyEncoded).toHtmlEscaped() +
                   QStringLiteral("\" style=\"text-decoration:none\">") + title.toHtmlEscaped() +
                   QStringLiteral("</a>"));
    label->setToolTip(url.toString());
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

AboutView::AboutView(QWidget *parent) : QDialog(parent) {
    setWindowTitle(tr("About Tessaly"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(kSize, kSize);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    stack->setSpacing(18);

    auto *symbol =
        new SymbolView(QStringLiteral("arrow.triangle.2.circlepath.circle.fill"), 56, Tint::accent);
    stack->addWidget(symbol, 0, Qt::AlignHCenter);

    auto *title = new TintedLabel(tr("Corvane: Tessaly"), Tint::primary, this);
    QFont titleFont = textFont(TextStyle::title2);
    titleFont.setBold(true);
    title->setFont(titleFont);
    stack->addWidget(title, 0, Qt::AlignHCenter);

    stack->addWidget(
        textLine(tr("Version %1").arg(QLatin1String(kVersion.data(), qsizetype(kVersion.size()))),
                 Tint::secondary, this),
        0, Qt::AlignHCenter);
    stack->addWidget(new Divider(this));

    // Each block is as wide as its widest line and centred, its lines flush left.
    auto *creditBlock = new QWidget(this);
    auto *credits = new QVBoxLayout(creditBlock);
    credits->setContentsMargins(0, 0, 0, 0);
    credits->setSpacing(6);
    credits->addWidget(
        textLine(QString::fromUtf8(TESSALY_ABOUT_DEVELOPER_CREDIT), Tint::primary, this));
    credits->addWidget(textLine(QString::fromUtf8(TESSALY_ABOUT_MAKER_LINE), Tint::primary, this));
    credits->addWidget(
        textLine(QString::fromUtf8(TESSALY_ABOUT_ICON_CREDIT), Tint::secondary, this));
    stack->addWidget(creditBlock, 0, Qt::AlignHCenter);
    stack->addWidget(new Divider(this));

    auto *linkBlock = new QWidget(this);
    auto *links = new QVBoxLayout(linkBlock);
    links->setContentsMargins(0, 0, 0, 0);
    links->setSpacing(10);
    links->addWidget(link(tr("My Website"), TESSALY_WEBSITE_URL, this));
    links->addWidget(
        link(QString::fromUtf8(TESSALY_RELATED_TOOL_NAME), TESSALY_RELATED_TOOL_URL, this));
    stack->addWidget(linkBlock, 0, Qt::AlignHCenter);
    stack->addStretch(1);

    auto *close = new PushButton(tr("Close"), QString(), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Escape));
    connect(close, &PushButton::clicked, this, &QDialog::accept);
    stack->addWidget(close, 0, Qt::AlignHCenter);
}

} // namespace tessaly
