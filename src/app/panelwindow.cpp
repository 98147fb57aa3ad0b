#include "panelwindow.h"

#include "panelstyle.h"
#include "popupplacement.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QVBoxLayout>

PanelWindow::PanelWindow(QWidget* panel, Mode mode, QWidget* parent)
    : QWidget(parent), m_mode{mode}, m_panel{panel}
{
    setWindowTitle(tr("Tidewatch"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    // An ordinary window may be made taller or shorter, down to what the panel needs; its
    // width stays the panel's.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    applyMode();
}

void PanelWindow::setMode(Mode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    applyMode();
}

void PanelWindow::applyMode()
{
    setWindowFlags(m_mode == Mode::Popup ? Qt::Popup | Qt::FramelessWindowHint : Qt::Window);
    // A frameless popup over a window of the same colour would have no visible edge.
    const int border = m_mode == Mode::Popup ? borderWidth : 0;
    layout()->setContentsMargins(border, border, border, border);
    m_userSized = false;
}

void PanelWindow::setAnchor(const QRect& anchor, const QRect& available)
{
    m_anchor = anchor;
    m_available = available;
    refit();
}

bool PanelWindow::event(QEvent* event)
{
    if (event->type() == QEvent::Resize && m_mode != Mode::Popup) {
        // Qt's own resizes (ours, or to a new minimum) come first unprompted; one from
        // outside to another height is the user's, and that height then stays.
        const int height = static_cast<QResizeEvent*>(event)->size().height();
        if (!event->spontaneous())
            m_heightSet = height;
        else if (height != m_heightSet)
            m_userSized = true;
    }
    const bool handled = QWidget::event(event);
    // The panel grew or shrank (rows came or went): keep a popup at the icon and on screen,
    // and a window at the panel's height until the user gives it another.
    if (event->type() == QEvent::LayoutRequest && m_mode == Mode::Popup)
        refit();
    else if (event->type() == QEvent::LayoutRequest && !m_userSized)
        resize(layout()->totalSizeHint());
    return handled;
}

void PanelWindow::keyPressEvent(QKeyEvent* event)
{
    if (m_mode != Mode::Window && event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PanelWindow::mousePressEvent(QMouseEvent* event)
{
    if (m_mode == Mode::Popup && !rect().contains(event->position().toPoint()))
        Q_EMIT dismissedByOutsidePress(event->button(), event->globalPosition().toPoint());
    // A popup closes itself on a press outside.
    QWidget::mousePressEvent(event);
}

void PanelWindow::showEvent(QShowEvent* event)
{
    if (m_mode != Mode::Popup && !m_userSized)
        resize(layout()->totalSizeHint());
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // Opened, the panel takes the keys, wherever they were when it last closed. A popup
    // hands the focus on to this widget as it opens.
    m_panel->setFocus(m_mode == Mode::Popup ? Qt::PopupFocusReason : Qt::ActiveWindowFocusReason);
    Q_EMIT visibilityChanged(true);
}

void PanelWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Q_EMIT visibilityChanged(false);
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
