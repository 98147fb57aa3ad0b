#include "settingsblock.h"

#include "loginitem.h"
#include "panelstyle.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
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
        if (!isEnabled())
            color.setAlphaF(0.4f);
        painter.setPen(color);
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.backgroundColor = palette().color(QPalette::Window);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
};

// The error box's background: a rounded rectangle tinted orange over the window colour, so
// it reads on light and dark panels alike.
class ErrorBox final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 7, 7);
        painter.fillPath(shape, palette().color(QPalette::Window));
        QColor tint = PanelStyle::orange(palette());
        tint.setAlphaF(0.16f);
        painter.fillPath(shape, tint);
    }
};

} // namespace

// A word-wrapped label whose minimum height is what its text needs at its current width,
// so a container that only honours minimum sizes still never cuts a line off.
class SettingsBlock::WrappingLabel final : public QLabel
{
public:
    using QLabel::QLabel;

    void setMessage(const QString& message)
    {
        setText(message);
        fitHeight();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        fitHeight();
    }

private:
    void fitHeight()
    {
        // Measured here because heightForWidth() never answers less than the minimum height,
        // which would keep a box sized for a narrow first layout tall forever. Depends on the
        // width alone, so this settles after one pass.
        int needed = 0;
        if (!text().isEmpty()) {
            const QRect contents =
                contentsRect().adjusted(margin(), margin(), -margin(), -margin());
            const QRect bounds =
                fontMetrics().boundingRect(QRect(0, 0, qMax(1, contents.width()), QWIDGETSIZE_MAX),
                                           Qt::AlignLeft | Qt::TextWordWrap, text());
            needed = bounds.height() + height() - contents.height();
        }
        if (needed != minimumHeight())
            setMinimumHeight(needed);
    }
};

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
    // Read once: a change behind our back shows only when the box is next used.
    m_openAtLogin->setChecked(m_loginItem.isEnabled());
    layout->addWidget(m_openAtLogin, 0, Qt::AlignLeft);

    auto* checkForUpdates = new LinkButton(tr("Check for updates…"), this);
    checkForUpdates->setObjectName(QStringLiteral("checkForUpdatesButton"));
    checkForUpdates->setFont(PanelStyle::captionFont());
    layout->addWidget(checkForUpdates, 0, Qt::AlignLeft);

    m_errorBox = new ErrorBox(this);
    m_errorBox->setObjectName(QStringLiteral("loginErrorBox"));
    auto* errorLayout = new QHBoxLayout(m_errorBox);
    errorLayout->setContentsMargins(8, 8, 8, 8);
    errorLayout->setSpacing(6);
    m_errorIcon = new QLabel(m_errorBox);
    m_errorIcon->setObjectName(QStringLiteral("loginErrorIcon"));
    errorLayout->addWidget(m_errorIcon, 0, Qt::AlignTop);
    m_errorText = new WrappingLabel(m_errorBox);
    m_errorText->setObjectName(QStringLiteral("loginErrorText"));
    // The message comes from the system (paths, error texts): never markup, never cut off.
    m_errorText->setTextFormat(Qt::PlainText);
    m_errorText->setWordWrap(true);
    m_errorText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_errorText->setFont(PanelStyle::caption2Font());
    m_errorText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    errorLayout->addWidget(m_errorText, 1);
    m_errorBox->hide();
    layout->addWidget(m_errorBox);

    updateColors();

    // clicked, not toggled: only the user's change goes to disk, not our own corrections.
    connect(m_openAtLogin, &QCheckBox::clicked, this, &SettingsBlock::setOpenAtLogin);
    connect(checkForUpdates, &QAbstractButton::clicked, this,
            &SettingsBlock::checkForUpdatesRequested);
}

void SettingsBlock::setOpenAtLogin(bool open)
{
    if (const auto failure = m_loginItem.setEnabled(open)) {
        m_errorText->setMessage(failure->message());
        m_errorBox->show();
        // Show what is on disk, not what was asked for.
        m_openAtLogin->setChecked(m_loginItem.isEnabled());
        return;
    }
    m_openAtLogin->setChecked(open);
    m_errorBox->hide();
    m_errorText->setMessage({});
}

void SettingsBlock::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateColors();
}

void SettingsBlock::updateColors()
{
    const int size = QFontMetrics(PanelStyle::caption2Font()).height();
    m_errorIcon->setPixmap(
        PanelStyle::tintedIcon(QStringLiteral(":/icons/warning.svg"), PanelStyle::orange(palette()))
            .pixmap(QSize(size, size), devicePixelRatioF()));
    m_errorIcon->setFixedSize(size, size);
}
