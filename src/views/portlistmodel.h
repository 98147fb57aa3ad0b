#pragma once

#include "listeningport.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>

#include <optional>

// The records the panel shows: the scanner's list, without ports below 1024 unless asked
// for, in the scanner's order. It also holds which row the pointer is over, keyed by the
// record's id, so a row that survives a refresh stays highlighted. The keyboard drives the
// same highlight; who set it last decides what happens when its record goes.
class PortListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        PortTextRole = Qt::UserRole + 1, // the port's plain decimal digits
        PidTextRole,                     // "PID n", and its service or container; empty
                                         // for another user's socket
        ExposureTextRole,                // where it listens: "loopback", "all interfaces", …
        ExposureRole,                    // ListeningPort::Exposure as an int
        StillRunningRole,                // asked to quit, and a rescan still found it
        HoveredRole,
    };

    // Who put the highlight where it is.
    enum class HoverSource
    {
        Pointer,
        Keyboard,
    };

    explicit PortListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Takes a newly published list; an unchanged visible list costs no reset and no repaint.
    void setPorts(const QList<ListeningPort>& ports);
    void setShowSystemPorts(bool show);
    // The ids of the records that were asked to quit and are still there.
    void setStillRunning(const QSet<QString>& ids);

    const QList<ListeningPort>& allPorts() const { return m_all; }
    const QList<ListeningPort>& visiblePorts() const { return m_visible; }
    const ListeningPort& portAt(int row) const { return m_visible.at(row); }

    // The owner's whole program name where the source found it, else its command name.
    static QString displayName(const ListeningPort& port);
    // Where a record listens, in a word or its addresses; empty when the source can't say.
    static QString exposureText(const ListeningPort& port);

    // -1 when no row is hovered. When the hovered record leaves the list, a pointer's
    // highlight goes with it; a keyboard's stays at the same place (clamped to the list), so
    // the keys go on from where they were.
    int hoveredRow() const { return m_hoveredRow; }
    HoverSource hoverSource() const { return m_hoverSource; }
    std::optional<QString> hoveredId() const;
    void setHoveredRow(int row, HoverSource source = HoverSource::Pointer);
    void clearHover() { setHoveredRow(-1); }

Q_SIGNALS:
    void hoveredRowChanged(int row, int previousRow);

private:
    void refilter();

    QList<ListeningPort> m_all;
    QList<ListeningPort> m_visible;
    bool m_showSystemPorts = false;
    QSet<QString> m_stillRunning;
    int m_hoveredRow = -1;
    HoverSource m_hoverSource = HoverSource::Pointer;
};
