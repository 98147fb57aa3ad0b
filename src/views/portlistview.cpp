#include "portlistview.h"

#include "applicationinfo.h"
#include "desktopservices.h"
#include "panelstyle.h"
#include "portlist.h"
#include "portlistmodel.h"
#include "portscanner.h"
#include "porturl.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QFrame* makeDivider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    line->setFixedHeight(1);
    return line;
}

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
                           const ApplicationInfo& info, QWidget* parent)
    : QWidget(parent), m_scanner(scanner), m_desktop(desktop), m_tipUrl(strictUrl(info.tipUrl)),
      m_contactUrl(strictUrl(info.contactUrl)), m_model(new PortListModel(this))
{
    setObjectName(QStringLiteral("portListView"));
    setFixedWidth(panelWidth);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Header
    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 8, 12, 8);
    auto* title = new QLabel(tr("Tidewatch"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setTextFormat(Qt::PlainText);
    title->setFont(PanelStyle::headlineFont());
    m_systemCheckBox = new QCheckBox(tr("System"), this);
    m_systemCheckBox->setObjectName(QStringLiteral("systemCheckBox"));
    m_systemCheckBox->setFont(PanelStyle::captionFont());
    m_systemCheckBox->setToolTip(tr("Show ports below 1024"));
    m_systemCheckBox->setChecked(false);
    header->addWidget(title);
    header->addStretch();
    header->addWidget(m_systemCheckBox);
    root->addLayout(header);
    root->addWidget(makeDivider(this));

    // The list, or the line that says it is empty.
    m_list = new PortList(m_model, this);
    m_emptyLabel = new QLabel(tr("No listening ports"));
    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    m_emptyLabel->setTextFormat(Qt::PlainText);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyState = new QWidget(this);
    auto* emptyLayout = new QVBoxLayout(m_emptyState);
    emptyLayout->setContentsMargins(0, 24, 0, 24);
    emptyLayout->addWidget(m_emptyLabel);
    root->addWidget(m_list);
    root->addWidget(m_emptyState);
    root->addWidget(makeDivider(this));

    // Settings block: empty until someone puts one there.
    m_settingsLayout = new QVBoxLayout;
    m_settingsLayout->setContentsMargins(0, 0, 0, 0);
    m_settingsLayout->setSpacing(0);
    root->addLayout(m_settingsLayout);
    m_settingsDivider = makeDivider(this);
    m_settingsDivider->hide();
    root->addWidget(m_settingsDivider);

    // Footer
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
    auto* quitButton = makeFooterButton(this, QStringLiteral("quitButton"));
    quitButton->setText(tr("Quit"));
    quitButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    footer->addWidget(m_refreshButton);
    footer->addStretch();
    footer->addWidget(m_tipButton);
    footer->addWidget(m_contactButton);
    footer->addWidget(quitButton);
    root->addLayout(footer);

    updateColors();

    connect(m_systemCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        m_model->setShowSystemPorts(checked);
        showPorts();
    });
    connect(m_refreshButton, &QToolButton::clicked, this, [this] { m_scanner.scan(); });
    connect(m_tipButton, &QToolButton::clicked, this, [this] { m_desktop.openUrl(m_tipUrl); });
    connect(m_contactButton, &QToolButton::clicked, this,
            [this] { m_desktop.openUrl(m_contactUrl); });
    connect(quitButton, &QToolButton::clicked, this, [this] { m_desktop.terminate(); });
    connect(m_list, &PortList::openRequested, this, [this](const ListeningPort& port) {
        if (const QUrl url = browserUrl(port); url.isValid())
            m_desktop.openUrl(url);
    });
    connect(m_list, &PortList::killRequested, this, [this](const ListeningPort& port, bool force) {
        m_scanner.kill(port, force ? PortScanner::KillMode::Force : PortScanner::KillMode::Polite);
    });
    connect(&m_scanner, &PortScanner::portsChanged, this, [this] {
        m_model->setPorts(m_scanner.ports());
        showPorts();
    });

    m_model->setPorts(m_scanner.ports());
    showPorts();
}

PortListView::~PortListView() = default;

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

void PortListView::showPorts()
{
    const bool empty = m_model->rowCount() == 0;
    // The keys stay in the panel when the list empties (Qt would hand them to Refresh), and
    // go back to the list when rows come.
    if (empty && m_list->hasFocus())
        setFocus(Qt::OtherFocusReason);
    m_list->setVisible(!empty);
    m_emptyState->setVisible(empty);
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

    const QColor icon = PanelStyle::primary(pal);
    m_refreshButton->setIcon(PanelStyle::tintedIcon(QStringLiteral(":/icons/refresh.svg"), icon));
    m_tipButton->setIcon(PanelStyle::tintedIcon(QStringLiteral(":/icons/heart.svg"), icon));
    m_contactButton->setIcon(PanelStyle::tintedIcon(QStringLiteral(":/icons/envelope.svg"), icon));
}
