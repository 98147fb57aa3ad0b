#pragma once

#include <QObject>

class QSocketNotifier;

// Quits the application, as its Quit does, on SIGTERM, SIGINT or SIGHUP (a session that
// ends, Ctrl+C in a terminal): the destructors then end the forwards' ssh and close the kept
// connections, which a plain death from the signal would leave running. One per program.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    // False when the signals could not be caught (they then end the program as before).
    bool isActive() const { return m_notifier != nullptr; }

private:
    QSocketNotifier* m_notifier = nullptr;
};
