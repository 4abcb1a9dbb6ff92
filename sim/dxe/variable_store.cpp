// A variable store behind GetVariable/SetVariable with UEFI semantics, an access log and fault switches.
#include "sim/dxe/variable_store.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sim/dxe/dxe_platform.h"

namespace sim {
namespace {

std::u16string NameOf(const CHAR16* name) { return name ? std::u16string(name) : std::u16string(); }

}  // namespace

StoredVariable* VariableStore::FindMutable(const std::u16string& name, const EFI_GUID& vendor) {
  for (StoredVariable& v : variables_) {
    if (v.name == name && GuidEqual(&v.vendor, &vendor)) return &v;
  }
  return nullptr;
}

const StoredVariable* VariableStore::Find(const std::u16string& name, const EFI_GUID& vendor) const {
  return const_cast<VariableStore*>(this)->FindMutable(name, vendor);
}

size_t VariableStore::DataBytes() const {
  size_t total = 0;
  for (const StoredVariable& v : variables_) total += v.data.size();
  return total;
}

EFI_STATUS VariableStore::LogAccess(bool write, const CHAR16* name, const EFI_GUID* vendor, EFI_STATUS status,
                                    size_t size) {
  EFI_GUID guid = vendor ? *vendor : EFI_GUID{};
  log_.push_back({write, NameOf(name), guid, status, size});
  return status;
}

EFI_STATUS VariableStore::GetVariable(const CHAR16* name, const EFI_GUID* vendor, UINT32* attributes, UINTN* data_size,
                                      VOID* data) {
  if (name == nullptr || vendor == nullptr || data_size == nullptr) {
    return LogAccess(false, name, vendor, EFI_INVALID_PARAMETER, 0);
  }
  const StoredVariable* v = Find(NameOf(name), *vendor);
  if (v == nullptr) return LogAccess(false, name, vendor, EFI_NOT_FOUND, *data_size);
  if (*data_size < v->data.size()) {
    *data_size = v->data.size();
    return LogAccess(false, name, vendor, EFI_BUFFER_TOO_SMALL, *data_size);
  }
  if (data == nullptr) return LogAccess(false, name, vendor, EFI_INVALID_PARAMETER, *data_size);
  if (!v->data.empty()) std::memcpy(data, v->data.data(), v->data.size());
  *data_size = v->data.size();
  if (attributes != nullptr) *attributes = v->attributes;
  return LogAccess(false, name, vendor, EFI_SUCCESS, *data_size);
}

EFI_STATUS VariableStore::SetVariable(const CHAR16* name, const EFI_GUID* vendor, UINT32 attributes, UINTN data_size,
                                      const VOID* data) {
  if (name == nullptr || vendor == nullptr || name[0] == 0) {
    return LogAccess(true, name, vendor, EFI_INVALID_PARAMETER, data_size);
  }
  if (write_protected_) return LogAccess(true, name, vendor, EFI_WRITE_PROTECTED, data_size);
  if ((attributes & ~kSupportedAttributes) != 0) return LogAccess(true, name, vendor, EFI_UNSUPPORTED, data_size);
  std::u16string key = NameOf(name);
  StoredVariable* existing = FindMutable(key, *vendor);

  if (data_size == 0 || attributes == 0) {
    if (existing == nullptr) return LogAccess(true, name, vendor, EFI_NOT_FOUND, 0);
    Erase(key, *vendor);
    return LogAccess(true, name, vendor, EFI_SUCCESS, 0);
  }
  if (data == nullptr) return LogAccess(true, name, vendor, EFI_INVALID_PARAMETER, data_size);
  if ((attributes & EFI_VARIABLE_RUNTIME_ACCESS) && !(attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS)) {
    return LogAccess(true, name, vendor, EFI_INVALID_PARAMETER, data_size);
  }
  if (existing != nullptr && existing->attributes != attributes) {
    return LogAccess(true, name, vendor, EFI_INVALID_PARAMETER, data_size);
  }
  size_t others = DataBytes() - (existing ? existing->data.size() : 0);
  if (capacity_ && others + data_size > *capacity_) {
    return LogAccess(true, name, vendor, EFI_OUT_OF_RESOURCES, data_size);
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  Put(key, *vendor, attributes, std::vector<uint8_t>(bytes, bytes + data_size), true);
  return LogAccess(true, name, vendor, EFI_SUCCESS, data_size);
}

void VariableStore::Put(const std::u16string& name, const EFI_GUID& vendor, uint32_t attributes,
                        std::vector<uint8_t> data, bool written) {
  if (StoredVariable* v = FindMutable(name, vendor)) {
    v->attributes = attributes;
    v->data = std::move(data);
    v->written = written;
    return;
  }
  variables_.push_back({name, vendor, attributes, std::move(data), written});
}

bool VariableStore::Erase(const std::u16string& name, const EFI_GUID& vendor) {
  return std::erase_if(variables_,
                       [&](const StoredVariable& v) { return v.name == name && GuidEqual(&v.vendor, &vendor); }) != 0;
}

size_t VariableStore::Reads(const std::u16string& name) const {
  size_t n = 0;
  for (const VariableAccess& a : log_) n += (!a.write && a.name == name) ? 1 : 0;
  return n;
}

size_t VariableStore::Writes(const std::u16string& name) const {
  size_t n = 0;
  for (const VariableAccess& a : log_) n += (a.write && a.name == name) ? 1 : 0;
  return n;
}

VariableStore& PlatformVariableStore(DxePlatform& platform) {
  if (auto* store = dynamic_cast<VariableStore*>(&platform.Variables())) return *store;
  auto store = std::make_shared<VariableStore>();
  platform.SetVariableService(store);
  return *store;
}

std::string VariableNameToString(const std::u16string& name) {
  std::string out;
  for (char16_t c : name) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof(buffer), "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

std::u16string VariableNameFromString(const std::string& name) {
  std::u16string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 5 < name.size() && name[i + 1] == 'u' &&
        std::all_of(name.begin() + i + 2, name.begin() + i + 6, [](char c) { return std::isxdigit(c) != 0; })) {
      out += static_cast<char16_t>(std::stoul(name.substr(i + 2, 4), nullptr, 16));
      i += 5;
    } else {
      out += static_cast<char16_t>(static_cast<unsigned char>(name[i]));
    }
  }
  return out;
}

}  // namespace sim
