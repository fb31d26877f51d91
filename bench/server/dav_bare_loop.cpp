// The bare baseline of the server benchmark (scripts/bench-server.sh): the
// HTTP requests of a send/receive pass sent by a plain libcurl loop on one
// handle, with nothing around them (no profile, no codec, no status table),
// and the setup steps the benchmark needs on the server's side.
//
//   dav_bare_loop mkcol COLLECTION               make an address book
//   dav_bare_loop mkcalendar COLLECTION COMP     make a calendar for COMP (VEVENT or VTODO)
//   dav_bare_loop put COLLECTION DIR             PUT each DIR/*.vcf or *.ics,
//                                                If-None-Match: *                  (timed)
//   dav_bare_loop token COLLECTION               print the collection's sync token
//   dav_bare_loop receive COLLECTION TOKEN       sync-collection from TOKEN, then
//                                                addressbook-multiget or calendar-multiget
//                                                in pages of 100                   (timed)
//   dav_bare_loop noop COLLECTION TOKEN          one sync-collection from TOKEN    (timed)
//   dav_bare_loop dump COLLECTION DIR            GET every resource into DIR/NAME
//
// put, receive and noop also take several collections, one step each on the
// same handle, timed together: "put C1 DIR1 C2 DIR2 ...", "receive C1 T1
// C2 T2 ..." (the tokens printed are then separated by spaces).
//
// The user and password come from BENCH_DAV_USER and BENCH_DAV_PASSWORD. A
// timed step prints one JSON line: {"ms":T,"requests":N,"items":M,"token":...}.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Answer {
  long status = 0;
  std::string body;
  std::string etag;
};

std::size_t Append(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

std::size_t Header(char* data, std::size_t size, std::size_t count, void* user) {
  std::string line(data, size * count);
  if (line.size() > 5 && (line.compare(0, 5, "ETag:") == 0 || line.compare(0, 5, "etag:") == 0)) {
    std::string value = line.substr(5);
    value.erase(0, value.find_first_not_of(" \t"));
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    *static_cast<std::string*>(user) = value;
  }
  return size * count;
}

// One libcurl handle for every request, as a pass has.
class Loop {
 public:
  Loop() : curl_(curl_easy_init()) {
    if (curl_ == nullptr) throw std::runtime_error("no libcurl handle");
    const char* user = std::getenv("BENCH_DAV_USER");
    const char* password = std::getenv("BENCH_DAV_PASSWORD");
    user_ = user ? user : "";
    password_ = password ? password : "";
  }
  ~Loop() { curl_easy_cleanup(curl_); }
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  Answer Send(const std::string& method, const std::string& url,
              const std::vector<std::string>& headers, const std::string& body = "") {
    curl_easy_reset(curl_);
    Answer answer;
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(curl_, CURLOPT_USERNAME, user_.c_str());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, password_.c_str());
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, Header);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &answer.etag);
    if (method == "GET") {
      curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, method.c_str());
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.data());
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    curl_slist* list = curl_slist_append(nullptr, "Expect:");
    for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, list);
    ++requests_;
    const CURLcode code = curl_easy_perform(curl_);
    curl_slist_free_all(list);
    if (code != CURLE_OK)
      throw std::runtime_error(method + " " + url + ": " + curl_easy_strerror(code));
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
  }

  Answer Expect(const std::string& method, const std::string& url,
                const std::vector<std::string>& headers, const std::string& body,
                std::initializer_list<long> good) {
    Answer answer = Send(method, url, headers, body);
    if (std::find(good.begin(), good.end(), answer.status) == good.end())
      throw std::runtime_error(method + " " + url + ": HTTP " + std::to_string(answer.status) +
                               "\n" + answer.body.substr(0, 500));
    return answer;
  }

  int Requests() const { return requests_; }

 private:
  CURL* curl_;
  std::string user_, password_;
  int requests_ = 0;
};

// The text of every element with this local name (any prefix), in order.
std::vector<std::string> Elements(const std::string& xml, const std::string& local) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while ((at = xml.find('<', at)) != std::string::npos) {
    const std::size_t close = xml.find('>', at);
    if (close == std::string::npos) break;
    std::string name = xml.substr(at + 1, close - at - 1);
    at = close + 1;
    if (name.empty() || name[0] == '/' || name.back() == '/') continue;
    name = name.substr(0, name.find(' '));
    const std::size_t colon = name.find(':');
    if ((colon == std::string::npos ? name : name.substr(colon + 1)) != local) continue;
    const std::size_t end = xml.find("</", at);
    if (end == std::string::npos) break;
    out.push_back(xml.substr(at, end - at));
    at = end;
  }
  return out;
}

std::string SyncBody(const std::string& token) {
  return R"(<?xml version="1.0" encoding="utf-8"?><d:sync-collection xmlns:d="DAV:">)" +
         (token.empty() ? std::string("<d:sync-token/>")
                        : "<d:sync-token>" + token + "</d:sync-token>") +
         "<d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>";
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A vCard or an iCalendar object (the collection's own href is neither).
bool IsResource(const std::string& href) {
  return EndsWith(href, ".vcf") || EndsWith(href, ".ics");
}

const std::vector<std::string> kXml{"Depth: 0", "Content-Type: application/xml; charset=utf-8"};
const std::vector<std::string> kXmlDepth1{"Depth: 1",
                                          "Content-Type: application/xml; charset=utf-8"};

// The hrefs of a sync-collection answer other than the collection itself,
// and its token.
std::pair<std::vector<std::string>, std::string> SyncCollection(Loop& loop,
                                                                const std::string& collection,
                                                                const std::string& token) {
  const Answer answer = loop.Expect("REPORT", collection, kXml, SyncBody(token), {207});
  std::vector<std::string> hrefs;
  for (auto& href : Elements(answer.body, "href"))
    if (IsResource(href)) hrefs.push_back(href);
  const auto tokens = Elements(answer.body, "sync-token");
  return {hrefs, tokens.empty() ? std::string() : tokens.front()};
}

std::string Origin(const std::string& url) {
  const std::size_t slash = url.find('/', url.find("//") + 2);
  return url.substr(0, slash);
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<fs::path> Resources(const std::string& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (IsResource(entry.path().filename().string())) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

void Report(double ms, const Loop& loop, std::size_t items, const std::string& token = "") {
  std::printf("{\"ms\":%.1f,\"requests\":%d,\"items\":%zu,\"token\":\"%s\"}\n", ms, loop.Requests(),
              items, token.c_str());
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

int Run(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::cerr
        << "usage: dav_bare_loop mkcol|mkcalendar|put|token|receive|noop|dump COLLECTION ...\n";
    return 2;
  }
  const std::string& mode = args[0];
  const std::string& collection = args[1];
  Loop loop;
  if (mode == "mkcol") {
    const std::string body =
        R"(<?xml version="1.0" encoding="utf-8"?><d:mkcol xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:carddav"><d:set><d:prop><d:resourcetype><d:collection/><c:addressbook/></d:resourcetype></d:prop></d:set></d:mkcol>)";
    loop.Expect("MKCOL", collection, {"Content-Type: application/xml; charset=utf-8"}, body, {201});
    return 0;
  }
  if (mode == "mkcalendar" && args.size() == 3) {
    const std::string body =
        R"(<?xml version="1.0" encoding="utf-8"?><c:mkcalendar xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:set><d:prop><c:supported-calendar-component-set><c:comp name=")" +
        args[2] + R"("/></c:supported-calendar-component-set></d:prop></d:set></c:mkcalendar>)";
    loop.Expect("MKCALENDAR", collection, {"Content-Type: application/xml; charset=utf-8"}, body,
                {201});
    return 0;
  }
  if (mode == "put" && args.size() >= 3 && args.size() % 2 == 1) {
    // Read before the clock starts: the collection, the file name, the text.
    std::vector<std::tuple<std::string, std::string, std::string>> resources;
    for (std::size_t at = 1; at + 1 < args.size(); at += 2)
      for (const auto& file : Resources(args[at + 1]))
        resources.emplace_back(args[at], file.filename().string(), Read(file));
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [into, name, body] : resources)
      loop.Expect("PUT", into + name,
                  {EndsWith(name, ".ics") ? "Content-Type: text/calendar; charset=utf-8"
                                          : "Content-Type: text/vcard; charset=utf-8",
                   "If-None-Match: *"},
                  body, {201, 204});
    Report(Since(start), loop, resources.size());
    return 0;
  }
  if (mode == "token") {
    std::cout << SyncCollection(loop, collection, "").second << "\n";
    return 0;
  }
  if ((mode == "receive" || mode == "noop") && args.size() >= 3 && args.size() % 2 == 1) {
    const auto start = std::chrono::steady_clock::now();
    std::size_t items = 0;
    std::string tokens;
    for (std::size_t arg = 1; arg + 1 < args.size(); arg += 2) {
      const std::string& from = args[arg];
      auto [hrefs, token] = SyncCollection(loop, from, args[arg + 1]);
      tokens += (tokens.empty() ? "" : " ") + token;
      if (mode == "noop") {
        items += hrefs.size();
        continue;
      }
      for (std::size_t at = 0; at < hrefs.size(); at += 100) {
        const bool calendar = EndsWith(hrefs[at], ".ics");
        std::string body =
            calendar
                ? R"(<?xml version="1.0" encoding="utf-8"?><c:calendar-multiget xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:prop><d:getetag/><c:calendar-data/></d:prop>)"
                : R"(<?xml version="1.0" encoding="utf-8"?><c:addressbook-multiget xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:carddav"><d:prop><d:getetag/><c:address-data/></d:prop>)";
        for (std::size_t i = at; i < std::min(hrefs.size(), at + 100); ++i)
          body += "<d:href>" + hrefs[i] + "</d:href>";
        body += calendar ? "</c:calendar-multiget>" : "</c:addressbook-multiget>";
        const Answer answer = loop.Expect("REPORT", from, kXmlDepth1, body, {207});
        items += Elements(answer.body, calendar ? "calendar-data" : "address-data").size();
      }
    }
    Report(Since(start), loop, items, tokens);
    return 0;
  }
  if (mode == "dump" && args.size() == 3) {
    const auto [hrefs, token] = SyncCollection(loop, collection, "");
    fs::create_directories(args[2]);
    for (const auto& href : hrefs) {
      const Answer answer = loop.Expect("GET", Origin(collection) + href, {}, "", {200});
      std::ofstream(fs::path(args[2]) / href.substr(href.find_last_of('/') + 1), std::ios::binary)
          << answer.body;
    }
    Report(0, loop, hrefs.size(), token);
    return 0;
  }
  std::cerr << "dav_bare_loop: unknown mode or wrong arguments: " << mode << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  int status = 1;
  try {
    status = Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "dav_bare_loop: " << e.what() << "\n";
  }
  curl_global_cleanup();
  return status;
}
