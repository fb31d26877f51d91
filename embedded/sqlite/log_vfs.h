// The file layer under connections in write-ahead-log mode: SQLite writes
// each page of a commit to the log as two system calls (the frame's header,
// then its page), about 20 for a small commit, and a write call costs more
// here than the bytes it carries. This layer passes every file through to
// the operating system's default layer, except that it gathers the frames
// of a log written one after another and hands them over in one call.
//
// What a commit guarantees stays the same: its frames reach the file
// before SQLite can publish them in the log's index (the page of the commit
// frame sends what is gathered, and its write fails when that does), and
// before any read, sync, size query, truncation, lock or close of the log.
// A write after a read goes through at once, since it may rewrite what is
// already in the file (SQLite rewrites frames' checksums that way). A log
// whose header is not of the known format is passed through unchanged.
#pragma once

namespace velklk::sqlite {

// The name of the layer, registered with SQLite on first use (not as the
// default); for sqlite3_open_v2's last argument.
const char* CombinedLogVfs();

}  // namespace velklk::sqlite
