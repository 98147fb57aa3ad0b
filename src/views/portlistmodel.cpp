#include "portlistmodel.h"

#include "displaytext.h"
#include "porturl.h"
#include "processdetails.h"

#include <QLocale>

#include <algorithm>

PortListModel::PortListModel(const ProcessDetailsProvider& details, QObject* parent)
    : QAbstractListModel(parent), m_details(details)
{}

QString PortListModel::exposureText(const ListeningPort& port)
{
    switch (port.exposure()) {
    case ListeningPort::Exposure::Loopback:
        return tr("loopback");
    case ListeningPort::Exposure::AllInterfaces:
        return tr("all interfaces");
    case ListeningPort::Exposure::Specific:
        return printableText(port.addresses().join(QLatin1String(", ")));
    case ListeningPort::Exposure::Unknown:
        break;
    }
    return {};
}

QString PortListModel::runningSinceText(const QDateTime& started, const QDateTime& now)
{
    const QDateTime local = started.toLocalTime();
    const QLocale locale;
    const QString when = local.date() == now.toLocalTime().date()
                             ? locale.toString(local.time(), QLocale::ShortFormat)
                             : locale.toString(local, QLocale::ShortFormat);
    const qint64 minutes = std::max<qint64>(0, started.secsTo(now) / 60);
    QString duration;
    if (minutes >= 24 * 60)
        duration = tr("%1 d %2 h").arg(minutes / (24 * 60)).arg(minutes / 60 % 24);
    else if (minutes >= 60)
        duration = tr("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
    else
        duration = tr("%1 min").arg(minutes);
    return tr("Running since %1 (%2)").arg(when, duration);
}

int PortListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_visible.size() + m_remoteRows.size());
}

// What a row says of a record and its owner, alike for this machine's and another's.
QVariant PortListModel::ownerData(const ListeningPort& port, int role)
{
    // Another user's socket names its user; a source that gave no pid and no user (lsof
    // can) shows the record as it came.
    const bool isOthers = !port.hasProcess() && !port.user().isEmpty();
    switch (role) {
    case Qt::DisplayRole:
        return isOthers ? tr("owned by %1").arg(printableText(port.user()))
                        : printableText(port.displayName());
    case PortTextRole:
        return QString::number(port.port());
    case ProtocolTextRole:
        return port.isUdp() ? QStringLiteral("UDP") : QString();
    case PidTextRole: {
        // Where the owner runs, after its pid: "PID 4321 · nginx.service"; then who is
        // connected, where anyone is.
        QStringList parts;
        if (!isOthers) {
            parts.append(tr("PID %1").arg(port.pid()));
            if (!port.unit().isEmpty())
                parts.append(printableText(port.unit()));
            if (!port.container().isEmpty())
                parts.append(tr("container %1").arg(printableText(port.container())));
        }
        if (port.connections().value_or(0) > 0)
            parts.append(*port.connections() == 1 ? tr("1 connection")
                                                  : tr("%1 connections").arg(*port.connections()));
        return parts.join(QStringLiteral(" · "));
    }
    case ExposureTextRole:
        return exposureText(port);
    case ExposureRole:
        return int(port.exposure());
    case RowKindRole:
        return int(RowKind::Local);
    default:
        return {};
    }
}

QVariant PortListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == HoveredRole)
        return index.row() == m_hoveredRow;
    if (role == Qt::AccessibleTextRole) {
        // A screen reader gets the whole row, the port first, as the eye reads it.
        const RowKind kind = rowKind(index.row());
        const ListeningPort& port = portAt(index.row());
        QStringList parts;
        if (kind != RowKind::Host)
            parts.append(port.isUdp() ? tr("UDP port %1").arg(port.port())
                                      : tr("Port %1").arg(port.port()));
        for (const int role : {int(Qt::DisplayRole), int(HostStateRole), int(RetryTextRole),
                               int(PidTextRole), int(ExposureTextRole), int(ForwardTextRole)}) {
            if (const QString text = data(index, role).toString(); !text.isEmpty())
                parts.append(text);
        }
        if (kind == RowKind::Remote)
            parts.append(tr("on %1").arg(printableText(hostAt(index.row()))));
        if (data(index, AppearedRole).toBool())
            parts.append(tr("just started"));
        return parts.join(QLatin1String(", "));
    }
    if (index.row() >= m_visible.size())
        return remoteData(m_remoteRows.at(index.row() - m_visible.size()), role);
    const ListeningPort& port = m_visible.at(index.row());
    const bool isOthers = !port.hasProcess() && !port.user().isEmpty();
    switch (role) {
    case Qt::DisplayRole:
        // A port the service manager holds for a socket unit is that unit's.
        if (const QString unit = m_socketUnits.value(port.key()); !unit.isEmpty())
            return tr("systemd, for %1").arg(printableText(unit));
        break;
    case StillRunningRole:
        return m_stillRunning.contains(port.key());
    case AppearedRole:
        return index.row() < m_visibleAppeared.size() && m_visibleAppeared.at(index.row());
    case Qt::ToolTipRole: {
        const QString connections =
            port.connections() ? tr("Connections: %1").arg(*port.connections()) : QString();
        if (isOthers) {
            const QString text =
                tr("The process listening here belongs to another user (%1): its name "
                   "can't be read, and it can't be ended from here.")
                    .arg(port.user());
            return plainTextToolTip(connections.isEmpty() ? text
                                                          : text + QLatin1Char('\n') + connections);
        }
        // Read now, not on every scan: the user asked about this one process.
        const ProcessDetails details = m_details.read(port.owner(), CommandLineLength::Summary);
        QString text = port.displayName();
        if (!port.unit().isEmpty())
            text += QLatin1Char('\n') + tr("Service: %1").arg(port.unit());
        if (!port.container().isEmpty())
            text += QLatin1Char('\n') + tr("Container: %1").arg(port.container());
        if (!details.commandLine.isEmpty())
            text += QLatin1Char('\n') + tr("Command: %1").arg(details.commandLine);
        if (!details.workingFolder.isEmpty())
            text += QLatin1Char('\n') + tr("Folder: %1").arg(details.workingFolder);
        if (!port.addresses().isEmpty())
            text += QLatin1Char('\n') +
                    tr("Listening on: %1").arg(port.addresses().join(QLatin1String(", ")));
        if (const auto started = processStartedAt(port.startTime()))
            text += QLatin1Char('\n') + runningSinceText(*started, QDateTime::currentDateTimeUtc());
        if (!connections.isEmpty())
            text += QLatin1Char('\n') + connections;
        return plainTextToolTip(text);
    }
    default:
        break;
    }
    return ownerData(port, role);
}

QVariant PortListModel::remoteData(const RemoteRow& row, int role) const
{
    const RemoteSection& section = m_shownSections.at(row.section);
    if (row.port < 0) {
        QString state;
        switch (section.state) {
        case RemoteSection::State::Connecting:
            state = tr("connecting…");
            break;
        case RemoteSection::State::Listed:
            state = section.ports.size() == 1 ? tr("1 listening port")
                                              : tr("%1 listening ports").arg(section.ports.size());
            break;
        case RemoteSection::State::Unreachable:
            state = (section.lost ? tr("connection lost: %1") : tr("unreachable: %1"))
                        .arg(printableText(section.reason));
            break;
        }
        switch (role) {
        case Qt::DisplayRole:
            return printableText(section.host);
        case HostStateRole:
            return state;
        case UnreachableRole:
            return section.state == RemoteSection::State::Unreachable;
        case RetryTextRole:
            // The backoff, in sight: the reason may be too long to show whole.
            if (section.state != RemoteSection::State::Unreachable || !section.nextTry.isValid())
                return QString();
            return tr("next try %1").arg(section.nextTry.time().toString(u"HH:mm:ss"));
        case RowKindRole:
            return int(RowKind::Host);
        case Qt::ToolTipRole: {
            QString text = section.host + QLatin1Char('\n') + state;
            if (const QString retry = remoteData(row, RetryTextRole).toString(); !retry.isEmpty())
                text += QLatin1Char('\n') + retry;
            return plainTextToolTip(text);
        }
        default:
            return {};
        }
    }
    const ListeningPort& port = section.ports.at(row.port);
    const auto forward = section.forwards.find(port.port());
    const bool forwarded = forward != section.forwards.end() && !port.isUdp();
    // ss on the other side names only its own user's processes, and no user for the rest.
    const bool unseen = !port.hasProcess() && port.user().isEmpty();
    switch (role) {
    case RowKindRole:
        return int(RowKind::Remote);
    case Qt::DisplayRole:
        if (unseen && port.processName().isEmpty())
            return tr("another user's process");
        break;
    case PidTextRole:
        if (unseen)
            return QString();
        break;
    case ForwardTextRole:
        if (!forwarded)
            return QString();
        return forward->running ? tr("→ localhost:%1").arg(forward->localPort)
                                : tr("forward ended: %1").arg(forward->reason);
    case ForwardEndedRole:
        return forwarded && !forward->running;
    case Qt::ToolTipRole: {
        // Nothing here is read of this machine's processes: the pid is another machine's.
        QString text = ownerData(port, Qt::DisplayRole).toString() + QLatin1Char('\n') +
                       tr("On %1").arg(section.host);
        if (!port.unit().isEmpty())
            text += QLatin1Char('\n') + tr("Service: %1").arg(port.unit());
        if (!port.container().isEmpty())
            text += QLatin1Char('\n') + tr("Container: %1").arg(port.container());
        if (!port.addresses().isEmpty())
            text += QLatin1Char('\n') +
                    tr("Listening on: %1").arg(port.addresses().join(QLatin1String(", ")));
        if (forwarded)
            text += QLatin1Char('\n') + remoteData(row, ForwardTextRole).toString();
        return plainTextToolTip(text);
    }
    default:
        break;
    }
    return ownerData(port, role);
}

const ListeningPort& PortListModel::portAt(int row) const
{
    static const ListeningPort none(0, 0, {});
    if (row < m_visible.size())
        return m_visible.at(row);
    const RemoteRow& remote = m_remoteRows.at(row - m_visible.size());
    return remote.port < 0 ? none : m_shownSections.at(remote.section).ports.at(remote.port);
}

PortListModel::RowKind PortListModel::rowKind(int row) const
{
    if (row < m_visible.size())
        return RowKind::Local;
    return m_remoteRows.at(row - m_visible.size()).port < 0 ? RowKind::Host : RowKind::Remote;
}

QString PortListModel::hostAt(int row) const
{
    if (row < m_visible.size())
        return {};
    return m_shownSections.at(m_remoteRows.at(row - m_visible.size()).section).host;
}

std::optional<ForwardState> PortListModel::forwardAt(int row) const
{
    if (row < 0 || row >= rowCount() || rowKind(row) != RowKind::Remote)
        return {};
    const RemoteRow& remote = m_remoteRows.at(row - m_visible.size());
    const RemoteSection& section = m_shownSections.at(remote.section);
    const auto it = section.forwards.find(section.ports.at(remote.port).port());
    return it == section.forwards.end() ? std::nullopt : std::optional(*it);
}

QUrl PortListModel::urlAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    switch (rowKind(row)) {
    case RowKind::Local:
        return browserUrl(portAt(row));
    case RowKind::Host:
        return {};
    case RowKind::Remote:
        break;
    }
    // Another machine's port opens through its forward, and only while that runs.
    const auto forward = forwardAt(row);
    if (portAt(row).isUdp() || !forward || !forward->running)
        return {};
    return QUrl(QStringLiteral("http://localhost:%1").arg(forward->localPort));
}

PortListModel::RowKey PortListModel::rowKey(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    if (row < m_visible.size())
        return {{}, false, m_visible.at(row).key()};
    return m_remoteRows.at(row - m_visible.size()).key;
}

void PortListModel::setRemoteSections(const QList<RemoteSection>& sections)
{
    if (sections == m_sections)
        return;
    m_sections = sections;
    refilter();
}

void PortListModel::setPorts(const QList<ListeningPort>& ports)
{
    // A source hands back the very list it gave last time when nothing changed. With no
    // marks to clear that is nothing to do, and it is what a tray at rest does all day: a
    // pass over a thousand records on every scan would cost more than the scan.
    if (m_hasList && ports.isSharedWith(m_all) && m_allAppeared.isEmpty())
        return;
    // What was not there before stands out until the next list. Most lists are the last one
    // again, often the very same data.
    QList<bool> appeared;
    if (m_hasList && ports != m_all) {
        QSet<ListeningPort::Key> before;
        before.reserve(m_all.size());
        for (const ListeningPort& port : std::as_const(m_all))
            before.insert(port.key());
        appeared.reserve(ports.size());
        for (const ListeningPort& port : ports)
            appeared.append(!before.contains(port.key()));
        if (!appeared.contains(true))
            appeared.clear();
    }
    const bool marksChange = !appeared.isEmpty() || !m_allAppeared.isEmpty();
    m_hasList = true;
    m_allAppeared = std::move(appeared);
    m_all = ports;
    if (!refilter() && marksChange && !m_visible.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_visible.size()) - 1), {AppearedRole});
}

void PortListModel::setFilterText(const QString& text)
{
    const QStringList terms = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (terms == m_filterTerms)
        return;
    m_filterTerms = terms;
    refilter(false);
}

bool PortListModel::matchesFilter(const ListeningPort& port, const QStringList& terms)
{
    if (terms.isEmpty())
        return true;
    const QString number = QString::number(port.port());
    const QString pid = port.hasProcess() ? QString::number(port.pid()) : QString();
    const QStringView fields[] = {number,      pid,         port.processName(), port.program(),
                                  port.user(), port.unit(), port.container()};
    return std::all_of(terms.cbegin(), terms.cend(), [&](const QString& term) {
        // "udp" and "tcp" as whole words ask for the protocol.
        for (const auto& [name, udp] : {std::pair(u"udp", true), std::pair(u"tcp", false)}) {
            if (term.compare(name, Qt::CaseInsensitive) == 0)
                return port.isUdp() == udp;
        }
        return std::any_of(std::cbegin(fields), std::cend(fields), [&](QStringView field) {
            return field.contains(term, Qt::CaseInsensitive);
        });
    });
}

bool PortListModel::isShown(const ListeningPort& port) const
{
    return (m_showSystemPorts || !port.isSystem()) && matchesFilter(port, m_filterTerms);
}

qsizetype PortListModel::hiddenSystemPorts() const
{
    if (m_showSystemPorts)
        return 0;
    return std::count_if(m_all.cbegin(), m_all.cend(), [&](const ListeningPort& port) {
        return port.isSystem() && matchesFilter(port, m_filterTerms);
    });
}

void PortListModel::setStillRunning(const QSet<ListeningPort::Key>& keys)
{
    if (keys == m_stillRunning)
        return;
    m_stillRunning = keys;
    if (!m_visible.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_visible.size()) - 1), {StillRunningRole});
}

void PortListModel::setSocketUnits(const QHash<ListeningPort::Key, QString>& units)
{
    if (units == m_socketUnits)
        return;
    m_socketUnits = units;
    if (!m_visible.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_visible.size()) - 1), {Qt::DisplayRole});
}

void PortListModel::setShowSystemPorts(bool show)
{
    if (m_showSystemPorts == show)
        return;
    m_showSystemPorts = show;
    refilter();
}

bool PortListModel::refilter(bool keepPlace)
{
    QList<ListeningPort> visible;
    QList<bool> appeared;
    if (m_showSystemPorts && m_filterTerms.isEmpty()) {
        visible = m_all;
        appeared = m_allAppeared;
    } else {
        visible.reserve(m_all.size());
        for (qsizetype i = 0; i < m_all.size(); ++i) {
            if (!isShown(m_all.at(i)))
                continue;
            visible.append(m_all.at(i));
            if (!m_allAppeared.isEmpty())
                appeared.append(m_allAppeared.at(i));
        }
    }
    m_visibleAppeared = std::move(appeared);
    // Each machine's header stays, whatever the filter leaves of its records.
    QList<RemoteRow> remote;
    for (qsizetype s = 0; s < m_sections.size(); ++s) {
        const RemoteSection& section = m_sections.at(s);
        remote.append({s, -1, {section.host, true, {}}});
        for (qsizetype p = 0; p < section.ports.size(); ++p) {
            if (isShown(section.ports.at(p)))
                remote.append({s, p, {section.host, false, section.ports.at(p).key()}});
        }
    }
    // Most refreshes publish the same list again; a machine's new state or forward is a
    // change of its rows' data only.
    if (visible == m_visible && remote == m_remoteRows) {
        if (m_shownSections == m_sections)
            return false;
        m_shownSections = m_sections;
        Q_EMIT dataChanged(index(int(m_visible.size())), index(rowCount() - 1));
        return false;
    }

    // The hovered row follows its record by its key.
    int hovered = -1;
    if (m_hoveredRow >= 0) {
        const RowKey old = rowKey(m_hoveredRow);
        for (qsizetype row = 0; row < visible.size() && hovered < 0; ++row) {
            if (old.host.isEmpty() && visible.at(row).key() == old.port)
                hovered = static_cast<int>(row);
        }
        for (qsizetype row = 0; row < remote.size() && hovered < 0; ++row) {
            if (remote.at(row).key == old)
                hovered = static_cast<int>(visible.size() + row);
        }
        const qsizetype rows = visible.size() + remote.size();
        if (hovered < 0 && keepPlace && m_hoverSource == HoverSource::Keyboard && rows > 0)
            hovered = static_cast<int>(qMin<qsizetype>(m_hoveredRow, rows - 1));
    }
    if (hovered < 0)
        m_hoverSource = HoverSource::Pointer;

    beginResetModel();
    m_visible = std::move(visible);
    m_remoteRows = std::move(remote);
    m_shownSections = m_sections;
    const int previous = m_hoveredRow;
    m_hoveredRow = hovered;
    endResetModel();
    if (hovered != previous || hovered >= 0)
        Q_EMIT hoveredRowChanged(hovered, previous);
    return true;
}

void PortListModel::setHoveredRow(int row, HoverSource source)
{
    if (row < 0 || row >= rowCount())
        row = -1;
    m_hoverSource = row < 0 ? HoverSource::Pointer : source;
    if (row == m_hoveredRow)
        return;
    const int previous = m_hoveredRow;
    m_hoveredRow = row;
    if (previous >= 0)
        Q_EMIT dataChanged(index(previous), index(previous), {HoveredRole});
    if (row >= 0)
        Q_EMIT dataChanged(index(row), index(row), {HoveredRole});
    Q_EMIT hoveredRowChanged(row, previous);
}
