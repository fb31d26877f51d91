// The bundle of platform services handed to the add-in. Everything outside
// the add-in's own logic is reached through one of these interfaces.
#pragma once

#include <string>

#include "platform/export.h"

namespace velklk {

class Clock;
class ErrorTextComponent;
class FileSystem;
class GenderFactory;
class OlAttacher;
class UserInterface;
class XmlFactory;

struct VELKLK_API PlatformServices {
  OlAttacher* outlook = nullptr;
  UserInterface* ui = nullptr;
  FileSystem* fileSystem = nullptr;
  const Clock* clock = nullptr;
  XmlFactory* xml = nullptr;
  ErrorTextComponent* errorText = nullptr;
  GenderFactory* gender = nullptr;
  // Language of the message catalogue and of short dates: "de" or "en".
  std::string language = "de";
};

}  // namespace velklk
