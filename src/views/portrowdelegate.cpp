#include "portrowdelegate.h"

#include "panelstyle.h"
#include "portlistmodel.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QtMath>

PortRowDelegate::PortRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent), m_portFont(PanelStyle::portFont()),
      m_nameFont(PanelStyle::calloutFont()), m_pidFont(PanelStyle::caption2Font())
{}

int PortRowDelegate::rowHeight() const
{
    const int text =
        QFontMetrics(m_nameFont).height() + nameToPidSpacing + QFontMetrics(m_pidFont).height();
    return 2 * verticalPadding + qMax(text, QFontMetrics(m_portFont).height());
}

PortRowDelegate::RowLayout PortRowDelegate::layoutRow(const QRect& rowRect,
                                                      const QModelIndex& index) const
{
    RowLayout row;
    row.hovered = index.data(PortListModel::HoveredRole).toBool();
    row.hasAppeared = index.data(PortListModel::AppearedRole).toBool();
    row.isHeader =
        index.data(PortListModel::RowKindRole).toInt() == int(PortListModel::RowKind::Host);
    const QRect content =
        rowRect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    if (row.isHeader) {
        const QFontMetrics nameMetrics(m_nameFont);
        const QFontMetrics stateMetrics(m_pidFont);
        const int top = content.top() + (content.height() - nameMetrics.height() -
                                         nameToPidSpacing - stateMetrics.height()) /
                                            2;
        // The next try, at the right of the name's line, where a long reason can't hide it.
        row.exposureText = index.data(PortListModel::RetryTextRole).toString();
        const int retryWidth =
            row.exposureText.isEmpty() ? 0 : stateMetrics.horizontalAdvance(row.exposureText);
        row.exposureRect =
            QRect(content.right() + 1 - retryWidth, top, retryWidth, nameMetrics.height());
        row.nameRect = QRect(content.left(), top,
                             qMax(0, content.width() - retryWidth - (retryWidth ? spacing : 0)),
                             nameMetrics.height());
        row.pidRect = QRect(content.left(), row.nameRect.bottom() + 1 + nameToPidSpacing,
                            content.width(), stateMetrics.height());
        row.nameText = nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                              Qt::ElideRight, row.nameRect.width());
        row.pidText = stateMetrics.elidedText(index.data(PortListModel::HostStateRole).toString(),
                                              Qt::ElideRight, row.pidRect.width());
        row.isUnreachable = index.data(PortListModel::UnreachableRole).toBool();
        return row;
    }

    const int portHeight = QFontMetrics(m_portFont).height();
    row.portRect = QRect(content.left(), content.top() + (content.height() - portHeight) / 2,
                         portColumnWidth, portHeight);
    row.portText = index.data(PortListModel::PortTextRole).toString();
    row.protocolText = index.data(PortListModel::ProtocolTextRole).toString();

    const QFontMetrics nameMetrics(m_nameFont);
    const QFontMetrics pidMetrics(m_pidFont);
    const int textHeight = nameMetrics.height() + nameToPidSpacing + pidMetrics.height();
    const int left = content.left() + portColumnWidth + spacing;
    int right = content.right();
    if (row.hovered && m_actionsWidth > 0)
        right -= m_actionsWidth + spacing;
    const int top = content.top() + (content.height() - textHeight) / 2;
    row.nameRect = QRect(left, top, qMax(0, right - left + 1), nameMetrics.height());
    row.pidRect = QRect(left, row.nameRect.bottom() + 1 + nameToPidSpacing, row.nameRect.width(),
                        pidMetrics.height());
    // A UDP port says so beneath its number, on the pid's line.
    if (!row.protocolText.isEmpty()) {
        row.portRect.moveTop(row.nameRect.top() + (row.nameRect.height() - portHeight) / 2);
        row.protocolRect =
            QRect(content.left(), row.pidRect.top(), portColumnWidth, row.pidRect.height());
    }
    row.nameText = nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                          row.nameRect.width());
    const QString pidText = index.data(PortListModel::PidTextRole).toString();

    QString exposure = index.data(PortListModel::ExposureTextRole).toString();
    row.isOpenToNetwork = index.data(PortListModel::ExposureRole).toInt() ==
                          int(ListeningPort::Exposure::AllInterfaces);
    // A process that ignored the request to quit: that is what the row must say now.
    row.isStillRunning = index.data(PortListModel::StillRunningRole).toBool();
    if (row.isStillRunning)
        exposure = tr("Still running");
    // Where a forward listens here says more than where the port listens there.
    if (const QString forward = index.data(PortListModel::ForwardTextRole).toString();
        !forward.isEmpty()) {
        exposure = forward;
        row.isForwardEnded = index.data(PortListModel::ForwardEndedRole).toBool();
        row.isForwarded = !row.isForwardEnded;
    }
    if (!exposure.isEmpty() && !pidText.isEmpty())
        exposure.prepend(QStringLiteral(" \u00b7 "));
    // The exposure keeps its room: a long service or container name is what gets cut.
    // (Measured unrounded: a width rounded down would cut it.)
    // A forward's text (ssh's reason, at length) leaves the pid its room as well.
    const int exposureRoom =
        row.isForwardEnded || row.isForwarded ? row.pidRect.width() * 3 / 5 : row.pidRect.width();
    const int exposureWidth =
        qMin(qCeil(QFontMetricsF(m_pidFont).horizontalAdvance(exposure)), exposureRoom);
    row.pidText =
        pidMetrics.elidedText(pidText, Qt::ElideRight, row.pidRect.width() - exposureWidth);
    if (!exposure.isEmpty()) {
        const int pidWidth = row.pidText.isEmpty() ? 0 : pidMetrics.horizontalAdvance(row.pidText);
        row.exposureRect =
            row.pidRect.adjusted(qMin(pidWidth, row.pidRect.width() - exposureWidth), 0, 0, 0);
        row.exposureText =
            pidMetrics.elidedText(exposure, Qt::ElideRight, row.exposureRect.width());
    }
    return row;
}

namespace {

// A translucent colour painted over an opaque one.
QColor over(const QColor& top, const QColor& bottom)
{
    const float a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a),
                            top.greenF() * a + bottom.greenF() * (1 - a),
                            top.blueF() * a + bottom.blueF() * (1 - a));
}

} // namespace

void PortRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    const RowLayout row = layoutRow(option.rect, index);
    const QPalette& palette = option.palette;
    painter->save();
    if (row.hasAppeared) {
        const QColor tint = PanelStyle::appearedTint(palette);
        painter->fillRect(option.rect, tint);
        QColor bar = tint;
        bar.setAlphaF(1.0f);
        painter->fillRect(QRect(option.rect.topLeft(), QSize(3, option.rect.height())), bar);
    }
    if (row.hovered && !row.isHeader)
        painter->fillRect(option.rect, PanelStyle::hoverTint(palette));

    // Every text reads on the row as it is painted, tints included.
    QColor background = palette.color(QPalette::Window);
    if (row.hasAppeared)
        background = over(PanelStyle::appearedTint(palette), background);
    if (row.hovered && !row.isHeader)
        background = over(PanelStyle::hoverTint(palette), background);
    const auto pen = [&background](const QColor& color) {
        return PanelStyle::legible(color, background);
    };

    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    if (row.isHeader) {
        // A hairline above sets the machine apart from the rows before it.
        PanelStyle::fillHairlines(*painter,
                                  {QRect(option.rect.topLeft(), QSize(option.rect.width(), 1))},
                                  PanelStyle::separator(palette));
        QFont bold = m_nameFont;
        bold.setWeight(QFont::DemiBold);
        painter->setFont(bold);
        painter->setPen(pen(PanelStyle::primary(palette)));
        painter->drawText(row.nameRect, flags,
                          QFontMetrics(bold).elidedText(index.data(Qt::DisplayRole).toString(),
                                                        Qt::ElideRight, row.nameRect.width()));
        painter->setFont(m_pidFont);
        painter->setPen(
            pen(row.isUnreachable ? PanelStyle::red(palette) : PanelStyle::secondary(palette)));
        painter->drawText(row.pidRect, flags, row.pidText);
        painter->setPen(pen(PanelStyle::secondary(palette)));
        painter->drawText(row.exposureRect, flags, row.exposureText);
        painter->restore();
        return;
    }
    painter->setPen(pen(PanelStyle::primary(palette)));
    painter->setFont(m_portFont);
    painter->drawText(row.portRect, flags, row.portText);
    painter->setFont(m_nameFont);
    painter->drawText(row.nameRect, flags, row.nameText);
    painter->setPen(pen(PanelStyle::secondary(palette)));
    painter->setFont(m_pidFont);
    painter->drawText(row.pidRect, flags, row.pidText);
    painter->drawText(row.protocolRect, flags, row.protocolText);
    if (row.isStillRunning || row.isForwardEnded)
        painter->setPen(pen(PanelStyle::red(palette)));
    else if (row.isForwarded)
        painter->setPen(pen(PanelStyle::primary(palette)));
    else if (row.isOpenToNetwork)
        painter->setPen(pen(PanelStyle::orange(palette)));
    painter->drawText(row.exposureRect, flags, row.exposureText);
    painter->restore();
}

QSize PortRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return {2 * horizontalPadding + portColumnWidth, rowHeight()};
}

bool PortRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // Only the name and pid tell about the process; the port column has nothing to add.
    const RowLayout row = layoutRow(option.rect, index);
    if (!row.nameRect.united(row.pidRect).contains(event->pos())) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), index.data(Qt::ToolTipRole).toString(), view->viewport(),
                       row.nameRect.united(row.pidRect));
    return true;
}
