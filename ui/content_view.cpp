#include "ui/content_view.h"

#include "ui/about_config.h"
#include "ui/about_view.h"
#include "ui/drop_zone_view.h"
#include "ui/feedback_mail.h"
#include "ui/push_button.h"
#include "ui/qt_file_chooser.h"
#include "ui/reveal_container.h"
#include "ui/rounded_card.h"
#include "ui/symbol_view.h"
#include "ui/theme.h"
#include "ui/tinted_label.h"
#include "workflow/path_string.h"
#include "workflow/relink_view_model.h"

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaMethod>
#include <QMetaObject>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>

namespace tessaly {

namespace {

constexpr int kContentSpacing = 24;

// A drop only reads the dropped file, so it is always taken as a copy. Accepting the move a
// file manager may propose would tell it the file now lives here, and it would delete the
// user's export once the drop returns.
bool offersCopy(const QDropEvent &event) {
    return event.possibleActions().testFlag(Qt::CopyAction);
}

void acceptAsCopy(QDropEvent &event) {
    event.setDropAction(Qt::CopyAction);
    event.accept();
}

} // namespace

ContentView::ContentView(std::shared_ptr<FileChooser> chooser, QWidget *parent)
    : QWidget(parent),
      m_vm(RelinkViewModel::create(
          chooser ? std::move(chooser)
                  : std::make_shared<QtFileChooser>(this, [this] { return m_vm->outputURL(); }))),
      m_dropDelegate(this, [this](std::filesystem::path url) {
          // A run may have started between the drop and its hand-over.
          if (!m_vm->isRunning())
              m_vm->setInput(url);
          setTargeted(false);
      }) {
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    // The window takes exactly the size of its content and follows it.
    root->setSizeConstraint(QLayout::SetFixedSize);
    root->addWidget(headerView());
    root->addWidget(new Divider);

    auto *content = new QVBoxLayout;
    content->setContentsMargins(kContentSpacing, kContentSpacing, kContentSpacing, kContentSpacing);
    content->setSpacing(kContentSpacing);
    content->addWidget(warningBanner());
    content->addWidget(fileSection());
    content->addWidget(new Divider);
    // The result panel brings its own gap, so that the gap opens and closes with it.
    auto *actions = new QVBoxLayout;
    actions->setSpacing(0);
    actions->addWidget(actionSection());
    m_results = new RevealContainer(kContentSpacing);
    m_results->setObjectName(QStringLiteral("results"));
    actions->addWidget(m_results);
    content->addLayout(actions);
    root->addLayout(content);

    connect(m_results, &RevealContainer::settled, this, [this] {
        if (m_revealPending && m_results->panel()) {
            m_revealPending = false;
            Q_EMIT resultsRevealed(m_results->panel());
        }
    });
    // Every published property redraws the window, a property added later included.
    const QMetaObject *model = m_vm->metaObject();
    const QMetaMethod redraw = metaObject()->method(metaObject()->indexOfSlot("refresh()"));
    for (int i = model->propertyOffset(); i < model->propertyCount(); ++i) {
        if (model->property(i).hasNotifySignal())
            connect(m_vm.get(), model->property(i).notifySignal(), this, redraw);
    }
    refresh();
}

ContentView::~ContentView() {
    // A run in flight may outlive the window; it must not call back into a view being torn
    // down.
    m_vm->disconnect(this);
}

QWidget *ContentView::headerView() {
    auto *header = new QWidget;
    header->setObjectName(QStringLiteral("header"));
    header->setBackgroundRole(QPalette::Window);
    header->setAutoFillBackground(true);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(24, 20, 24, 20);
    row->setSpacing(10);
    row->addWidget(new SymbolView(QStringLiteral("arrow.triangle.2.circlepath.circle.fill"), 32,
                                  Tint::accent));

    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    QFont titleFont = textFont(TextStyle::title2);
    titleFont.setBold(true);
    auto *title = styledLabel(tr("Tessaly for Final Cut Pro"), TextStyle::title2);
    title->setFont(titleFont);
    titles->addWidget(title);
    titles->addWidget(styledLabel(tr("Replaces all .mov references with .braw originals in\n"
                                     "FCPXML or FCPXMLD files, while keeping all effects."),
                                  TextStyle::callout, Tint::secondary));
    row->addLayout(titles);
    row->addStretch(1);

    auto *feedback = new PushButton(tr("Feedback"), QStringLiteral("envelope"));
    feedback->setObjectName(QStringLiteral("feedbackButton"));
    connect(feedback, &PushButton::clicked, this, &ContentView::sendFeedback);
    auto *about = new PushButton(tr("About"), QStringLiteral("info.circle"));
    about->setObjectName(QStringLiteral("aboutButton"));
    connect(about, &PushButton::clicked, this, [this] { setShowAbout(true); });
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(feedback);
    buttons->addWidget(about);
    row->addLayout(buttons);
    return header;
}

QWidget *ContentView::warningBanner() {
    auto *banner = new RoundedCard(CardLook::message(Tint::orange));
    banner->setObjectName(QStringLiteral("warningBanner"));
    auto *row = new QHBoxLayout(banner);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    row->setAlignment(Qt::AlignTop);

    addLeadingSymbol(row, QStringLiteral("exclamationmark.triangle.fill"),
                     symbolSize(TextStyle::title3), Tint::orange, 1);

    auto *text = new QVBoxLayout;
    text->setSpacing(0);
    text->addWidget(styledLabel(tr("Pre-flight check"), TextStyle::headline));
    const QString bullets[] = {
        tr("Import both your proxy .mov files AND your .braw originals into the FCP browser to "
           "register them in the library.\n"
           "➝ Then highlight the **Event** (not the project) and export the FCPXML/MLD."),
        tr("Your BRAW files **must** bear the **same names** as your proxy .mov files.\nThey "
           "are looked for **beside** the proxies, **one folder up** from a Proxy folder, and "
           "in folders you choose."),
        tr("If you only have a project XML, manually relink **one single** .mov clip to its "
           ".braw counterpart inside FCP\nto create a metadata template and make it register "
           "in here."),
    };
    // The heading sits 2 points closer to the first bullet than the bullets to each other.
    int gap = 8;
    for (const QString &bullet : bullets) {
        text->addSpacing(gap);
        gap = 10;
        auto *bulletRow = new QHBoxLayout;
        bulletRow->setSpacing(6);
        bulletRow->addWidget(styledLabel(QStringLiteral("•"), TextStyle::callout), 0, Qt::AlignTop);
        bulletRow->addWidget(
            styledLabel(emphasized(bullet), TextStyle::callout, Tint::primary, Qt::RichText), 0,
            Qt::AlignTop);
        bulletRow->addStretch(1);
        text->addLayout(bulletRow);
    }
    row->addLayout(text, 1);
    return banner;
}

void ContentView::setShowAbout(bool showAbout) {
    if (showAbout == m_showAbout)
        return;
    m_showAbout = showAbout;
    if (showAbout) {
        m_aboutSheet = new AboutView(this);
        m_aboutSheet->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_aboutSheet, &QDialog::finished, this, [this] { setShowAbout(false); });
        m_aboutSheet->open();
    } else if (m_aboutSheet) {
        m_aboutSheet->close();
    }
}

void ContentView::setTargeted(bool isTargeted) {
    m_isTargeted = isTargeted;
    m_dropZone->setTargeted(isTargeted);
}

bool ContentView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_dropZone && handleDrag(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool ContentView::handleDrag(QEvent *event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        // A run reads the input it started with; a new one is taken once it has ended.
        const bool valid = !m_vm->isRunning() && offersCopy(*drag) && drag->mimeData() &&
                           m_dropDelegate.validateDrop(*drag->mimeData());
        if (valid)
            acceptAsCopy(*drag);
        else
            drag->ignore();
        if (event->type() == QEvent::DragEnter || !valid)
            setTargeted(valid);
        return true;
    }
    case QEvent::DragLeave:
        setTargeted(false);
        return true;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!m_vm->isRunning() && offersCopy(*drop) && drop->mimeData() &&
            m_dropDelegate.performDrop(*drop->mimeData()))
            acceptAsCopy(*drop);
        else
            drop->ignore();
        setTargeted(false);
        return true;
    }
    default:
        return false;
    }
}

void ContentView::sendFeedback() {
    const QByteArray text =
        feedbackMailURL(QString::fromUtf8(TESSALY_FEEDBACK_ADDRESS), systemVersionText(),
                        m_vm->errorMessage(), m_vm->changes(), m_vm->logURL());
    // Handed over as encoded, so Qt keeps the escapes exactly as composed.
    const QUrl url = QUrl::fromEncoded(text, QUrl::StrictMode);
    if (!url.isValid())
        return;
    QDesktopServices::openUrl(url);
    QMetaObject::invokeMethod(
        this, [this] { setShowAbout(false); }, Qt::QueuedConnection);
}

void ContentView::refresh() {
    const auto &input = m_vm->inputURL();
    m_dropZone->setURL(input);
    // The window manager adds the application's name, where the desktop does that.
    setWindowTitle(input ? pathString(input->filename()) : QString());
    refreshOutputRow();
    refreshActions();
    // An operation assigns several properties in a row; the panel is built once, from the
    // last of them.
    if (!m_resultsPending) {
        m_resultsPending = true;
        QMetaObject::invokeMethod(this, &ContentView::refreshResults, Qt::QueuedConnection);
    }
}

} // namespace tessaly
