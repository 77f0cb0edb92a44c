#include "app/program_title.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace app {

QString programTitleFromPath(const QString &executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString programTitle()
{
    return programTitleFromPath(QCoreApplication::applicationFilePath());
}

QString programFileName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

} // namespace app
