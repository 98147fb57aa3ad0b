#include "portlistview.h"

#include "applicationinfo.h"
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
        showPorts();
    });
}

void PortListView::requestKill(const ListeningPort& port, bool force)
{
    // Another user's socket: nothing here may end it.
    if (!port.hasProcess())
        return;
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
    // Another user's socket names no process: nothing to copy of it, nothing to end.
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
                        PortScanner::KillMode mode)
{
    const QString who = tr("“%1” (PID %2)").arg(printableText(port.displayName())).arg(port.pid());
    switch (m_scanner.kill(port, process, mode)) {
    case SignalOutcome::Sent:
        m_notice->clear();
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
        // follows the eye from the list down through them.
        QList<QWidget*> controls;
        for (QWidget* w = widget->nextInFocusChain(); widget->isAncestorOf(w);
             w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus)
                controls.append(w);
        }
        QWidget* previous = m_list;
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
