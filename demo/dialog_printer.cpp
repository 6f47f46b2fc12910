#include "demo/dialog_printer.h"

#include <string>

#include "tool/resource.h"

using afx::automation::UiEvent;
using afx::automation::UiEventKind;

namespace {

const char* ControlName(int id) {
  switch (id) {
    case IDOK: return "Exit";
    case IDC_START: return "Start";
    case IDC_DBG: return "Dbg";
    case IDC_DBG_BT: return "Dbg BT";
    case IDC_STATUS: return "status";
    case IDC_PROGRESS: return "progress";
    default: return "control";
  }
}

// The box's text on one line, line feeds shown as " | ".
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) line += c == '\n' ? std::string(" | ") : std::string(1, c);
  return line;
}

}  // namespace

void DialogPrinter::Say(const char* who, const char* what) {
  std::fprintf(m_out, "%-9s %s\n", who, what);
  std::fflush(m_out);
}

void DialogPrinter::Print(const UiEvent& event) {
  switch (event.kind) {
    case UiEventKind::DialogOpened:
      Say("[dialog]", ("opened: " + event.text).c_str());
      break;
    case UiEventKind::DialogClosed:
      Say("[dialog]", "closed");
      break;
    case UiEventKind::TextChanged:
      if (event.controlId == 0) {
        Say("[title]", event.text.c_str());
      } else if (event.controlId == IDC_STATUS) {
        Say("[status]", event.text.c_str());
      }
      break;
    case UiEventKind::EnabledChanged:
      if (event.controlId != 0) {
        Say("[button]", (std::string(ControlName(event.controlId)) + (event.flag ? " enabled" : " disabled")).c_str());
      }
      break;
    case UiEventKind::ProgressChanged: {
      const int span = event.high > event.low ? event.high - event.low : 1;
      const int cells = (event.value - event.low) * 40 / span;
      if (cells == m_lastBarCells) break;
      m_lastBarCells = cells;
      Say("[progress]", ("[" + std::string(static_cast<std::size_t>(cells), '#') +
                         std::string(static_cast<std::size_t>(40 - cells), '.') + "]")
                            .c_str());
      break;
    }
    case UiEventKind::MessageBoxOpened:
      Say("[box]", ("\"" + event.box.caption + "\": " + OneLine(event.box.text)).c_str());
      break;
    case UiEventKind::MessageBoxClosed:
      break;
  }
}
