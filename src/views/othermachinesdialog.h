#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QListWidget;

// "Other machines…": which hosts the panel watches over ssh. Offers the hosts the user's
// ssh configuration names, and takes others typed in (a name, an alias or user@host). A
// typed host that ssh would read as an option (a leading `-`), or that holds blanks or
// control characters, is refused, and the dialog says why.
class OtherMachinesDialog : public QDialog
{
    Q_OBJECT

public:
    OtherMachinesDialog(const QStringList& configured, const QStringList& watched,
                        QWidget* parent = nullptr);

    // The hosts ticked, in the list's order.
    QStringList hosts() const;

    // Why the text can't be a host; empty when it can.
    static QString hostFault(const QString& host);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addHost(const QString& host, bool checked);
    void addTyped();

    QListWidget* m_list;
    QLineEdit* m_field;
    QLabel* m_fault;
};
