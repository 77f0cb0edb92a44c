#include "app/file_icons.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>

namespace app {

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const
{
    if (info.isDir())
        return QCoreApplication::translate("QAbstractFileIconProvider", "Folder");
    const QList<QMimeType> byName = QMimeDatabase().mimeTypesForFileName(info.fileName());
    if (!byName.isEmpty())
        return byName.first().comment();
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QCoreApplication::translate("QAbstractFileIconProvider", "File")
                            : suffix + QLatin1StringView(" File");
}

} // namespace app
