// Progress of a bulk command, told to the user interface of the shared state
// (UserInterface::Progress): one step per item the command goes through.
// The interface decides how often it shows it.
#pragma once

#include <string>

namespace velklk {

class UserInterface;

class RunProgress {
 public:
  // `taskMessage`: the catalogue number of the text that names the work.
  // Tells the start (nothing done of `total`).
  RunProgress(int taskMessage, long total);
  // Tells the end of the run.
  ~RunProgress();
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;

  void Step() {
    ++done_;
    if (total_ < done_) total_ = done_;
    Tell();
  }
  // The run has `more` steps than it knew of.
  void Grow(long more) { total_ += more; }

 private:
  void Tell();
  UserInterface* ui_;
  std::string task_;
  long done_ = 0;
  long total_;
};

}  // namespace velklk
