#include "metricstext.h"

#include "portsoutput.h"

#include <QHash>

#include <optional>

namespace {

QByteArray exposureLabel(const ListeningPort& port)
{
    switch (port.exposure()) {
    case ListeningPort::Exposure::Loopback:
        return "loopback";
    case ListeningPort::Exposure::AllInterfaces:
        return "all";
    case ListeningPort::Exposure::Specific:
        return "address";
    case ListeningPort::Exposure::Unknown:
        break;
    }
    return {};
}

QByteArray label(const char* name, const QByteArray& escapedValue)
{
    return QByteArray(name) + "=\"" + escapedValue + '"';
}

// Series in the order they first come, with the values of equal label sets added up.
class Family
{
public:
    void add(const QByteArray& labels, qint64 value)
    {
        const auto at = m_index.constFind(labels);
        if (at != m_index.cend()) {
            m_series[*at].second += value;
            return;
        }
        m_index.insert(labels, m_series.size());
        m_series.append({labels, value});
    }

    QByteArray text(const char* name, const char* help) const
    {
        QByteArray out = QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n";
        for (const auto& [labels, value] : m_series)
            out += name + ('{' + labels + "} ") + QByteArray::number(value) + '\n';
        return out;
    }

private:
    QList<std::pair<QByteArray, qint64>> m_series;
    QHash<QByteArray, qsizetype> m_index;
};

} // namespace

QByteArray escapeLabelValue(const QString& value)
{
    QByteArray out;
    for (const char c : value.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray formatMetrics(const QList<ListeningPort>& ports, const QByteArrayList& protocols,
                         double scanSeconds)
{
    Family listening, counts, connections;
    for (const QByteArray& protocol : protocols)
        counts.add(label("protocol", protocol), 0);
    for (const ListeningPort& port : ports) {
        const QByteArray portAndProtocol = label("port", QByteArray::number(port.port())) + ',' +
                                           label("protocol", protocolName(port));
        listening.add(portAndProtocol + ',' +
                          label("program", escapeLabelValue(port.displayName())) + ',' +
                          label("user", escapeLabelValue(port.user())) + ',' +
                          label("unit", escapeLabelValue(port.unit())) + ',' +
                          label("container", escapeLabelValue(port.container())) + ',' +
                          label("exposure", exposureLabel(port)),
                      1);
        counts.add(label("protocol", protocolName(port)), 1);
        if (const auto connected = port.connections())
            connections.add(portAndProtocol, *connected);
    }
    return listening.text("tidewatch_listening",
                          "A port that listens, by owner: the number of its records (1 unless "
                          "processes that differ only by pid share it).") +
           counts.text("tidewatch_listening_ports", "Listening ports (records), by protocol.") +
           connections.text("tidewatch_connections",
                            "Established connections to a listening port, where counted.") +
           "# HELP tidewatch_scan_duration_seconds How long the scan took.\n"
           "# TYPE tidewatch_scan_duration_seconds gauge\n"
           "tidewatch_scan_duration_seconds " +
           QByteArray::number(scanSeconds, 'f', 6) + '\n';
}
