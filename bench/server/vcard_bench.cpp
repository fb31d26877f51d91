// The CPU cost per contact of the vCard codec: a contact of the add-in's
// export written and read again (what a send and its echo cost), a received
// phone's vCard read and mapped, beside the bare reading of the same texts by
// the vCard reader alone (no mapping).
#include <benchmark/benchmark.h>

#include <string>

#include "outlook/values.h"
#include "server/contact_codec.h"
#include "server/vcard.h"

namespace velklk::server {
namespace {

outlook::ItemData AddInContact() {
  auto put = [](outlook::ItemData& d, const char* name, outlook::PropValue v) {
    d.Put(*outlook::FindProperty(name), std::move(v));
  };
  outlook::ItemData d;
  put(d, "FirstName", std::string("Anna"));
  put(d, "LastName", std::string("Schulz"));
  put(d, "Title", std::string("Frau Dr."));
  put(d, "CompanyName", std::string("Kestrel Partner GmbH"));
  put(d, "Department", std::string("Einkauf"));
  put(d, "JobTitle", std::string("Leiterin"));
  put(d, "BusinessAddressStreet", std::string("Lindenstraße 5"));
  put(d, "BusinessAddressCity", std::string("Berlin"));
  put(d, "BusinessAddressPostalCode", std::string("10117"));
  put(d, "BusinessTelephoneNumber", std::string("+49 30 1234-0"));
  put(d, "BusinessFaxNumber", std::string("+49 30 1234-99"));
  put(d, "MobileTelephoneNumber", std::string("+49 170 1"));
  put(d, "Email1Address", std::string("anna@kestrel.example"));
  put(d, "Email3Address", std::string("anna@privat.example"));
  put(d, "Body", std::string("Kundin seit 2001.\r\nRuft montags an."));
  d.user = {{"velSearch", OlUserPropertyType::Text, std::string("P0000000007")},
            {"velTable", OlUserPropertyType::Text, std::string("Ansprechpartner")},
            {"velID", OlUserPropertyType::Text, std::string("0000000007")},
            {"velKontaktTyp", OlUserPropertyType::Text, std::string("Ansprechpartner")}};
  return d;
}

const std::string kPhone =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Example Phone//EN\r\nN:Maier;Clara;;;\r\n"
    "FN:Clara Maier\r\nORG:Maier GmbH;Vertrieb\r\nitem1.EMAIL;type=INTERNET;type=pref:"
    "clara@maier.example\r\nitem1.X-ABLabel:_$!<Other>!$_\r\nTEL;type=CELL;type=VOICE:"
    "+49 171 555\r\nTEL;type=WORK;type=VOICE:+49 30 1234\r\nADR;type=HOME:;;Am Hang 2;"
    "Potsdam;;14467;\r\nNOTE:Erste Zeile\\nZweite Zeile\r\nNICKNAME:Clari\r\n"
    "UID:5B1F2C44-8E9A-4C1B-9A0B-1D2E3F405162\r\nEND:VCARD\r\n";

void BM_EncodeAndDecode(benchmark::State& state) {
  const outlook::ItemData item = AddInContact();
  for (auto _ : state) {
    EncodedContact sent = EncodeContact(item, "00000000A71C6B19E4D3425F0000000000000007");
    benchmark::DoNotOptimize(DecodeContact(sent.text));
  }
}
BENCHMARK(BM_EncodeAndDecode);

void BM_BareParseOfTheSameText(benchmark::State& state) {
  const std::string text =
      EncodeContact(AddInContact(), "00000000A71C6B19E4D3425F0000000000000007").text;
  for (auto _ : state) benchmark::DoNotOptimize(ParseVCard(text));
}
BENCHMARK(BM_BareParseOfTheSameText);

void BM_DecodeOfAPhonesCard(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(DecodeContact(kPhone));
}
BENCHMARK(BM_DecodeOfAPhonesCard);

void BM_BareParseOfAPhonesCard(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ParseVCard(kPhone));
}
BENCHMARK(BM_BareParseOfAPhonesCard);

}  // namespace
}  // namespace velklk::server

BENCHMARK_MAIN();
