// The BMC model behind the simulated IPMI transport protocol: serves the OEM FRU-chunk command (network
// function 0x30, command 0xA1) for the board's power supplies from their FRU images, following a script per
// supply and per chunk. Every send is counted and costs virtual time; scripts must be consumed by the end.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/common/violations.h"
#include "sim/common/virtual_clock.h"
#include "sim/dxe/call_counter.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/status.h"

namespace sim {

class DxePlatform;

constexpr uint8_t kFruChunkNetFunction = 0x30;
constexpr uint8_t kFruChunkCommand = 0xA1;
constexpr size_t kFruChunkBytes = 32;
constexpr uint8_t kFruChunksPerImage = 4;

constexpr uint8_t kIpmiCompletionOk = 0x00;
constexpr uint8_t kIpmiNodeBusy = 0xC0;
constexpr uint8_t kIpmiInvalidCommand = 0xC1;
constexpr uint8_t kIpmiRequestLengthInvalid = 0xC7;
constexpr uint8_t kIpmiParameterOutOfRange = 0xC9;
constexpr uint8_t kIpmiDataNotPresent = 0xCB;

// What the BMC does with one send.
enum class BmcActionKind {
  Answer,          // the chunk from the FRU image, completion code 0x00
  Corrupt,         // the chunk with one checksummed byte changed, completion code 0x00
  Busy,            // completion code 0xC0, no data
  Completion,      // the given completion code, no data
  TransportError,  // the transport call fails with the given status; the completion code byte is untouched
  Silence,         // no answer: the transport times out (EFI_TIMEOUT) after the silence cost
};

struct BmcAction {
  BmcActionKind kind = BmcActionKind::Answer;
  uint32_t count = 1;                    // consecutive sends this step covers
  uint8_t completion_code = 0;           // Completion
  EFI_STATUS status = EFI_DEVICE_ERROR;  // TransportError
};

// One send as the BMC saw it.
struct BmcSend {
  uint8_t supply;  // 0 when the request was malformed
  uint8_t chunk;
  BmcActionKind outcome;
  uint8_t completion_code;  // reported (for Answer/Corrupt/Busy/Completion)
  EFI_STATUS status;        // returned by the transport
  uint64_t at_us;           // virtual time when the send started
};

struct BmcTiming {
  uint64_t send_us = 1000;        // every answered send (answer, busy, completion code, transport error)
  uint64_t silence_us = 1000000;  // a send the BMC never answers
};

// One power supply as the BMC knows it. Unscripted sends are answered from the FRU image; without one (and for
// a supply the BMC does not know) the answer is completion code 0xCB (data not present).
struct BmcSupply {
  std::vector<uint8_t> fru;                           // served from offset 0; bytes past its end read as 0
  bool silent = false;                                // once its scripts are used up, never answers
  std::map<uint8_t, std::vector<BmcAction>> scripts;  // chunk 1..4 -> steps, then the default behaviour
};

class BmcModel {
 public:
  BmcModel(Violations& violations, VirtualClock& clock) : violations_(violations), clock_(clock) {}

  void SetSupply(uint8_t supply, BmcSupply description);
  void SetFru(uint8_t supply, std::vector<uint8_t> image) { supplies_[supply].fru = std::move(image); }
  void SetSilent(uint8_t supply, bool silent) { supplies_[supply].silent = silent; }
  // Appends steps to the script of one chunk of one supply.
  void Script(uint8_t supply, uint8_t chunk, std::vector<BmcAction> steps);
  void SetTiming(BmcTiming timing) { timing_ = timing; }

  // One command as the transport delivers it. Fills the response and *completion_code (unless the transport
  // fails) and returns the transport status. Malformed requests are violations and get the IPMI completion code
  // a BMC would give.
  EFI_STATUS Handle(uint8_t net_function, uint8_t lun, uint8_t command, const uint8_t* request, uint8_t request_size,
                    uint8_t* response, uint32_t* response_size, uint8_t* completion_code);

  const std::vector<BmcSend>& Sends() const { return sends_; }
  size_t SendCount(uint8_t supply, uint8_t chunk) const;
  size_t SendCount(uint8_t supply) const;
  // Script steps (with the sends they still expected) not used up; each is reported by CheckScriptsConsumed.
  std::vector<std::string> UnconsumedSteps() const;
  void CheckScriptsConsumed(Violations& violations) const;

 private:
  Violations& violations_;
  VirtualClock& clock_;
  BmcTiming timing_;
  std::map<uint8_t, BmcSupply> supplies_;
  std::map<std::pair<uint8_t, uint8_t>, size_t> used_;  // (supply, chunk) -> sends taken from the script
  std::vector<BmcSend> sends_;
};

// The protocol instance in the layout the driver uses, reaching its BMC through `This`.
class IpmiTransport {
 public:
  explicit IpmiTransport(BmcModel& bmc, CallCounter* calls = nullptr);
  IpmiTransport(const IpmiTransport&) = delete;
  IpmiTransport& operator=(const IpmiTransport&) = delete;
  IPMI_TRANSPORT_PROTOCOL* Protocol() { return &instance_.protocol; }
  BmcModel& Bmc() { return bmc_; }

 private:
  struct Instance {
    IPMI_TRANSPORT_PROTOCOL protocol;  // first member: `This` converts back to the instance
    IpmiTransport* transport;
  };
  static EFI_STATUS EFIAPI Send(IPMI_TRANSPORT_PROTOCOL* This, UINT8 NetFunction, UINT8 Lun, UINT8 Command,
                                UINT8* RequestData, UINT8 RequestDataSize, UINT8* ResponseData,
                                UINT32* ResponseDataSize);
  BmcModel& bmc_;
  CallCounter* calls_;
  Instance instance_;
};

// Creates a BMC and its transport on the platform (kept alive by it), installs the protocol on a new handle
// and adds the end-of-run check that the scripts were consumed. Returns the BMC.
BmcModel& InstallIpmiBmc(DxePlatform& platform);

const char* BmcActionName(BmcActionKind kind);

}  // namespace sim
