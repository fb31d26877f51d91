#include "modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "module_version.h"
#include "profile/profile.h"
#include "session/delete_guard.h"
#include "session/shared_state.h"
#include "windows.h"

namespace velklk::cli {
namespace {

using Out = nlohmann::ordered_json;
namespace fs = std::filesystem;

// The folder of the running command.
fs::path CommandFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

// Loads `file` from the first module folder that has it and returns its
// `entry`; raises std::runtime_error naming what failed. A module stays
// loaded for the life of the process.
void* LoadEntry(const char* file, const char* entry, const char* what) {
  std::string tried;
  for (const std::string& folder : ModuleFolders()) {
    const fs::path path = fs::path(folder) / file;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
      tried += (tried.empty() ? "" : " or ") + folder;
      continue;
    }
    auto fail = [&](const std::string& why) {
      return std::runtime_error(std::string(what) + " of velklk cannot be loaded: " + why);
    };
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* why = ::dlerror();
      throw fail(why != nullptr ? why : path.string());
    }
    const auto* version = static_cast<const char*>(::dlsym(module, kModuleVersionSymbol));
    void* found = ::dlsym(module, entry);
    if (version == nullptr || found == nullptr)
      throw fail(path.string() + " is not a module of velklk");
    if (std::string(version) != VELKLK_VERSION_STRING)
      throw fail(path.string() + " belongs to velklk " + version + ", not " +
                 VELKLK_VERSION_STRING);
    return found;
  }
  throw std::runtime_error(std::string(what) + " of velklk is not installed (no " + file + " in " +
                           tried + ")");
}

}  // namespace

std::vector<std::string> ModuleFolders() {
  const fs::path here = CommandFolder();
  if (here.empty()) return {};
  return {here.string(), (here / VELKLK_MODULES_FROM_COMMAND).lexically_normal().string()};
}

ServerModule& ServerSide() {
  static ServerModule* const side = [] {
    auto entry = reinterpret_cast<ServerModuleEntry>(
        LoadEntry(kServerModuleFile, kServerModuleEntry, "the server module"));
    return entry();
  }();
  return *side;
}

PassOutcome RunPass(Profile& profile, UserInterface& ui, const std::optional<std::string>& store,
                    PassPhase phase) {
  PassHooks hooks;
  hooks.mayDelete = [&](const std::string& folder, long count) {
    // The guard reads the host's database from the shared state: lent to
    // it for the question, then put back as it was.
    SharedState& state = State();
    struct PutBack {
      decltype(state.mDB)& slot;
      decltype(state.mDB) saved;
      ~PutBack() { slot = saved; }
    } putBack{state.mDB, state.mDB};
    if (!state.mDB) state.mDB = profile.Host().Database();
    return MayDeleteFromFolder(*profile.Outlook().FindFolder(folder), count);
  };
  hooks.takeRefused = [] {
    Out refused = Out::array();
    auto& refusals = State().DeletionsRefused;
    for (const auto& r : refusals)
      refused.push_back(Out{{"folder", r.container}, {"count", r.count}, {"total", r.total}});
    refusals.clear();
    return refused;
  };
  return ServerSide().RunPass(profile, ui, store, phase, hooks);
}

std::unique_ptr<UserInterface> OpenWindows(const std::string& language) {
#ifdef VELKLK_WITH_QT
  WindowsModuleEntry entry = nullptr;
  try {
    entry = reinterpret_cast<WindowsModuleEntry>(
        LoadEntry(kWindowsModuleFile, kWindowsModuleEntry, "the windows module"));
  } catch (const std::runtime_error& e) {
    throw UsageError{std::string(e.what()) + " (--ui qt)"};
  }
  return std::unique_ptr<UserInterface>(entry(language));
#else
  (void)language;
  throw UsageError{
      "this velklk was built without windows (--ui qt needs the build option VELKLK_QT)"};
#endif
}

}  // namespace velklk::cli
