#include "addin/host_services.h"

#include "session/shared_state.h"

namespace velklk {

void InstallPlatformServices(const PlatformServices& services) { ResetState(services); }

void RemovePlatformServices() { ResetState({}); }

}  // namespace velklk
