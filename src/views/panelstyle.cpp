#include "panelstyle.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QFont scaled(qreal factor)
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else
        font.setPixelSize(qMax(8, qRound(font.pixelSize() * factor)));
    return font;
}

// Renders an SVG on demand at the requested size and device pixel ratio, so the icon is
// sharp everywhere; the disabled mode is drawn faded.
class SvgIconEngine final : public QIconEngine
{
public:
    explicit SvgIconEngine(const QByteArray& svg)
        : m_svg(svg), m_renderer(std::make_shared<QSvgRenderer>(svg))
    {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(painter->opacity() * 0.4);
        m_renderer->render(painter, QRectF(rect));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new SvgIconEngine(m_svg); }
    QString key() const override { return QStringLiteral("tidewatch-svg"); }
    bool isNull() override { return !m_renderer->isValid(); }

private:
    QByteArray m_svg;
    std::shared_ptr<QSvgRenderer> m_renderer;
};

// Solid, not translucent: the text colour mixed into the window colour by amount, which
// stays visible on light and dark panels alike.
QColor textOverWindow(const QPalette& palette, qreal amount)
{
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::Text);
    return QColor::fromRgbF(window.redF() + (text.redF() - window.redF()) * amount,
                            window.greenF() + (text.greenF() - window.greenF()) * amount,
                            window.blueF() + (text.blueF() - window.blueF()) * amount);
}

// note: Fusion (and others) derive a checkbox's outline from the window colour, which on a
// dark palette leaves the box all but invisible. This draws the style's own indicator and
// then a clear outline around it.
class OutlinedIndicatorStyle final : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element != PE_IndicatorCheckBox)
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QPen pen(PanelStyle::outline(option->palette), 1);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        painter->restore();
    }
};

QByteArray readResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

const QColor lightMark(0xf2, 0xf2, 0xf2);
const QColor darkMark(0x1c, 0x1c, 0x1e);

QColor markColor(const QPalette& palette)
{
    return PanelStyle::isDark(palette) ? lightMark : darkMark;
}

// The icons draw in currentColor; an opaque colour name keeps the SVG simple.
QByteArray tinted(QByteArray svg, const QColor& color)
{
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    if (color.alpha() < 255)
        svg.replace("<svg ",
                    QByteArray("<svg opacity=\"" + QByteArray::number(color.alphaF()) + "\" "));
    return svg;
}

// A mark drawn over its own shape grown by a device pixel or two in the halo's colour, so
// that one of the two stands out from any background.
class OutlinedIconEngine final : public QIconEngine
{
public:
    OutlinedIconEngine(const QByteArray& mark, const QByteArray& halo) : m_mark(mark), m_halo(halo)
    {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) override
    {
        const QSize pixels = (QSizeF(size) * scale).toSize();
        const QImage halo = render(m_halo, pixels);
        QImage out(pixels, QImage::Format_ARGB32_Premultiplied);
        out.fill(Qt::transparent);
        {
            QPainter painter(&out);
            const int reach = std::max(1, qRound(scale));
            for (int dx = -reach; dx <= reach; ++dx) {
                for (int dy = -reach; dy <= reach; ++dy) {
                    if (dx * dx + dy * dy <= reach * reach + 1)
                        painter.drawImage(QPoint(dx, dy), halo);
                }
            }
            painter.drawImage(QPoint(0, 0), render(m_mark, pixels));
        }
        QPixmap pixmap = QPixmap::fromImage(out);
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new OutlinedIconEngine(m_mark, m_halo); }
    QString key() const override { return QStringLiteral("tidewatch-outlined"); }

private:
    static QImage render(const QByteArray& svg, const QSize& pixels)
    {
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer(svg).render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        return image;
    }

    QByteArray m_mark;
    QByteArray m_halo;
};

} // namespace

namespace PanelStyle {

QFont headlineFont()
{
    QFont font = QApplication::font();
    font.setBold(true);
    return font;
}

QFont calloutFont()
{
    return scaled(0.95);
}
QFont captionFont()
{
    return scaled(0.88);
}
QFont caption2Font()
{
    return scaled(0.8);
}

QFont portFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFont body = QApplication::font();
    if (body.pointSizeF() > 0)
        font.setPointSizeF(body.pointSizeF());
    else
        font.setPixelSize(body.pixelSize());
    font.setWeight(QFont::DemiBold);
    return font;
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor primary(const QPalette& palette)
{
    return palette.color(QPalette::Text);
}

// Solid: a translucent text colour can fall below a readable contrast on some palettes.
QColor secondary(const QPalette& palette)
{
    return legible(textOverWindow(palette, 0.6), palette.color(QPalette::Window));
}

// Lighter shades on dark backgrounds keep the contrast of the light theme; both are taken
// further where the window's colour asks for it.
QColor red(const QPalette& palette)
{
    return legible(isDark(palette) ? QColor(0xff, 0x6b, 0x61) : QColor(0xd7, 0x2c, 0x22),
                   palette.color(QPalette::Window));
}

QColor orange(const QPalette& palette)
{
    return legible(isDark(palette) ? QColor(0xff, 0xa6, 0x3d) : QColor(0xd9, 0x73, 0x06),
                   palette.color(QPalette::Window));
}

QColor placeholder(const QPalette& palette)
{
    // Qt leaves the placeholder colour of a palette read from a desktop's colour scheme at
    // its default, black at half strength, which vanishes on a dark field.
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    return legible(QColor::fromRgbF(base.redF() + (text.redF() - base.redF()) * 0.6f,
                                    base.greenF() + (text.greenF() - base.greenF()) * 0.6f,
                                    base.blueF() + (text.blueF() - base.blueF()) * 0.6f),
                   base);
}

QColor hoverTint(const QPalette& palette)
{
    QColor color = palette.color(QPalette::Text);
    color.setAlphaF(0.06f);
    return color;
}

QColor appearedTint(const QPalette& palette)
{
    QColor color = palette.color(QPalette::Highlight);
    color.setAlphaF(isDark(palette) ? 0.28f : 0.16f);
    return color;
}

QIcon tintedIcon(const QString& resourcePath, const QColor& color)
{
    const QByteArray svg = readResource(resourcePath);
    if (svg.isEmpty())
        return {};
    return QIcon(new SvgIconEngine(tinted(svg, color)));
}

QIcon trayMask(const QPalette& palette)
{
    // A tray panel follows the desktop's theme, so the application palette tells whether it
    // is light or dark. Hosts that recolour monochrome icons take the icon as a mask.
    QIcon icon = tintedIcon(QStringLiteral(":/icons/tray.svg"), markColor(palette));
    icon.setIsMask(true);
    return icon;
}

QIcon trayIcon(const std::optional<QColor>& trayColor, const QPalette& palette)
{
    if (trayColor)
        return tintedIcon(QStringLiteral(":/icons/tray.svg"), *trayColor);
    // note: an XEmbed tray's background need not follow the application's palette (a dark
    // panel on a light desktop), and the tray need not say what it is.
    const QByteArray svg = readResource(QStringLiteral(":/icons/tray.svg"));
    const QColor mark = markColor(palette);
    const QColor halo = isDark(palette) ? darkMark : lightMark;
    return QIcon(new OutlinedIconEngine(tinted(svg, mark), tinted(svg, halo)));
}

qreal contrast(const QColor& a, const QColor& b)
{
    // Relative luminance of sRGB.
    const auto luminance = [](const QColor& color) {
        const auto linear = [](float c) {
            return c <= 0.03928f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
        };
        return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
               0.0722 * linear(color.blueF());
    };
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor legible(const QColor& wanted, const QColor& background, qreal ratio)
{
    QColor color = wanted.toRgb();
    color.setAlpha(255);
    // Away from the background: towards white on dark, towards black on light.
    const QColor end = contrast(background, Qt::white) >= contrast(background, Qt::black)
                           ? QColor(Qt::white)
                           : QColor(Qt::black);
    for (int step = 1; step <= 20 && contrast(color, background) < ratio; ++step) {
        const float t = step / 20.0f;
        color = QColor::fromRgbF(wanted.redF() + (end.redF() - wanted.redF()) * t,
                                 wanted.greenF() + (end.greenF() - wanted.greenF()) * t,
                                 wanted.blueF() + (end.blueF() - wanted.blueF()) * t);
    }
    return color;
}

QColor separator(const QPalette& palette)
{
    return textOverWindow(palette, isDark(palette) ? 0.28 : 0.22);
}

QColor outline(const QPalette& palette)
{
    return textOverWindow(palette, 0.5);
}

void outlineIndicators(QWidget* widget)
{
    // One proxy for every panel, alive as long as the program: widgets only borrow it.
    static QProxyStyle* const style = new OutlinedIndicatorStyle;
    widget->setStyle(style);
}

void fillHairlines(QPainter& painter, const QList<QRect>& rects, const QColor& color)
{
    // note: at 1.5x a one-pixel line drawn along a widget's edge can land on a device
    // pixel that belongs to the neighbour, and vanish. Filling the whole logical pixel
    // always covers at least one device pixel of our own.
    for (const QRect& rect : rects)
        painter.fillRect(rect, color);
}

} // namespace PanelStyle
