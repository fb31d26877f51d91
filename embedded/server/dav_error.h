// The one error type of the server layer: what went wrong with a request to
// a CardDAV/CalDAV server, as a kind the caller can act on, the HTTP status
// when the server answered (0 when it did not), and a message for the user
// that names the URL.
#pragma once

#include <stdexcept>
#include <string>

namespace velklk::server {

class DavError : public std::runtime_error {
 public:
  enum class Kind {
    Unauthorized,        // 401: the user name or password is wrong
    Forbidden,           // 403: the account may not do this
    NotFound,            // 404
    NotDav,              // the URL answers, but not as a WebDAV server
    PreconditionFailed,  // 412: the resource changed since its ETag was read
    InvalidSyncToken,    // the server no longer knows the sync token: list in full
    RedirectLoop,        // redirects came back to a URL already asked, or too many
    Tls,                 // certificate not trusted, handshake failed
    Server,              // 5xx
    Connection,          // cannot connect, or the connection dropped
    Timeout,             // no answer in time
    BadAnswer,           // an answer that is not what the protocol says (not XML, ...)
    TooLarge,            // an answer above the size bound
    Refused,             // a URL this client does not send to (plain HTTP to another host)
    Http,                // any other HTTP status
  };

  DavError(Kind kind, int status, const std::string& message)
      : std::runtime_error(message), kind_(kind), status_(status) {}

  Kind GetKind() const noexcept { return kind_; }
  // The HTTP status of the answer, 0 when there was none.
  int Status() const noexcept { return status_; }

 private:
  Kind kind_;
  int status_;
};

}  // namespace velklk::server
