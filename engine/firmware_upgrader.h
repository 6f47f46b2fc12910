#pragma once
// FirmwareUpgrader: the tool's one upgrader. It holds copies of the two embedded
// images and runs the upgrade sequence over the flash-access protocol.
//
// Threads: Upgrade and every protocol command run on the upgrade thread; the
// receive thread calls DeliverResponse and DfuModeAnnounced; the device watch
// gives and takes the pen (GivePen, PenBack: UI thread; TakePen: UI thread, or
// the upgrade thread in RestartPen). The upgrade thread holds upgraderLock only
// while it looks at the response buffer, never across a send or a wait, and
// takes it once: what it calls under the lock REQUIRES it. Order: the receive
// thread's dispatchLock, then upgraderLock.
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "afx/sync.h"
#include "afx/thread_annotations.h"
#include "afx/win_types.h"
#include "engine/flash_access_protocol.h"
#include "engine/flash_layout.h"
#include "engine/upgrade_host.h"
#include "engine/upgrade_tool_exception.h"

class FirmwareUpgrader {
 public:
  // Copies the embedded images.
  FirmwareUpgrader();
  // Copies the given images instead (other firmware, and images with odd headers).
  FirmwareUpgrader(const std::vector<std::uint8_t>& dfu, const std::vector<std::uint8_t>& main);
  FirmwareUpgrader(const FirmwareUpgrader&) = delete;
  FirmwareUpgrader& operator=(const FirmwareUpgrader&) = delete;

  // Takes the pen from whatever firmware it runs to the held images, asking
  // `host` to restart the pen and telling it the progress. Returns on success,
  // throws UpgradeToolException on any failure; may be called again after one.
  void Upgrade(UpgradeHost& host) EXCLUDES(upgraderLock);

  // The device watch: a pen opened and found to be the supported product
  // (`handle`), or none (TakePen). An announcement of DFU mode belongs to the
  // opening that made it, so taking the pen forgets it.
  void GivePen(HANDLE handle);
  void TakePen() EXCLUDES(upgraderLock);
  // The pen is back after RestartPen. `sameInterface`: it came back under the
  // restarted pen's interface path; otherwise Upgrade reads its identity block
  // before it trusts it.
  void PenBack(HANDLE handle, bool sameInterface);
  // Receive thread: the open pen announced DFU mode.
  void DfuModeAnnounced() EXCLUDES(upgraderLock);

  // Receive thread: keeps a copy of one flash-access response (the packet payload
  // without its 6-byte header) and wakes the waiting command. Never throws.
  // Each command takes one answer: one that comes while no command waits, or
  // another copy of the previous command's answer, is dropped unseen.
  void DeliverResponse(const std::uint8_t* payload, std::uint32_t length) EXCLUDES(upgraderLock);

  // The three protocol commands. Each sends its request with WritePenData, waits
  // kFaResponseTimeoutMs for the response, up to kFaAttempts times, and checks
  // it. After ReadFlash the buffer holds the validated read response.
  void ReadFlash(std::uint32_t address, std::uint32_t size) EXCLUDES(upgraderLock);
  // Programs image[offset .. offset + length), cut at the image's end, at `address`.
  void WriteFlash(const std::vector<std::uint8_t>& image, std::uint32_t offset, std::uint32_t length,
                  std::uint32_t address) EXCLUDES(upgraderLock);
  void EraseFlashSector(std::uint32_t address) EXCLUDES(upgraderLock);

  static const char* StatusName(std::uint8_t status);
  static const char* CommandName(std::uint8_t command);

  // The main image's version text, or "ERROR" when the image has none.
  const char* Version() const { return version; }

  const std::vector<std::uint8_t> dfuImage;
  const std::vector<std::uint8_t> mainImage;

 protected:
  // Steps of Upgrade, each usable on its own. BeginRun: the run's host, and
  // its progress counters from the start.
  void BeginRun(UpgradeHost& host);
  bool VerifyRegion(const std::vector<std::uint8_t>& image, std::uint32_t base);
  void WriteRegion(const std::vector<std::uint8_t>& image, std::uint32_t start, std::uint32_t end);
  bool CompareChunk(const std::vector<std::uint8_t>& image, std::uint32_t offset) EXCLUDES(upgraderLock);
  bool HasBootMagic() EXCLUDES(upgraderLock);
  void EnterDfuMode();
  void BootMainFirmware();
  void RestartDevice();
  // The open pen has announced DFU mode; the announcement stays for the next test.
  bool IsInDfuMode() EXCLUDES(upgraderLock);
  void CheckIdentityBlock() EXCLUDES(upgraderLock);
  // A pen back under another interface path: is its identity block the one read at the start?
  bool IsRestartedPen() EXCLUDES(upgraderLock);

 private:
  friend struct UpgraderProbe;  // the tests' look at the signals

  void SetVersionFromMainImage();
  void Report(std::int32_t done, std::int32_t total) const;
  void Exchange(const std::uint8_t* request, std::uint32_t requestLength, const char* noResponseText)
      EXCLUDES(upgraderLock);
  void CheckResponse(std::uint8_t command, std::uint32_t address, std::uint32_t size) REQUIRES(upgraderLock);
  // Data bytes of the held response: its size field, but never more than were delivered.
  std::uint32_t HeldDataSize() const REQUIRES(upgraderLock);
  std::uint32_t HeldWord(std::uint32_t offset) const REQUIRES(upgraderLock);

  // What an answer echoes of its request.
  struct RequestEcho {
    std::uint8_t command = 0;
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    bool operator==(const RequestEcho& other) const {
      return command == other.command && address == other.address && size == other.size;
    }
  };
  static RequestEcho EchoOfResponse(const std::uint8_t* payload);  // at least a response header

  char version[6] = "UNSET";  // main image version, at most 5 characters
  UpgradeHost* m_host = nullptr;  // for the run under way
  // Upgrade thread only.
  std::int32_t progressDone = 0;
  std::int32_t progressTotal = 0;
  // Set by GivePen, TakePen and PenBack; read by each command attempt.
  std::atomic<HANDLE> driverHandle{nullptr};
  CEvent restartedSignal;  // the pen is back after a restart
  CEvent dfuModeSignal;    // the pen announced DFU mode; set, tested and taken under upgraderLock
  CEvent responseSignal;   // a response was delivered

  // Taken once on any path: a path that holds it calls only what REQUIRES it.
  CCriticalSection upgraderLock;
  // The command waiting for its answer, and the last one answered.
  bool awaitingAnswer GUARDED_BY(upgraderLock) = false;
  RequestEcho awaitedEcho GUARDED_BY(upgraderLock);
  bool hasAnswered GUARDED_BY(upgraderLock) = false;
  RequestEcho answeredEcho GUARDED_BY(upgraderLock);
  std::uint8_t response[kFaResponseBufferSize] GUARDED_BY(upgraderLock) = {};
  // Bytes of `response` that the last delivery filled; the rest may be older.
  std::uint32_t responseLength GUARDED_BY(upgraderLock) = 0;

  std::array<std::uint8_t, kIdentityBlockSize> m_identityBlock{};  // as read at the start of the run
  std::atomic<bool> m_checkRestartedPen{false};  // the pen came back under another interface path
};
