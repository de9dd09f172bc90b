#pragma once

#include <QLabel>

namespace kelvara {

// The small window beside the pointer that tells which record a vertical scroll has reached,
// coloured as the application's hints are. It shows only while the left button is held down.
class ScrollHintWindow : public QLabel
{
    Q_OBJECT

public:
    // The widest the window grows; a longer text wraps.
    static constexpr int MaxWidth = 100;
    // The pointer's size: Qt does not report it, and desktops draw the standard arrow at 32 pixels.
    static constexpr QSize CursorSize{32, 32};

    explicit ScrollHintWindow(QWidget *owner);
    ~ScrollHintWindow() override;

    // " 12 of 57 ": the record number and the record count, with one blank before and after.
    static QString positionText(int recNo, int recordCount);
    // The window's top-left corner for a pointer at a screen position: half the pointer's size
    // to the right and downwards, so the hint does not cover what the pointer points at.
    static QPoint placeFor(const QPoint &pointer);
    // The window's size for a text, at most MaxWidth wide.
    QSize sizeFor(const QString &text) const;

    // Shows the text with its top-left corner at a screen position.
    void activate(const QPoint &topLeft, const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
};

}  // namespace kelvara
