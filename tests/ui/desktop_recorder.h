#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace tessaly::testing {

/// Receives, while it lives, what the application asks the desktop to open for one URL
/// scheme.
class DesktopRecorder : public QObject {
    Q_OBJECT
public:
    explicit DesktopRecorder(const QString &scheme) : m_scheme(scheme) {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~DesktopRecorder() override { QDesktopServices::unsetUrlHandler(m_scheme); }

    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened << url; }

private:
    QString m_scheme;
};

} // namespace tessaly::testing
