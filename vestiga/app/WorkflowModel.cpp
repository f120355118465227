#include "WorkflowModel.h"

#include "WindowKit.h"

namespace vestiga {

bool WorkflowModel::isInput(const QString& path) const
{
    return kit::samePath(path, videoFile) || kit::samePath(path, skinFile) || kit::samePath(path, bgFile);
}

} // namespace vestiga
