#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

// A message the panel owes the user (a change that failed, a URL that would not open): a
// warning icon and the message as plain, word-wrapped, selectable text in a box tinted
// orange, which reads on light and dark panels alike. Hidden, it takes no space.
class NoticeBox final : public QWidget
{
    Q_OBJECT

public:
    // The names are for tests and assistive tools.
    NoticeBox(const QString& objectName, const QString& textObjectName, QWidget* parent = nullptr);

    void showMessage(const QString& message);
    // A question with a confirming button and "Cancel"; confirmed runs once, on the
    // confirming button, and the box closes on either. The confirming button takes the focus:
    // the user has just asked for what it does.
    void ask(const QString& question, const QString& confirmText, std::function<void()> confirmed);
    // The same for what the panel offers by itself (a port taken again after a kill), with
    // dismissText for "Cancel". The focus stays where it is: keys meant for the list must not
    // land on a button that appeared meanwhile.
    void offer(const QString& text, const QString& actionText, std::function<void()> action,
               const QString& dismissText);
    void clear();
    QString message() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class WrappingLabel;

    void updateIcon();
    void pose(const QString& question, const QString& confirmText, std::function<void()> confirmed,
              const QString& dismissText, bool takeFocus);
    // Hides what, and hands the focus, if one of the buttons had it, back to where it was
    // before the question rather than down the chain to whatever follows the box.
    void hideHandingFocusBack(QWidget* what);

    QLabel* m_icon;
    WrappingLabel* m_text;
    QWidget* m_buttons;
    QPushButton* m_cancelButton;
    QPushButton* m_confirmButton;
    std::function<void()> m_confirmed;
    QPointer<QWidget> m_focusBefore;
};
