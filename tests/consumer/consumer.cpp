// A host of the installed velKLK: creates a profile from the installed demo
// fixture, hands the embedded platforms to the add-in, creates velKLK.CSync
// by its programmatic identifier and exports the demo address into the
// user's Outlook contacts. Exits with 0 when the contact is there.
#include <velklk/addin/host_services.h>
#include <velklk/addin/type_library.h>
#include <velklk/embedded/profile/profile.h>
#include <velklk/embedded/ui/recording_ui.h>
#include <velklk/platform/automation_error.h>
#include <velklk/platform/outlook.h>
#include <velklk/version.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& message) {
  std::cerr << "velklk_consumer: " << message << "\n";
  return 1;
}

int Run(const std::string& directory) {
  if (std::string(velklk::kVersion) != VELKLK_PACKAGE_VERSION) {
    return Fail(std::string("headers of ") + velklk::kVersion + ", package of " +
                VELKLK_PACKAGE_VERSION);
  }
  std::ifstream file(VELKLK_DEMO_FIXTURE);
  if (!file) return Fail("cannot read " + std::string(VELKLK_DEMO_FIXTURE));
  std::ostringstream fixture;
  fixture << file.rdbuf();

  auto profile = velklk::Profile::Create(directory, fixture.str());
  velklk::RecordingUserInterface ui;
  velklk::InstallPlatformServices(profile->Services(&ui, "en"));
  profile->Host().SetCurrentUser("ANNA");

  velklk::Variant result;
  {
    velklk::ProfileUnitOfWork work(*profile);
    auto sync = velklk::CreateObject("velKLK.CSync");
    const auto& member = velklk::FindMember(*sync, "AddressOrContactSync2OL");
    auto args = velklk::ArgumentsFromTexts(member, profile->Host().Application(), nullptr,
                                           {"0000000001", "Adressen"});
    result = velklk::Invoke(*sync, member.dispid, args);
    work.Commit();
  }
  velklk::RemovePlatformServices();
  if (result != velklk::Variant(true)) return Fail("AddressOrContactSync2OL did not succeed");

  auto contacts = profile->Outlook().FindFolder("anna.berg@velmora.example\\Kontakte");
  auto contact = contacts->Items()->Find("[velSearch] = \"0000000001Adressen\"");
  if (!contact) return Fail("the address is not in Anna's Outlook contacts");
  std::cout << "velklk " << velklk::kVersion << ": exported 0000000001Adressen\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Fail("usage: velklk_consumer PROFILE_DIR");
  try {
    return Run(argv[1]);
  } catch (const velklk::AutomationError& e) {
    return Fail("error " + e.NumberText() + ": " + e.Description());
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
