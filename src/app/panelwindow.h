#pragma once

#include <QRect>
#include <QWidget>

// The window that holds the panel: a frameless popup at the tray icon, or, where there is
// no tray, a small ordinary window whose closing ends the program.
class PanelWindow : public QWidget
{
    Q_OBJECT

public:
    enum class Mode
    {
        Popup,
        Window
    };

    // Takes ownership of the panel.
    PanelWindow(QWidget* panel, Mode mode, QWidget* parent = nullptr);

    static constexpr int borderWidth = 1;

    // Popup only: the rectangle to open next to and the area to stay inside. Applied now
    // and again whenever the panel's size changes.
    void setAnchor(const QRect& anchor, const QRect& available);

Q_SIGNALS:
    // Popup: a press outside closed it (the press may be the click on the tray icon).
    void dismissedByOutsidePress();
    // Window: the user closed it.
    void closeRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refit();

    Mode m_mode;
    QWidget* m_panel;
    QRect m_anchor;
    QRect m_available;
};
