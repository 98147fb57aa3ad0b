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

QColor secondary(const QPalette& palette)
{
    QColor color = palette.color(QPalette::Text);
    color.setAlphaF(0.6f);
    return color;
}

// Lighter shades on dark backgrounds keep the contrast of the light theme.
QColor red(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xff, 0x6b, 0x61) : QColor(0xd7, 0x2c, 0x22);
}

QColor orange(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xff, 0xa6, 0x3d) : QColor(0xd9, 0x73, 0x06);
}

QColor hoverTint(const QPalette& palette)
{
    QColor color = palette.color(QPalette::Text);
    color.setAlphaF(0.06f);
    return color;
}

QIcon tintedIcon(const QString& resourcePath, const QColor& color)
{
    QByteArray svg = readResource(resourcePath);
    if (svg.isEmpty())
        return {};
    // The icons draw in currentColor; an opaque colour name keeps the SVG simple.
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    if (color.alpha() < 255)
        svg.replace("<svg ",
                    QByteArray("<svg opacity=\"" + QByteArray::number(color.alphaF()) + "\" "));
    return QIcon(new SvgIconEngine(svg));
}

QIcon trayIcon(const QPalette& palette)
{
    // A tray panel follows the desktop's theme, so the application palette tells whether it
    // is light or dark. Hosts that recolour monochrome icons (StatusNotifier, macOS) take
    // the icon as a mask.
    QIcon icon = tintedIcon(QStringLiteral(":/icons/tray.svg"),
                            isDark(palette) ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x1c, 0x1c, 0x1e));
    icon.setIsMask(true);
    return icon;
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
