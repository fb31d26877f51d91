// Feeds arbitrary text to the contact codec as a server could send it: it
// must read as a contact or raise VCardError, never crash. What reads must
// write back (with the profile's UID) to a vCard that reads again, with the
// same canonical text and UID, and writing that again gives the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/contact_codec.h"
#include "server/vcard.h"

using namespace velklk::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReceivedContact first;
  try {
    first = DecodeContact(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const VCardError&) {
    return 0;
  }
  const std::string uid =
      first.uid.value_or(UidOfEntryId("00000000A71C6B19E4D3425F0000000000000001"));
  const EncodedContact written = EncodeContact(first.data, uid);
  const ReceivedContact second = DecodeContact(written.text);
  if (second.canonical != first.canonical) __builtin_trap();
  if (written.canonical != second.canonical) __builtin_trap();
  if (second.uid != uid) __builtin_trap();
  if (EncodeContact(second.data, uid).text != written.text) __builtin_trap();
  return 0;
}
