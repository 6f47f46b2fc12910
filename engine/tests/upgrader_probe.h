#pragma once
// The tests' look at the upgrader's signals, which no other module reads. Each
// test consumes what it looks at, as the upgrade thread would.
#include "engine/firmware_upgrader.h"

struct UpgraderProbe {
  // PenBack came since the last restart began (or since the last look).
  static bool PenWasBack(FirmwareUpgrader& upgrader) { return upgrader.restartedSignal.Lock(0) != FALSE; }
  // An answer was taken for a waiting command.
  static bool AnswerTaken(FirmwareUpgrader& upgrader) { return upgrader.responseSignal.Lock(0) != FALSE; }
  // As a command does before it sends: the next answer delivered is taken.
  static void AwaitAnswer(FirmwareUpgrader& upgrader) {
    CSingleLock lock(&upgrader.upgraderLock, TRUE);
    upgrader.awaitingAnswer = true;
  }
  // The open pen has announced DFU mode; the announcement stays.
  static bool InDfuMode(FirmwareUpgrader& upgrader) { return upgrader.IsInDfuMode(); }
};
