#include "panelwindow.h"

#include "panelstyle.h"
#include "popupplacement.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShowEvent>
#include <QVBoxLayout>

PanelWindow::PanelWindow(QWidget* panel, Mode mode, QWidget* parent)
    : QWidget(parent, mode == Mode::Popup ? Qt::Popup | Qt::FramelessWindowHint : Qt::Window),
      m_mode{mode}, m_panel{panel}
{
    auto* layout = new QVBoxLayout(this);
    // A frameless popup over a window of the same colour would have no visible edge.
    const int border = mode == Mode::Popup ? borderWidth : 0;
    layout->setContentsMargins(border, border, border, border);
    layout->addWidget(panel);
    if (mode == Mode::Window) {
        setWindowTitle(tr("Tidewatch"));
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }
}

void PanelWindow::setAnchor(const QRect& anchor, const QRect& available)
{
    m_anchor = anchor;
    m_available = available;
    refit();
}

bool PanelWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // The panel grew or shrank (rows came or went): keep it at the icon and on screen.
    if (event->type() == QEvent::LayoutRequest && m_mode == Mode::Popup)
        refit();
    return handled;
}

void PanelWindow::keyPressEvent(QKeyEvent* event)
{
    if (m_mode == Mode::Popup && event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PanelWindow::mousePressEvent(QMouseEvent* event)
{
    if (m_mode == Mode::Popup && !rect().contains(event->position().toPoint()))
        Q_EMIT dismissedByOutsidePress();
    // A popup closes itself on a press outside.
    QWidget::mousePressEvent(event);
}

void PanelWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Opened, the panel takes the keys, wherever they were when it last closed. A popup
    // hands the focus on to this widget as it opens.
    if (!event->spontaneous())
        m_panel->setFocus(m_mode == Mode::Popup ? Qt::PopupFocusReason
                                                : Qt::ActiveWindowFocusReason);
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (m_mode == Mode::Window)
        Q_EMIT closeRequested();
}

void PanelWindow::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_mode != Mode::Popup)
        return;
    QPainter painter(this);
    const int w = width();
    const int h = height();
    PanelStyle::fillHairlines(
        painter,
        {QRect(0, 0, w, borderWidth), QRect(0, h - borderWidth, w, borderWidth),
         QRect(0, 0, borderWidth, h), QRect(w - borderWidth, 0, borderWidth, h)},
        PanelStyle::separator(palette()));
}

void PanelWindow::refit()
{
    if (m_anchor.isNull() || m_available.isEmpty())
        return;
    const QSize wanted = layout()->totalSizeHint().expandedTo(layout()->totalMinimumSize());
    const QRect placed = placePopup(m_anchor, wanted, m_available);
    if (placed != geometry())
        setGeometry(placed);
}
