#pragma once
// The notification-area icon: which of the program's icons it shows, its tool tip (cut to 62
// characters, as the notification area keeps no more), and the window-toggling double click.

#include <QSystemTrayIcon>
#include <string_view>

namespace vektrin {

class TTrayIcon : public QSystemTrayIcon {
    Q_OBJECT
  public:
    static constexpr int MaxToolTip = 62;

    explicit TTrayIcon(QObject* parent = nullptr);

    // "XICON1" or "XICON2"; the icon resources of every size under that name.
    void setIconName(std::string_view name);
    const QString& iconName() const { return iconName_; }
    void setToolTipText(const QString& text);

    // The program's icon by resource name, at all its sizes.
    static QIcon loadIcon(const QString& name);

  signals:
    void doubleClicked();

  private:
    QString iconName_;
};

} // namespace vektrin
