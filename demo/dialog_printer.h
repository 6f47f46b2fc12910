#pragma once
// Prints to a stream what the upgrade dialog shows as it changes: title, status
// line, progress bar, button states and message boxes.
#include <cstdio>

#include "afx/headless/automation.h"

class DialogPrinter {
 public:
  explicit DialogPrinter(std::FILE* out) : m_out(out) {}
  void Print(const afx::automation::UiEvent& event);
  void Say(const char* who, const char* what);  // a line of the front's own

 private:
  std::FILE* m_out;
  int m_lastBarCells = -1;
};
