#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QStringList>

#include <optional>

class QWidget;

namespace kelvara {

class SettingsSection;

// The settings component of a window: keeps the window's placement and a list of its
// components' properties in the per-user settings store, restored when the window is shown and
// saved when it closes. Properties are read and written by name through Qt's meta-object system.
class TFormStorage : public QObject
{
    Q_OBJECT

public:
    // Flags of the window placement as the platform names them.
    static constexpr int WPF_SETMINPOSITION = 0x1;
    static constexpr int WPF_RESTORETOMAXIMIZED = 0x2;

    explicit TFormStorage(QWidget *form);

    // "Component.Property" paths; a nested object's property may follow with further dots.
    QStringList storedProps() const { return m_storedProps; }
    void setStoredProps(const QStringList &props) { m_storedProps = props; }
    // Stored settings of a lower version are not restored.
    int version() const { return m_version; }
    void setVersion(int version) { m_version = version; }
    // The key under the per-user root: "\Software\" and the executable's name without extension.
    QString keyPath() const { return m_keyPath; }
    void setKeyPath(const QString &keyPath) { m_keyPath = keyPath; }
    static QString defaultKeyPath();
    // The window's section: its class name.
    QString section() const;

    // Reads the stored settings into the window; values that cannot be read or assigned are
    // left as they are, one by one.
    void restore();
    bool restored() const { return m_restored; }
    // Writes the settings; when the store cannot be written the user is told and nothing else
    // changes. Nothing is written before the first restore, nor again on destruction once the
    // close has saved.
    void saveOnClose();
    void saveOnDestroy();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void save(bool visible);
    void restorePlacement(SettingsSection &form);
    // Places the window so that its frame covers the rectangle, made no larger than the
    // available area of its screen. A frame not yet known counts as none until it is.
    void applyOuterRect(const QRect &rect);
    void savePlacement(SettingsSection &form) const;

    QWidget *m_form;
    QStringList m_storedProps;
    int m_version = 0;
    QString m_keyPath;
    bool m_restored = false;
    bool m_saved = false;
    // What the platform's placement holds beyond the normal rectangle, kept as it was read.
    int m_flags = 0;
    QPoint m_minPosition{-1, -1};
    QPoint m_maxPosition{-1, -1};
    // A stored rectangle applied before the window manager framed the window, to be applied
    // again once the frame is known.
    std::optional<QRect> m_pendingOuter;
};

}  // namespace kelvara
