// How a host hands its platform services to the add-in. The add-in keeps the
// state its public classes share per thread; the host installs its services
// on the thread that creates and calls the public classes, before it creates
// the first object, and removes them before the services go away.
#pragma once

#include "platform/export.h"
#include "platform/services.h"

namespace velklk {

// Replaces the calling thread's add-in state by an empty one that reaches the
// platforms through these services. The services must outlive the state (up
// to RemovePlatformServices or the next InstallPlatformServices).
VELKLK_API void InstallPlatformServices(const PlatformServices& services);
// Empties the calling thread's add-in state: it lets go of the host's and
// Outlook's objects and no longer reaches the services.
VELKLK_API void RemovePlatformServices();

}  // namespace velklk
