#include "othermachinesdialog.h"

#include "panelstyle.h"
#include "printabletext.h"
#include "sshcommand.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

OtherMachinesDialog::OtherMachinesDialog(const QStringList& configured, const QStringList& watched,
                                         QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_field(new QLineEdit(this)),
      m_fault(new QLabel(this))
{
    setObjectName(QStringLiteral("otherMachinesDialog"));
    setWindowTitle(tr("Other Machines"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Show the listening ports of these machines too, read over ssh "
                                "with your own configuration and keys:"),
                             this);
    intro->setWordWrap(true);
    intro->setTextFormat(Qt::PlainText);
    layout->addWidget(intro);

    m_list->setObjectName(QStringLiteral("hostList"));
    m_list->setAccessibleName(tr("Machines"));
    // As in the panel: an unticked box stays visible on a dark palette.
    PanelStyle::outlineIndicators(m_list);
    layout->addWidget(m_list);
    // Those watched first, in their order; then the rest of the configuration's.
    for (const QString& host : watched)
        addHost(host, true);
    for (const QString& host : configured)
        addHost(host, false);
    if (configured.isEmpty()) {
        auto* none = new QLabel(tr("~/.ssh/config names no hosts (wildcard patterns are "
                                   "left out); type one below."),
                                this);
        none->setWordWrap(true);
        none->setTextFormat(Qt::PlainText);
        layout->addWidget(none);
    }

    auto* addRow = new QHBoxLayout;
    m_field->setObjectName(QStringLiteral("hostField"));
    m_field->setPlaceholderText(tr("host, alias or user@host"));
    m_field->setAccessibleName(tr("Host to add"));
    m_field->setMaxLength(255);
    QPalette fieldPalette = m_field->palette();
    fieldPalette.setColor(QPalette::PlaceholderText, PanelStyle::placeholder(palette()));
    m_field->setPalette(fieldPalette);
    auto* add = new QPushButton(tr("Add"), this);
    add->setObjectName(QStringLiteral("addHostButton"));
    add->setAutoDefault(false);
    addRow->addWidget(m_field, 1);
    addRow->addWidget(add);
    layout->addLayout(addRow);

    m_fault->setObjectName(QStringLiteral("hostFault"));
    m_fault->setTextFormat(Qt::PlainText);
    m_fault->setWordWrap(true);
    QPalette faultPalette = m_fault->palette();
    faultPalette.setColor(
        QPalette::WindowText,
        PanelStyle::legible(PanelStyle::red(palette()), palette().color(QPalette::Window)));
    m_fault->setPalette(faultPalette);
    m_fault->hide();
    layout->addWidget(m_fault);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add, &QPushButton::clicked, this, &OtherMachinesDialog::addTyped);
    m_field->installEventFilter(this);
    resize(360, sizeHint().height());
}

QString OtherMachinesDialog::hostFault(const QString& host)
{
    if (host.isEmpty())
        return tr("Type a host name.");
    if (host.startsWith(u'-'))
        return tr("A host can't begin with “-”: ssh would take it for an option.");
    if (!SshCommand::isUsableHost(host))
        return tr("A host can't hold blanks or control characters.");
    return {};
}

void OtherMachinesDialog::addHost(const QString& host, bool checked)
{
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->data(Qt::UserRole).toString().compare(host, Qt::CaseInsensitive) ==
            0) {
            if (checked)
                m_list->item(i)->setCheckState(Qt::Checked);
            return;
        }
    }
    // The name is outside text: shown plainly, kept as it came.
    auto* item = new QListWidgetItem(printableText(host), m_list);
    item->setData(Qt::UserRole, host);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void OtherMachinesDialog::addTyped()
{
    const QString host = m_field->text().trimmed();
    const QString fault = hostFault(host);
    m_fault->setText(fault);
    m_fault->setVisible(!fault.isEmpty());
    if (!fault.isEmpty())
        return;
    addHost(host, true);
    m_field->clear();
}

bool OtherMachinesDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Return in the field adds the host (or says why not); it must not also press OK.
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            addTyped();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QStringList OtherMachinesDialog::hosts() const
{
    QStringList hosts;
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->checkState() == Qt::Checked)
            hosts.append(m_list->item(i)->data(Qt::UserRole).toString());
    }
    return hosts;
}
