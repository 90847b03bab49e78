// The uninstall engine's parameters, built without a platform call.
#include "engine/enginecmd.h"
#include "common/text.h"

int BuildEngineParameters(char* dest, unsigned size, const char* folder)
{
    return FormatText(dest, size, ENGINE_PARAMETERS_FORMAT, folder);
}
