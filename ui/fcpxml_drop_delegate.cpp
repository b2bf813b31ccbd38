#include "ui/fcpxml_drop_delegate.h"
#include "workflow/export_file.h"
#include "workflow/path_string.h"

#include <QMetaObject>
#include <QMimeData>
#include <QUrl>

namespace tessaly {

FCPXMLDropDelegate::FCPXMLDropDelegate(QObject *context,
                                       std::function<void(std::filesystem::path)> onDrop)
    : m_context(context), m_onDrop(std::move(onDrop)) {}

std::optional<std::filesystem::path> FCPXMLDropDelegate::firstLocalFile(const QMimeData &data) {
    if (!data.hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data.urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        QString path = url.toLocalFile();
        // A dragged folder comes with a trailing separator, which would hide its extension.
        while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        if (path.isEmpty())
            return std::nullopt;
        return pathFromString(path);
    }
    return std::nullopt;
}

bool FCPXMLDropDelegate::isExport(const std::filesystem::path &file) {
    return hasExportExtension(file);
}

bool FCPXMLDropDelegate::validateDrop(const QMimeData &data) const {
    // Refused while it hovers, a drag of a movie or a plain folder gets the desktop's "no"
    // cursor instead of a promise to load that the drop would not keep.
    const std::optional<std::filesystem::path> file = firstLocalFile(data);
    return file && isExport(*file);
}

bool FCPXMLDropDelegate::performDrop(const QMimeData &data) const {
    std::optional<std::filesystem::path> file = firstLocalFile(data);
    if (!file)
        return false;
    if (!isExport(*file))
        return true;
    if (!m_context)
        return true;
    // Delivered in a later turn of the event loop, as a drop's item arrives after the drop.
    QMetaObject::invokeMethod(
        m_context.data(), [onDrop = m_onDrop, location = std::move(*file)] { onDrop(location); },
        Qt::QueuedConnection);
    return true;
}

} // namespace tessaly
