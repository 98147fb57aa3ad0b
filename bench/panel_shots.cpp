// Renders the panel offscreen to PNG files for a look (TCP and UDP rows, some with clients):
// light and dark palettes, with 0, 5
// and 50 ports, the second row hovered (with 5, a sixth that has just appeared; with 50, also
// filtered, and with a row's menu open); and a sheet of the icons on light and dark. Not a
// test; run by hand:
//   panel_shots OUTPUT_FOLDER

#include "applicationinfo.h"
#include "nodesktop.h"
#include "panelstyle.h"
#include "portlist.h"
#include "portlistview.h"
#include "portscanner.h"
#include "processdetails.h"
#include "translations.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMutex>
#include <QPainter>
#include <QStyleFactory>

#include <cstdio>

namespace {

class ListSource final : public PortSource
{
public:
    void setPorts(QList<ListeningPort> ports)
    {
        QMutexLocker lock(&m_mutex);
        m_ports = std::move(ports);
    }
    QueryResult query() override
    {
        QMutexLocker lock(&m_mutex);
        QueryResult result;
        result.ports = m_ports;
        return result;
    }

private:
    QMutex m_mutex;
    QList<ListeningPort> m_ports;
};

QList<ListeningPort> samplePorts(int count)
{
    static const QStringList names{QStringLiteral("node"),
                                   QStringLiteral("postgres"),
                                   QStringLiteral("python3"),
                                   QStringLiteral("java"),
                                   QStringLiteral("redis-server"),
                                   QStringLiteral("<b>x</b>"),
                                   QStringLiteral("a-rather-long-process-name-that-must-elide")};
    // Every kind of exposure, and every fifth record another user's.
    static const QList<QStringList> addresses{{QStringLiteral("127.0.0.1"), QStringLiteral("::1")},
                                              {QStringLiteral("0.0.0.0")},
                                              {QStringLiteral("192.168.1.5")},
                                              {QStringLiteral("::")}};
    const QString user = QStringLiteral("me");
    QList<ListeningPort> ports;
    for (int i = 0; i < count; ++i) {
        const qint64 port = i == 0 ? 80 : 3000 + i * 37;
        if (i % 5 == 4) {
            ports.append(ListeningPort(port, 0, {}, QStringLiteral("postgres"),
                                       addresses.at(i % addresses.size())));
        } else {
            // Every third one UDP; TCP ones with clients now and then.
            const bool udp = i % 3 == 2;
            ports.append(ListeningPort(
                port, 1200 + i * 13, names.at(i % names.size()), user,
                addresses.at(i % addresses.size()), 0, {}, {},
                udp ? ListeningPort::Protocol::Udp : ListeningPort::Protocol::Tcp,
                udp ? -1 : (i % 4 == 1 ? 3 : 0)));
        }
    }
    return ports;
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2e), base(0x23, 0x23, 0x26), text(0xe8, 0xe8, 0xea);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xd6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Mid, QColor(0x48, 0x48, 0x4c));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    p.setColor(QPalette::Light, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0xa0));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x84));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x84));
    return p;
}

// Each icon at tray and large size, on a light and on a dark background.
QImage iconSheet()
{
    const QStringList names{QStringLiteral("refresh"),  QStringLiteral("heart"),
                            QStringLiteral("envelope"), QStringLiteral("open"),
                            QStringLiteral("kill"),     QStringLiteral("warning")};
    QImage sheet(8 * 64, 2 * 64, QImage::Format_ARGB32);
    QPainter painter(&sheet);
    for (int band = 0; band < 2; ++band) {
        const bool dark = band == 1;
        const QColor background = dark ? QColor(0x2b, 0x2b, 0x2e) : QColor(0xf2, 0xf2, 0xf2);
        painter.fillRect(0, band * 64, sheet.width(), 64, background);
        QPalette palette;
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Text,
                         dark ? QColor(0xe8, 0xe8, 0xea) : QColor(0x20, 0x20, 0x20));
        // The tray mark at 16, 22 and 24 pixels, then large.
        const QIcon tray = PanelStyle::trayMask(palette);
        tray.paint(&painter, QRect(4, band * 64 + 4, 16, 16));
        tray.paint(&painter, QRect(24, band * 64 + 4, 22, 22));
        tray.paint(&painter, QRect(4, band * 64 + 32, 24, 24));
        tray.paint(&painter, QRect(64 + 8, band * 64 + 8, 48, 48));
        for (int i = 0; i < names.size(); ++i) {
            const QColor color = names.at(i) == QLatin1String("kill") ? PanelStyle::red(palette)
                                 : names.at(i) == QLatin1String("warning")
                                     ? PanelStyle::orange(palette)
                                     : PanelStyle::primary(palette);
            PanelStyle::tintedIcon(QStringLiteral(":/icons/%1.svg").arg(names.at(i)), color)
                .paint(&painter, QRect((i + 2) * 64 + 8, band * 64 + 8, 48, 48));
        }
    }
    return sheet;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installTranslations();
    if (argc < 2) {
        std::fprintf(stderr, "usage: panel_shots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "panel_shots: cannot create %s\n", argv[1]);
        return 1;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::style()->standardPalette();

    NoDesktop desktop;
    auto source = std::make_shared<ListSource>();
    PortScanner scanner(source);
    const ApplicationInfo info = ApplicationInfo::fromBuild();

    const QString sheet = out.filePath(QStringLiteral("icons.png"));
    iconSheet().save(sheet);
    std::printf("%s\n", qPrintable(sheet));

    for (const auto& [themeName, palette] : {std::pair{"light", light}, {"dark", darkPalette()}}) {
        QApplication::setPalette(palette);
        for (const int count : {0, 5, 50}) {
            const auto publish = [&](int records) {
                source->setPorts(samplePorts(records));
                bool published = false;
                QObject ctx;
                QObject::connect(&scanner, &PortScanner::lastScanChanged, &ctx,
                                 [&] { published = true; });
                scanner.scan();
                while (!published)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            };
            publish(count);

            const auto details = ProcessDetailsProvider::platform();
            PortListView panel(scanner, desktop, *details, info);
            panel.show();
            QCoreApplication::processEvents();
            if (count == 5) {
                publish(6);
                panel.list()->scrollToBottom();
            }
            if (count > 0) {
                QWidget* viewport = panel.list()->viewport();
                const QPoint pos(
                    100, panel.list()->visualRect(panel.list()->model()->index(1, 0)).center().y());
                QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton,
                                 Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(viewport, &move);
            }
            QCoreApplication::processEvents();
            const QString file = out.filePath(
                QStringLiteral("panel-%1-%2.png").arg(QLatin1String(themeName)).arg(count));
            if (!panel.grab().save(file)) {
                std::fprintf(stderr, "panel_shots: cannot write %s\n", qPrintable(file));
                return 1;
            }
            std::printf("%s\n", qPrintable(file));
            if (count != 50)
                continue;
            // Typed into the list, and a row's menu over the filtered panel.
            for (const QChar c : QStringLiteral("no")) {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, c);
                QApplication::sendEvent(panel.list(), &key);
            }
            QCoreApplication::processEvents();
            QImage shot = panel.grab().toImage();
            const QRect row = panel.list()->visualRect(panel.list()->model()->index(1, 0));
            QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(),
                                    panel.list()->viewport()->mapToGlobal(row.center()));
            QCoreApplication::sendEvent(panel.list()->viewport(), &click);
            QCoreApplication::processEvents();
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                QPainter painter(&shot);
                painter.drawPixmap(panel.list()->viewport()->mapTo(&panel, row.center()),
                                   menu->grab());
                menu->close();
            }
            const QString filtered = out.filePath(
                QStringLiteral("panel-%1-filter-menu.png").arg(QLatin1String(themeName)));
            shot.save(filtered);
            std::printf("%s\n", qPrintable(filtered));
        }
    }
    return 0;
}
