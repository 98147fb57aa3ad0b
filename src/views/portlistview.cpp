#include "portlistview.h"

#include "adminfree.h"
#include "applicationinfo.h"
#include "containerstopper.h"
#include "desktopservices.h"
#include "displaytext.h"
#include "noticebox.h"
#include "panelstyle.h"
#include "portforwards.h"
#include "portlist.h"
#include "portlistmodel.h"
#include "portscanner.h"
#include "porturl.h"
#include "processdetails.h"
#include "unitstopper.h"
#include "remotemachines.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A one-pixel divider in the separator colour, at any scale factor.
class Divider final : public QWidget
{
public:
    explicit Divider(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        PanelStyle::fillHairlines(painter, {rect()}, PanelStyle::separator(palette()));
    }
};

QToolButton* makeFooterButton(QWidget* parent, const QString& objectName)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setFont(PanelStyle::captionFont());
    button->setIconSize(QSize(16, 16));
    return button;
}

// Only a well-formed address is ever handed to the desktop.
QUrl strictUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl();
}

} // namespace

PortListView::PortListView(PortScanner& scanner, DesktopServices& desktop,
                           const ProcessDetailsProvider& processes, const ApplicationInfo& info,
                           QWidget* parent)
    : QWidget(parent), m_scanner(scanner), m_desktop(desktop), m_processes(processes),
      m_tipUrl(strictUrl(info.tipUrl)), m_contactUrl(strictUrl(info.contactUrl)),
      m_model(new PortListModel(processes, this))
{
    setObjectName(QStringLiteral("portListView"));
    setFixedWidth(panelWidth);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addLayout(buildHeader());
    root->addWidget(new Divider(this));
    buildList(*root);
    root->addWidget(new Divider(this));
    buildSettingsPlace(*root);
    root->addLayout(buildFooter());

    updateColors();
    connectActions();

    // Before its first scan the scanner holds an empty list that is no list: taken as one,
    // every row of the first scan would stand out as new.
    if (m_scanner.lastScan())
        m_model->setPorts(m_scanner.ports());
    showPorts();
}

// The title, the filter field and the "System" filter.
QLayout* PortListView::buildHeader()
{
    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 8, 12, 8);
    header->setSpacing(8);
    auto* title = new QLabel(tr("Tidewatch"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setTextFormat(Qt::PlainText);
    title->setFont(PanelStyle::headlineFont());
    // The filter field gives way, not the title.
    title->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    title->setMinimumWidth(title->sizeHint().width());
    m_filterField = new QLineEdit(this);
    m_filterField->setObjectName(QStringLiteral("filterField"));
    m_filterField->setFont(PanelStyle::captionFont());
    m_filterField->setPlaceholderText(tr("Type to filter"));
    m_filterField->setAccessibleName(tr("Filter ports"));
    m_filterField->setToolTip(tr("Port, name, PID, user, service or container; Escape clears"));
    m_filterField->setClearButtonEnabled(true);
    m_filterField->setMaxLength(200);
    m_systemCheckBox = new QCheckBox(tr("System"), this);
    m_systemCheckBox->setObjectName(QStringLiteral("systemCheckBox"));
    m_systemCheckBox->setFont(PanelStyle::captionFont());
    m_systemCheckBox->setToolTip(tr("Show ports below 1024"));
    m_systemCheckBox->setChecked(false);
    PanelStyle::outlineIndicators(m_systemCheckBox);
    header->addWidget(title);
    header->addWidget(m_filterField, 1);
    header->addWidget(m_systemCheckBox);
    return header;
}

// The list, or the line that says it is empty, and the notice box under them.
void PortListView::buildList(QVBoxLayout& root)
{
    m_list = new PortList(m_model, this);
    m_emptyLabel = new QLabel(tr("No listening ports"));
    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    m_emptyLabel->setTextFormat(Qt::PlainText);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setWordWrap(true);
    m_emptyState = new QWidget(this);
    auto* emptyLayout = new QVBoxLayout(m_emptyState);
    emptyLayout->setContentsMargins(12, 24, 12, 24);
    emptyLayout->addWidget(m_emptyLabel);
    // Like the list, it takes whatever height a taller window gives.
    m_emptyState->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    root.addWidget(m_list);
    root.addWidget(m_emptyState);
    // What the panel could not do, until the panel closes.
    m_notice =
        new NoticeBox(QStringLiteral("panelNotice"), QStringLiteral("panelNoticeText"), this);
    auto* noticeMargins = new QVBoxLayout;
    noticeMargins->setContentsMargins(12, 0, 12, 8);
    noticeMargins->addWidget(m_notice);
    root.addLayout(noticeMargins);
}

// Empty, and taking no space, until someone puts a settings block there.
void PortListView::buildSettingsPlace(QVBoxLayout& root)
{
    m_settingsLayout = new QVBoxLayout;
    m_settingsLayout->setContentsMargins(0, 0, 0, 0);
    m_settingsLayout->setSpacing(0);
    root.addLayout(m_settingsLayout);
    m_settingsDivider = new Divider(this);
    m_settingsDivider->hide();
    root.addWidget(m_settingsDivider);
}

// Refresh, the two links to the maker, and quit.
QLayout* PortListView::buildFooter()
{
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(12, 8, 12, 8);
    footer->setSpacing(12);
    m_refreshButton = makeFooterButton(this, QStringLiteral("refreshButton"));
    m_refreshButton->setText(tr("Refresh"));
    m_refreshButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_tipButton = makeFooterButton(this, QStringLiteral("tipButton"));
    m_tipButton->setToolTip(tr("Tip the maker"));
    m_tipButton->setAccessibleName(tr("Tip the maker"));
    m_tipButton->setEnabled(m_tipUrl.isValid());
    m_contactButton = makeFooterButton(this, QStringLiteral("contactButton"));
    m_contactButton->setToolTip(tr("Contact the maker"));
    m_contactButton->setAccessibleName(tr("Contact the maker"));
    m_contactButton->setEnabled(m_contactUrl.isValid());
    m_quitButton = makeFooterButton(this, QStringLiteral("quitButton"));
    m_quitButton->setText(tr("Quit"));
    m_quitButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    footer->addWidget(m_refreshButton);
    footer->addStretch();
    footer->addWidget(m_tipButton);
    footer->addWidget(m_contactButton);
    footer->addWidget(m_quitButton);
    return footer;
}

// What the controls, the rows and the scanner's lists do.
void PortListView::connectActions()
{
    connect(m_systemCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        m_model->setShowSystemPorts(checked);
        showPorts();
        Q_EMIT systemPortsShownChanged(checked);
    });
    connect(m_filterField, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->setFilterText(text);
        showPorts();
    });
    m_filterField->installEventFilter(this);
    connect(m_refreshButton, &QToolButton::clicked, this, [this] { m_scanner.scan(); });
    connect(m_tipButton, &QToolButton::clicked, this, [this] { openUrl(m_tipUrl); });
    connect(m_contactButton, &QToolButton::clicked, this, [this] { openUrl(m_contactUrl); });
    connect(m_quitButton, &QToolButton::clicked, this, [this] { m_desktop.terminate(); });
    connect(m_list, &PortList::openRequested, this, &PortListView::openUrl);
    connect(m_list, &PortList::forwardRequested, this, &PortListView::forwardRequested);
    connect(m_list, &PortList::killRequested, this, &PortListView::requestKill);
    connect(m_list, &PortList::menuRequested, this, &PortListView::showRowMenu);
    connect(&m_scanner, &PortScanner::portsChanged, this, [this] {
        m_model->setPorts(m_scanner.ports());
        markStillRunning();
        noticeRestarts();
        findSocketUnits();
        showPorts();
    });
}

void PortListView::requestKill(const ListeningPort& port, bool force)
{
    // The service manager's socket: stopping its unit frees it; ending the manager would not.
    if (const std::optional<HeldSocket> held = heldSocket(port)) {
        askStopSocket(*held);
        return;
    }
    // Another user's socket: only an administrator may end it.
    if (!port.hasProcess()) {
        if (offersAdminEnd())
            askAdminEnd(port, {});
        return;
    }
    const auto mode = force ? PortScanner::KillMode::Force : PortScanner::KillMode::Polite;
    // Opened once: the process asked about is the one signalled, or none.
    const std::shared_ptr<ProcessControl::Handle> process = m_scanner.openProcess(port);
    if (!process || !m_scanner.isOtherUsersProcess(*process)) {
        kill(port, process.get(), mode);
        return;
    }
    // The buttons say what they do: a bare "Quit" here would read as the footer's, which
    // ends Tidewatch.
    const QString name = printableText(port.displayName());
    m_notice->ask(
        port.user().isEmpty()
            ? tr("“%1” (PID %2) belongs to another user. End it anyway?").arg(name).arg(port.pid())
            : tr("“%1” (PID %2) belongs to the user %3. End it anyway?")
                  .arg(name, QString::number(port.pid()), printableText(port.user())),
        force ? tr("Force end process") : tr("End process"),
        [this, port, process, mode] { kill(port, process.get(), mode); });
}

void PortListView::setRemoteMachines(RemoteMachines* machines)
{
    m_machines = machines;
    const auto update = [this] { setRemoteSections(m_machines->sections()); };
    connect(m_machines, &RemoteMachines::changed, this, update);
    connect(this, &PortListView::forwardRequested, m_machines,
            [this](const QString& host, const ListeningPort& port, bool start) {
                if (start)
                    m_machines->forward(host, port);
                else
                    m_machines->stopForward(host, port.port());
            });
    update();
}

void PortListView::setRemoteSections(const QList<RemoteSection>& sections)
{
    m_model->setRemoteSections(sections);
    showPorts();
}

void PortListView::showRowMenu(int row, const QPoint& globalPos)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("rowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (m_model->rowKind(row) == PortListModel::RowKind::Remote) {
        showRemoteRowMenu(row, *menu);
        m_list->holdHighlightWhile(menu);
        menu->popup(globalPos);
        return;
    }
    const ListeningPort& port = m_model->portAt(row);
    const QUrl url = browserUrl(port);
    const auto copy = [this](const QString& text) {
        return [this, text] { m_desktop.copyText(text); };
    };
    // A UDP socket speaks no HTTP: it has no URL to offer.
    if (!port.isUdp()) {
        menu->addAction(tr("Open in Browser"), this, [this, url] { openUrl(url); })
            ->setEnabled(url.isValid());
        menu->addAction(tr("Copy URL"), this, copy(url.toString()))->setEnabled(url.isValid());
    }
    menu->addAction(tr("Copy Port"), this, copy(QString::number(port.port())));
    // Another user's socket names no process: nothing to copy of it, nothing to end but as
    // an administrator.
    if (!port.hasProcess() && offersAdminEnd()) {
        menu->addSeparator();
        menu->addAction(tr("End as Administrator…"), this, [this, port] { askAdminEnd(port, {}); });
    }
    if (port.hasProcess()) {
        menu->addAction(tr("Copy PID"), this, copy(QString::number(port.pid())));
        // Read now, as the menu opens: it is the process the user is looking at.
        const QString commandLine =
            m_processes.read(port.owner(), CommandLineLength::Whole).commandLine;
        menu->addAction(tr("Copy Command Line"), this, copy(commandLine))
            ->setEnabled(!commandLine.isEmpty());
        menu->addSeparator();
        menu->addAction(tr("Quit Process"), this, [this, port] { requestKill(port, false); });
        menu->addAction(tr("Force Quit Process"), this, [this, port] { requestKill(port, true); });
    }
    m_list->holdHighlightWhile(menu);
    menu->popup(globalPos);
}

// Another machine's row: its forward, and what to copy. Nothing ends its process.
void PortListView::showRemoteRowMenu(int row, QMenu& menu)
{
    const ListeningPort port = m_model->portAt(row);
    const QString host = m_model->hostAt(row);
    const QUrl url = m_model->urlAt(row);
    const auto copy = [this](const QString& text) {
        return [this, text] { m_desktop.copyText(text); };
    };
    if (!port.isUdp()) {
        const auto forward = m_model->forwardAt(row);
        if (forward && forward->running) {
            menu.addAction(tr("Stop Forwarding"), this,
                           [this, host, port] { Q_EMIT forwardRequested(host, port, false); });
        } else {
            menu.addAction(tr("Forward to This Machine"), this,
                           [this, host, port] { Q_EMIT forwardRequested(host, port, true); })
                ->setEnabled(!forwardTarget(port).isEmpty());
        }
        menu.addAction(tr("Open in Browser"), this, [this, url] { openUrl(url); })
            ->setEnabled(url.isValid());
        menu.addAction(tr("Copy URL"), this, copy(url.toString()))->setEnabled(url.isValid());
    }
    menu.addAction(tr("Copy Port"), this, copy(QString::number(port.port())));
    if (port.hasProcess())
        menu.addAction(tr("Copy PID"), this, copy(QString::number(port.pid())));
}

void PortListView::kill(const ListeningPort& port, ProcessControl::Handle* process,
                        PortScanner::KillMode mode, bool watchRestart)
{
    const QString who = tr("“%1” (PID %2)").arg(printableText(port.displayName())).arg(port.pid());
    // Read before it ends: what it ran under tells who starts the next one.
    std::optional<Lineage> before;
    if (watchRestart && process && m_stoppers.processes)
        before = readLineage(*m_stoppers.processes, port.pid(), port.startTime());
    // Asked now, so that the engine's answer is in by the time a new owner shows.
    if (before && !before->process.container.isEmpty() && m_stoppers.containerName)
        m_stoppers.containerName(before->process.container);
    switch (m_scanner.kill(port, process, mode)) {
    case SignalOutcome::Sent:
        m_notice->clear();
        if (before)
            m_restartWatch.insert({port.port(), 0, {}, port.protocol()},
                                  {*before, QDeadlineTimer(restartWatchMs)});
        // A polite request may be ignored; the rescan after it tells.
        if (mode == PortScanner::KillMode::Polite)
            m_askedToQuit.insert(
                port.key(), {port.startTime(), QDeadlineTimer(PortScanner::rescanAfterKillMs)});
        else
            m_askedToQuit.remove(port.key());
        break;
    case SignalOutcome::Gone:
        // It ended, or its pid is another process's now: the rescan shows which.
        break;
    case SignalOutcome::NotPermitted:
        if (offersAdminEnd()) {
            askAdminEnd(port, tr("Couldn't quit %1: it belongs to another user.").arg(who));
            break;
        }
        m_notice->showMessage(tr("Couldn't quit %1: it belongs to another user, and the system "
                                 "doesn't let Tidewatch end it.")
                                  .arg(who));
        break;
    case SignalOutcome::Failed:
        m_notice->showMessage(tr("Couldn't quit %1.").arg(who));
        break;
    }
}

void PortListView::markStillRunning()
{
    QSet<ListeningPort::Key> stillRunning;
    for (auto it = m_askedToQuit.begin(); it != m_askedToQuit.end();) {
        const auto record = std::find_if(
            m_scanner.ports().cbegin(), m_scanner.ports().cend(), [&](const ListeningPort& port) {
                return port.key() == it.key() && port.startTime() == it->startTime;
            });
        if (record == m_scanner.ports().cend()) {
            it = m_askedToQuit.erase(it);
            continue;
        }
        if (it->rescanDue.hasExpired())
            stillRunning.insert(it.key());
        ++it;
    }
    m_model->setStillRunning(stillRunning);
}

void PortListView::noticeRestarts()
{
    for (auto it = m_restartWatch.begin(); it != m_restartWatch.end();) {
        const ListeningPort::Key& where = it.key();
        const LineageProcess& old = it->before.process;
        const auto now = std::find_if(
            m_scanner.ports().cbegin(), m_scanner.ports().cend(), [&](const ListeningPort& port) {
                return port.port() == where.port && port.protocol() == where.protocol &&
                       port.hasProcess() &&
                       !(port.pid() == old.pid && port.startTime() == old.startTime);
            });
        if (now == m_scanner.ports().cend()) {
            it = it->until.hasExpired() ? m_restartWatch.erase(it) : std::next(it);
            continue;
        }
        const ListeningPort record = *now;
        const std::optional<Lineage> lineage =
            readLineage(*m_stoppers.processes, record.pid(), record.startTime());
        RestartCause cause = lineage ? findRestartCause(it->before, *lineage) : RestartCause();
        if (cause.kind == RestartCause::Kind::Container && cause.containerName.isEmpty() &&
            m_stoppers.containerName)
            cause.containerName = m_stoppers.containerName(cause.container);
        m_restartWatch.erase(it);
        offerStop(record, cause);
        return; // one notice at a time; the others wait for the next list
    }
}

void PortListView::offerStop(const ListeningPort& now, const RestartCause& cause)
{
    const QString port = QString::number(now.port());
    const QString notNow = tr("Dismiss");
    switch (cause.kind) {
    case RestartCause::Kind::Supervisor: {
        const QString program = printableText(cause.program);
        const ListeningPort supervisor(now.port(), cause.pid, cause.program, {}, {},
                                       cause.startTime, {}, {}, now.protocol());
        m_notice->offer(
            tr("Port %1 is listening again — restarted by %2 (pid %3)")
                .arg(port, program, QString::number(cause.pid)),
            tr("End %1 too").arg(program),
            [this, supervisor, now] {
                // Opened once, as a kill does: the processes asked about are the ones
                // signalled. The supervisor first, so it starts nothing new; then its child.
                const std::shared_ptr<ProcessControl::Handle> parent =
                    m_scanner.openProcess(supervisor);
                const std::shared_ptr<ProcessControl::Handle> child = m_scanner.openProcess(now);
                const auto endBoth = [this, supervisor, now, parent, child] {
                    kill(supervisor, parent.get(), PortScanner::KillMode::Polite, false);
                    kill(now, child.get(), PortScanner::KillMode::Polite);
                };
                if ((parent && m_scanner.isOtherUsersProcess(*parent)) ||
                    (child && m_scanner.isOtherUsersProcess(*child))) {
                    m_notice->ask(tr("“%1” (PID %2) or “%3” (PID %4) belongs to another user. "
                                     "End them anyway?")
                                      .arg(printableText(supervisor.displayName()),
                                           QString::number(supervisor.pid()),
                                           printableText(now.displayName()),
                                           QString::number(now.pid())),
                                  tr("End processes"), endBoth);
                    return;
                }
                endBoth();
            },
            notNow);
        return;
    }
    case RestartCause::Kind::Unit: {
        const QString unit = printableText(cause.unit);
        const QString text = tr("Port %1 is listening again — restarted by %2").arg(port, unit);
        // A user's manager is reached on that user's own session bus.
        if (!m_stoppers.units || !UnitStopper::isStoppableUnit(cause.unit) ||
            (cause.userUnit && cause.uid != m_scanner.ownUid())) {
            m_notice->showMessage(text);
            return;
        }
        m_notice->offer(
            text, tr("Stop %1").arg(unit),
            [this, cause, unit] {
                stopUnits({cause.unit},
                          cause.userUnit ? UnitStopper::Manager::User
                                         : UnitStopper::Manager::System,
                          unit);
            },
            notNow);
        return;
    }
    case RestartCause::Kind::Container: {
        const QString name =
            printableText(cause.containerName.isEmpty() ? cause.container : cause.containerName);
        const QString text =
            tr("Port %1 is listening again — restarted by container %2").arg(port, name);
        if (!m_stoppers.containers) {
            m_notice->showMessage(text);
            return;
        }
        const QString what = tr("container %1").arg(name);
        m_notice->offer(
            text, tr("Stop container %1").arg(name),
            [this, cause, what] {
                m_notice->showMessage(tr("Stopping %1…").arg(what));
                const auto waited = m_stoppers.containers->answerWithin;
                m_stoppers.containers->stop(
                    cause.container, this,
                    [this, what, waited](const StopResult& r) { stopped(what, r, waited); });
            },
            notNow);
        return;
    }
    case RestartCause::Kind::None:
        m_notice->showMessage(
            tr("Port %1 is listening again: “%2” (PID %3) took it; nothing tells who started it.")
                .arg(port, printableText(now.displayName()), QString::number(now.pid())));
        return;
    }
}

void PortListView::stopUnits(const QStringList& units, UnitStopper::Manager manager,
                             const QString& what)
{
    m_notice->showMessage(tr("Stopping %1…").arg(what));
    const auto waited = m_stoppers.units->deadline(manager);
    m_stoppers.units->stop(units, manager, this,
                           [this, what, waited](const StopResult& r) { stopped(what, r, waited); });
}

void PortListView::stopped(const QString& what, const StopResult& result,
                           std::chrono::milliseconds waited)
{
    QString message;
    switch (result.outcome) {
    case StopResult::Outcome::Stopped:
        m_notice->clear();
        QTimer::singleShot(PortScanner::rescanAfterKillMs, &m_scanner, &PortScanner::scan);
        return;
    case StopResult::Outcome::Gone:
        message = tr("Couldn't stop %1: it is gone. Nothing else was stopped.").arg(what);
        break;
    case StopResult::Outcome::Refused:
        message = tr("Not allowed to stop %1: the authorization was refused or dismissed. Nothing "
                     "was stopped.")
                      .arg(what);
        break;
    case StopResult::Outcome::NoAnswer:
        message = tr("Couldn't stop %1: no answer within %2 seconds. It may still stop.")
                      .arg(what)
                      .arg(std::chrono::ceil<std::chrono::seconds>(waited).count());
        break;
    case StopResult::Outcome::Unreachable:
        message = tr("Couldn't stop %1: there is no service manager or container engine to ask.")
                      .arg(what);
        break;
    case StopResult::Outcome::Failed:
        message = result.detail.isEmpty() ? tr("Couldn't stop %1.").arg(what)
                                          : tr("Couldn't stop %1: %2").arg(what, result.detail);
        break;
    }
    m_notice->showMessage(message);
}

bool PortListView::offersAdminEnd() const
{
    return m_stoppers.admin && m_stoppers.admin->isAvailable();
}

void PortListView::askAdminEnd(const ListeningPort& port, const QString& why)
{
    const QString owner = port.user().isEmpty()
                              ? tr("Port %1 belongs to another user.").arg(port.port())
                              : tr("Port %1 belongs to the user %2.")
                                    .arg(QString::number(port.port()), printableText(port.user()));
    m_notice->ask((why.isEmpty() ? owner : why) + u' ' +
                      tr("End its owner as administrator? The system asks for a password."),
                  tr("End as administrator…"), [this, port] { endAsAdmin(port); });
}

void PortListView::endAsAdmin(const ListeningPort& port)
{
    const auto number = quint16(port.port());
    m_notice->showMessage(tr("Freeing port %1 as administrator…").arg(number));
    m_stoppers.admin->freePort(number, this, [this, number](const AdminFree::Result& result) {
        switch (result.outcome) {
        case AdminFree::Result::Outcome::Done:
            m_notice->showMessage(
                result.lines.isEmpty()
                    ? tr("As administrator, port %1: tidewatch-ports said nothing (status %2).")
                          .arg(number)
                          .arg(result.exitCode)
                    : tr("As administrator: %1").arg(result.lines.join(u'\n')));
            m_scanner.scan();
            break;
        case AdminFree::Result::Outcome::Dismissed:
            m_notice->showMessage(
                tr("Nothing was ended: the authorization to free port %1 was dismissed or refused.")
                    .arg(number));
            break;
        case AdminFree::Result::Outcome::NotRun:
            m_notice->showMessage(
                tr("Couldn't free port %1 as administrator: pkexec could not run or did not "
                   "finish.")
                    .arg(number));
            break;
        }
    });
}

namespace {

// Which service manager may hold the port for a socket unit: the system's (pid 1, whose
// sockets only root can see: to others, a socket of root's that names no process) or a
// user's own ("systemd --user").
std::optional<UnitStopper::Manager> possibleManager(const ListeningPort& port)
{
    if (port.hasProcess() && port.processName() == u"systemd")
        return port.pid() == 1 ? UnitStopper::Manager::System : UnitStopper::Manager::User;
    if (!port.hasProcess() && (port.user() == u"root" || port.user() == u"0"))
        return UnitStopper::Manager::System;
    return std::nullopt;
}

} // namespace

void PortListView::findSocketUnits()
{
    if (!m_stoppers.units)
        return;
    QSet<ListeningPort::Key> candidates;
    for (const ListeningPort& port : m_scanner.ports()) {
        if (possibleManager(port))
            candidates.insert(port.key());
    }
    // Asked again only when such ports come or go.
    if (candidates == m_socketCandidates)
        return;
    m_socketCandidates = candidates;
    for (const auto manager : {UnitStopper::Manager::System, UnitStopper::Manager::User}) {
        const bool asked = std::any_of(
            m_scanner.ports().cbegin(), m_scanner.ports().cend(),
            [&](const ListeningPort& port) { return possibleManager(port) == manager; });
        if (!asked) {
            (manager == UnitStopper::Manager::System ? m_systemSockets : m_userSockets).clear();
            continue;
        }
        m_stoppers.units->findSocketUnits(
            manager, this, [this, manager](const QList<UnitStopper::SocketUnit>& found) {
                (manager == UnitStopper::Manager::System ? m_systemSockets : m_userSockets) = found;
                showSocketUnits();
            });
    }
    showSocketUnits();
}

std::optional<PortListView::HeldSocket> PortListView::heldSocket(const ListeningPort& port) const
{
    const std::optional<UnitStopper::Manager> manager = possibleManager(port);
    if (!manager)
        return std::nullopt;
    const QList<UnitStopper::SocketUnit>& sockets =
        *manager == UnitStopper::Manager::System ? m_systemSockets : m_userSockets;
    for (const UnitStopper::SocketUnit& socket : sockets) {
        if (socket.port == port.port() && socket.udp == port.isUdp())
            return HeldSocket{socket, *manager};
    }
    return std::nullopt;
}

void PortListView::showSocketUnits()
{
    QHash<ListeningPort::Key, QString> units;
    for (const ListeningPort& port : m_scanner.ports()) {
        if (const std::optional<HeldSocket> held = heldSocket(port))
            units.insert(port.key(), held->unit.unit);
    }
    m_model->setSocketUnits(units);
}

void PortListView::askStopSocket(const HeldSocket& held)
{
    const QString unit = printableText(held.unit.unit);
    const QString question =
        held.unit.triggers.isEmpty()
            ? tr("Port %1 is held by systemd for %2. Stop it?").arg(held.unit.port).arg(unit)
            : tr("Port %1 is held by systemd for %2, which starts %3. Stop them?")
                  .arg(QString::number(held.unit.port), unit,
                       printableText(held.unit.triggers.join(QLatin1String(", "))));
    m_notice->ask(question, tr("Stop %1").arg(unit), [this, held, unit] {
        // The socket first, so that nothing starts the service again.
        stopUnits(QStringList{held.unit.unit} + held.unit.triggers, held.manager, unit);
    });
}

void PortListView::setStoppers(const Stoppers& stoppers)
{
    m_stoppers = stoppers;
    m_list->setAdminEndOffered(offersAdminEnd());
    m_socketCandidates.clear();
    findSocketUnits();
}

PortListView::~PortListView() = default;

void PortListView::showNotice(const QString& message)
{
    m_notice->showMessage(message);
}

void PortListView::setSettingsWidget(QWidget* widget)
{
    while (QLayoutItem* item = m_settingsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (widget) {
        widget->setParent(this);
        m_settingsLayout->addWidget(widget);
        widget->show();
        // Reparenting put its controls at the end of the Tab chain, after the footer; Tab
        // follows the eye from the list, through the notice's buttons, down through them.
        QList<QWidget*> controls;
        for (QWidget* w = widget->nextInFocusChain(); widget->isAncestorOf(w);
             w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus)
                controls.append(w);
        }
        QWidget* previous = m_list;
        for (QWidget* w = m_notice->nextInFocusChain(); m_notice->isAncestorOf(w);
             w = w->nextInFocusChain())
            previous = w;
        for (QWidget* control : std::as_const(controls)) {
            setTabOrder(previous, control);
            previous = control;
        }
    }
    m_settingsDivider->setVisible(widget != nullptr);
}

void PortListView::openUrl(const QUrl& url)
{
    if (m_desktop.openUrl(url)) {
        m_notice->clear();
        return;
    }
    m_notice->showMessage(
        tr("Couldn't open %1: no application on this desktop took it. Copy the address "
           "from here and open it by hand.")
            .arg(url.toString()));
}

void PortListView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_notice->clear();
    // The panel opens again on the whole list.
    m_filterField->clear();
}

void PortListView::keyPressEvent(QKeyEvent* event)
{
    // What the list and the other controls leave reaches here.
    const QString text = event->text();
    const bool typed =
        !text.isEmpty() && text.front().isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (event->key() == Qt::Key_Escape && !m_filterField->text().isEmpty())
        m_filterField->clear();
    else if (event->key() == Qt::Key_Backspace && !m_filterField->text().isEmpty())
        m_filterField->backspace();
    else if (typed)
        m_filterField->insert(text);
    else
        return QWidget::keyPressEvent(event);
    event->accept();
}

bool PortListView::eventFilter(QObject* watched, QEvent* event)
{
    // From the filter field, the keys that pick and open a row go to the list, and the
    // focus goes with them, so that Delete then acts on the row rather than the text.
    if (watched == m_filterField && event->type() == QEvent::KeyPress && m_list->isVisible()) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_list->setFocus(Qt::OtherFocusReason);
            QCoreApplication::sendEvent(m_list, event);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PortListView::showPorts()
{
    const bool empty = m_model->rowCount() == 0;
    // The keys stay in the panel when the list empties (Qt would hand them to Refresh), and
    // go back to the list when rows come.
    if (empty && m_list->hasFocus())
        setFocus(Qt::OtherFocusReason);
    m_list->setVisible(!empty);
    m_emptyState->setVisible(empty);
    // "No listening ports" only when nothing listens at all; system ports that the filter
    // lets through are counted.
    const qsizetype hidden = empty ? m_model->hiddenSystemPorts() : 0;
    if (hidden == 1)
        m_emptyLabel->setText(tr("1 system port is hidden. Tick “System” to show it."));
    else if (hidden > 1)
        m_emptyLabel->setText(
            tr("%1 system ports are hidden. Tick “System” to show them.").arg(hidden));
    else if (!m_model->filterText().isEmpty())
        m_emptyLabel->setText(
            tr("No listening port matches “%1”.").arg(printableText(m_model->filterText())));
    else
        m_emptyLabel->setText(tr("No listening ports"));
    if (!empty && QApplication::focusWidget() == this)
        m_list->setFocus(Qt::OtherFocusReason);
}

void PortListView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    // The panel is given the focus only to pass it to its list. (Not a focus proxy: that
    // would put the list before "System" in the Tab order.)
    if (m_model->rowCount() > 0)
        m_list->setFocus(event->reason());
}

void PortListView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateColors();
}

void PortListView::updateColors()
{
    const QPalette& pal = palette();
    QPalette emptyPalette = m_emptyLabel->palette();
    emptyPalette.setColor(QPalette::WindowText, PanelStyle::secondary(pal));
    m_emptyLabel->setPalette(emptyPalette);
    QPalette fieldPalette = m_filterField->palette();
    fieldPalette.setColor(QPalette::PlaceholderText, PanelStyle::placeholder(pal));
    m_filterField->setPalette(fieldPalette);

    const QColor icon = PanelStyle::primary(pal);
    m_refreshButton->setIcon(PanelStyle::tintedIcon(QStringLiteral(":/icons/refresh.svg"), icon));
    m_tipButton->setIcon(PanelStyle::tintedIcon(QStringLiteral(":/icons/heart.svg"), icon));
    m_contactButton->setIcon(PanelStyle::tintedIcon(QStringLiteral(":/icons/envelope.svg"), icon));
}
