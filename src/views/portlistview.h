#pragma once

#include "portscanner.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QUrl>
#include <QWidget>

struct ApplicationInfo;
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
              PortScanner::KillMode mode);
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
