#pragma once

#include <QPointer>

#include <filesystem>
#include <functional>
#include <optional>

class QMimeData;
class QObject;

namespace tessaly {

/// Accepts a dropped Final Cut Pro XML document or bundle and hands its location over on the
/// GUI thread; anything else dropped is ignored without a word.
class FCPXMLDropDelegate {
public:
    /// A delegate that calls `onDrop` on `context`'s thread, later, for an accepted file; the
    /// call is dropped when `context` is gone by then.
    FCPXMLDropDelegate(QObject *context, std::function<void(std::filesystem::path)> onDrop);

    /// Whether the first local file of the dragged data is a document or bundle this delegate
    /// takes, so that anything else is refused while it hovers.
    bool validateDrop(const QMimeData &data) const;

    /// Takes the first local file of the drop and, when its extension is `fcpxml` or
    /// `fcpxmld` in any case, queues the hand-over; false when the drop holds no local file.
    bool performDrop(const QMimeData &data) const;

    /// Whether `file`'s extension is `fcpxml` or `fcpxmld`, in any case.
    static bool isExport(const std::filesystem::path &file);

private:
    static std::optional<std::filesystem::path> firstLocalFile(const QMimeData &data);

    QPointer<QObject> m_context;
    std::function<void(std::filesystem::path)> m_onDrop;
};

} // namespace tessaly
