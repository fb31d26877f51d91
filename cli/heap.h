// The heap of the velklk command.
#pragma once

#include <cstdint>

namespace velklk::cli {

// Opening a profile fills the heap with its model at once (a few times the
// size of its files). Each fresh page of the heap costs a page fault, which
// on a virtual machine was about half the opening of a large profile. So
// before a profile of `expectedBytes` is read, the heap grows by about that
// much in one step and asks the system to back it with huge pages (where it
// offers them on request); nothing of it is touched until it is used. Does
// nothing for small profiles, under the sanitizers, and off glibc.
void PrepareHeap(std::uintmax_t expectedBytes);

}  // namespace velklk::cli
