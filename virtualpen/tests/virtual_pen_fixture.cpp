// The conformance suite's pens natively: virtual pens on a fresh process-wide
// bus, seen through its traffic record, and a headless window for notifications.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <sstream>

#include "afx/afxwin.h"
#include "afx/headless/automation.h"
#include "usb/tests/pen_fixture.h"
#include "virtualpen/virtual_bus.h"

namespace channel_testing {
namespace {

// Runs its modal loop on a thread of its own, as the tool's dialog does; keeps every WM_DEVICECHANGE.
class NotificationDialog : public CDialog {
 public:
  NotificationDialog() : CDialog(1) {
    m_loop = std::async(std::launch::async, [this] { return DoModal(); });
    EXPECT_TRUE(WaitUntil([this] { return m_window.load() != nullptr; })) << "the dialog did not open";
  }
  ~NotificationDialog() override {
    afx::automation::PostClose(m_window);
    m_loop.wait();
  }
  std::vector<DeviceChange> Received() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
  }
  std::atomic<HWND> m_window{nullptr};

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_window = GetSafeHwnd();
    return TRUE;
  }
  afx_msg BOOL OnDeviceChange(UINT type, DWORD_PTR data) {
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.push_back({type, broadcast->dbcc_size, broadcast->dbcc_devicetype,
                          broadcast->dbcc_classguid, broadcast->dbcc_name});
    return TRUE;
  }
  DECLARE_MESSAGE_MAP()

 private:
  std::mutex m_mutex;
  std::vector<DeviceChange> m_received;
  std::future<INT_PTR> m_loop;
};

BEGIN_MESSAGE_MAP(NotificationDialog, CDialog)
  ON_WM_DEVICECHANGE()
END_MESSAGE_MAP()

class VirtualPenFixture : public PenFixture {
 public:
  VirtualPenFixture() {
    virtualpen::VirtualBus::ResetInstance();
    m_bus = virtualpen::VirtualBus::Instance();
    m_bus->StartRecord(m_record);
  }
  ~VirtualPenFixture() override {
    m_window.reset();
    m_bus.reset();
    virtualpen::VirtualBus::ResetInstance();
  }

  std::string PlugPen() override {
    virtualpen::PenOptions options;
    options.timing = virtualpen::kRealisticTiming;  // answers come after their requests
    m_pen = m_bus->PlugNewPen(options);
    // The pen greets the host when it boots; the suite's receives are for answers.
    std::uint8_t greeting[kPenReceiveBufferSize];
    std::size_t size = 0;
    m_bus->Open()->Receive(greeting, sizeof(greeting), &size);
    return m_pen->InterfaceName();
  }
  std::string PlugUnopenablePen() override {
    auto pen = m_bus->PlugNewPen();
    pen->SetOpenRefused(true);
    return pen->InterfaceName();
  }
  void UnplugPen() override { m_bus->Unplug(m_pen); }

  Bytes Descriptor() override {
    const auto descriptor = m_pen->Descriptor();
    return Bytes(descriptor.begin(), descriptor.end());
  }
  bool ShortenDescriptor() override { return false; }

  Bytes Request() override { return {0xFA, 0xF0, 0x00, 0x40, 0x00, 0x00, 0x10, 0x00}; }  // identity read
  Bytes Answer() override { return Collected(m_fromPen); }
  void CutNextAnswer() override {
    virtualpen::RequestFault empty;
    empty.kind = virtualpen::RequestFaultKind::TruncateResponse;
    empty.value = 0;
    m_pen->AddFault(empty);
  }
  void WaitUntilAnswered() override {
    WaitUntil([this] { return m_pen->QueuedPackets() > 0; });
  }

  Bytes LastMessageToPen() override { return Collected(m_toPen); }
  std::size_t WaitingReceives() override { return m_pen->WaitingReceives(); }
  void HoldNextRequest(Held request, bool cancellable) override {
    const auto transfer = request == Held::Send ? virtualpen::HeldTransfer::Send : virtualpen::HeldTransfer::DescriptorRead;
    m_pen->AddFault(virtualpen::HoldFault{transfer, 1, cancellable});
  }
  std::size_t HeldRequests() override { return m_pen->HeldTransfers(); }

  HWND NotificationWindow() override {
    if (!m_window) m_window = std::make_unique<NotificationDialog>();
    return m_window->m_window;
  }
  std::vector<DeviceChange> DeviceChanges() override {
    m_bus->WaitUntilIdle();  // a delivery ends when the window's thread has handled it
    return m_window->Received();
  }

 private:
  // Reads the record so far into m_toPen and m_fromPen; returns the last of `packets`.
  Bytes Collected(const std::vector<Bytes>& packets) {
    m_bus->StopRecord();
    std::string line;
    while (std::getline(*m_record, line)) {
      const auto hex = line.find("\"hex\":\"");
      if (hex == std::string::npos) continue;
      Bytes bytes;
      for (auto at = hex + 7; line[at] != '"'; at += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(at, 2), nullptr, 16)));
      }
      (line.find("\"to_pen\"") != std::string::npos ? m_toPen : m_fromPen).push_back(bytes);
    }
    m_record = std::make_shared<std::stringstream>();
    m_bus->StartRecord(m_record);
    return packets.empty() ? Bytes{} : packets.back();
  }

  std::shared_ptr<virtualpen::VirtualBus> m_bus;
  std::shared_ptr<virtualpen::VirtualPen> m_pen;
  std::shared_ptr<std::stringstream> m_record = std::make_shared<std::stringstream>();
  std::vector<Bytes> m_toPen, m_fromPen;
  std::unique_ptr<NotificationDialog> m_window;
};

}  // namespace

std::unique_ptr<PenFixture> PenFixture::Make() { return std::make_unique<VirtualPenFixture>(); }

}  // namespace channel_testing
