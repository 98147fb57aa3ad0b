#include "portlist.h"

#include "panelstyle.h"
#include "portforwards.h"
#include "portlistmodel.h"
#include "portrowdelegate.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolButton>

namespace {

constexpr int buttonSize = 22;
constexpr int iconSize = 16;
constexpr int buttonSpacing = 2;

QToolButton* makeActionButton(QWidget* parent, const QString& objectName)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(iconSize, iconSize));
    button->setFixedSize(buttonSize, buttonSize);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

PortList::PortList(PortListModel* model, QWidget* parent)
    : QListView(parent), m_model(model), m_delegate(new PortRowDelegate(this)),
      m_actions(new QWidget(viewport()))
{
    setObjectName(QStringLiteral("portList"));
    setModel(m_model);
    setItemDelegate(m_delegate);
    // Equal rows let the view place any row by arithmetic, so it lays out and paints only
    // what is on screen.
    setUniformItemSizes(true);
    setSelectionMode(NoSelection);
    setEditTriggers(NoEditTriggers);
    setFrameShape(NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(ScrollPerPixel);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Listening ports"));
    setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Window);
    // A window made taller gives the rows more room.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    m_actions->setObjectName(QStringLiteral("rowActions"));
    auto* layout = new QHBoxLayout(m_actions);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(buttonSpacing);
    m_openButton = makeActionButton(m_actions, QStringLiteral("openButton"));
    m_killButton = makeActionButton(m_actions, QStringLiteral("killButton"));
    m_forwardButton = makeActionButton(m_actions, QStringLiteral("forwardButton"));

    layout->addWidget(m_openButton);
    layout->addWidget(m_forwardButton);
    layout->addWidget(m_killButton);
    // Two buttons at most show at once: kill is only here, forward only elsewhere.
    m_forwardButton->hide();
    m_actions->adjustSize();
    m_actions->hide();
    m_delegate->setActionsWidth(m_actions->sizeHint().width());
    updateIcons();

    connect(m_openButton, &QToolButton::clicked, this, [this] {
        if (const QUrl url = m_model->urlAt(m_model->hoveredRow()); url.isValid())
            Q_EMIT openRequested(url);
    });
    connect(m_forwardButton, &QToolButton::clicked, this, [this] {
        const int row = m_model->hoveredRow();
        if (row < 0 || m_model->rowKind(row) != PortListModel::RowKind::Remote)
            return;
        const auto forward = m_model->forwardAt(row);
        Q_EMIT forwardRequested(m_model->hostAt(row), m_model->portAt(row),
                                !forward || !forward->running);
    });
    connect(m_killButton, &QToolButton::clicked, this, [this] {
        const int row = m_model->hoveredRow();
        if (row < 0 || !isEndable(row))
            return;
        const bool force =
            QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier) || isStillRunning(row);
        Q_EMIT killRequested(m_model->portAt(row), force);
    });
    connect(m_model, &PortListModel::hoveredRowChanged, this, &PortList::onHoveredRowChanged);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &PortList::updateActions);
    connect(m_model, &QAbstractItemModel::modelReset, this, &PortList::fitHeight);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &PortList::fitHeight);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &PortList::fitHeight);
    fitHeight();
}

QSize PortList::sizeHint() const
{
    const int rows = m_model->rowCount();
    const int height = qMin(rows * m_delegate->rowHeight(), maximumListHeight);
    return {QListView::sizeHint().width(), height + 2 * frameWidth()};
}

void PortList::fitHeight()
{
    // Shorter than its rows only down to a few of them.
    const int fewRows = minimumVisibleRows * m_delegate->rowHeight() + 2 * frameWidth();
    setMinimumHeight(qMin(sizeHint().height(), fewRows));
    updateGeometry();
}

bool PortList::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (pointerTakesOver(move->globalPosition().toPoint()))
            hoverAt(move->position().toPoint());
        break;
    }
    case QEvent::Enter: {
        const auto* enter = static_cast<QEnterEvent*>(event);
        if (pointerTakesOver(enter->globalPosition().toPoint()))
            hoverAt(enter->position().toPoint());
        break;
    }
    case QEvent::Leave:
        if (m_model->hoverSource() == PortListModel::HoverSource::Pointer && !m_holdingHighlight)
            m_model->clearHover();
        break;
    default:
        break;
    }
    return QListView::viewportEvent(event);
}

// note: Qt sends enter and move events of its own when widgets change under a still pointer
// (the row buttons following the highlight, the list scrolling to it). Only a pointer that
// really moved takes the highlight back from the keyboard.
bool PortList::pointerTakesOver(const QPoint& globalPos)
{
    const bool moved = m_lastPointerPos != globalPos;
    m_lastPointerPos = globalPos;
    return moved || m_model->hoverSource() == PortListModel::HoverSource::Pointer;
}

void PortList::keyPressEvent(QKeyEvent* event)
{
    const int rows = m_model->rowCount();
    const int row = m_model->hoveredRow();
    const int page = qMax(1, viewport()->height() / qMax(1, m_delegate->rowHeight()));
    // The ends hold: no wrapping from the last row to the first.
    switch (event->key()) {
    case Qt::Key_Up:
        highlightByKeyboard(row < 0 ? rows - 1 : qMax(row - 1, 0));
        break;
    case Qt::Key_Down:
        highlightByKeyboard(row < 0 ? 0 : qMin(row + 1, rows - 1));
        break;
    case Qt::Key_PageUp:
        highlightByKeyboard(qMax(row - page, 0));
        break;
    case Qt::Key_PageDown:
        highlightByKeyboard(row < 0 ? qMin(page - 1, rows - 1) : qMin(row + page, rows - 1));
        break;
    case Qt::Key_Home:
        highlightByKeyboard(0);
        break;
    case Qt::Key_End:
        highlightByKeyboard(rows - 1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!m_model->urlAt(row).isValid()) {
            event->ignore();
            return;
        }
        Q_EMIT openRequested(m_model->urlAt(row));
        break;
    case Qt::Key_Delete:
        // Another user's socket: only an administrator may end it. And only the record the keys
        // picked: when a killed row goes, the highlight stays at its place, on another
        // process, and a quick second Delete must not end that one too.
        if (row < 0 || !isEndable(row) ||
            (m_model->hoverSource() == PortListModel::HoverSource::Keyboard &&
             m_model->rowKey(row) != m_keyboardPick)) {
            event->ignore();
            return;
        }
        Q_EMIT killRequested(m_model->portAt(row),
                             event->modifiers().testFlag(Qt::ShiftModifier) || isStillRunning(row));
        break;
    default:
        // Escape closes the popup, which only sees the key if the list lets it through.
        event->ignore();
        return;
    }
    event->accept();
}

void PortList::contextMenuEvent(QContextMenuEvent* event)
{
    // From the pointer, the row under it (the event comes through the viewport); from the
    // keyboard, the highlighted row, with the menu at its lower left.
    const bool byPointer = event->reason() == QContextMenuEvent::Mouse;
    const int row = byPointer ? indexAt(event->pos()).row() : m_model->hoveredRow();
    if (row < 0 || m_model->rowKind(row) == PortListModel::RowKind::Host) {
        event->ignore();
        return;
    }
    if (byPointer)
        hoverAt(event->pos());
    const QRect rect = visualRect(m_model->index(row));
    const QPoint at =
        byPointer ? event->globalPos()
                  : viewport()->mapToGlobal(
                        QPoint(rect.left() + PortRowDelegate::horizontalPadding, rect.bottom()));
    Q_EMIT menuRequested(row, at);
    event->accept();
}

void PortList::holdHighlightWhile(QMenu* menu)
{
    m_holdingHighlight = true;
    connect(menu, &QMenu::aboutToHide, this, [this] {
        m_holdingHighlight = false;
        if (m_model->hoverSource() == PortListModel::HoverSource::Pointer &&
            !viewport()->rect().contains(viewport()->mapFromGlobal(QCursor::pos())))
            m_model->clearHover();
    });
}

void PortList::highlightByKeyboard(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    if (!m_lastPointerPos)
        m_lastPointerPos = QCursor::pos();
    m_model->setHoveredRow(row, PortListModel::HoverSource::Keyboard);
    m_keyboardPick = m_model->rowKey(row);
    showKeyboardHighlight();
}

void PortList::showKeyboardHighlight()
{
    const QModelIndex index = m_model->index(m_model->hoveredRow());
    if (!index.isValid())
        return;
    // Assistive tools follow the current index, so it goes with the highlight.
    if (currentIndex() != index)
        setCurrentIndex(index);
    scrollTo(index);
}

void PortList::focusInEvent(QFocusEvent* event)
{
    // Left alone, the view would make the first row current: a row the eye sees no mark on.
    setCurrentIndex(m_model->index(m_model->hoveredRow()));
    QListView::focusInEvent(event);
}

void PortList::hideEvent(QHideEvent* event)
{
    QListView::hideEvent(event);
    // The panel opens again without a highlight.
    m_model->clearHover();
}

void PortList::hoverAt(const QPoint& viewportPos)
{
    m_model->setHoveredRow(indexAt(viewportPos).row());
}

void PortList::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    // Scrolling moves rows under a still pointer; but when the keys scrolled to their row,
    // the row under the pointer must not take the highlight.
    if (viewport()->underMouse() && m_model->hoverSource() == PortListModel::HoverSource::Pointer)
        hoverAt(viewport()->mapFromGlobal(QCursor::pos()));
    placeActions();
}

void PortList::updateGeometries()
{
    QListView::updateGeometries();
    placeActions();
}

void PortList::changeEvent(QEvent* event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateIcons();
}

void PortList::onHoveredRowChanged(int row)
{
    if (row >= 0) {
        updateActions();
        // After a refresh the keyboard's row may be another one, or at another place.
        if (m_model->hoverSource() == PortListModel::HoverSource::Keyboard)
            showKeyboardHighlight();
    }
    placeActions();
}

void PortList::updateActions()
{
    const int row = m_model->hoveredRow();
    if (row >= 0) {
        const ListeningPort& port = m_model->portAt(row);
        const PortListModel::RowKind kind = m_model->rowKind(row);
        const QUrl url = m_model->urlAt(row);
        // Another machine's port opens through its forward: until there is one, the button
        // says what it would need.
        m_openButton->setToolTip(url.isValid() || kind == PortListModel::RowKind::Local
                                     ? tr("Open %1").arg(url.authority())
                                     : tr("Forward it to this machine to open it"));
        m_openButton->setAccessibleName(m_openButton->toolTip());
        m_openButton->setEnabled(url.isValid());
        m_openButton->setVisible(!port.isUdp());
        // Only a TCP port can be forwarded (ssh -L).
        const auto forward = m_model->forwardAt(row);
        const bool running = forward && forward->running;
        m_forwardButton->setVisible(kind == PortListModel::RowKind::Remote && !port.isUdp());
        m_forwardButton->setEnabled(running || !forwardTarget(port).isEmpty());
        m_forwardButton->setToolTip(running ? tr("Stop forwarding")
                                            : tr("Forward to this machine"));
        m_forwardButton->setAccessibleName(m_forwardButton->toolTip());
        m_forwardButton->setIcon(running ? m_stopIcon : m_forwardIcon);
        // Without a process there is nothing to signal: no kill button, unless an
        // administrator may end it or it is a socket unit's to stop. One that ignored the
        // request to quit is offered the forced quit right here. Another machine's
        // processes are not ours to end.
        m_killButton->setVisible(isEndable(row));
        const QString socketUnit = m_model->socketUnitOf(port);
        m_killButton->setToolTip(!socketUnit.isEmpty() ? tr("Stop %1").arg(socketUnit)
                                 : !port.hasProcess()  ? tr("End as administrator…")
                                 : isStillRunning(row)
                                     ? tr("Force kill: it ignored the request to quit")
                                     : tr("Kill process (Shift: force it)"));
        m_killButton->setAccessibleName(m_killButton->toolTip());
    }
}

void PortList::setAdminEndOffered(bool offered)
{
    m_adminEndOffered = offered;
    updateActions();
    placeActions();
}

bool PortList::isEndable(int row) const
{
    if (m_model->rowKind(row) != PortListModel::RowKind::Local)
        return false;
    const ListeningPort& port = m_model->portAt(row);
    return port.hasProcess() || m_adminEndOffered || !m_model->socketUnitOf(port).isEmpty();
}

bool PortList::isStillRunning(int row) const
{
    return m_model->data(m_model->index(row), PortListModel::StillRunningRole).toBool();
}

void PortList::placeActions()
{
    const int row = m_model->hoveredRow();
    if (row < 0 || m_model->rowKind(row) == PortListModel::RowKind::Host) {
        m_actions->hide();
        return;
    }
    // The buttons a row shows decide how wide they are.
    m_actions->adjustSize();
    const QRect rect = visualRect(m_model->index(row));
    if (!rect.isValid()) {
        m_actions->hide();
        return;
    }
    const QSize size = m_actions->sizeHint();
    const int x = viewport()->width() - PortRowDelegate::horizontalPadding - size.width();
    const int y = rect.top() + (rect.height() - size.height()) / 2;
    m_actions->setGeometry(QRect(QPoint(x, y), size));
    m_actions->show();
}

void PortList::updateIcons()
{
    const QPalette& pal = palette();
    m_openButton->setIcon(
        PanelStyle::tintedIcon(QStringLiteral(":/icons/open.svg"), PanelStyle::primary(pal)));
    m_killButton->setIcon(
        PanelStyle::tintedIcon(QStringLiteral(":/icons/kill.svg"), PanelStyle::red(pal)));
    m_forwardIcon =
        PanelStyle::tintedIcon(QStringLiteral(":/icons/forward.svg"), PanelStyle::primary(pal));
    m_stopIcon =
        PanelStyle::tintedIcon(QStringLiteral(":/icons/unforward.svg"), PanelStyle::primary(pal));
    updateActions();
}
