#include "app/app_objects.h"

#include "params/parameter_info.h"
#include "services/settings.h"
#include "store/devinfo.h"

#include <memory>

namespace {

std::unique_ptr<TDevInfo> g_devInfo;
std::unique_ptr<TParameterInfo> g_parameterInfo;

} // namespace

void CreateGlobalObjects()
{
    g_devInfo.reset();
    g_parameterInfo.reset();
    g_devInfo = std::make_unique<TDevInfo>();
    g_devInfo->InitStore();
    g_parameterInfo = std::make_unique<TParameterInfo>();
    SetGlobalRelease(GlobalObject::Store, [] { g_devInfo.reset(); });
    SetGlobalRelease(GlobalObject::Catalogue, [] { g_parameterInfo.reset(); });
}

TDevInfo* GlobalDevInfo()
{
    return g_devInfo.get();
}

TParameterInfo* GlobalParameterInfo()
{
    return g_parameterInfo.get();
}
