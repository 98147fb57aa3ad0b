#pragma once

#include "listeningport.h"
#include "remotesection.h"

class ProcessDetailsProvider;

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUrl>

#include <optional>

// The records the panel shows: the scanner's list, without ports below 1024 unless asked
// for and narrowed by the typed filter, in the scanner's order; then each watched machine
// under a header row with its name and state, its records narrowed the same way. It marks the
// records that were not in the list before, until the next list comes. It also holds which row the
// pointer is over, by the record's key, so a row that survives a refresh stays
// highlighted. The keyboard drives the same highlight; who set it last decides what happens
// when its record goes.
class PortListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        PortTextRole = Qt::UserRole + 1, // the port's plain decimal digits
        ProtocolTextRole,                // "UDP" for a UDP socket; empty for TCP
        PidTextRole,                     // "PID n", its service or container, and its
                                         // connections where there are any; no PID for
                                         // another user's socket
        ExposureTextRole,                // where it listens: "loopback", "all interfaces", …
        ExposureRole,                    // ListeningPort::Exposure as an int
        StillRunningRole,                // asked to quit, and a rescan still found it
        AppearedRole,                    // not in the list before this one
        HoveredRole,
        RowKindRole,      // RowKind as an int
        HostStateRole,    // a header's second line: its count of ports, or why it can't be read
        UnreachableRole,  // a header whose machine did not answer
        ForwardTextRole,  // a remote row's forward: "→ localhost:8080", or why it ended
        ForwardEndedRole, // that forward ended
        RetryTextRole,    // an unreachable machine's header: when it is tried again
    };
    enum class RowKind
    {
        Local,
        Host,   // another machine's header
        Remote, // a record of another machine
    };

    // Who put the highlight where it is.
    enum class HoverSource
    {
        Pointer,
        Keyboard,
    };

    // details: where a row's tooltip gets its process's command line and folder.
    explicit PortListModel(const ProcessDetailsProvider& details, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Takes a newly published list; an unchanged visible list costs no reset and no repaint.
    // The first list is where the program starts from: none of it counts as appeared.
    void setPorts(const QList<ListeningPort>& ports);
    void setShowSystemPorts(bool show);
    // Keeps the records that hold every word of the text (any case) in their port, pid,
    // name, whole program name, user, service or container; the words "udp" and "tcp" keep
    // that protocol's. A highlighted record that the filter hides loses the highlight.
    void setFilterText(const QString& text);
    QString filterText() const { return m_filterTerms.join(u' '); }
    static bool matchesFilter(const ListeningPort& port, const QStringList& terms);
    // The records that the filter lets through but "System" hides.
    qsizetype hiddenSystemPorts() const;
    // The records that were asked to quit and are still there.
    void setStillRunning(const QSet<ListeningPort::Key>& keys);
    // The records whose socket the service manager holds for a socket unit ("cups.socket"),
    // which start a service on the first connection.
    void setSocketUnits(const QHash<ListeningPort::Key, QString>& units);
    QString socketUnitOf(const ListeningPort& port) const
    {
        return m_socketUnits.value(port.key());
    }

    // The watched machines, as they are now.
    void setRemoteSections(const QList<RemoteSection>& sections);

    // A header row has no record: an empty one stands for it.
    const ListeningPort& portAt(int row) const;
    RowKind rowKind(int row) const;
    // A header's or remote row's machine; empty for a local row.
    QString hostAt(int row) const;
    // The forward of a remote row, if it has one.
    std::optional<ForwardState> forwardAt(int row) const;
    // What the browser opens for the row: the local port's address, or a remote one's
    // forward here; invalid when there is none.
    QUrl urlAt(int row) const;

    // What a row is, to find it again after the list changed.
    struct RowKey
    {
        QString host;
        bool header = false;
        ListeningPort::Key port;
        friend bool operator==(const RowKey&, const RowKey&) = default;
    };
    RowKey rowKey(int row) const;

    // Where a record listens, in a word or its addresses; empty when the source can't say.
    static QString exposureText(const ListeningPort& port);
    // "Running since 09:14 (2 h 3 min)" in the user's locale and time zone; the date too
    // when it was not today.
    static QString runningSinceText(const QDateTime& started, const QDateTime& now);

    // -1 when no row is hovered. When the hovered record leaves the list, a pointer's
    // highlight goes with it; a keyboard's stays at the same place (clamped to the list), so
    // the keys go on from where they were.
    int hoveredRow() const { return m_hoveredRow; }
    HoverSource hoverSource() const { return m_hoverSource; }
    void setHoveredRow(int row, HoverSource source = HoverSource::Pointer);
    void clearHover() { setHoveredRow(-1); }

Q_SIGNALS:
    void hoveredRowChanged(int row, int previousRow);

private:
    // A header (port -1) or a record of one of m_sections.
    struct RemoteRow
    {
        qsizetype section = 0;
        qsizetype port = -1;
        RowKey key;
        friend bool operator==(const RemoteRow&, const RemoteRow&) = default;
    };
    QVariant remoteData(const RemoteRow& row, int role) const;
    static QVariant ownerData(const ListeningPort& port, int role);
    bool isShown(const ListeningPort& port) const;
    // keepPlace: a keyboard highlight whose record went stays at its place in the list.
    // Returns whether the visible list changed.
    bool refilter(bool keepPlace = true);

    QList<ListeningPort> m_all;
    QList<ListeningPort> m_visible;
    bool m_hasList = false;
    // Whether each record of m_all, and of m_visible, is new; empty when none is.
    QList<bool> m_allAppeared;
    QList<bool> m_visibleAppeared;
    QList<RemoteSection> m_sections;
    QList<RemoteSection> m_shownSections; // what the remote rows were built from
    QList<RemoteRow> m_remoteRows;
    bool m_showSystemPorts = false;
    QStringList m_filterTerms;
    const ProcessDetailsProvider& m_details;
    QSet<ListeningPort::Key> m_stillRunning;
    QHash<ListeningPort::Key, QString> m_socketUnits;
    int m_hoveredRow = -1;
    HoverSource m_hoverSource = HoverSource::Pointer;
};
