#pragma once

#include <QList>
#include <QObject>

class QSocketNotifier;

// Hands the given POSIX signals to the event loop as received(), instead of their default
// action: a program can then end its children first (the app its ssh forwards and kept
// connections, the command-line tool its listers) and quit in order. The default actions
// are back once it is destroyed. One at a time per program.
class SignalNotifier : public QObject
{
    Q_OBJECT

public:
    explicit SignalNotifier(const QList<int>& signalNumbers, QObject* parent = nullptr);
    ~SignalNotifier() override;

    // False when the signals could not be caught (they then act as before).
    bool isActive() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    QList<int> m_signals;
    QSocketNotifier* m_notifier = nullptr;
};
