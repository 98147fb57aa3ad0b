#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QRect>

#include <optional>

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
// Placeholder text in a field: between the field's text and background, and readable.
QColor placeholder(const QPalette& palette);
QColor red(const QPalette& palette);
QColor orange(const QPalette& palette);
// The hovered row's background: the text colour at 6 % opacity.
QColor hoverTint(const QPalette& palette);
// A row that has just started listening: the selection colour, faint.
QColor appearedTint(const QPalette& palette);

// One of our SVG icons (":/icons/NAME.svg") drawn in the given colour at any size.
QIcon tintedIcon(const QString& resourcePath, const QColor& color);
// The tray icon for hosts that recolour it (StatusNotifier): a monochrome mask, dark on
// light panels and light on dark ones.
QIcon trayMask(const QPalette& palette);
// The tray icon for a tray that draws it as it is (XEmbed): the mark in the colour the tray
// asks for; where it asks for none, the palette's mark with an outline of the opposite
// brightness, so it reads on a tray of any colour.
QIcon trayIcon(const std::optional<QColor>& trayColor, const QPalette& palette);
// The contrast ratio of two opaque colours (1 to 21), as accessibility guidelines measure it.
qreal contrast(const QColor& a, const QColor& b);
// The colour nearest to wanted, moved towards black or white, that stands at ratio or more
// to background.
QColor legible(const QColor& wanted, const QColor& background, qreal ratio = 4.5);
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
