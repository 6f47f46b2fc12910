#pragma once
// FirmwareUpgrader: the tool's one upgrader. It holds copies of the two embedded
// images and runs the upgrade sequence over the flash-access protocol.
//
// Threads: Upgrade and every protocol command run on the upgrade thread; the
// receive thread calls DeliverResponse and DfuModeAnnounced; the device watch
// gives and takes the pen (GivePen, PenBack: UI thread; TakePen: UI thread, or
// the upgrade thread in RestartPen). The upgrade thread holds upgraderLock only
// while it looks at the response buffer, never across a send or a wait.
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "afx/sync.h"
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
  void Upgrade(UpgradeHost& host);

  // The device watch: a pen opened and found to be the supported product
  // (`handle`), or none (TakePen). An announcement of DFU mode belongs to the
  // opening that made it, so taking the pen forgets it.
  void GivePen(HANDLE handle);
  void TakePen();
  // The pen is back after RestartPen. `sameInterface`: it came back under the
  // restarted pen's interface path; otherwise Upgrade reads its identity block
  // before it trusts it.
  void PenBack(HANDLE handle, bool sameInterface);
  // Receive thread: the open pen announced DFU mode.
  void DfuModeAnnounced();

  // Receive thread: keeps a copy of one flash-access response (the packet payload
  // without its 6-byte header) and wakes the waiting command. Never throws.
  // Each command takes one answer: one that comes while no command waits, or
  // another copy of the previous command's answer, is dropped unseen.
  void DeliverResponse(const std::uint8_t* payload, std::uint32_t length);

  // The three protocol commands. Each sends its request with WritePenData, waits
  // FA_RESPONSE_TIMEOUT_MS for the response, up to FA_ATTEMPTS times, and checks
  // it. After ReadFlash the buffer holds the validated read response.
  void ReadFlash(std::uint32_t address, std::uint32_t size);
  // Programs image[offset .. offset + length), cut at the image's end, at `address`.
  void WriteFlash(const std::vector<std::uint8_t>& image, std::uint32_t offset, std::uint32_t length,
                  std::uint32_t address);
  void EraseFlashSector(std::uint32_t address);

  static const char* StatusName(std::uint8_t status);
  static const char* CommandName(std::uint8_t command);

  char version[6] = "UNSET";  // main image version, at most 5 characters
  std::vector<std::uint8_t> dfuImage;
  std::vector<std::uint8_t> mainImage;
  // Set by GivePen, TakePen and PenBack; read by each command attempt.
  std::atomic<HANDLE> driverHandle{nullptr};
  std::int32_t progressDone = 0;
  std::int32_t progressTotal = 0;
  CEvent restartedSignal;  // the pen is back after a restart
  CEvent dfuModeSignal;    // the pen announced DFU mode
  CEvent responseSignal;   // a response was delivered
  CCriticalSection upgraderLock;  // guards the response buffer and the dfuModeSignal test

 protected:
  // Steps of Upgrade, each usable on its own.
  void CheckResponse(std::uint8_t command, std::uint32_t address, std::uint32_t size);
  bool VerifyRegion(const std::vector<std::uint8_t>& image, std::uint32_t base);
  void WriteRegion(const std::vector<std::uint8_t>& image, std::uint32_t start, std::uint32_t end);
  bool CompareChunk(const std::vector<std::uint8_t>& image, std::uint32_t offset);
  bool HasBootMagic();
  void EnterDfuMode();
  void BootMainFirmware();
  void RestartDevice();
  bool IsInDfuMode();
  void CheckIdentityBlock();
  // A pen back under another interface path: is its identity block the one read at the start?
  bool IsRestartedPen();

  UpgradeHost* m_host = nullptr;  // for the run under way

 private:
  void SetVersionFromMainImage();
  void Report(std::int32_t done, std::int32_t total) const;
  void Exchange(const std::uint8_t* request, std::uint32_t requestLength, const char* noResponseText);
  // Data bytes of the held response: its size field, but never more than were delivered.
  std::uint32_t HeldDataSize() const;
  std::uint32_t HeldWord(std::uint32_t offset) const;

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

  // Under upgraderLock: the command waiting for its answer, and the last one answered.
  bool awaitingAnswer = false;
  RequestEcho awaitedEcho;
  bool hasAnswered = false;
  RequestEcho answeredEcho;
  std::uint8_t response[FA_RESPONSE_BUFFER_SIZE] = {};
  // Bytes of `response` that the last delivery filled; the rest may be older.
  std::uint32_t responseLength = 0;

  std::array<std::uint8_t, IDENTITY_BLOCK_SIZE> m_identityBlock{};  // as read at the start of the run
  std::atomic<bool> m_checkRestartedPen{false};  // the pen came back under another interface path
};
