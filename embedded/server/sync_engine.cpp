#include "server/sync_engine.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <map>
#include <set>
#include <unordered_map>

#include "outlook/embedded_outlook.h"
#include "outlook/server_store.h"
#include "platform/automation_error.h"
#include "server/contact_codec.h"
#include "server/ical_codec.h"
#include "server/vcard.h"
#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::server {
namespace {

using Out = nlohmann::ordered_json;
using outlook::ItemData;

constexpr long long kEpochOffset = 2209161600LL;  // 1899-12-30 to 1970-01-01 in seconds

// ------------------------------------------------------------ codecs

class ContactKind final : public ItemKindCodec {
 public:
  Decoded Decode(std::string_view text, const FindUserDef& defs) const override {
    ReceivedContact c = DecodeContact(text, defs);
    return Decoded{std::move(c.data), std::move(c.uid), c.revision, std::move(c.canonical)};
  }
  Encoded Encode(const ItemData& item, std::string_view uid,
                 std::optional<std::chrono::sys_seconds> revision, long) const override {
    EncodedContact e = EncodeContact(item, uid, revision);
    return Encoded{std::move(e.text), std::move(e.canonical)};
  }
  void Apply(const ItemData& received, ItemData& item) const override {
    ApplyContact(received, item);
  }
  std::string ContentType() const override { return "text/vcard; charset=utf-8"; }
  bool Calendar() const override { return false; }
};

// A content hash: FNV-1a of 64 bits, as 16 hexadecimal digits.
std::string Hash(std::string_view text) {
  std::uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return fmt::format("{:016x}", h);
}

// Sets TZ for a conversion and puts it back after.
class ZoneScope {
 public:
  explicit ZoneScope(const std::string& zone) : active_(!zone.empty()) {
    if (!active_) return;
    if (const char* old = std::getenv("TZ")) saved_ = old;
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
  }
  ~ZoneScope() {
    if (!active_) return;
    if (saved_) {
      ::setenv("TZ", saved_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  ZoneScope(const ZoneScope&) = delete;
  ZoneScope& operator=(const ZoneScope&) = delete;

 private:
  bool active_;
  std::optional<std::string> saved_;
};

// ------------------------------------------------------------ status table

struct StatusRow {
  std::string entryId, href, uid, etag;
  std::int64_t revision = 0;
  std::string hash;
  long sequence = 0;  // the SEQUENCE last sent or received
};

class StatusTable {
 public:
  StatusTable(sqlite::Connection& db, std::int64_t folder, std::string collection)
      : db_(db), folder_(folder), collection_(std::move(collection)) {}

  void Load() {
    rows_.clear();
    byHref_.clear();
    auto st = db_.Prepare(
        "SELECT entry_id, href, uid, etag, revision, content_hash, sequence "
        "FROM main._vk_server_items WHERE folder = ?1");
    st.Bind(1, folder_);
    while (st.Step()) {
      StatusRow row{st.Text(0), st.Text(1), st.Text(2),  st.Text(3),
                    st.Int(4),  st.Text(5), static_cast<long>(st.Int(6))};
      byHref_[Key(row.href)] = row.entryId;
      rows_[row.entryId] = std::move(row);
    }
  }
  std::string Key(const std::string& href) const { return DavClient::PathKey(collection_, href); }
  const StatusRow* ByEntry(const std::string& entryId) const {
    auto it = rows_.find(entryId);
    return it == rows_.end() ? nullptr : &it->second;
  }
  const StatusRow* ByHref(const std::string& href) const {
    auto it = byHref_.find(Key(href));
    return it == byHref_.end() ? nullptr : ByEntry(it->second);
  }
  const std::map<std::string, StatusRow>& Rows() const { return rows_; }

  // In the caller's transaction; the memory follows once the caller's
  // transaction committed (Remember/Forget).
  void Write(const StatusRow& row) {
    auto st = db_.Prepare(
        "INSERT OR REPLACE INTO main._vk_server_items(folder, entry_id, href, uid, etag, "
        "revision, content_hash, sequence) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    st.Bind(1, folder_)
        .Bind(2, row.entryId)
        .Bind(3, row.href)
        .Bind(4, row.uid)
        .Bind(5, row.etag)
        .Bind(6, row.revision)
        .Bind(7, row.hash)
        .Bind(8, static_cast<std::int64_t>(row.sequence))
        .Run();
  }
  void Erase(const std::string& entryId) {
    auto st =
        db_.Prepare("DELETE FROM main._vk_server_items WHERE folder = ?1 AND entry_id = ?2");
    st.Bind(1, folder_).Bind(2, entryId).Run();
  }
  void Remember(const StatusRow& row) {
    if (auto old = rows_.find(row.entryId); old != rows_.end()) byHref_.erase(Key(old->second.href));
    byHref_[Key(row.href)] = row.entryId;
    rows_[row.entryId] = row;
  }
  void Forget(const std::string& entryId) {
    auto it = rows_.find(entryId);
    if (it == rows_.end()) return;
    byHref_.erase(Key(it->second.href));
    rows_.erase(it);
  }
  void WriteToken(const std::string& token) {
    auto st = db_.Prepare("UPDATE main._vk_server_folders SET sync_token = ?1 WHERE id = ?2");
    st.Bind(1, token).Bind(2, folder_).Run();
  }

 private:
  sqlite::Connection& db_;
  std::int64_t folder_;
  std::string collection_;
  std::map<std::string, StatusRow> rows_;
  std::unordered_map<std::string, std::string> byHref_;
};

// A failure of the transport or the account: the folder cannot go on.
bool StopsFolder(const DavError& e) {
  using K = DavError::Kind;
  switch (e.GetKind()) {
    case K::Connection:
    case K::Timeout:
    case K::Tls:
    case K::Unauthorized:
    case K::Refused:
    case K::RedirectLoop:
      return true;
    default:
      return false;
  }
}

// The name of the resource an item first sent from this profile gets: its
// UID (made from the entry ID) and ".vcf" for a contact, ".ics" for a
// calendar object.
std::string ResourceName(const std::string& entryId, const ItemKindCodec& codec) {
  return UidOfEntryId(entryId) + (codec.Calendar() ? ".ics" : ".vcf");
}

// The entry ID a resource name made from an entry ID stands for ("" when
// it is no such name): the inverse of ResourceName.
std::string EntryIdOfHref(const std::string& href, const ItemKindCodec& codec) {
  const std::string extension = codec.Calendar() ? ".ics" : ".vcf";
  std::string name = href;
  while (!name.empty() && name.back() == '/') name.pop_back();
  name = name.substr(name.find_last_of('/') + 1);
  if (name.size() < 5 || name.substr(name.size() - 4) != extension) return "";
  name.resize(name.size() - 4);
  for (char c : name)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return "";
  return ResourceName(name, codec) == name + extension ? name : "";
}

// ------------------------------------------------------------ one folder

class FolderPass {
 public:
  FolderPass(sqlite::Connection& db, EmbeddedOutlook& outlook, const std::function<void()>& reload,
             DavClient& client, const Account& account, const BoundFolder& bound,
             std::int64_t folderId, std::string token, const ItemKindCodec& codec,
             const PassOptions& options, bool sharedCollection)
      : db_(db),
        reload_(reload),
        client_(client),
        account_(account),
        bound_(bound),
        token_(std::move(token)),
        codec_(codec),
        options_(options),
        store_(outlook, bound.folder),
        status_(db, folderId, bound.collection),
        shared_(sharedCollection) {
    result_.folder = bound.folder;
    defs_ = [this](std::string_view name) { return store_.FindDef(name); };
  }

  FolderPassResult Run() {
    try {
      store_.Track();
      if (store_.ReadOnly() != bound_.readOnly) Local([&] { store_.SetReadOnly(bound_.readOnly); });
      status_.Load();
      DropOrphans();
      if (options_.phase != PassOptions::Phase::Send) Receive();
      // A collection the account may only read is received only (its
      // folder refuses changes).
      if (options_.phase != PassOptions::Phase::Receive && !bound_.readOnly) Send();
    } catch (const DavError& e) {
      if (StopsFolder(e) && !answered_) result_.reached = false;
      Fail(e.what());
    } catch (const std::exception& e) {
      Fail(e.what());
    }
    return std::move(result_);
  }

 private:
  void Fail(const std::string& message) {
    if (!result_.error) result_.error = message;
  }
  void ItemFailed(const std::string& what, const std::string& message) {
    ++failures_;
    Fail(what + ": " + message);
  }
  void Progress() {
    ++done_;
    if (options_.progress) options_.progress(done_, total_);
  }

  // A local transaction of one item; the profile reads its state back when
  // it fails after the store changed its objects.
  template <typename Body>
  void Local(Body body) {
    try {
      sqlite::Transaction change(db_, sqlite::Transaction::Locking::Immediate);
      body();
      change.Commit();
    } catch (...) {
      if (reload_) reload_();
      status_.Load();
      throw;
    }
  }

  // Rows whose item is gone without a recorded deletion (a fixture replaced
  // the profile): the server's resource is not deleted for them; they are
  // forgotten and the collection is listed in full, so that it comes back.
  void DropOrphans() {
    std::vector<std::string> orphans;
    for (const auto& [entryId, row] : status_.Rows())
      if (!store_.Has(entryId) && !store_.RevisionOf(entryId)) orphans.push_back(entryId);
    if (orphans.empty()) return;
    Local([&] {
      for (const auto& e : orphans) status_.Erase(e);
      status_.WriteToken("");
    });
    for (const auto& e : orphans) status_.Forget(e);
    token_.clear();
  }

  std::optional<std::chrono::sys_seconds> RevisionOfLocal(AutoDate modified) const {
    if (modified.IsNoDate()) return std::nullopt;
    return UtcOf(modified, account_.timeZone);
  }
  AutoDate ModifiedOf(const ItemKindCodec::Decoded& d) const {
    return d.revision ? LocalTime(*d.revision, account_.timeZone) : options_.now;
  }
  std::string UidFor(const std::string& entryId, const StatusRow* row) const {
    if (row && !row->uid.empty()) return row->uid;
    return UidOfEntryId(entryId);
  }

  // ---------------------------------------------------------- receive

  struct Listing {
    std::vector<std::pair<std::string, std::string>> changed;  // href, etag
    std::vector<std::string> removed;
    bool full = false;
    std::string token;
  };

  Listing List() {
    Listing listing;
    auto collect = [&](const std::string& from) {
      std::string token = from;
      for (int round = 0; round < 100; ++round) {
        SyncChanges changes = client_.SyncCollection(bound_.collection, token);
        for (auto& c : changes.changed) listing.changed.push_back(std::move(c));
        for (auto& r : changes.removed) listing.removed.push_back(std::move(r));
        token = changes.token;
        if (!changes.truncated || token.empty()) break;
      }
      listing.token = token;
    };
    if (!token_.empty()) {
      try {
        collect(token_);
        return listing;
      } catch (const DavError& e) {
        if (e.GetKind() != DavError::Kind::InvalidSyncToken) throw;
        listing = Listing{};
      }
    }
    listing.full = true;
    try {
      collect("");
    } catch (const DavError& e) {
      using K = DavError::Kind;
      if (e.GetKind() != K::NotDav && e.GetKind() != K::Forbidden && e.GetKind() != K::Http &&
          e.GetKind() != K::BadAnswer && e.GetKind() != K::InvalidSyncToken)
        throw;
      // No sync-collection: the members and their ETags.
      listing = Listing{};
      listing.full = true;
      Multistatus all = client_.Propfind(bound_.collection, 1, {XmlName{std::string(kDavNs), "getetag"}});
      const std::string self = status_.Key(bound_.collection);
      for (const auto& r : all.responses) {
        if (status_.Key(r.href) == self) continue;
        const XmlElement* etag = r.Property(kDavNs, "getetag");
        if (etag) listing.changed.emplace_back(r.href, etag->text);
      }
    }
    // The collection itself is no member.
    const std::string self = status_.Key(bound_.collection);
    std::erase_if(listing.changed, [&](const auto& c) { return status_.Key(c.first) == self; });
    return listing;
  }

  void Receive() {
    Listing listing = List();
    answered_ = true;
    std::vector<std::string> fetch;
    std::set<std::string> listed;
    for (const auto& [href, etag] : listing.changed) {
      listed.insert(status_.Key(href));
      const StatusRow* row = status_.ByHref(href);
      if (row && row->etag == etag && !etag.empty()) continue;  // as last seen (our own writes too)
      fetch.push_back(href);
    }
    std::vector<std::string> gone;
    if (listing.full) {
      // A full listing that names nothing while items are known is no
      // proof that they are gone.
      if (listing.changed.empty() && !status_.Rows().empty()) {
        Fail(fmt::format("the server listed no items of {} while {} are known: none is deleted",
                         bound_.collection, status_.Rows().size()));
        ++failures_;
      } else {
        for (const auto& [entryId, row] : status_.Rows())
          if (!listed.count(status_.Key(row.href))) gone.push_back(entryId);
      }
    } else {
      for (const auto& href : listing.removed)
        if (const StatusRow* row = status_.ByHref(href)) gone.push_back(row->entryId);
    }
    total_ += static_cast<long>(fetch.size() + gone.size());

    for (std::size_t at = 0; at < fetch.size(); at += options_.pageSize) {
      std::vector<std::string> page(fetch.begin() + static_cast<std::ptrdiff_t>(at),
                                    fetch.begin() + static_cast<std::ptrdiff_t>(std::min(fetch.size(), at + options_.pageSize)));
      MultigetResult got = Fetch(page);
      // The page's items share one local transaction, each item's own a
      // savepoint inside it (a failed item leaves the others): one commit
      // per page, not per item. A page that cannot commit leaves nothing
      // of it; the token is not stored, so the next pass fetches it again.
      std::optional<sqlite::Transaction> batch(std::in_place, db_,
                                               sqlite::Transaction::Locking::Immediate);
      try {
        for (const auto& resource : got.found) {
          try {
            Received(resource);
          } catch (const OtherComponentError& e) {
            // The other folder's object in a collection bound to both.
            if (!shared_) ItemFailed(resource.href, e.what());
          } catch (const DavError& e) {
            if (StopsFolder(e)) throw;
            ItemFailed(resource.href, e.what());
          } catch (const std::exception& e) {
            ItemFailed(resource.href, e.what());
          }
          Progress();
        }
        batch->Commit();
      } catch (...) {
        batch.reset();
        if (reload_) reload_();
        status_.Load();
        throw;
      }
      // Gone between the listing and the fetch, or left out of the answer:
      // the token is not stored, so the next pass lists it again (as gone,
      // or to be fetched); a new one is never skipped for good.
      for (const auto& href : got.missing) {
        ++failures_;
        Fail(
            fmt::format("the server did not send {} of the items it listed ({}...): they are "
                        "asked for again on the next pass",
                        got.missing.size(), href));
        Progress();
      }
    }
    ReceiveDeletions(gone);
    if (failures_ == 0 && !listing.token.empty()) {
      Local([&] { status_.WriteToken(listing.token); });
      token_ = listing.token;
    }
  }

  // One page of multiget. An answer above the client's bound is asked for
  // again in halves, so large items do not stop the folder: one that is
  // too large alone fails, the next pass tries it again.
  MultigetResult Fetch(const std::vector<std::string>& hrefs) {
    try {
      return client_.Multiget(bound_.collection, hrefs, codec_.Calendar(), hrefs.size());
    } catch (const DavError& e) {
      if (e.GetKind() != DavError::Kind::TooLarge) throw;
      if (hrefs.size() == 1) {
        ItemFailed(hrefs.front(), e.what());
        Progress();
        return {};
      }
      const auto half = hrefs.begin() + static_cast<std::ptrdiff_t>(hrefs.size() / 2);
      MultigetResult got = Fetch({hrefs.begin(), half});
      MultigetResult rest = Fetch({half, hrefs.end()});
      got.found.insert(got.found.end(), std::make_move_iterator(rest.found.begin()),
                       std::make_move_iterator(rest.found.end()));
      got.missing.insert(got.missing.end(), rest.missing.begin(), rest.missing.end());
      return got;
    }
  }

  void ReceiveDeletions(const std::vector<std::string>& gone) {
    std::vector<std::string> deletions;
    for (const auto& entryId : gone) {
      const StatusRow row = *status_.ByEntry(entryId);
      const auto revision = store_.RevisionOf(entryId);
      const auto item = store_.Item(entryId);
      try {
        if (!item || (revision && revision->deleted)) {
          // Deleted on both sides.
          Local([&] {
            status_.Erase(entryId);
            store_.ForgetDeletion(entryId);
          });
          status_.Forget(entryId);
        } else if (revision && revision->revision != row.revision &&
                   Hash(codec_.Encode(item->data, UidFor(entryId, &row), RevisionOfLocal(item->modified), 0).canonical) != row.hash) {
          // Changed here: a change beats a deletion; it is sent again as new.
          Local([&] { status_.Erase(entryId); });
          status_.Forget(entryId);
        } else {
          deletions.push_back(entryId);
        }
      } catch (const std::exception& e) {
        ItemFailed(row.href, e.what());
      }
      Progress();
    }
    if (deletions.empty()) return;
    if (options_.mayDelete && !options_.mayDelete(bound_.folder, static_cast<long>(deletions.size()))) {
      // Kept: they are sent again as new items.
      Local([&] {
        for (const auto& e : deletions) status_.Erase(e);
      });
      for (const auto& e : deletions) status_.Forget(e);
      return;
    }
    for (const auto& entryId : deletions) {
      try {
        Local([&] { store_.DeleteReceived(entryId, [&] { status_.Erase(entryId); }); });
        status_.Forget(entryId);
        ++result_.received.deleted;
      } catch (const std::exception& e) {
        ItemFailed(entryId, e.what());
      }
    }
  }

  // Applies a received version to the item `entryId` ("" for a new item).
  void ApplyRemote(const std::string& entryId, const DavResource& resource,
                   const ItemKindCodec::Decoded& decoded, const StatusRow* row, bool created) {
    ItemData data;
    if (!entryId.empty()) {
      if (auto item = store_.Item(entryId)) data = item->data;
    }
    codec_.Apply(decoded.data, data);
    StatusRow next;
    next.href = DavClient::Resolve(bound_.collection, resource.href);
    next.uid = decoded.uid ? *decoded.uid : (row ? row->uid : "");
    next.etag = resource.etag;
    next.hash = Hash(decoded.canonical);
    next.sequence = decoded.sequence;
    Local([&] {
      store_.ApplyReceived(entryId, std::move(data), ModifiedOf(decoded),
                           [&](const std::string& id, std::int64_t revision) {
                             next.entryId = id;
                             next.revision = revision;
                             status_.Write(next);
                           });
    });
    status_.Remember(next);
    if (created) {
      ++result_.received.created;
    } else {
      ++result_.received.changed;
    }
  }

  void RecordEtag(const StatusRow& row, const std::string& etag, std::int64_t revision,
                  const std::string& hash) {
    StatusRow next = row;
    next.etag = etag;
    next.revision = revision;
    next.hash = hash;
    Local([&] { status_.Write(next); });
    status_.Remember(next);
  }

  void Conflict(const std::string& entryId, const DavResource& resource,
                const ItemKindCodec::Decoded& decoded, const outlook::StoredItem& local,
                const std::string& localText, const StatusRow& base) {
    ++result_.conflicts;
    const AutoDate serverTime = ModifiedOf(decoded);
    const bool localWins = local.modified > serverTime;
    Out entry{{"folder", bound_.folder},
              {"entryId", entryId},
              {"href", DavClient::Resolve(bound_.collection, resource.href)},
              {"winner", localWins ? "outlook" : "server"},
              {"outlook", Out{{"modified", local.modified.Format()}, {"text", localText}}},
              {"server", Out{{"modified", serverTime.Format()}, {"text", resource.data}}}};
    result_.conflictEntries.push_back(std::move(entry));
    if (localWins) {
      // The send below overwrites the server's version it has now seen.
      StatusRow next = base;
      next.entryId = entryId;
      next.etag = resource.etag;
      next.hash = Hash(decoded.canonical);
      next.sequence = std::max(next.sequence, decoded.sequence);
      if (next.href.empty()) next.href = DavClient::Resolve(bound_.collection, resource.href);
      if (next.uid.empty()) next.uid = decoded.uid.value_or("");
      Local([&] { status_.Write(next); });
      status_.Remember(next);
    } else {
      ApplyRemote(entryId, resource, decoded, &base, false);
    }
  }

  // A resource the listing named new or changed, fetched.
  void Received(const DavResource& resource) {
    const ItemKindCodec::Decoded decoded = codec_.Decode(resource.data, defs_);
    const std::string hash = Hash(decoded.canonical);
    const StatusRow* found = status_.ByHref(resource.href);
    std::string entryId;
    StatusRow base;
    if (found) {
      base = *found;
      entryId = base.entryId;
    } else {
      // A resource this profile made in a pass that was stopped before it
      // recorded it: its name comes from the item's entry ID.
      const std::string own = EntryIdOfHref(resource.href, codec_);
      if (own.empty() || status_.ByEntry(own) || !store_.Has(own)) {
        ApplyRemote("", resource, decoded, nullptr, true);
        return;
      }
      entryId = own;
      base.entryId = own;
      base.href = DavClient::Resolve(bound_.collection, resource.href);
      base.uid = decoded.uid.value_or("");
    }
    if (found && hash == base.hash) {
      // The same content under a new ETag (our own write, or a rewrite).
      base.sequence = std::max(base.sequence, decoded.sequence);
      RecordEtag(base, resource.etag, base.revision, hash);
      return;
    }
    const auto revision = store_.RevisionOf(entryId);
    const auto item = store_.Item(entryId);
    if (!item || (revision && revision->deleted)) {
      // Changed there, deleted here: a change beats a deletion.
      ApplyRemote(entryId, resource, decoded, &base, true);
      return;
    }
    const bool localChanged = !found || !revision || revision->revision != base.revision;
    if (!localChanged) {
      ApplyRemote(entryId, resource, decoded, &base, false);
      return;
    }
    const auto encoded =
        codec_.Encode(item->data, UidFor(entryId, &base), RevisionOfLocal(item->modified), 0);
    const std::string localHash = Hash(encoded.canonical);
    if (localHash == hash) {
      // Both sides hold the same: recorded, nothing to send.
      base.etag = resource.etag;
      base.sequence = std::max(base.sequence, decoded.sequence);
      RecordEtag(base, resource.etag, revision ? revision->revision : 0, hash);
      return;
    }
    if (found && localHash == base.hash) {
      ApplyRemote(entryId, resource, decoded, &base, false);
      return;
    }
    Conflict(entryId, resource, decoded, *item, encoded.text, base);
  }

  // ---------------------------------------------------------- send

  void Send() {
    status_.Load();
    const auto changes = store_.ChangedSince(0);
    std::vector<const outlook::ItemRevision*> work;
    for (const auto& change : changes) {
      const StatusRow* row = status_.ByEntry(change.entryId);
      if (change.deleted || !row || row->revision != change.revision) work.push_back(&change);
    }
    total_ += static_cast<long>(work.size());
    for (const auto* change : work) {
      try {
        if (change->deleted) {
          SendDeletion(change->entryId);
        } else {
          SendItem(*change);
        }
      } catch (const DavError& e) {
        if (StopsFolder(e)) throw;
        ItemFailed(change->entryId, e.what());
      } catch (const std::exception& e) {
        ItemFailed(change->entryId, e.what());
      }
      Progress();
    }
  }

  void SendDeletion(const std::string& entryId) {
    const StatusRow* row = status_.ByEntry(entryId);
    if (row) {
      try {
        client_.Delete(row->href, row->etag.empty() ? Precondition{} : Precondition::Matching(row->etag));
      } catch (const DavError& e) {
        // Changed on the server since: a change beats a deletion; the next
        // receive brings it back.
        if (e.GetKind() == DavError::Kind::PreconditionFailed) return;
        throw;
      }
      answered_ = true;
      ++result_.sent.deleted;
    }
    Local([&] {
      status_.Erase(entryId);
      store_.ForgetDeletion(entryId);
    });
    status_.Forget(entryId);
  }

  void SendItem(const outlook::ItemRevision& change) {
    const auto item = store_.Item(change.entryId);
    if (!item) return;
    const StatusRow* found = status_.ByEntry(change.entryId);
    StatusRow row = found ? *found : StatusRow{};
    const bool isNew = !found;
    if (isNew) {
      row.entryId = change.entryId;
      row.href = DavClient::Resolve(bound_.collection, ResourceName(change.entryId, codec_));
      row.uid = UidOfEntryId(change.entryId);
    }
    // Every change sent counts the SEQUENCE of a calendar object up.
    long sequence = isNew ? row.sequence : row.sequence + 1;
    auto encoded = codec_.Encode(item->data, UidFor(change.entryId, &row),
                                 RevisionOfLocal(item->modified), sequence);
    const std::string hash = Hash(encoded.canonical);
    if (!isNew && hash == row.hash) {
      // Saved without a change the server would see.
      RecordEtag(row, row.etag, change.revision, hash);
      return;
    }
    const Precondition condition = isNew ? Precondition::Absent()
                                   : row.etag.empty() ? Precondition{}
                                                      : Precondition::Matching(row.etag);
    std::string etag;
    try {
      etag = client_.Put(row.href, encoded.text, codec_.ContentType(), condition);
    } catch (const DavError& e) {
      if (e.GetKind() != DavError::Kind::PreconditionFailed) throw;
      // Changed (or made) on the server since: decide with its version.
      MultigetResult got = client_.Multiget(bound_.collection, {row.href}, codec_.Calendar(), 1);
      if (got.found.empty()) {
        if (!isNew) {
          // Gone there, changed here: sent again as new on the next pass.
          Local([&] { status_.Erase(change.entryId); });
          status_.Forget(change.entryId);
        }
        throw;
      }
      answered_ = true;
      // A new one: ours, from a pass that stopped before recording it.
      Received(got.found.front());
      // A conflict the local side won leaves the item to send again.
      const StatusRow* now = status_.ByEntry(change.entryId);
      const auto revision = store_.RevisionOf(change.entryId);
      if (!now || !revision || now->revision == revision->revision) return;
      row = *now;
      sequence = row.sequence + 1;
      encoded = codec_.Encode(item->data, UidFor(change.entryId, &row),
                              RevisionOfLocal(item->modified), sequence);
      etag = client_.Put(row.href, encoded.text, codec_.ContentType(),
                         Precondition::Matching(row.etag));
    }
    answered_ = true;
    row.etag = etag;
    row.revision = change.revision;
    row.hash = hash;
    row.sequence = sequence;
    Local([&] { status_.Write(row); });
    status_.Remember(row);
    if (isNew) {
      ++result_.sent.created;
    } else {
      ++result_.sent.changed;
    }
  }

  sqlite::Connection& db_;
  const std::function<void()>& reload_;
  DavClient& client_;
  const Account& account_;
  const BoundFolder& bound_;
  std::string token_;
  const ItemKindCodec& codec_;
  const PassOptions& options_;
  outlook::ServerStore store_;
  StatusTable status_;
  bool shared_;  // the collection is bound to another folder of the store too
  FindUserDef defs_;
  FolderPassResult result_;
  long failures_ = 0;
  bool answered_ = false;  // the server answered a request of this pass
  long done_ = 0, total_ = 0;
};

}  // namespace

std::unique_ptr<ItemKindCodec> CodecForKind(const std::string& kind, const std::string& zone) {
  if (kind == "contacts") return std::make_unique<ContactKind>();
  if (kind == "calendar") return MakeEventCodec(zone);
  if (kind == "tasks") return MakeTaskCodec(zone);
  return nullptr;
}

Out FolderPassResult::Json() const {
  auto counts = [](const SyncCounts& c) {
    return Out{{"created", c.created}, {"changed", c.changed}, {"deleted", c.deleted}};
  };
  Out out{{"received", counts(received)}, {"sent", counts(sent)}, {"conflicts", conflicts}};
  if (error) out["error"] = *error;
  return out;
}

AutoDate LocalTime(std::chrono::sys_seconds moment, const std::string& zone) {
  ZoneScope scope(zone);
  const std::time_t t = static_cast<std::time_t>(moment.time_since_epoch().count());
  std::tm local{};
  ::localtime_r(&t, &local);
  return AutoDate::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec);
}

std::chrono::sys_seconds UtcOf(AutoDate local, const std::string& zone) {
  ZoneScope scope(zone);
  const long long wall = local.Seconds() - kEpochOffset;  // the wall time as if it were UTC
  std::time_t t = static_cast<std::time_t>(wall);
  std::tm parts{};
  ::gmtime_r(&t, &parts);
  parts.tm_isdst = -1;
  const std::time_t utc = ::mktime(&parts);
  return std::chrono::sys_seconds(std::chrono::seconds(utc));
}

SyncEngine::SyncEngine(sqlite::Connection& db, EmbeddedOutlook& outlook,
                       std::function<void()> reload)
    : db_(db), outlook_(outlook), reload_(std::move(reload)) {}

std::vector<FolderPassResult> SyncEngine::Run(const Account& account, const PassOptions& options,
                                              DavClient* given) {
  std::unique_ptr<DavClient> own;
  if (!given) {
    DavSettings settings = options.settings;
    settings.user = account.user;
    settings.password = ReadPassword(account.password);
    settings.caFile = account.caFile;
    own = std::make_unique<DavClient>(settings);
    given = own.get();
  }
  const int before = given->RequestCount();
  std::vector<FolderPassResult> results;
  for (const auto& bound : account.folders) {
    std::unique_ptr<ItemKindCodec> codec;
    try {
      codec = CodecForKind(bound.kind, account.timeZone);
    } catch (const std::exception& e) {
      // A time zone the calendar codecs do not know stops that folder.
      FolderPassResult failed;
      failed.folder = bound.folder;
      failed.error = e.what();
      results.push_back(std::move(failed));
      continue;
    }
    if (!codec) continue;  // a kind without a codec
    std::int64_t id = 0;
    std::string token;
    {
      auto st = db_.Prepare("SELECT id, sync_token FROM main._vk_server_folders WHERE folder = ?1");
      if (st.Bind(1, bound.folder).Step()) {
        id = st.Int(0);
        token = st.Text(1);
      }
    }
    if (id == 0) continue;
    try {
      bool shared = false;
      for (const auto& other : account.folders)
        if (&other != &bound && DavClient::PathKey(other.collection, other.collection) ==
                                    DavClient::PathKey(bound.collection, bound.collection))
          shared = true;
      FolderPass pass(db_, outlook_, reload_, *given, account, bound, id, token, *codec, options,
                      shared);
      results.push_back(pass.Run());
    } catch (const std::exception& e) {
      FolderPassResult failed;
      failed.folder = bound.folder;
      failed.error = e.what();
      results.push_back(std::move(failed));
    }
  }
  requests_ = given->RequestCount() - before;
  return results;
}

}  // namespace velklk::server
