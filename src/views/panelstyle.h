#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>

class QPalette;

// Fonts, colours and icons of the panel, all derived from the application font and the
// palette so that light and dark themes both read.
namespace PanelStyle {

QFont headlineFont();
QFont calloutFont();
QFont captionFont();
QFont caption2Font();
// Port numbers: monospaced, semibold, body size.
QFont portFont();

bool isDark(const QPalette& palette);
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor red(const QPalette& palette);
QColor orange(const QPalette& palette);
// The hovered row's background: the text colour at 6 % opacity.
QColor hoverTint(const QPalette& palette);

// One of our SVG icons (":/icons/NAME.svg") drawn in the given colour at any size.
QIcon tintedIcon(const QString& resourcePath, const QColor& color);
// The tray icon as drawn: a dark glyph on a light halo, for light and dark panels.
QIcon trayIcon();

} // namespace PanelStyle
