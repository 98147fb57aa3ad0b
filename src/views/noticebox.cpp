#include "noticebox.h"

#include "panelstyle.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

// A word-wrapped label whose minimum height is what its text needs at its current width,
// so a container that only honours minimum sizes still never cuts a line off.
class NoticeBox::WrappingLabel final : public QLabel
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

NoticeBox::NoticeBox(const QString& objectName, const QString& textObjectName, QWidget* parent)
    : QWidget(parent), m_icon(new QLabel(this)), m_text(new WrappingLabel(this)),
      m_buttons(new QWidget(this)), m_cancelButton(new QPushButton(m_buttons)),
      m_confirmButton(new QPushButton(m_buttons))
{
    setObjectName(objectName);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(6);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(6);
    outer->addLayout(layout);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    m_text->setObjectName(textObjectName);
    // Messages carry paths, URLs and the system's words: never markup, never cut off, and
    // selectable, so a URL can be copied and opened by hand.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setFont(PanelStyle::caption2Font());
    m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(m_text, 1);

    auto* buttons = new QHBoxLayout(m_buttons);
    buttons->setContentsMargins(0, 0, 0, 0);
    m_cancelButton->setObjectName(objectName + QStringLiteral("Cancel"));
    m_confirmButton->setObjectName(objectName + QStringLiteral("Confirm"));
    // Return takes the focused button, as in a dialog.
    m_cancelButton->setAutoDefault(true);
    m_confirmButton->setAutoDefault(true);
    buttons->addStretch();
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_confirmButton);
    outer->addWidget(m_buttons);
    connect(m_cancelButton, &QPushButton::clicked, this, &NoticeBox::clear);
    connect(m_confirmButton, &QPushButton::clicked, this, [this] {
        const auto confirmed = std::exchange(m_confirmed, {});
        clear();
        if (confirmed)
            confirmed();
    });
    updateIcon();
    hide();
}

void NoticeBox::showMessage(const QString& message)
{
    m_confirmed = {};
    hideHandingFocusBack(m_buttons);
    m_text->setMessage(message);
    show();
}

void NoticeBox::ask(const QString& question, const QString& confirmText,
                    std::function<void()> confirmed)
{
    pose(question, confirmText, std::move(confirmed), tr("Cancel"), true);
}

void NoticeBox::offer(const QString& text, const QString& actionText, std::function<void()> action,
                      const QString& dismissText)
{
    pose(text, actionText, std::move(action), dismissText, false);
}

void NoticeBox::pose(const QString& question, const QString& confirmText,
                     std::function<void()> confirmed, const QString& dismissText, bool takeFocus)
{
    m_text->setMessage(question);
    m_cancelButton->setText(dismissText);
    m_confirmButton->setText(confirmText);
    m_confirmed = std::move(confirmed);
    if (QWidget* focus = QApplication::focusWidget(); !isAncestorOf(focus))
        m_focusBefore = focus;
    m_buttons->show();
    show();
    if (takeFocus)
        m_confirmButton->setFocus(Qt::OtherFocusReason);
}

void NoticeBox::clear()
{
    hideHandingFocusBack(this);
    m_confirmed = {};
    m_text->setMessage({});
}

void NoticeBox::hideHandingFocusBack(QWidget* what)
{
    const bool hadFocus = isAncestorOf(QApplication::focusWidget());
    what->hide();
    if (hadFocus && m_focusBefore && m_focusBefore->isVisible())
        m_focusBefore->setFocus(Qt::OtherFocusReason);
}

QString NoticeBox::message() const
{
    return m_text->text();
}

void NoticeBox::paintEvent(QPaintEvent*)
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

void NoticeBox::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateIcon();
}

void NoticeBox::updateIcon()
{
    const int size = QFontMetrics(PanelStyle::caption2Font()).height();
    m_icon->setPixmap(
        PanelStyle::tintedIcon(QStringLiteral(":/icons/warning.svg"), PanelStyle::orange(palette()))
            .pixmap(QSize(size, size), devicePixelRatioF()));
    m_icon->setFixedSize(size, size);
}
