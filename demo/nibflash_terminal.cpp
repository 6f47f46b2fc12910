// The upgrade tool's real dialog code on headless windows, against virtual pens,
// with a terminal front: it prints what the dialog shows and acts as the user,
// pressing Start once Start is enabled and Exit at the end.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "afx/headless/automation.h"
#include "tool/nibflash_app.h"
#include "tool/resource.h"
#include "demo/dialog_printer.h"
#include "demo/virtual_pen_options.h"
#include "testing/wait_until.h"
#include "virtualpen/virtual_bus.h"

namespace ui = afx::automation;
using namespace std::chrono_literals;

namespace {

const char kUsage[] =
    "Usage: nibflash [options]\n"
    "Runs the upgrade tool's dialog against virtual pens and shows it in the terminal.\n"
    "  --interactive            wait for Enter before pressing Start and Exit\n"
    "Exit code: 0 upgraded, 1 failed, 3 no supported pen, 4 the tool's requests differ from --replay's.\n"
    "  --help                   this text\n";

enum class Outcome { Completed, Failed, NoPen };

void WaitForEnter(DialogPrinter& printer, const char* what) {
  printer.Say("[user]", (std::string("press Enter to ") + what).c_str());
  std::string line;
  std::getline(std::cin, line);
}

// Plays the user: Start once it is enabled, Exit once the upgrade has completed.
Outcome ActAsUser(DialogPrinter& printer, bool interactive) {
  HWND dialog = ui::WaitForDialog(IDD_UPGRADE_DIALOG, 10s);
  if (dialog == nullptr) return Outcome::Failed;
  if (!testing_support::WaitUntil([&] { return ui::IsControlEnabled(dialog, IDC_START); }, 5s)) {
    printer.Say("[user]", "no supported pen is attached: Start stays disabled; clicks Exit");
    ui::ClickButton(dialog, IDOK);
    return Outcome::NoPen;
  }
  if (interactive) WaitForEnter(printer, "click Start");
  printer.Say("[user]", "clicks Start");
  ui::ClickButton(dialog, IDC_START);
  const auto completed = [&] {
    return ui::GetControlText(dialog, IDC_STATUS) == "Update complete - click Exit" &&
           ui::IsControlEnabled(dialog, IDOK);
  };
  testing_support::WaitUntil([&] { return completed() || ui::FindDialog(IDD_UPGRADE_DIALOG) == nullptr; }, 30min);
  if (!completed()) return Outcome::Failed;
  if (interactive) WaitForEnter(printer, "click Exit");
  printer.Say("[user]", "clicks Exit");
  ui::ClickButton(dialog, IDOK);
  return Outcome::Completed;
}

void PrintPen(DialogPrinter& printer, const virtualpen::VirtualPen& pen) {
  const auto descriptor = pen.Descriptor();
  const auto word = pen.ReadFlash(0x7000, 4);
  char line[160];
  std::snprintf(line, sizeof line, "%s: %s, bcdDevice 0x%02x%02x, boot-control word %02x %02x %02x %02x",
                pen.Serial().c_str(), pen.IsOnBus() ? "on the bus" : "off the bus", descriptor[13], descriptor[12],
                word[0], word[1], word[2], word[3]);
  printer.Say("[pen]", line);
}

}  // namespace

int main(int argc, char** argv) {
  VirtualPenSetup setup;
  std::vector<std::string> rest;
  std::string error;
  bool interactive = false;
  if (!ParseVirtualPenOptions(argc, argv, setup, rest, error)) {
    std::fprintf(stderr, "nibflash: %s\n%s%s", error.c_str(), kUsage, kVirtualPenUsage);
    return 2;
  }
  for (const auto& option : rest) {
    if (option == "--interactive") {
      interactive = true;
    } else {
      const bool help = option == "--help" || option == "-h";
      if (!help) std::fprintf(stderr, "nibflash: unknown option %s\n", option.c_str());
      std::fprintf(help ? stdout : stderr, "%s%s", kUsage, kVirtualPenUsage);
      return help ? 0 : 2;
    }
  }
  std::vector<std::shared_ptr<virtualpen::VirtualPen>> pens;
  std::shared_ptr<virtualpen::ReplayedPen> player;
  if (!ApplyVirtualPenSetup(setup, error, &pens, &player)) {
    std::fprintf(stderr, "nibflash: %s\n", error.c_str());
    return 2;
  }

  DialogPrinter printer(stdout);
  for (const auto& pen : pens) PrintPen(printer, *pen);
  ui::SetObserver([&printer](const ui::UiEvent& event) { printer.Print(event); });
  ui::SetMessageBoxHandler([&printer](const ui::MessageBoxInfo&) {
    printer.Say("[user]", "confirms the box");
    return IDOK;
  });

  Outcome outcome = Outcome::Failed;
  std::thread user([&] { outcome = ActAsUser(printer, interactive); });
  theApp.InitInstance();  // the dialog runs here, on this thread, until it ends
  user.join();
  ui::SetObserver(nullptr);
  ui::SetMessageBoxHandler(nullptr);

  virtualpen::VirtualBus::Instance()->WaitUntilIdle();
  for (const auto& pen : pens) PrintPen(printer, *pen);
  virtualpen::VirtualBus::Instance()->StopRecord();
  if (player) {
    const std::string verdict = player->Verdict();
    printer.Say("[replay]", verdict.empty() ? "the tool sent every request of the record" : verdict.c_str());
    if (!verdict.empty()) return 4;
  }
  switch (outcome) {
    case Outcome::Completed: printer.Say("[result]", "the pen was upgraded"); return 0;
    case Outcome::NoPen: printer.Say("[result]", "nothing was upgraded: no supported pen"); return 3;
    case Outcome::Failed: break;
  }
  printer.Say("[result]", "the upgrade failed");
  return 1;
}
