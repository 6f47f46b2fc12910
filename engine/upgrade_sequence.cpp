// The upgrade sequence: identity check, DFU region, restart into DFU mode, main
// region, boot-control word and the final restart, with progress accounting.
#include <algorithm>
#include <cstring>

#include "engine/firmware_upgrader.h"

namespace {

// Progress units: one per region byte erased and written, one per image byte
// compared or verified, and this many per restart.
constexpr std::int32_t kRestartUnits = 100000;
constexpr std::int32_t kDfuRegionUnits = static_cast<std::int32_t>(kDfuRegionEnd - kDfuRegionStart);
constexpr std::int32_t kMainRegionUnits = static_cast<std::int32_t>(kMainRegionEnd - kMainRegionStart);

std::int32_t Units(const std::vector<std::uint8_t>& image) { return static_cast<std::int32_t>(image.size()); }

}  // namespace

void FirmwareUpgrader::Upgrade(UpgradeHost& host) {
  BeginRun(host);
  Report(0, progressTotal);

  CheckIdentityBlock();

  if (IsInDfuMode()) {
    // A run that failed after the restart into DFU mode: straight to the main image.
    progressTotal -= 2 * Units(dfuImage) + kDfuRegionUnits + kRestartUnits;
  } else {
    if (VerifyRegion(dfuImage, kDfuRegionStart)) {
      progressTotal -= kDfuRegionUnits + Units(dfuImage);
    } else {
      WriteRegion(dfuImage, kDfuRegionStart, kDfuRegionEnd);
      if (!VerifyRegion(dfuImage, kDfuRegionStart)) {
        throw UpgradeToolException("DFU firmware was not written correctly");
      }
    }
    EnterDfuMode();
    progressDone += kRestartUnits;
  }
  Report(progressDone, progressTotal);

  WriteRegion(mainImage, kMainRegionStart, kMainRegionEnd);
  if (!VerifyRegion(mainImage, kMainRegionStart)) {
    throw UpgradeToolException("Main firmware was not written correctly");
  }

  BootMainFirmware();
  progressDone += kRestartUnits;
  Report(progressDone, progressTotal);
  Report(1, 1);
}

void FirmwareUpgrader::BeginRun(UpgradeHost& host) {
  m_host = &host;
  progressDone = 0;
  progressTotal = Units(mainImage) + 2 * Units(dfuImage) + kDfuRegionUnits + kMainRegionUnits + 2 * kRestartUnits;
}

void FirmwareUpgrader::Report(std::int32_t done, std::int32_t total) const {
  if (m_host != nullptr) m_host->ReportProgress(done, total);
}

bool FirmwareUpgrader::VerifyRegion(const std::vector<std::uint8_t>& image, std::uint32_t base) {
  const std::uint32_t size = static_cast<std::uint32_t>(image.size());
  for (std::uint32_t offset = 0; offset < size; offset += kFlashChunkSize) {
    Report(progressDone + static_cast<std::int32_t>(offset), progressTotal);
    ReadFlash(base + offset, kFlashChunkSize);  // also the last chunk in full
    if (!CompareChunk(image, offset)) {
      progressDone += static_cast<std::int32_t>(offset);
      progressTotal -= static_cast<std::int32_t>(size - offset);
      Report(progressDone, progressTotal);
      return false;
    }
  }
  progressDone += static_cast<std::int32_t>(size);
  Report(progressDone, progressTotal);
  return true;
}

void FirmwareUpgrader::WriteRegion(const std::vector<std::uint8_t>& image, std::uint32_t start, std::uint32_t end) {
  EraseFlashSector(start);
  for (std::uint32_t offset = kFlashChunkSize; offset < end - start; offset += kFlashChunkSize) {
    const std::uint32_t address = start + offset;
    Report(progressDone + static_cast<std::int32_t>(offset - kFlashChunkSize), progressTotal);
    if (address % kFlashSectorSize == 0) EraseFlashSector(address);
    if (offset < image.size()) WriteFlash(image, offset, kFlashChunkSize, address);
  }
  // The chunk with the header and its BootMagic goes last, so that a write cut
  // short leaves a region the boot loader will not start.
  WriteFlash(image, 0, kFlashChunkSize, start);
  progressDone += static_cast<std::int32_t>(end - start);
  Report(progressDone, progressTotal);
}

bool FirmwareUpgrader::CompareChunk(const std::vector<std::uint8_t>& image, std::uint32_t offset) {
  CSingleLock lock(&upgraderLock, TRUE);
  if (offset > image.size()) return false;
  const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(HeldDataSize(), image.size() - offset));
  return n == 0 || std::memcmp(response + kFaResponseHeaderSize, image.data() + offset, n) == 0;
}

bool FirmwareUpgrader::HasBootMagic() {
  CSingleLock lock(&upgraderLock, TRUE);
  return HeldDataSize() >= kBootMagicOffset + 4 &&
         HeldWord(kFaResponseHeaderSize + kBootMagicOffset) == BootMagic;
}

void FirmwareUpgrader::EnterDfuMode() {
  ReadFlash(kDfuRegionStart, kHeaderReadSize);
  if (!HasBootMagic()) throw UpgradeToolException("Boot magic for DFU firmware not found in device");
  EraseFlashSector(kBootControlAddress);  // an erased boot-control word makes the boot loader stay
  dfuModeSignal.ResetEvent();
  RestartDevice();
  if (!dfuModeSignal.Lock(kDfuModeTimeoutMs)) throw UpgradeToolException("Device did not restart in DFU mode");
}

void FirmwareUpgrader::BootMainFirmware() {
  ReadFlash(kMainRegionStart, kHeaderReadSize);
  if (!HasBootMagic()) throw UpgradeToolException("Boot magic for main firmware not found in device");
  EraseFlashSector(kBootControlAddress);
  const std::vector<std::uint8_t> word = {
      static_cast<std::uint8_t>(BootControlWord), static_cast<std::uint8_t>(BootControlWord >> 8),
      static_cast<std::uint8_t>(BootControlWord >> 16), static_cast<std::uint8_t>(BootControlWord >> 24)};
  WriteFlash(word, 0, 4, kBootControlAddress);
  RestartDevice();
}

void FirmwareUpgrader::RestartDevice() {
  restartedSignal.ResetEvent();
  if (m_host == nullptr) throw UpgradeToolException("No restart function defined");
  m_host->RestartPen();
  // A pen that comes back under another path may be another pen: it is taken
  // only if its identity is the restarted one's, and never written before that.
  const auto deadline = afx::Deadline(kRestartTimeoutMs);
  while (restartedSignal.LockUntil(deadline)) {
    if (!m_checkRestartedPen || IsRestartedPen()) return;
    m_host->RejectRestartedPen();
  }
  throw UpgradeToolException("Device did not restart");
}

bool FirmwareUpgrader::IsRestartedPen() {
  try {
    ReadFlash(kIdentityBlockAddress, kIdentityBlockSize);
  } catch (const UpgradeToolException&) {
    return false;  // a pen that cannot show its identity is not taken either
  }
  CSingleLock lock(&upgraderLock, TRUE);
  return HeldDataSize() >= kIdentityBlockSize &&
         std::memcmp(response + kFaResponseHeaderSize, m_identityBlock.data(), kIdentityBlockSize) == 0;
}

bool FirmwareUpgrader::IsInDfuMode() {
  // Under the lock the receive thread sets the signal with, so that the test and
  // the setting again are one step.
  CSingleLock lock(&upgraderLock, TRUE);
  if (!dfuModeSignal.Lock(0)) return false;
  dfuModeSignal.SetEvent();
  return true;
}

void FirmwareUpgrader::CheckIdentityBlock() {
  ReadFlash(kIdentityBlockAddress, kIdentityBlockSize);
  CSingleLock lock(&upgraderLock, TRUE);
  const std::uint8_t* block = response + kFaResponseHeaderSize;
  if (HeldDataSize() < kIdentityBlockSize) throw UpgradeToolException("Failed to read serial number block");
  if (block[0] != kSerialNumberMagic) throw UpgradeToolException("Bad serial number magic");
  if (block[1] != 0xFF) {  // 0xFF: no sensor data recorded, nothing more to check
    if (block[6] != kSensorSettingsMagic) throw UpgradeToolException("Bad sensor settings magic");
    if (block[10] != kSensorCutMagic) throw UpgradeToolException("Bad sensor cut magic");
  }
  std::memcpy(m_identityBlock.data(), block, kIdentityBlockSize);
}

void FirmwareUpgrader::GivePen(HANDLE handle) {
  m_checkRestartedPen = false;
  driverHandle = handle;
}

void FirmwareUpgrader::TakePen() {
  driverHandle = nullptr;
  // Under the lock, or an IsInDfuMode under way would set it again.
  CSingleLock lock(&upgraderLock, TRUE);
  dfuModeSignal.ResetEvent();
}

void FirmwareUpgrader::PenBack(HANDLE handle, bool sameInterface) {
  m_checkRestartedPen = !sameInterface;
  driverHandle = handle;
  restartedSignal.SetEvent();
}

void FirmwareUpgrader::DfuModeAnnounced() {
  // Under the lock IsInDfuMode tests and sets the signal again with.
  CSingleLock lock(&upgraderLock, TRUE);
  dfuModeSignal.SetEvent();
}
