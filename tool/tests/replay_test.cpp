// Traffic records played back to the real dialog: the committed recordings replay
// as they were made, a record made here with a slow pen replays, and a request
// that differs from the record ends the run (what the player then says is
// record/tests/record_test.cpp's).
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tool/tests/dialog_fixture.h"
#include "virtualpen/replayed_pen.h"

namespace {

class ReplayTest : public DialogTest {
 protected:
  // Plays the record at `path` to a fresh dialog that is started; true when the
  // upgrade completed, false once the dialog has ended without.
  bool Replay(const std::string& path) {
    std::string error;
    m_player = virtualpen::ReplayedPen::Load(path, error);
    EXPECT_NE(m_player, nullptr) << error;
    if (!m_player || !Bus()->Plug(m_player)) return false;
    OpenDialog();
    EXPECT_TRUE(WaitFor([this] { return StartEnabled(); }));
    ui::ClickButton(m_dialog, IDC_START);
    EXPECT_TRUE(WaitFor([this] { return Completed() || Closed(); }));
    if (Completed()) return true;
    WaitForDialogEnd();
    return false;
  }

  static std::string Temporary(const char* name) { return ::testing::TempDir() + name; }

  std::shared_ptr<virtualpen::ReplayedPen> m_player;
};

struct Recording {
  const char* file;
  bool completes;
};

class CommittedRecordings : public ReplayTest, public ::testing::WithParamInterface<Recording> {};

TEST_P(CommittedRecordings, ReplayEveryRequestAsRecorded) {
  EXPECT_EQ(Replay(std::string(NIBFLASH_TESTDATA "/") + GetParam().file), GetParam().completes);
  EXPECT_EQ(BoxesWithText(kFailureText), GetParam().completes ? 0 : 1);
  EXPECT_EQ(m_player->Verdict(), "");
}

INSTANTIATE_TEST_SUITE_P(, CommittedRecordings,
                         ::testing::Values(Recording{"upgrade.jsonl", true},
                                           Recording{"no_dfu_announcement.jsonl", false}));

// Recorded with a pen that takes real time, so that answers come one by one.
TEST_F(ReplayTest, ARecordOfASlowPenReplaysAndAChangedRequestEndsTheRun) {
  const std::string path = Temporary("slow_pen.jsonl");
  virtualpen::PenOptions options;
  options.timing = virtualpen::kRealisticTiming;
  options.restartDelayMs = 100;
  ASSERT_TRUE(Bus()->StartRecord(path));
  auto pen = PlugPen(options);
  OpenDialog();
  ASSERT_TRUE(Upgrade());
  EXPECT_TRUE(IsUpgraded(*pen));
  ClickExit();
  Bus()->StopRecord();
  Bus()->Unplug(pen);

  ASSERT_TRUE(Replay(path));
  EXPECT_EQ(m_player->Verdict(), "");
  ClickExit();

  // The record's first erase of the main region changed: the run fails there.
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  std::string changed = text.str();
  const auto at = changed.find(R"("hex":"fafe008002000010")");
  ASSERT_NE(at, std::string::npos);
  changed[at + 22] = '1';
  const std::string tampered = Temporary("tampered.jsonl");
  std::ofstream(tampered) << changed;
  Bus()->Unplug(m_player);
  ui::ClearMessageBoxHistory();
  EXPECT_FALSE(Replay(tampered));
  EXPECT_EQ(BoxesWithText(kFailureText), 1);
  EXPECT_NE(m_player->Verdict().find(": the tool sent fafe008002000010, the record has fafe008002000011"),
            std::string::npos);
  for (const auto& file : {path, tampered}) std::remove(file.c_str());
}

// A record the file system stops taking mid-run (a size limit, as a full disk
// does) ends at its last whole line; the upgrade goes on, and the tool says so
// once, after the outcome, though the pen is upgraded twice.
TEST_F(ReplayTest, ARecordThatCannotBeWrittenEndsAtAWholeLineAndIsNamedOnceAfterTheOutcome) {
  const std::string path = Temporary("cut.jsonl");
  const std::string notice = "The traffic record is incomplete: it could not be written to " + path + ".";
  std::string statusAtNotice;
  ui::SetMessageBoxHandler([&](const ui::MessageBoxInfo& box) {
    if (box.text == notice) statusAtNotice = Status();
    return IDOK;
  });
  constexpr rlim_t kLimit = 5000;  // a few lines: the plug, descriptors, one or two answers
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const rlimit cut{kLimit, old.rlim_max};
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
  setrlimit(RLIMIT_FSIZE, &cut);
  ASSERT_TRUE(Bus()->StartRecord(path));
  auto pen = PlugPen();
  OpenDialog();
  const bool upgraded = Upgrade();
  Bus()->WaitUntilIdle();
  Bus()->Unplug(pen);
  Bus()->Plug(pen);
  EXPECT_TRUE(WaitFor([&] { return StartEnabled(); }));
  const bool again = Upgrade();
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_TRUE(upgraded && again);
  EXPECT_EQ(pen->RestartCount(), 4u);  // the first run's outcome did not end the second at its first tick
  EXPECT_TRUE(IsUpgraded(*pen));
  EXPECT_EQ(BoxesWithText(notice), 1);
  EXPECT_EQ(statusAtNotice, "Update complete - click Exit");
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(line.front() == '{' && line.back() == '}') << line;
  std::remove(path.c_str());
}

}  // namespace
