#include "server/time_zones.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

namespace velklk::server {
namespace {

std::string Trim(std::string s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The name below a zoneinfo/ directory of a path, else the text itself.
std::string BelowZoneinfo(std::string text) {
  const std::string marker = "zoneinfo/";
  if (const auto at = text.rfind(marker); at != std::string::npos)
    return text.substr(at + marker.size());
  return text;
}

// The default zone of each Windows zone name (the territory "001" of the
// common mapping), the names servers send most.
constexpr std::pair<std::string_view, std::string_view> kWindowsZones[] = {
    {"AUS Eastern Standard Time", "Australia/Sydney"},
    {"Alaskan Standard Time", "America/Anchorage"},
    {"Arabian Standard Time", "Asia/Dubai"},
    {"Atlantic Standard Time", "America/Halifax"},
    {"Belarus Standard Time", "Europe/Minsk"},
    {"Canada Central Standard Time", "America/Regina"},
    {"Central America Standard Time", "America/Guatemala"},
    {"Central Asia Standard Time", "Asia/Almaty"},
    {"Central Europe Standard Time", "Europe/Budapest"},
    {"Central European Standard Time", "Europe/Warsaw"},
    {"Central Standard Time", "America/Chicago"},
    {"China Standard Time", "Asia/Shanghai"},
    {"E. Africa Standard Time", "Africa/Nairobi"},
    {"E. Europe Standard Time", "Europe/Chisinau"},
    {"E. South America Standard Time", "America/Sao_Paulo"},
    {"Eastern Standard Time", "America/New_York"},
    {"Egypt Standard Time", "Africa/Cairo"},
    {"FLE Standard Time", "Europe/Kiev"},
    {"GMT Standard Time", "Europe/London"},
    {"GTB Standard Time", "Europe/Bucharest"},
    {"Greenwich Standard Time", "Atlantic/Reykjavik"},
    {"Hawaiian Standard Time", "Pacific/Honolulu"},
    {"India Standard Time", "Asia/Calcutta"},
    {"Israel Standard Time", "Asia/Jerusalem"},
    {"Korea Standard Time", "Asia/Seoul"},
    {"Mountain Standard Time", "America/Denver"},
    {"New Zealand Standard Time", "Pacific/Auckland"},
    {"Pacific Standard Time", "America/Los_Angeles"},
    {"Romance Standard Time", "Europe/Paris"},
    {"Russian Standard Time", "Europe/Moscow"},
    {"SA Pacific Standard Time", "America/Bogota"},
    {"SE Asia Standard Time", "Asia/Bangkok"},
    {"Singapore Standard Time", "Asia/Singapore"},
    {"South Africa Standard Time", "Africa/Johannesburg"},
    {"Tokyo Standard Time", "Asia/Tokyo"},
    {"Turkey Standard Time", "Europe/Istanbul"},
    {"US Mountain Standard Time", "America/Phoenix"},
    {"UTC", "UTC"},
    {"W. Australia Standard Time", "Australia/Perth"},
    {"W. Europe Standard Time", "Europe/Berlin"},
};

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::string ResolveZoneName(const std::string& zone) {
  if (!zone.empty()) return zone;
  if (const char* tz = std::getenv("TZ"); tz && *tz) {
    std::string name = tz;
    if (name[0] == ':') name.erase(0, 1);
    if (!name.empty()) return BelowZoneinfo(name);
  }
  if (std::ifstream in("/etc/timezone"); in) {
    std::string line;
    std::getline(in, line);
    if (line = Trim(line); !line.empty()) return line;
  }
  std::error_code ec;
  const auto target = std::filesystem::read_symlink("/etc/localtime", ec);
  if (!ec) {
    const std::string name = BelowZoneinfo(target.string());
    if (name != target.string()) return name;
  }
  return "UTC";
}

std::optional<std::string> WindowsZone(std::string_view name) {
  for (const auto& [windows, iana] : kWindowsZones)
    if (SameName(windows, name)) return std::string(iana);
  return std::nullopt;
}

}  // namespace velklk::server
