#include "platform/qt/qt_platform.h"

#include <QStandardPaths>

namespace qf {

std::string configFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toLocal8Bit().toStdString();
}

} // namespace qf
