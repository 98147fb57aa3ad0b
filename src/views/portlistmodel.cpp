#include "portlistmodel.h"

#include "displaytext.h"
#include "processdetails.h"

PortListModel::PortListModel(QObject* parent) : QAbstractListModel(parent) {}

int PortListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_visible.size());
}

QVariant PortListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ListeningPort& port = m_visible.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return printableText(port.processName());
    case Qt::AccessibleTextRole: {
        // A screen reader gets the whole row, the port first, as the eye reads it.
        const QString name = printableText(port.processName());
        const QString pid = tr("PID %1").arg(port.pid());
        return name.isEmpty() ? tr("Port %1, %2").arg(port.port()).arg(pid)
                              : tr("Port %1, %2, %3").arg(port.port()).arg(name, pid);
    }
    case PortTextRole:
        return QString::number(port.port());
    case PidTextRole:
        return tr("PID %1").arg(port.pid());
    case HoveredRole:
        return index.row() == m_hoveredRow;
    case Qt::ToolTipRole: {
        // Read now, not on every scan: the user asked about this one process.
        const ProcessDetails details = readProcessDetails(port.pid());
        QString text = port.processName();
        if (!details.commandLine.isEmpty())
            text += QLatin1Char('\n') + tr("Command: %1").arg(details.commandLine);
        if (!details.workingFolder.isEmpty())
            text += QLatin1Char('\n') + tr("Folder: %1").arg(details.workingFolder);
        return plainTextToolTip(text);
    }
    default:
        return {};
    }
}

void PortListModel::setPorts(const QList<ListeningPort>& ports)
{
    m_all = ports;
    refilter();
}

void PortListModel::setShowSystemPorts(bool show)
{
    if (m_showSystemPorts == show)
        return;
    m_showSystemPorts = show;
    refilter();
}

void PortListModel::refilter()
{
    QList<ListeningPort> visible;
    if (m_showSystemPorts) {
        visible = m_all;
    } else {
        visible.reserve(m_all.size());
        for (const ListeningPort& port : std::as_const(m_all)) {
            if (!port.isSystem())
                visible.append(port);
        }
    }
    // Most refreshes publish the same list again.
    if (visible == m_visible)
        return;

    // The hovered row follows its record by identity (port and pid make the id).
    int hovered = -1;
    if (m_hoveredRow >= 0) {
        const ListeningPort& old = m_visible.at(m_hoveredRow);
        for (qsizetype row = 0; row < visible.size(); ++row) {
            if (visible.at(row).port() == old.port() && visible.at(row).pid() == old.pid()) {
                hovered = static_cast<int>(row);
                break;
            }
        }
        if (hovered < 0 && m_hoverSource == HoverSource::Keyboard && !visible.isEmpty())
            hovered = static_cast<int>(qMin<qsizetype>(m_hoveredRow, visible.size() - 1));
    }
    if (hovered < 0)
        m_hoverSource = HoverSource::Pointer;

    beginResetModel();
    m_visible = std::move(visible);
    const int previous = m_hoveredRow;
    m_hoveredRow = hovered;
    endResetModel();
    if (hovered != previous || hovered >= 0)
        Q_EMIT hoveredRowChanged(hovered, previous);
}

std::optional<QString> PortListModel::hoveredId() const
{
    if (m_hoveredRow < 0)
        return std::nullopt;
    return m_visible.at(m_hoveredRow).id();
}

void PortListModel::setHoveredRow(int row, HoverSource source)
{
    if (row < 0 || row >= m_visible.size())
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
