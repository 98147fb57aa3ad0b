#include "settingsblock.h"

#include "loginitem.h"
#include "noticebox.h"
#include "panelstyle.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

namespace {

// A button drawn as a hyperlink: the palette's link colour, no bezel.
class LinkButton final : public QAbstractButton
{
public:
    LinkButton(const QString& text, QWidget* parent) : QAbstractButton(parent)
    {
        setText(text);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        // The text lines up with the checkbox above; the focus frame gets a little height.
        return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(0, 2);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QColor color = palette().color(QPalette::Link);
        if (isDown())
            color = PanelStyle::isDark(palette()) ? color.lighter(130) : color.darker(130);
        // Disabled, it reads as plain text rather than fading below a readable contrast.
        if (!isEnabled())
            color = PanelStyle::secondary(palette());
        painter.setPen(PanelStyle::legible(color, palette().color(QPalette::Window)));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.backgroundColor = palette().color(QPalette::Window);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
};

} // namespace

SettingsBlock::SettingsBlock(LoginItem& loginItem, QWidget* parent)
    : QWidget(parent), m_loginItem(loginItem)
{
    setObjectName(QStringLiteral("settingsBlock"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 7, 12, 7);
    layout->setSpacing(6);

    m_openAtLogin = new QCheckBox(tr("Open at login"), this);
    m_openAtLogin->setObjectName(QStringLiteral("openAtLoginCheckBox"));
    m_openAtLogin->setFont(PanelStyle::captionFont());
    PanelStyle::outlineIndicators(m_openAtLogin);
    // Read once: a change behind our back shows only when the box is next used.
    m_openAtLogin->setChecked(m_loginItem.isEnabled());
    layout->addWidget(m_openAtLogin, 0, Qt::AlignLeft);

    m_notify = new QCheckBox(tr("Notify when a port starts or stops listening"), this);
    m_notify->setObjectName(QStringLiteral("notifyCheckBox"));
    m_notify->setFont(PanelStyle::captionFont());
    PanelStyle::outlineIndicators(m_notify);
    layout->addWidget(m_notify, 0, Qt::AlignLeft);

    m_otherMachines = new LinkButton(tr("Other machines…"), this);
    m_otherMachines->setObjectName(QStringLiteral("otherMachinesButton"));
    m_otherMachines->setFont(PanelStyle::captionFont());
    m_otherMachines->setToolTip(tr("Watch the ports of other machines over ssh"));
    layout->addWidget(m_otherMachines, 0, Qt::AlignLeft);

    m_checkForUpdates = new LinkButton(tr("Check for updates…"), this);
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdatesButton"));
    m_checkForUpdates->setFont(PanelStyle::captionFont());
    layout->addWidget(m_checkForUpdates, 0, Qt::AlignLeft);

    m_errorBox =
        new NoticeBox(QStringLiteral("loginErrorBox"), QStringLiteral("loginErrorText"), this);
    layout->addWidget(m_errorBox);

    // clicked, not toggled: only the user's change goes to disk, not our own corrections.
    connect(m_openAtLogin, &QCheckBox::clicked, this, [this](bool open) { setOpenAtLogin(open); });
    connect(m_notify, &QCheckBox::clicked, this, &SettingsBlock::notifyOnPortChangesToggled);
    connect(m_otherMachines, &QAbstractButton::clicked, this,
            &SettingsBlock::otherMachinesRequested);
    connect(m_checkForUpdates, &QAbstractButton::clicked, this,
            &SettingsBlock::checkForUpdatesRequested);
}

void SettingsBlock::setUpdateChecksAvailable(bool available)
{
    m_checkForUpdates->setEnabled(available);
    // Tooltips show on disabled widgets too.
    m_checkForUpdates->setToolTip(available ? QString()
                                            : tr("This build does not check for updates."));
}

void SettingsBlock::setNotifyOnPortChanges(bool notify)
{
    m_notify->setChecked(notify);
}

bool SettingsBlock::isOpenAtLogin() const
{
    return m_openAtLogin->isChecked();
}

bool SettingsBlock::setOpenAtLogin(bool open)
{
    const auto failure = m_loginItem.setEnabled(open);
    if (failure)
        m_errorBox->showMessage(failure->message());
    else
        m_errorBox->clear();
    // Show what is on disk, not what was asked for.
    m_openAtLogin->setChecked(failure ? m_loginItem.isEnabled() : open);
    Q_EMIT openAtLoginChanged(m_openAtLogin->isChecked());
    return !failure;
}
