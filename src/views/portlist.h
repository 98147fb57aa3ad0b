#pragma once

#include "listeningport.h"
#include "portlistmodel.h"

#include <QIcon>
#include <QListView>

#include <optional>

class PortRowDelegate;
class QMenu;
class QToolButton;
class QWidget;

// The scrolling list of port rows. Only the visible rows are painted, whatever the number
// of records. The hovered row gets real buttons (open, and kill here or forward for another
// machine's row; none for a machine's header), laid over its right edge
// inside the viewport, so tooltips, accessibility and clicks work as on any button.
//
// The keys move the same highlight as the pointer (Up, Down, Home, End, Page Up, Page
// Down); Return opens the highlighted port, Delete kills its process and Shift+Delete
// forces it. Whichever of pointer and keyboard moved last owns the highlight. Delete acts
// only on the record the keys moved to: after that row goes, the next Delete waits for a
// key that moves. Escape and other keys are left to the panel. A right-click on a row, or
// the Menu key on the highlighted one, asks for the row's menu.
class PortList : public QListView
{
    Q_OBJECT

public:
    static constexpr int maximumListHeight = 320;
    static constexpr int minimumVisibleRows = 3;

    explicit PortList(PortListModel* model, QWidget* parent = nullptr);

    PortRowDelegate* rowDelegate() const { return m_delegate; }
    // Keeps the highlight on the menu's row while the menu is open, though the pointer is on
    // the menu; when it closes the pointer has the highlight back.
    void holdHighlightWhile(QMenu* menu);
    // Whether another user's socket, which names no process, gets a kill button too: one
    // that ends its owner as administrator.
    void setAdminEndOffered(bool offered);

    // Fits the rows up to maximumListHeight; beyond that the list scrolls. Given more height
    // (a taller window), it shows more rows.
    QSize sizeHint() const override;

Q_SIGNALS:
    // The row's address: a local port's own, a remote one's forward.
    void openRequested(const QUrl& url);
    // force: Shift was held, so the process is made to end rather than asked.
    void killRequested(const ListeningPort& port, bool force);
    // globalPos: where the menu opens.
    void menuRequested(int row, const QPoint& globalPos);
    // A remote row's forward button: start forwarding the port, or stop.
    void forwardRequested(const QString& host, const ListeningPort& port, bool start);

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void changeEvent(QEvent* event) override;

private:
    bool pointerTakesOver(const QPoint& globalPos);
    void hoverAt(const QPoint& viewportPos);
    void highlightByKeyboard(int row);
    void showKeyboardHighlight();
    void onHoveredRowChanged(int row);
    void placeActions();
    bool isStillRunning(int row) const;
    // Whether the row's owner (on this machine) can be asked to end, by us or as administrator.
    bool isEndable(int row) const;
    // The hovered row's buttons, as its record asks.
    void updateActions();
    void updateIcons();
    void fitHeight();

    PortListModel* m_model;
    PortRowDelegate* m_delegate;
    QWidget* m_actions;
    QToolButton* m_openButton;
    QToolButton* m_killButton;
    QToolButton* m_forwardButton;
    QIcon m_forwardIcon;
    QIcon m_stopIcon;
    std::optional<QPoint> m_lastPointerPos;              // global; where the pointer was last seen
    std::optional<PortListModel::RowKey> m_keyboardPick; // the record the keys last moved to
    bool m_holdingHighlight = false;
    bool m_adminEndOffered = false;
};
