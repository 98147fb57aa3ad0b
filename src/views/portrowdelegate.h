#pragma once

#include <QFont>
#include <QRect>
#include <QStyledItemDelegate>

// Paints one port row: the port in a fixed column, the process name (or, for another
// user's socket, "owned by USER") on one line with "PID n" and where it listens below it,
// the hover tint, and a tint with a bar at the left edge for a record new since the last list.
// Another machine's header row has its name where the name goes, from the left edge, and
// its state below; its records show their forward in place of where they listen. A
// port open on all interfaces has that part in the warning colour. Text is drawn with
// QPainter::drawText only, so a name full of markup shows literally. The row's buttons are real
// widgets laid over the row by the list, in the space this delegate leaves free on the right.
class PortRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int horizontalPadding = 12;
    static constexpr int verticalPadding = 6;
    static constexpr int spacing = 8;
    static constexpr int portColumnWidth = 56;
    static constexpr int nameToPidSpacing = 1;

    // Where each piece of a row goes and what it says.
    struct RowLayout
    {
        QRect portRect;
        QString portText;
        QRect protocolRect; // empty for TCP
        QString protocolText;
        QRect nameRect;
        QString nameText; // already elided to nameRect
        QRect pidRect;
        QString pidText;
        QRect exposureRect; // after the pid on the same line; a header's next try
        QString exposureText;
        bool isOpenToNetwork = false; // listens on a wildcard address
        bool isStillRunning = false;  // asked to quit, still there
        bool hasAppeared = false;     // new since the list before
        bool hovered = false;
        bool isHeader = false;       // another machine's name and state, no port
        bool isUnreachable = false;  // that machine did not answer
        bool isForwardEnded = false; // the exposure's place says why a forward ended
        bool isForwarded = false;    // ... or where the forward listens here
    };

    explicit PortRowDelegate(QObject* parent = nullptr);

    // Width kept free at the right edge of the hovered row for its buttons.
    void setActionsWidth(int width) { m_actionsWidth = width; }
    int rowHeight() const;

    RowLayout layoutRow(const QRect& rowRect, const QModelIndex& index) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    QFont m_portFont;
    QFont m_nameFont;
    QFont m_pidFont;
    int m_actionsWidth = 0;
};
