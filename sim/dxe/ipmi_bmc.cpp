// The BMC model behind the simulated IPMI transport protocol and the protocol instance itself.
#include "sim/dxe/ipmi_bmc.h"

#include <cstdio>
#include <cstring>

#include "sim/common/hex_text.h"
#include "sim/dxe/dxe_platform.h"

namespace sim {
namespace {

// The byte of a chunk that a Corrupt answer changes: one covered by a checksum (image offsets 24, 32, 64, 96).
size_t CorruptedOffset(uint8_t chunk) { return chunk == 1 ? 24 : 0; }

}  // namespace

const char* BmcActionName(BmcActionKind kind) {
  switch (kind) {
    case BmcActionKind::Answer: return "answer";
    case BmcActionKind::Corrupt: return "corrupt";
    case BmcActionKind::Busy: return "busy";
    case BmcActionKind::Completion: return "completion";
    case BmcActionKind::TransportError: return "error";
    case BmcActionKind::Silence: return "silent";
  }
  return "?";
}

void BmcModel::SetSupply(uint8_t supply, BmcSupply description) { supplies_[supply] = std::move(description); }

void BmcModel::Script(uint8_t supply, uint8_t chunk, std::vector<BmcAction> steps) {
  auto& script = supplies_[supply].scripts[chunk];
  script.insert(script.end(), steps.begin(), steps.end());
}

EFI_STATUS BmcModel::Handle(uint8_t net_function, uint8_t lun, uint8_t command, const uint8_t* request,
                            uint8_t request_size, uint8_t* response, uint32_t* response_size,
                            uint8_t* completion_code) {
  uint64_t started = clock_.NowMicroseconds();
  auto reject = [&](uint8_t code, const std::string& why) {
    violations_.Report("IPMI: " + why);
    clock_.Advance(timing_.send_us);
    if (response_size) *response_size = 0;
    *completion_code = code;
    sends_.push_back({0, 0, BmcActionKind::Completion, code, EFI_SUCCESS, started});
    return EFI_SUCCESS;
  };
  if (response == nullptr || response_size == nullptr) {
    violations_.Report("IPMI: send without a response buffer or response size");
    sends_.push_back({0, 0, BmcActionKind::TransportError, 0, EFI_INVALID_PARAMETER, started});
    return EFI_INVALID_PARAMETER;
  }
  if (net_function != kFruChunkNetFunction || command != kFruChunkCommand || lun != 0) {
    return reject(kIpmiInvalidCommand, "unexpected command: network function " + Hex(net_function, 2) + ", LUN " +
                                           Hex(lun, 2) + ", command " + Hex(command, 2) +
                                           " (only the FRU chunk command 0x30/0xA1 on LUN 0 is served)");
  }
  if (request == nullptr || request_size != 2) {
    return reject(kIpmiRequestLengthInvalid,
                  "FRU chunk request of " + std::to_string(request_size) + " bytes (it takes 2: supply, chunk)");
  }
  uint8_t supply_number = request[0];
  uint8_t chunk = request[1];
  if (chunk < 1 || chunk > kFruChunksPerImage) {
    return reject(kIpmiParameterOutOfRange, "FRU chunk " + std::to_string(chunk) + " requested (chunks are 1 to 4)");
  }

  auto found = supplies_.find(supply_number);
  BmcAction step;
  BmcActionKind action = BmcActionKind::Completion;
  step.completion_code = kIpmiDataNotPresent;
  if (found != supplies_.end()) {
    BmcSupply& supply = found->second;
    auto& script = supply.scripts[chunk];
    size_t& used = used_[{supply_number, chunk}];
    size_t covered = 0;
    bool scripted = false;
    for (const BmcAction& s : script) {
      if (used < covered + s.count) {
        step = s;
        action = s.kind;
        scripted = true;
        break;
      }
      covered += s.count;
    }
    if (scripted) {
      ++used;
    } else if (supply.silent) {
      action = BmcActionKind::Silence;
    } else if (!supply.fru.empty()) {
      action = BmcActionKind::Answer;
    }
  }

  BmcSend send{supply_number, chunk, action, 0, EFI_SUCCESS, started};
  switch (action) {
    case BmcActionKind::Answer:
    case BmcActionKind::Corrupt: {
      const std::vector<uint8_t>& fru = found->second.fru;
      uint8_t data[kFruChunkBytes] = {};
      size_t base = (chunk - 1) * kFruChunkBytes;
      for (size_t i = 0; i < kFruChunkBytes; ++i) data[i] = base + i < fru.size() ? fru[base + i] : 0;
      if (action == BmcActionKind::Corrupt) data[CorruptedOffset(chunk)] ^= 0x5A;
      clock_.Advance(timing_.send_us);
      if (*response_size < kFruChunkBytes) {
        *response_size = kFruChunkBytes;
        send.status = EFI_BUFFER_TOO_SMALL;
        sends_.push_back(send);
        return EFI_BUFFER_TOO_SMALL;
      }
      std::memcpy(response, data, kFruChunkBytes);
      *response_size = kFruChunkBytes;
      *completion_code = send.completion_code = kIpmiCompletionOk;
      break;
    }
    case BmcActionKind::Busy:
    case BmcActionKind::Completion:
      clock_.Advance(timing_.send_us);
      *response_size = 0;
      *completion_code = send.completion_code = action == BmcActionKind::Busy ? kIpmiNodeBusy : step.completion_code;
      break;
    case BmcActionKind::TransportError:
      clock_.Advance(timing_.send_us);
      send.status = step.status;
      break;
    case BmcActionKind::Silence:
      clock_.Advance(timing_.silence_us);
      send.status = EFI_TIMEOUT;
      break;
  }
  sends_.push_back(send);
  return send.status;
}

size_t BmcModel::SendCount(uint8_t supply, uint8_t chunk) const {
  size_t n = 0;
  for (const BmcSend& s : sends_) n += (s.supply == supply && s.chunk == chunk) ? 1 : 0;
  return n;
}

size_t BmcModel::SendCount(uint8_t supply) const {
  size_t n = 0;
  for (const BmcSend& s : sends_) n += s.supply == supply ? 1 : 0;
  return n;
}

std::vector<std::string> BmcModel::UnconsumedSteps() const {
  std::vector<std::string> out;
  for (const auto& [number, supply] : supplies_) {
    for (const auto& [chunk, script] : supply.scripts) {
      auto it = used_.find({number, chunk});
      size_t used = it == used_.end() ? 0 : it->second;
      size_t covered = 0;
      for (size_t i = 0; i < script.size(); ++i) {
        size_t end = covered + script[i].count;
        if (used < end) {
          size_t left = end - std::max(used, covered);
          out.push_back("supply " + std::to_string(number) + " chunk " + std::to_string(chunk) + " step " +
                        std::to_string(i + 1) + " (" + BmcActionName(script[i].kind) + "): " + std::to_string(left) +
                        " of " + std::to_string(script[i].count) + " sends never came");
        }
        covered = end;
      }
    }
  }
  return out;
}

void BmcModel::CheckScriptsConsumed(Violations& violations) const {
  for (const std::string& step : UnconsumedSteps()) violations.Report("BMC script not consumed: " + step);
}

IpmiTransport::IpmiTransport(BmcModel& bmc, CallCounter* calls) : bmc_(bmc), calls_(calls) {
  std::memset(&instance_, 0, sizeof(instance_));
  instance_.protocol.Revision = 1;
  instance_.protocol.CompletionCode = 0;
  instance_.protocol.SendIpmiCommand = &IpmiTransport::Send;
  instance_.transport = this;
}

EFI_STATUS EFIAPI IpmiTransport::Send(IPMI_TRANSPORT_PROTOCOL* This, UINT8 NetFunction, UINT8 Lun, UINT8 Command,
                                      UINT8* RequestData, UINT8 RequestDataSize, UINT8* ResponseData,
                                      UINT32* ResponseDataSize) {
  if (This == nullptr) return EFI_INVALID_PARAMETER;
  IpmiTransport* self = reinterpret_cast<Instance*>(This)->transport;
  if (self->calls_) self->calls_->Bump("Ipmi.SendIpmiCommand");
  return self->bmc_.Handle(NetFunction, Lun, Command, RequestData, RequestDataSize, ResponseData, ResponseDataSize,
                           &This->CompletionCode);
}

BmcModel& InstallIpmiBmc(DxePlatform& platform) {
  auto& bmc = platform.Keep(std::make_shared<BmcModel>(platform.Violations(), platform.Clock()));
  auto& transport = platform.Keep(std::make_shared<IpmiTransport>(bmc, &platform.Calls()));
  EFI_GUID guid = IPMI_TRANSPORT_PROTOCOL_GUID;
  platform.Protocols().InstallOnNewHandle(guid, transport.Protocol(), "IPMI transport");
  platform.AddEndOfRunCheck([&bmc](Violations& violations) { bmc.CheckScriptsConsumed(violations); });
  return bmc;
}

}  // namespace sim
