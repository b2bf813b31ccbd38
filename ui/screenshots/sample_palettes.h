#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyle>

namespace tessaly::samples {

/// The light palette the style ships with, as a desktop without a theme of its own shows it.
inline QPalette lightPalette() {
    return QApplication::style()->standardPalette();
}

/// A dark desktop palette after the common dark themes: light text on near-black greys, a
/// light blue highlight with light text on it, and half-transparent placeholder text.
inline QPalette darkPalette() {
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, QColor color) {
        palette.setColor(QPalette::All, role, color);
    };
    set(QPalette::Window, QColor(0x20, 0x23, 0x26));
    set(QPalette::WindowText, QColor(0xFC, 0xFC, 0xFC));
    set(QPalette::Base, QColor(0x14, 0x16, 0x18));
    set(QPalette::AlternateBase, QColor(0x1D, 0x1F, 0x22));
    set(QPalette::ToolTipBase, QColor(0x29, 0x2C, 0x30));
    set(QPalette::ToolTipText, QColor(0xFC, 0xFC, 0xFC));
    set(QPalette::PlaceholderText, QColor(0xFC, 0xFC, 0xFC, 0x80));
    set(QPalette::Text, QColor(0xFC, 0xFC, 0xFC));
    set(QPalette::Button, QColor(0x29, 0x2C, 0x30));
    set(QPalette::ButtonText, QColor(0xFC, 0xFC, 0xFC));
    set(QPalette::BrightText, QColor(0xFF, 0xFF, 0xFF));
    set(QPalette::Light, QColor(0x40, 0x46, 0x4C));
    set(QPalette::Midlight, QColor(0x33, 0x37, 0x3C));
    set(QPalette::Mid, QColor(0x25, 0x28, 0x2B));
    set(QPalette::Dark, QColor(0x15, 0x17, 0x19));
    set(QPalette::Shadow, QColor(0x0C, 0x0D, 0x0E));
    set(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
    set(QPalette::HighlightedText, QColor(0xFC, 0xFC, 0xFC));
    set(QPalette::Link, QColor(0x1D, 0x99, 0xF3));
    set(QPalette::LinkVisited, QColor(0x9B, 0x59, 0xB6));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6E, 0x71, 0x73));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x65, 0x68, 0x6A));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x72, 0x76, 0x79));
    return palette;
}

} // namespace tessaly::samples
