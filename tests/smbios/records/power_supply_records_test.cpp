// Publishing the two power supplies: good images, cached images, placeholders, the retry and busy rules,
// the cache variables, and the failures of the platform's services.
#include <gtest/gtest.h>

#include "smbios/records/power_supply_records.h"
#include "tests/smbios/records/records_test_platform.h"
#include "uefi/status.h"

namespace {

using records_test::Fields;
using records_test::Fru;
using sim::BmcAction;
using sim::BmcActionKind;

class PowerSupplyRecordsTest : public records_test::PowerTest {};

TEST_F(PowerSupplyRecordsTest, GoodImagesPublishTheFruStringsAndCacheEachImageOnce) {
  bmc->SetFru(1, Fru(Fields("A")));
  sim::PowerSupplyFruFields second = Fields("B");
  second.capacity_watts = 1600;
  second.asset_tag = "Tag B";
  bmc->SetFru(2, Fru(second));

  EXPECT_EQ(PublishPowerSupplies(ipmi), EFI_SUCCESS);

  auto records = Published();
  ASSERT_EQ(records.size(), 2u);
  const auto& a = records[0];
  EXPECT_EQ(a.group, 1);
  EXPECT_EQ(a.location, "PSU1");
  EXPECT_EQ(a.device_name, "P-A");
  EXPECT_EQ(a.manufacturer, "M-A");
  EXPECT_EQ(a.serial, "S-A");
  EXPECT_EQ(a.asset_tag, "N/A");  // empty Asset Tag field
  EXPECT_EQ(a.model, "N-A");
  EXPECT_EQ(a.revision, "V-A");
  EXPECT_EQ(a.capacity, 800);
  EXPECT_EQ(a.characteristics, 0x11A2);
  for (uint16_t h : a.probe_handles) EXPECT_EQ(h, 0xFFFF);
  const auto& b = records[1];
  EXPECT_EQ(b.group, 2);
  EXPECT_EQ(b.location, "PSU2");
  EXPECT_EQ(b.capacity, 1600);
  EXPECT_EQ(b.asset_tag, "(none)");  // the walk ends before a non-empty Asset Tag: no string
  EXPECT_EQ(b.strings.size(), 6u);

  EXPECT_EQ(store->Writes(u"PSU1"), 1u);
  EXPECT_EQ(store->Writes(u"PSU2"), 1u);
  ASSERT_NE(Cached(1), nullptr);
  EXPECT_EQ(Cached(1)->data, Fru(Fields("A")));
  EXPECT_EQ(Cached(1)->attributes, 3u);
  EXPECT_EQ(store->Reads(u"PSU1"), 0u);
  EXPECT_EQ(bmc->SendCount(1), 4u);
}

TEST_F(PowerSupplyRecordsTest, MultiRecordChecksumFailingFiveTimesDecodesTheCachedImage) {
  bmc->SetFru(1, Fru(Fields("Fresh"), sim::FruChecksumBreak::MultiRecord));
  bmc->SetFru(2, Fru(Fields("B")));
  bmc->SetTiming({0, 0});
  sim::PowerSupplyFruFields cached = Fields("Cached");
  cached.capacity_watts = 650;
  CacheImage(1, Fru(cached));

  PublishPowerSupplies(ipmi);

  EXPECT_EQ(platform.Clock().NowMicroseconds(), 5u * 5u) << "5 us after each image failing its checksums";

  auto records = Published();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].manufacturer, "M-Cached");
  EXPECT_EQ(records[0].capacity, 650);
  EXPECT_EQ(records[0].characteristics, 0x11A2);
  EXPECT_EQ(bmc->SendCount(1), 20u);  // five whole images
  EXPECT_EQ(store->Writes(u"PSU1"), 0u);
  EXPECT_EQ(store->Reads(u"PSU1"), 1u);
  EXPECT_EQ(records[1].manufacturer, "M-B");
}

TEST_F(PowerSupplyRecordsTest, ChecksumsGoodOnTheThirdReadAreAccepted) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->Script(1, 2, {BmcAction{BmcActionKind::Corrupt, 2}});
  bmc->SetFru(2, Fru(Fields("B")));
  PublishPowerSupplies(ipmi);
  EXPECT_EQ(bmc->SendCount(1), 12u);
  EXPECT_EQ(store->Writes(u"PSU1"), 1u);
  EXPECT_EQ(Published()[0].manufacturer, "M-A");
}

TEST_F(PowerSupplyRecordsTest, FirstChunkOfSupplyTwoFailingFiveTimesGivesItThePlaceholder) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetFru(2, Fru(Fields("B")));
  bmc->Script(2, 1, {BmcAction{BmcActionKind::TransportError, 5}});
  CacheImage(2, Fru(Fields("Cached")));

  PublishPowerSupplies(ipmi);

  auto records = Published();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].manufacturer, "M-A");
  const auto& p = records[1];
  EXPECT_EQ(p.location, "PSU2");
  for (const std::string* s : {&p.device_name, &p.manufacturer, &p.serial, &p.asset_tag, &p.model, &p.revision}) {
    EXPECT_EQ(*s, "To be filled by O.E.M.");
  }
  EXPECT_EQ(p.capacity, 0x8000);
  EXPECT_EQ(p.characteristics, 0x0910);
  EXPECT_EQ(bmc->SendCount(2, 1), 5u);
  EXPECT_EQ(store->Reads(u"PSU2"), 0u);  // a silent BMC never leads to the cache
}

TEST_F(PowerSupplyRecordsTest, FailingAttemptsCostTenMillisecondsEach) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetTiming({0, 0});
  bmc->Script(1, 1, {BmcAction{BmcActionKind::TransportError, 5}});
  bmc->Script(2, 1, {BmcAction{BmcActionKind::Completion, 5, 0xC1}});
  PublishPowerSupplies(ipmi);
  EXPECT_EQ(platform.Clock().NowMicroseconds(), 2u * 5u * 10000u);
  EXPECT_EQ(Published().size(), 2u);
}

TEST_F(PowerSupplyRecordsTest, InvalidCommandCompletionIsAFailedAttemptNotBusy) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetFru(2, Fru(Fields("B")));
  bmc->Script(1, 3, {BmcAction{BmcActionKind::Completion, 4, 0xC1}});
  PublishPowerSupplies(ipmi);
  EXPECT_EQ(bmc->SendCount(1, 3), 5u);
  EXPECT_EQ(Published()[0].manufacturer, "M-A");
}

TEST_F(PowerSupplyRecordsTest, BusyFor120SendsTimesOutAfterSixtySecondsAndUsesTheCache) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetFru(2, Fru(Fields("B")));
  bmc->SetTiming({0, 0});
  bmc->Script(1, 2, {BmcAction{BmcActionKind::Busy, 120}});
  CacheImage(1, Fru(Fields("Cached")));

  PublishPowerSupplies(ipmi);

  EXPECT_EQ(bmc->SendCount(1, 2), 120u);
  EXPECT_EQ(bmc->SendCount(1, 3), 0u);  // the reading is abandoned at the timed-out chunk
  EXPECT_EQ(platform.Clock().NowMicroseconds(), 60000000u);
  EXPECT_EQ(Published()[0].manufacturer, "M-Cached");
}

TEST_F(PowerSupplyRecordsTest, BusyFor119SendsIsStillAccepted) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetFru(2, Fru(Fields("B")));
  bmc->Script(1, 4, {BmcAction{BmcActionKind::Busy, 119}});
  PublishPowerSupplies(ipmi);
  EXPECT_EQ(bmc->SendCount(1, 4), 120u);
  EXPECT_EQ(store->Writes(u"PSU1"), 1u);
}

TEST_F(PowerSupplyRecordsTest, SilentSupplyGetsThePlaceholderWithoutReadingTheCache) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetSilent(2, true);
  CacheImage(2, Fru(Fields("Cached")));
  PublishPowerSupplies(ipmi);
  EXPECT_EQ(Published()[1].manufacturer, "To be filled by O.E.M.");
  EXPECT_EQ(store->Reads(u"PSU2"), 0u);
}

TEST_F(PowerSupplyRecordsTest, MissingCacheDecodesTheBytesTheReadsLeft) {
  bmc->SetFru(1, Fru(Fields("Read"), sim::FruChecksumBreak::ProductArea));
  bmc->SetFru(2, Fru(Fields("B")));
  PublishPowerSupplies(ipmi);
  EXPECT_EQ(Published()[0].manufacturer, "M-Read");
  EXPECT_EQ(store->Reads(u"PSU1"), 1u);
}

// The cache is read straight into the FRU buffer with a size of 128: a shorter variable replaces the first
// bytes only, a longer one is refused by the variable service and the bytes the reads left stay.
TEST_F(PowerSupplyRecordsTest, ShorterCacheReplacesTheImageStartAndALongerOneLeavesTheReadBytes) {
  bmc->SetFru(1, Fru(Fields("Read"), sim::FruChecksumBreak::ProductArea));
  bmc->SetFru(2, Fru(Fields("Two"), sim::FruChecksumBreak::ProductArea));
  std::vector<uint8_t> shorter = Fru(Fields("Short"));
  shorter.resize(64);
  CacheImage(1, shorter);
  std::vector<uint8_t> longer = Fru(Fields("Long"));
  longer.resize(200, 0);
  CacheImage(2, longer);

  PublishPowerSupplies(ipmi);

  auto records = Published();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].manufacturer, "M-Short") << "bytes 28 on come from the 64 cached bytes";
  EXPECT_EQ(records[1].manufacturer, "M-Two");
  EXPECT_EQ(records[1].device_name, "P-Two");
}

// Without a cache, a chunk that never arrived decodes as zeros: neither the bytes of an earlier read of the image
// (supply 1: the first read failed its checksum, the second stops at chunk 2) nor whatever the buffer held
// (supply 2: chunks 3 and 4 are never asked for).
TEST_F(PowerSupplyRecordsTest, ChunksThatNeverArrivedDecodeAsZeros) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->Script(1, 1, {BmcAction{BmcActionKind::Corrupt, 1}, BmcAction{BmcActionKind::Answer, 1}});
  bmc->Script(1, 2, {BmcAction{BmcActionKind::Answer, 1}, BmcAction{BmcActionKind::TransportError, 5}});
  bmc->SetFru(2, Fru(Fields("B")));
  bmc->Script(2, 2, {BmcAction{BmcActionKind::TransportError, 5}});

  PublishPowerSupplies(ipmi);

  auto records = Published();
  ASSERT_EQ(records.size(), 2u);
  for (const auto& r : records) {
    EXPECT_EQ(r.manufacturer, r.group == 1 ? "M-A" : "M-B");  // ends at the device name's type/length byte
    for (const std::string* s : {&r.device_name, &r.serial, &r.asset_tag, &r.model, &r.revision}) {
      EXPECT_EQ(*s, "N/A") << "supply " << +r.group;
    }
  }
  EXPECT_EQ(records[1].capacity, 0);
  EXPECT_EQ(bmc->SendCount(2, 3), 0u);
}

TEST_F(PowerSupplyRecordsTest, RefusedCacheWriteStillPublishes) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetFru(2, Fru(Fields("B")));
  store->SetWriteProtected(true);
  PublishPowerSupplies(ipmi);
  EXPECT_EQ(Published().size(), 2u);
  EXPECT_EQ(Cached(1), nullptr);
}

TEST_F(PowerSupplyRecordsTest, WithoutTheSmbiosProtocolTheBmcIsNotAsked) {
  EFI_GUID smbios = EFI_SMBIOS_PROTOCOL_GUID;
  platform.MarkProtocolAbsent(smbios);
  bmc->SetFru(1, Fru(Fields("A")));
  EXPECT_EQ(PublishPowerSupplies(ipmi), EFI_NOT_FOUND);
  EXPECT_TRUE(bmc->Sends().empty());
}

TEST_F(PowerSupplyRecordsTest, WithoutATransportNothingIsAllocatedOrPublished) {
  uint64_t allocations = platform.Pool().Stats().allocations;
  EXPECT_EQ(PublishPowerSupplies(nullptr), EFI_INVALID_PARAMETER);
  EXPECT_TRUE(Published().empty());
  EXPECT_EQ(platform.Pool().Stats().allocations, allocations);
}

TEST_F(PowerSupplyRecordsTest, AllocationFailureOfEitherWorkBufferPublishesNothingAndLeaksNothing) {
  bmc->SetFru(1, Fru(Fields("A")));
  bmc->SetFru(2, Fru(Fields("B")));
  for (uint64_t nth = 1; nth <= 2; ++nth) {
    platform.Pool().ClearFailures();
    platform.FailAllocation(nth);
    EXPECT_EQ(PublishPowerSupplies(ipmi), EFI_OUT_OF_RESOURCES) << "allocation " << nth;
    EXPECT_TRUE(Published().empty());
    EXPECT_TRUE(bmc->Sends().empty());
    EXPECT_EQ(platform.Pool().Stats().live_buffers, 0u);
  }
}

}  // namespace
