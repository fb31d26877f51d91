#include "components/error_text.h"

#include <cstdint>
#include <map>

#include "platform/automation_error.h"

namespace velklk {
namespace {

struct Texts {
  const char* de;
  const char* en;
};

const std::map<std::uint32_t, Texts>& Table() {
  static const std::map<std::uint32_t, Texts> table = {
      {err::kInvalidProcedureCall,
       {"Unzulässiger Prozeduraufruf oder ungültiges Argument",
        "Invalid procedure call or argument"}},
      {6, {"Überlauf", "Overflow"}},
      {7, {"Nicht genügend Speicher", "Out of memory"}},
      {err::kSubscriptOutOfRange,
       {"Index außerhalb des gültigen Bereichs", "Subscript out of range"}},
      {11, {"Division durch Null", "Division by zero"}},
      {err::kTypeMismatchRt, {"Typen unverträglich", "Type mismatch"}},
      {52, {"Dateiname oder -nummer falsch", "Bad file name or number"}},
      {53, {"Datei nicht gefunden", "File not found"}},
      {58, {"Datei existiert bereits", "File already exists"}},
      {err::kPermissionDenied, {"Zugriff verweigert", "Permission denied"}},
      {75, {"Fehler beim Zugriff auf Pfad/Datei", "Path/File access error"}},
      {76, {"Pfad nicht gefunden", "Path not found"}},
      {err::kObjectVariableNotSet,
       {"Objektvariable oder With-Blockvariable nicht festgelegt",
        "Object variable or With block variable not set"}},
      {94, {"Unzulässige Verwendung von Null", "Invalid use of Null"}},
      {326, {"Ressource mit dieser Kennung nicht gefunden", "Resource with identifier not found"}},
      {429,
       {"Objekterstellung durch die Komponente nicht möglich",
        "Component cannot create the object"}},
      {438,
       {"Objekt unterstützt diese Eigenschaft oder Methode nicht",
        "Object doesn't support this property or method"}},
      {err::kObjectRequired, {"Objekt erforderlich", "Object required"}},
      {err::kNotImplemented, {"Nicht implementiert", "Not implemented"}},
      {err::kFail, {"Unbekannter Fehler", "Unspecified error"}},
      {err::kInvalidArg, {"Ungültiges Argument", "One or more arguments are invalid"}},
      {err::kMemberNotFound, {"Element nicht gefunden", "Member not found"}},
      {err::kTypeMismatch, {"Typkonflikt", "Type mismatch"}},
      {err::kUnknownName, {"Unbekannter Name", "Unknown name"}},
      {0x80020009u, {"Ausnahmefehler aufgetreten", "Exception occurred"}},
      {0x8002000Bu, {"Ungültiger Index", "Invalid index"}},
      {err::kBadParamCount, {"Falsche Anzahl an Parametern", "Invalid number of parameters"}},
      {err::kClassNotRegistered, {"Klasse nicht registriert", "Class not registered"}},
      {err::kOperationUnavailable,
       {"Vorgang nicht verfügbar (die Anwendung läuft nicht)",
        "Operation unavailable (the application is not running)"}},
      {err::kOlNotFound,
       {"Das Objekt wurde nicht gefunden (Ordner oder Element existiert nicht)",
        "The object could not be found (folder or item does not exist)"}},
      {err::kOlNetwork,
       {"Der Server ist nicht erreichbar; prüfen Sie die Verbindung oder arbeiten Sie offline",
        "The server is not available; check the connection or work offline"}},
      {err::kOlRefusedValue,
       {"Der Wert wurde für diese Eigenschaft nicht angenommen",
        "The value was not accepted for this property"}},
  };
  return table;
}

}  // namespace

std::string TableErrorText::ErrorText(unsigned long number, const std::string& language) const {
  const auto found = Table().find(static_cast<std::uint32_t>(number));
  if (found == Table().end()) return {};
  return language == "en" ? found->second.en : found->second.de;
}

}  // namespace velklk
