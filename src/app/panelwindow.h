#pragma once

#include <QRect>
#include <QWidget>

// The window that holds the panel: a frameless popup at the tray icon; where a popup cannot
// be placed (Wayland), an ordinary window that the Escape key closes; or, where there is no
// tray, an ordinary window whose closing ends the program.
class PanelWindow : public QWidget
{
    Q_OBJECT

public:
    enum class Mode
    {
        Popup,
        Floating,
        Window
    };

    // Takes ownership of the panel.
    PanelWindow(QWidget* panel, Mode mode, QWidget* parent = nullptr);

    static constexpr int borderWidth = 1;

    Mode mode() const { return m_mode; }
    // Hides the window while it changes.
    void setMode(Mode mode);

    // Popup only: the rectangle to open next to and the area to stay inside. Applied now
    // and again whenever the panel's size changes.
    void setAnchor(const QRect& anchor, const QRect& available);

Q_SIGNALS:
    // Popup: a press outside closed it (the press may be the click on the tray icon).
    void dismissedByOutsidePress(Qt::MouseButton button, const QPoint& globalPos);
    // Window: the user closed it.
    void closeRequested();
    void visibilityChanged(bool visible);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void applyMode();
    void refit();

    Mode m_mode;
    QWidget* m_panel;
    QRect m_anchor;
    QRect m_available;
    // An ordinary window follows the panel's height until the user gives it another.
    bool m_userSized = false;
    int m_heightSet = -1;
};
