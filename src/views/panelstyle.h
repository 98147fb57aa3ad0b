#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QRect>

class QPainter;
class QPalette;
class QWidget;

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
// The tray icon: a monochrome mark, dark on light panels and light on dark ones.
QIcon trayIcon(const QPalette& palette);
// Dividers, borders and outlines: solid and visible in light and dark themes.
QColor separator(const QPalette& palette);
// Checkbox outlines: clearly visible in light and dark themes.
QColor outline(const QPalette& palette);
// Draws widget's checkboxes with an outline in outline(); the style is shared and lives as
// long as the program.
void outlineIndicators(QWidget* widget);
// Lines one logical pixel wide (rects of width or height 1) that show at any scale factor.
void fillHairlines(QPainter& painter, const QList<QRect>& rects, const QColor& color);

} // namespace PanelStyle
