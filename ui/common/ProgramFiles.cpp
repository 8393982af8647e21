#include "ui/common/ProgramFiles.h"

#include "engine/services/AppInfo.h"

#include <QDir>
#include <QFileInfo>

#ifndef GLEANERY_FILES_FROM_PROGRAM
#define GLEANERY_FILES_FROM_PROGRAM "../share/gleanery"
#endif

namespace {

bool HoldsLanguages(const QString& folder)
{
    return QFileInfo(folder + "/Languages").isDir();
}

}  // namespace

std::string ProgramFilesFolderOf(const std::string& programFolder, const std::string& installedFromProgram)
{
    const QString program = QString::fromStdString(programFolder);
    if (program.isEmpty() || HoldsLanguages(program))
        return programFolder;
    const QString installed = QDir::cleanPath(program + "/" + QString::fromStdString(installedFromProgram));
    if (HoldsLanguages(installed))
        return installed.toStdString() + "/";
    return programFolder;
}

std::string GetProgramFilesFolder()
{
    return ProgramFilesFolderOf(GetProgramFolder(), GLEANERY_FILES_FROM_PROGRAM);
}
