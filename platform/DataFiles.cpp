#include "platform/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace DataFiles {

QString find(const QString &fileName)
{
    const QStringList folders = {
        QCoreApplication::applicationDirPath(),
        QStringLiteral(CHRONOLAUF_DATA_DIR),
    };
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

} // namespace DataFiles
