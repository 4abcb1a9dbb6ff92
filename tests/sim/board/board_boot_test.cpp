// Booting a board with a stand-in driver entry point: entry status, callback, summary, leaks.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "tests/support/platform_checks.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/smbios.h"

namespace {

EFI_SYSTEM_TABLE* g_system_table = nullptr;
bool g_leak = false;

// The stand-in callback removes every type 28 record and adds one type 9 record built in pool memory.
EFI_STATUS EFIAPI StandInCallback() {
  EFI_BOOT_SERVICES* bs = g_system_table->BootServices;
  EFI_GUID guid = EFI_SMBIOS_PROTOCOL_GUID;
  EFI_SMBIOS_PROTOCOL* smbios = nullptr;
  if (bs->LocateProtocol(&guid, nullptr, reinterpret_cast<VOID**>(&smbios)) != EFI_SUCCESS) return EFI_NOT_FOUND;
  EFI_SMBIOS_TYPE type = 28;
  EFI_SMBIOS_HANDLE h = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_TABLE_HEADER* rec = nullptr;
  while (smbios->GetNext(smbios, &h, &type, &rec, nullptr) == EFI_SUCCESS) {
    smbios->Remove(smbios, h);
    h = SMBIOS_HANDLE_PI_RESERVED;
  }
  VOID* buffer = nullptr;
  if (bs->AllocatePool(EfiBootServicesData, 768, &buffer) != EFI_SUCCESS) return EFI_OUT_OF_RESOURCES;
  std::memset(buffer, 0, 768);
  const uint8_t record[] = {9, 0x11, 0xFE, 0xFF, 1, 0xB5, 0x0B, 2, 3, 1, 0, 4, 5, 0, 0, 0xFF, 0, 'J', '1', 0, 0};
  std::memcpy(buffer, record, sizeof record);
  h = SMBIOS_HANDLE_PI_RESERVED;
  smbios->Add(smbios, nullptr, &h, static_cast<EFI_SMBIOS_TABLE_HEADER*>(buffer));
  if (!g_leak) bs->FreePool(buffer);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI StandInEntry(EFI_HANDLE, EFI_SYSTEM_TABLE* system_table) {
  g_system_table = system_table;
  EFI_GUID guid = PLATFORM_CALLBACK_REGISTRY_GUID;
  PLATFORM_CALLBACK_REGISTRY* registry = nullptr;
  EFI_STATUS status = system_table->BootServices->LocateProtocol(&guid, nullptr, reinterpret_cast<VOID**>(&registry));
  if (status != EFI_SUCCESS) return status;
  uint8_t record[24] = {};
  const uint32_t words[4] = {0x424D5350, 1, 21, 0};
  std::memcpy(record, words, 16);
  const uint64_t entry = reinterpret_cast<uintptr_t>(&StandInCallback);
  std::memcpy(record + 16, &entry, 8);
  EFI_GUID key = SMBIOS_PUBLISH_POINT_GUID;
  return registry->Register(registry, &key, record, sizeof record);
}

sim::Board BoardWithProbe(const std::string& faults = "") {
  return sim::ParseBoardText("smbios:\n  - {type: 28, description: CPU}\n  - {type: 2, data: \"\"}\n" + faults, "t");
}

TEST(BootBoard, RunsEntryAndCallbackAndSummarises) {
  g_leak = false;
  sim::BootedBoard booted = sim::BootBoard(BoardWithProbe(), &StandInEntry);
  EXPECT_EQ(booted.result.entry_status, EFI_SUCCESS);
  EXPECT_TRUE(booted.result.callback_ran);
  EXPECT_EQ(booted.result.callback_status, EFI_SUCCESS);
  const sim::RunSummary& s = booted.result.summary;
  EXPECT_EQ(s.records_by_type, (std::map<uint8_t, size_t>{{2, 1}, {9, 1}}));
  EXPECT_TRUE(s.leaks.empty());
  EXPECT_TRUE(s.refused_adds.empty());
  EXPECT_EQ(s.calls.at("Smbios.Add"), 1u);
  EXPECT_EQ(s.calls.at("Smbios.Remove"), 1u);
  EXPECT_TRUE(sim_test::NoViolations(booted.platform->Violations()));
}

TEST(BootBoard, ReportsALeakOfTheDriver) {
  g_leak = true;
  sim::BootedBoard booted = sim::BootBoard(BoardWithProbe(), &StandInEntry);
  ASSERT_EQ(booted.result.summary.leaks.size(), 1u);
  EXPECT_EQ(booted.result.summary.leaks[0].size, 768u);
  EXPECT_TRUE(sim_test::TakeViolation(booted.platform->Violations(), "pool leak"));
  g_leak = false;
}

TEST(BootBoard, AbsentRegistryFailsTheEntryAndNoCallbackRuns) {
  sim::BootedBoard booted = sim::BootBoard(BoardWithProbe("faults:\n  absent_protocols: [registry]\n"), &StandInEntry);
  EXPECT_EQ(booted.result.entry_status, EFI_NOT_FOUND);
  EXPECT_FALSE(booted.result.callback_ran);
  EXPECT_EQ(booted.result.summary.records_by_type.at(28), 1u);
}

TEST(BootBoard, AllocationFailureCountsFromDriverEntry) {
  sim::BootedBoard booted = sim::BootBoard(BoardWithProbe("faults:\n  fail_allocation: 1\n"), &StandInEntry);
  EXPECT_EQ(booted.result.callback_status, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(booted.result.summary.pool.failed, 1u);
  EXPECT_EQ(booted.result.summary.records_by_type.count(9), 0u);
}

}  // namespace
