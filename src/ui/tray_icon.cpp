#include "ui/tray_icon.h"

// The icons live in the static UI library, whose resource object the linker drops unless
// something names it; the initialiser must be called from outside any namespace.
static void initIconResources() {
    Q_INIT_RESOURCE(vektrin);
}

namespace vektrin {

TTrayIcon::TTrayIcon(QObject* parent) : QSystemTrayIcon(parent) {
    setObjectName("TrayIcon1");
    connect(this, &QSystemTrayIcon::activated, this, [this](ActivationReason reason) {
        if (reason == DoubleClick) emit doubleClicked();
    });
}

QIcon TTrayIcon::loadIcon(const QString& name) {
    static const bool registered = (initIconResources(), true);
    (void)registered;
    QIcon icon;
    for (int size : {16, 32, 64})
        icon.addFile(QString(":/icons/%1-%2.png").arg(name).arg(size));
    return icon;
}

void TTrayIcon::setIconName(std::string_view name) {
    iconName_ = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    setIcon(loadIcon(iconName_));
}

void TTrayIcon::setToolTipText(const QString& text) {
    // Cut by characters, never inside a surrogate pair.
    QString cut;
    int characters = 0;
    for (qsizetype i = 0; i < text.size() && characters < MaxToolTip; ++i, ++characters) {
        cut += text[i];
        if (text[i].isHighSurrogate() && i + 1 < text.size()) cut += text[++i];
    }
    setToolTip(cut);
}

} // namespace vektrin
