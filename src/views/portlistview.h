#pragma once

#include "portscanner.h"
#include "restartcause.h"
#include "stopresult.h"
#include "unitstopper.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>

struct ApplicationInfo;
class AdminFree;
class ContainerStopper;
class DesktopServices;
class NoticeBox;
class PortList;
class PortListModel;
class ProcessDetailsProvider;
class QCheckBox;
class QLabel;
class QLayout;
class QLineEdit;
class QToolButton;
class QVBoxLayout;
class RemoteMachines;
struct RemoteSection;

// The panel: title row with the filter field and the "System" filter, the list of listening
// ports (or a line saying there are none), a place for the settings block, and the footer
// with refresh, the two links to the maker, and quit.
//
// Typing anywhere in the panel goes to the filter field; the arrows and Return typed there
// go to the list. Escape clears the filter; with nothing typed it is left to the window,
// which closes.
class PortListView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int panelWidth = 320;

    // processes: what a row's tooltip and "Copy Command Line" read of its process.
    PortListView(PortScanner& scanner, DesktopServices& desktop,
                 const ProcessDetailsProvider& processes, const ApplicationInfo& info,
                 QWidget* parent = nullptr);
    ~PortListView() override;

    // Puts the settings block between the two lower dividers; the panel takes ownership.
    // Without one, that place takes no space.
    void setSettingsWidget(QWidget* widget);

    PortListModel* model() const { return m_model; }
    PortList* list() const { return m_list; }

    // The other machines to show after this one's rows, and to forward ports from.
    void setRemoteMachines(RemoteMachines* machines);
    // What the machines are, for the rows; setRemoteMachines keeps it up to date.
    void setRemoteSections(const QList<RemoteSection>& sections);

    // Says in the panel's notice box what went wrong elsewhere (notifications that can't be
    // posted, preferences moved aside).
    void showNotice(const QString& message);

    // What stops a port's owner for good. Each part may be missing; without processes the
    // panel does not tell who started a port again, without admin it offers no ending as
    // administrator (so not to root).
    struct Stoppers
    {
        std::shared_ptr<const ProcessTable> processes;
        UnitStopper* units = nullptr;
        ContainerStopper* containers = nullptr;
        AdminFree* admin = nullptr;
        // The container engine's name for a container's short id; empty while unknown.
        std::function<QString(const QString&)> containerName;
    };
    void setStoppers(const Stoppers& stoppers);
    // How long after a kill a new owner on the port counts as the old one started again.
    static constexpr int restartWatchMs = 15000;

Q_SIGNALS:
    // "System" was ticked or unticked.
    void systemPortsShownChanged(bool shown);
    // A remote row's forward was asked for (start) or asked to end.
    void forwardRequested(const QString& host, const ListeningPort& port, bool start);

protected:
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLayout* buildHeader();
    void buildList(QVBoxLayout& root);
    void buildSettingsPlace(QVBoxLayout& root);
    QLayout* buildFooter();
    void connectActions();

    // Opens the URL, or says in the panel that it could not, with the URL to copy.
    void openUrl(const QUrl& url);
    // Ends the process, or says in the panel why not; another user's process asks first.
    void requestKill(const ListeningPort& port, bool force);
    void kill(const ListeningPort& port, ProcessControl::Handle* process,
              PortScanner::KillMode mode, bool watchRestart = true);
    // A port that listens again after a kill says who started it and offers to stop that.
    void noticeRestarts();
    void offerStop(const ListeningPort& now, const RestartCause& cause);
    // Says that what is being stopped, then how it went (waited: the deadline it had).
    void stopUnits(const QStringList& units, UnitStopper::Manager manager, const QString& what);
    void stopped(const QString& what, const StopResult& result, std::chrono::milliseconds waited);
    // Another user's port, for a user who is not root: pkexec and tidewatch-ports --free.
    bool offersAdminEnd() const;
    void askAdminEnd(const ListeningPort& port, const QString& why);
    void endAsAdmin(const ListeningPort& port);
    // Ports the service manager holds for socket units: asked of the managers when such
    // ports come, shown on their rows, and stopped through their units rather than ended.
    void findSocketUnits();
    void showSocketUnits();
    struct HeldSocket
    {
        UnitStopper::SocketUnit unit;
        UnitStopper::Manager manager;
    };
    std::optional<HeldSocket> heldSocket(const ListeningPort& port) const;
    void askStopSocket(const HeldSocket& held);
    void showRowMenu(int row, const QPoint& globalPos);
    void showRemoteRowMenu(int row, QMenu& menu);
    // Rows asked to quit that a rescan still finds say so, and offer to force it.
    void markStillRunning();

    struct QuitRequest
    {
        quint64 startTime;
        QDeadlineTimer rescanDue;
    };
    QHash<ListeningPort::Key, QuitRequest> m_askedToQuit;
    // By port and protocol (pid 0): the owner that was ended there, until the deadline.
    struct RestartWatch
    {
        Lineage before;
        QDeadlineTimer until;
    };
    QHash<ListeningPort::Key, RestartWatch> m_restartWatch;
    Stoppers m_stoppers;
    QSet<ListeningPort::Key> m_socketCandidates; // what the managers were last asked about
    QList<UnitStopper::SocketUnit> m_systemSockets;
    QList<UnitStopper::SocketUnit> m_userSockets;
    void showPorts();
    void updateColors();

    PortScanner& m_scanner;
    DesktopServices& m_desktop;
    const ProcessDetailsProvider& m_processes;
    RemoteMachines* m_machines = nullptr;
    QUrl m_tipUrl;
    QUrl m_contactUrl;

    PortListModel* m_model;
    PortList* m_list = nullptr;
    QWidget* m_emptyState = nullptr;
    NoticeBox* m_notice = nullptr;
    QLabel* m_emptyLabel = nullptr;
    QLineEdit* m_filterField = nullptr;
    QCheckBox* m_systemCheckBox = nullptr;
    QVBoxLayout* m_settingsLayout = nullptr;
    QWidget* m_settingsDivider = nullptr;
    QToolButton* m_refreshButton = nullptr;
    QToolButton* m_tipButton = nullptr;
    QToolButton* m_contactButton = nullptr;
    QToolButton* m_quitButton = nullptr;
};
