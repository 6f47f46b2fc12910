#pragma once
// Options of the virtual-pen programs (the Windows virtual-pen build and the
// native terminal front): which virtual pens are on the bus at start, their
// faults and timing, and the traffic record. The shipped tool takes no options.
#include <memory>
#include <string>
#include <vector>

#include "virtualpen/pen_faults.h"
#include "virtualpen/replayed_pen.h"
#include "virtualpen/virtual_pen.h"

struct VirtualPenSetup {
  int pens = 1;                         // plugged in at start
  virtualpen::PenOptions first;         // the first pen; further ones are plain
  bool holdFunctionButton = false;      // the first pen boots into DFU mode
  std::vector<virtualpen::RequestFault> requestFaults;  // for the first pen
  std::vector<virtualpen::RestartFault> restartFaults;
  std::uint32_t swapAtRequest = 0;      // the first pen leaves at this request, another comes 500 ms later
  std::uint32_t secondPenAtRestart = 0;  // another pen comes while the first is away in this restart
  std::string recordPath;               // traffic record (JSON Lines), empty for none
  std::string replayPath;               // a traffic record played instead of the pens
};

extern const char kVirtualPenUsage[];

// Parses the options in argv[1..]; false with `error` set on a bad one. Options
// it does not know are left to the caller through `rest`.
bool ParseVirtualPenOptions(int argc, char** argv, VirtualPenSetup& setup, std::vector<std::string>& rest,
                            std::string& error);

// Puts the pens, or the player of the record to replay, on the process's virtual
// bus and starts the record; the pens are added to `pens` in plug order, the
// player is put in `player`. False with `error` set when the record cannot be
// written or the one to replay cannot be read.
bool ApplyVirtualPenSetup(const VirtualPenSetup& setup, std::string& error,
                          std::vector<std::shared_ptr<virtualpen::VirtualPen>>* pens = nullptr,
                          std::shared_ptr<virtualpen::ReplayedPen>* player = nullptr);
