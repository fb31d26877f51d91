// Feeds arbitrary bytes to the reader of a server's WebDAV answers: any
// input reads into responses that each have an href, or raises DavError
// (BadAnswer), never a crash; the check for a named precondition never
// raises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server/dav_error.h"
#include "server/multistatus.h"

using namespace velklk::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const Multistatus ms = ParseMultistatus(text);
    for (const auto& response : ms.responses) {
      if (response.href.empty()) std::abort();
      for (const auto& property : response.properties) (void)property.Hrefs();
    }
  } catch (const DavError& e) {
    if (e.GetKind() != DavError::Kind::BadAnswer) std::abort();
  }
  (void)NamesPrecondition(text, kDavNs, "valid-sync-token");
  return 0;
}
