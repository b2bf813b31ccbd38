#pragma once

#include "support/scripted_chooser.h"
#include "support/temp_dir.h"
#include "workflow/file_chooser.h"

#include <QFile>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

/// Shows Qt text readably in test failures.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tessaly::testing {

namespace fs = std::filesystem;

/// `path` as Qt text.
inline QString qt(const fs::path &path) {
    return QFile::decodeName(path.native().c_str());
}

/// A document whose proxies are `folder`/STEM.mov for each of `stems`, in that order, beside
/// one camera original `folder`/Camera.braw: a change for each stem, one orphan.
inline std::string proxiesIn(const fs::path &folder, const std::vector<std::string> &stems) {
    const auto src = [&](const std::string &name) {
        return QUrl::fromLocalFile(qt(folder / name)).toEncoded().toStdString();
    };
    std::string document = R"(<?xml version="1.0" encoding="UTF-8"?>
<fcpxml version="1.10"><resources><format id="r1"/><format id="r2"/>
<asset id="r3" format="r2"><media-rep src=")" +
                           src("Camera.braw") + "\"/></asset>\n";
    for (std::size_t i = 0; i < stems.size(); ++i) {
        document += "<asset id=\"r" + std::to_string(10 + i) +
                    "\" format=\"r1\"><media-rep src=\"" + src(stems[i] + ".mov") +
                    "\"/></asset>\n";
    }
    document += "</resources></fcpxml>\n";
    return document;
}

/// The bundled sample export Day1.fcpxml.
inline fs::path sampleDocument() {
    return fs::path(TESSALY_SOURCE_DIR) / "examples" / "Day1.fcpxml";
}

/// The child of `parent` named `name`, failing the test when there is none.
template <typename Widget> Widget *child(const QObject &parent, const char *name) {
    auto *found = parent.findChild<Widget *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no child named " << name;
    return found;
}

} // namespace tessaly::testing
