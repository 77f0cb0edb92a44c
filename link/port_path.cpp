#include "link/port_path.h"

#include <QDir>
#include <QFileInfo>

namespace analyzer {

QString portFolder()
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored, as for every XDG variable.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/battery-analyzer/ports");
}

QString portDevicePath(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    const QString entry = portFolder() + QStringLiteral("/com%1").arg(port);
    // A dangling link still names the device the user meant; opening it reports that device
    // as missing instead of silently falling back to the built-in port.
    const QFileInfo info(entry);
    if (info.exists() || info.isSymLink())
        return entry;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

} // namespace analyzer
