#pragma once

#include "listeningport.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <optional>

class DesktopServices;
class PortScanner;
class QSettings;

// Tells the desktop when a port starts or stops listening, while the user asks for it (off
// until then; the choice is kept in the preferences). A port counts by its number: a server
// that restarts between two scans, or a second process on the same port, says nothing. The
// first list after start is where it starts from, so nothing fires for it.
class PortChangeNotifier : public QObject
{
    Q_OBJECT

public:
    PortChangeNotifier(PortScanner& scanner, DesktopServices& desktop, QSettings& preferences,
                       QObject* parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    // Ticked, it asks whether the desktop has a notification service.
    void setEnabled(bool enabled);

    // One message per port that started or stopped listening from one list to the next
    // ("Port 5173 is now listening — vite"), started ones first; beyond maxMessages changes,
    // one message that counts them, so a scan never floods the desktop.
    static QStringList messagesFor(const QList<ListeningPort>& before,
                                   const QList<ListeningPort>& after);

    static constexpr int maxMessages = 3;
    static constexpr auto settingsKey = "notifyOnPortChanges";

Q_SIGNALS:
    // No notification service took a notice, or none is there: said once each time the
    // setting is ticked, and once for notices that fail after start.
    void unavailable(const QString& message);

private:
    void onPortsChanged();
    void onFailure();

    PortScanner& m_scanner;
    DesktopServices& m_desktop;
    QSettings& m_preferences;
    bool m_enabled = false;
    bool m_toldUnavailable = false;
    std::optional<QList<ListeningPort>> m_last; // none until the first scan
};
