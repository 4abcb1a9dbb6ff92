// Running a placed driver image on the attached DXE platform: MMIO, shared host memory, entry and callback.
#include "sim/image/driver_image_run.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "firmware/fv/module_volume.h"
#include "sim/dxe/dxe_platform.h"
#include "uefi/status.h"

namespace sim {

namespace {

constexpr size_t kDriverStack = 1 << 20;

}  // namespace

std::unique_ptr<EmulatedDriver> EmulatedDriver::Load(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open the image file";
    return nullptr;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadBytes(bytes, path, error);
}

std::unique_ptr<EmulatedDriver> EmulatedDriver::LoadBytes(std::span<const uint8_t> bytes, const std::string& name,
                                                          std::string& error) {
  PlaceResult placed = PlaceImage(bytes);
  if (!placed.image) placed.error = name + ": " + placed.error;
  return Arm(std::move(placed), {bytes.begin(), bytes.end()}, name, error);
}

std::unique_ptr<EmulatedDriver> EmulatedDriver::Arm(PlaceResult placed, std::vector<uint8_t> bytes,
                                                    const std::string& name, std::string& error) {
  if (!placed.image) {
    error = placed.error;
    return nullptr;
  }
  if (!placed.image->Is64()) {
    error = name + ": an IA-32 image; the DXE driver is x86-64 (PE32+)";
    return nullptr;
  }
  std::unique_ptr<EmulatedDriver> driver(new EmulatedDriver(std::move(placed.image), std::move(bytes)));
  driver->name_ = name;
  return driver;
}

EmulatedDriver::EmulatedDriver(std::unique_ptr<PlacedImage> image, std::vector<uint8_t> bytes)
    : image_(std::move(image)), bytes_(std::move(bytes)) {}

bool EmulatedDriver::PlaceClearOf(const std::vector<ReservedRange>& reserved, Violations& violations) {
  if (OverlappedRange(image_->Base(), image_->MappedSize(), reserved) == nullptr) return true;
  machine_.reset();  // it maps the old place
  PlaceResult placed = PlaceImage(bytes_, std::nullopt, reserved);
  if (!placed.image) {
    violations.Report("driver image: no place clear of the platform's windows: " + placed.error);
    return false;
  }
  image_ = std::move(placed.image);
  return true;
}

DriverEntry EmulatedDriver::Entry() {
  return
      [this](EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table) { return RunEntry(image_handle, system_table); };
}

EFI_STATUS EmulatedDriver::RunEntry(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table) {
  DxePlatform* platform = DxePlatform::Current();
  if (platform == nullptr || system_table != platform->SystemTable()) {
    std::fprintf(stderr, "simulator: a driver image entry was called without its platform being attached\n");
    std::abort();
  }
  if (file_guid_) platform->SetImageFileGuid(*file_guid_);
  Violations& violations = platform->Violations();
  // What the loader leaves alone: the platform's MMIO windows and the flash at the top of 4 GiB.
  std::vector<ReservedRange> reserved = BusRanges(platform->Bus());
  reserved.push_back({fv::kModuleVolumeBase, 0x100000000ull - fv::kModuleVolumeBase, "flash"});
  if (!PlaceClearOf(reserved, violations)) return EFI_LOAD_ERROR;
  // A machine kept from an earlier platform is reused only where its own memory is clear of this one's windows.
  if (machine_ != nullptr && !machine_->ClearOf(reserved)) machine_.reset();
  if (machine_ != nullptr) {
    machine_->Restore();
  } else {
    machine_ = std::make_unique<ImageMachine>(*image_, kDriverStack, reserved);
    if (!machine_->PlacementError().empty()) {
      violations.Report("driver image: " + machine_->PlacementError());
      machine_.reset();
      return EFI_LOAD_ERROR;
    }
    machine_->SetName(name_);
    machine_->TakeSnapshot();
  }
  machine_->SetExactCounting(exact_);
  machine_->MapBus(platform->Bus());  // first, so the hardware's addresses are the devices'
  if (budget_) machine_->SetInstructionBudget(*budget_);
  catalog_.reset();  // the old platform's, which the restored machine no longer calls
  catalog_ = std::make_unique<DxeServiceCatalog>(*platform, machine_->Reach());
  machine_->ShareHostMemory(*catalog_);
  platform->LoadedImage()->ImageBase = image_->Host();
  platform->LoadedImage()->ImageSize = image_->ImageSize();
  ImageMachine* machine = machine_.get();
  platform->Registry().SetInvoker([this, machine, &violations](PLATFORM_CALLBACK callback) -> EFI_STATUS {
    const GuestCallResult r = machine->Call(reinterpret_cast<uintptr_t>(callback), {});
    calls_.push_back(r);
    if (!r.completed) violations.Report("driver image, callback: " + r.fault);
    return r.completed ? r.value : EFI_ABORTED;
  });
  const GuestCallResult r = machine_->Call(
      image_->Entry(), {reinterpret_cast<uintptr_t>(image_handle), reinterpret_cast<uintptr_t>(system_table)});
  calls_.push_back(r);
  if (!r.completed) violations.Report("driver image, entry point: " + r.fault);
  return r.completed ? r.value : EFI_ABORTED;
}

}  // namespace sim
