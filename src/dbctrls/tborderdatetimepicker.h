#pragma once

#include <QColor>
#include <QDateTimeEdit>

namespace kelvara {

// A date-time picker with a drop-down calendar that draws a flat frame, 2 pixels wide and in
// BorderColor, around the whole control over its own border. The grid uses one as
// the in-place editor of date and time cells, with background and frame in its EditColor.
class TBorderDateTimePicker : public QDateTimeEdit
{
    Q_OBJECT
    Q_PROPERTY(QColor BorderColor READ borderColor WRITE setBorderColor NOTIFY borderColorChanged)
    Q_PROPERTY(TDateTimeKind Kind READ kind WRITE setKind)

public:
    enum TDateTimeKind { dtkDate, dtkTime };
    Q_ENUM(TDateTimeKind)

    // The width of the frame in pixels.
    static constexpr int FrameWidth = 2;

    explicit TBorderDateTimePicker(QWidget *parent = nullptr);
    ~TBorderDateTimePicker() override;

    QColor borderColor() const { return m_borderColor; }
    // An equal colour changes nothing; a new one is stored and the control painted again with
    // the new frame (Qt's stand-in for re-creating the platform window), which borderColorChanged
    // announces.
    void setBorderColor(const QColor &color);

    // dtkDate shows the locale's short date format, dtkTime its short time format.
    TDateTimeKind kind() const { return m_kind; }
    void setKind(TDateTimeKind kind);

    // The background of the control and of its text box (palette roles Base and Window).
    QColor color() const;
    void setColor(const QColor &color);

Q_SIGNALS:
    void borderColorChanged(const QColor &color);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    class Frame;
    void applyKindFormat();

    QColor m_borderColor{255, 255, 255};
    TDateTimeKind m_kind = dtkDate;
    Frame *m_frame;
};

}  // namespace kelvara
