#include "host/schema.h"

#include <map>
#include <set>
#include <stdexcept>

#include "platform/text_case.h"

namespace velklk::host {

std::size_t CharCount(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string CutChars(std::string_view text, std::size_t maxChars) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (n == maxChars) return std::string(text.substr(0, i));
      ++n;
    }
  }
  return std::string(text);
}

std::string_view FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::Text:
      return "text";
    case FieldType::Memo:
      return "memo";
    case FieldType::Integer:
      return "integer";
    case FieldType::Number:
      return "number";
    case FieldType::Boolean:
      return "boolean";
    case FieldType::Date:
      return "date";
    case FieldType::Link:
      return "link";
  }
  return "text";
}

std::optional<FieldType> ParseFieldType(std::string_view name) {
  for (FieldType t : {FieldType::Text, FieldType::Memo, FieldType::Integer, FieldType::Number,
                      FieldType::Boolean, FieldType::Date, FieldType::Link})
    if (SameIdentifier(name, FieldTypeName(t))) return t;
  return std::nullopt;
}

int TableDef::FieldIndex(std::string_view fieldName) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (SameIdentifier(fields[i].name, fieldName)) return static_cast<int>(i);
  return -1;
}

const FieldDef* TableDef::FindField(std::string_view fieldName) const {
  const int i = FieldIndex(fieldName);
  return i < 0 ? nullptr : &fields[static_cast<std::size_t>(i)];
}

const IndexDef* TableDef::FindIndex(std::string_view indexName) const {
  for (const auto& index : indexes)
    if (SameIdentifier(index.name, indexName)) return &index;
  return nullptr;
}

std::shared_ptr<const TableDef> Schema::Find(std::string_view tableName) const {
  for (const auto& t : tables)
    if (SameIdentifier(t->name, tableName)) return t;
  return nullptr;
}

std::vector<std::shared_ptr<const TableDef>> Schema::MastersFirst() const {
  std::vector<std::shared_ptr<const TableDef>> out;
  std::set<std::string> placed;
  // Validate() guarantees the master chains end; a bounded loop keeps a bad
  // description from spinning.
  for (std::size_t round = 0; round <= tables.size() && out.size() < tables.size(); ++round) {
    for (const auto& t : tables) {
      const std::string key = IdentifierKey(t->name);
      if (placed.count(key)) continue;
      if (t->master.empty() || placed.count(IdentifierKey(t->master))) {
        out.push_back(t);
        placed.insert(key);
      }
    }
  }
  return out;
}

void Schema::Validate() const {
  std::set<std::string> names;
  for (const auto& t : tables) {
    const std::string where = "table '" + t->name + "'";
    if (t->name.empty() || t->name.rfind("_vk_", 0) == 0)
      throw std::invalid_argument(where + ": invalid table name");
    if (!names.insert(IdentifierKey(t->name)).second)
      throw std::invalid_argument(where + ": table defined twice");
    std::set<std::string> fieldNames;
    for (const auto& f : t->fields) {
      if (f.name.empty() || f.name.rfind("_vk_", 0) == 0 ||
          f.name.find_first_of("\"\n\r\t") != std::string::npos)
        throw std::invalid_argument(where + ": invalid field name '" + f.name + "'");
      if (!fieldNames.insert(IdentifierKey(f.name)).second)
        throw std::invalid_argument(where + ": field '" + f.name + "' defined twice");
      if (f.type == FieldType::Text && (f.size < 1 || f.size > 65535))
        throw std::invalid_argument(where + ": text field '" + f.name + "' needs a size 1..65535");
    }
    const FieldDef* id = t->FindField("ID");
    if (!id || id->type != FieldType::Text)
      throw std::invalid_argument(where + ": needs a text field 'ID'");
    if (id->size > 18) throw std::invalid_argument(where + ": field 'ID' larger than 18");
    for (const auto& index : t->indexes) {
      if (index.name.empty() || SameIdentifier(index.name, "ID") || index.fields.empty())
        throw std::invalid_argument(where + ": invalid index '" + index.name + "'");
      for (const auto& f : index.fields)
        if (!t->FindField(f))
          throw std::invalid_argument(where + ": index '" + index.name + "' names missing field '" +
                                      f + "'");
    }
  }
  for (const auto& t : tables) {
    std::string m = t->master;
    for (std::size_t depth = 0; !m.empty(); ++depth) {
      auto master = Find(m);
      if (!master)
        throw std::invalid_argument("table '" + t->name + "': unknown master table '" + m + "'");
      if (depth > tables.size())
        throw std::invalid_argument("table '" + t->name + "': master tables form a cycle");
      m = master->master;
    }
  }
}

namespace {

FieldDef Text(std::string name, int size, std::string def = {}) {
  return FieldDef{std::move(name), FieldType::Text, size, std::move(def)};
}
FieldDef Of(std::string name, FieldType type) { return FieldDef{std::move(name), type, 0, {}}; }

std::shared_ptr<const TableDef> Make(std::string name, std::string master,
                                     std::vector<FieldDef> fields,
                                     std::vector<IndexDef> indexes = {}) {
  auto t = std::make_shared<TableDef>();
  t->name = std::move(name);
  t->master = std::move(master);
  t->fields.push_back(Text("ID", 10));
  for (auto& f : fields) t->fields.push_back(std::move(f));
  t->fields.push_back(Of("ModifiziertAm", FieldType::Date));
  t->indexes = std::move(indexes);
  return t;
}

std::vector<FieldDef> ActivityFields() {
  return {Text("Typ", 30),
          Text("Betreff", 120),
          Of("Memo", FieldType::Memo),
          Of("Datum", FieldType::Date),
          Of("DatumBis", FieldType::Date),
          Of("Dauer", FieldType::Number),
          Of("Voralarm", FieldType::Number),
          Of("Erledigt", FieldType::Boolean),
          Text("Empfaenger", 80),
          Text("Verantwortlich", 30, "@user")};
}

}  // namespace

Schema Schema::Default() {
  using FT = FieldType;
  Schema s;
  s.tables.push_back(Make(
      "Adressen", "",
      {Text("An", 20), Text("Titel", 30), Text("Vorname", 40), Text("Name", 60), Text("Zusatz", 60),
       Text("Strasse", 60), Text("haus_zimmer", 30), Text("PLZ", 10), Text("Ort", 40),
       Text("Land", 3), Text("Email", 80), Text("Email2", 80), Text("Telefon1", 30),
       Text("Telefon2", 30), Text("Telefax", 30), Text("TelefonMobil", 30), Of("URL", FT::Link),
       Text("Referenz", 60), Of("Memo", FT::Memo)}));
  s.tables.push_back(Make("Ansprechpartner", "Adressen",
                          {Text("FrauHerr", 10),
                           Text("Titel", 30),
                           Text("Vorname", 40),
                           Text("Name", 60),
                           Text("Abteilung", 60),
                           Text("Funktion", 60),
                           Text("Telefon", 30),
                           Text("Telefax", 30),
                           Text("TelefonMobil", 30),
                           Text("Email", 80),
                           Text("Email2", 80),
                           Text("TelefonPrivat", 30),
                           Text("TelefaxPrivat", 30),
                           Text("TelefonMobilPrivat", 30),
                           Text("EMailPrivat", 80),
                           Of("Memo", FT::Memo),
                           Of("InfoObject", FT::Link),
                           Text("Strasse", 60),
                           Text("PLZ", 10),
                           Text("Ort", 40),
                           Text("Land", 3),
                           Of("geboren", FT::Date),
                           Of("Geburtstag", FT::Date)}));
  s.tables.push_back(Make("Adressmerkmale", "Adressen",
                          {Text("Gruppe", 40), Text("Merkmal", 40), Text("Wert", 60)}));
  s.tables.push_back(Make("AnsprechpartnerMerkmale", "Ansprechpartner",
                          {Text("Gruppe", 40), Text("Merkmal", 40), Text("Wert", 60)}));
  s.tables.push_back(Make("Vorgaenge", "Adressen", {Text("Betreff", 120), Of("Memo", FT::Memo)}));
  s.tables.push_back(Make("Aktivitaeten", "Vorgaenge", ActivityFields()));
  auto termine = ActivityFields();
  termine.push_back(Of("Vertraulich", FT::Boolean));
  termine.push_back(Text("Absender", 80));
  s.tables.push_back(Make("calA_Termine", "", std::move(termine)));
  s.tables.push_back(Make("calA_Teilnehmer", "",
                          {Text("MasterTable", 31), Text("MasterID", 10), Text("User", 30)}));
  s.tables.push_back(
      Make("TBKLK_SyncLog", "",
           {Text("velUser", 30), Text("velTable", 31), Text("velID", 10), Text("velSearch", 80)},
           {IndexDef{"SyncSearch", {"velUser", "velSearch"}}}));
  s.tables.push_back(
      Make("WRTM_Tasks", "",
           {Text("Responsible", 30), Text("ResponsibleGroup", 30), Text("CreatedBy", 30),
            Of("Status", FT::Integer), Of("StartDate", FT::Date), Of("EndDate", FT::Date),
            Text("Subject", 120), Of("Description", FT::Memo), Of("Importance", FT::Integer),
            Of("DoneInPercent", FT::Integer), Of("RemindTime", FT::Date), Of("Remind", FT::Boolean),
            Of("Duration", FT::Number), Of("Version", FT::Integer), Of("UnRead", FT::Boolean),
            Text("DoneBy", 30), Text("LinkedRecordTable", 31), Text("LinkedRecordId", 10),
            Text("LinkedRecordDescription", 120)}));
  return s;
}

}  // namespace velklk::host
