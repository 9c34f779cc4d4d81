// The BIN resources of a Windows program, read from its bytes: both program forms, any
// language, and every damaged or foreign file refused without reading outside it.
#include "firmware/pe_resources.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/firmware/pe_builder.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

using firmware::PeError;
using firmware::ReadBinResources;

const std::map<uint32_t, std::vector<uint8_t>> kResources{
    {129, {1, 2, 3}}, {133, {4, 5, 6, 7, 8, 9, 10, 11, 12}}, {142, {}}};

void ExpectResources(const firmware::PeResources& read) {
  ASSERT_EQ(read.error, PeError::kNone) << read.detail;
  ASSERT_EQ(read.bin.size(), kResources.size());
  for (const firmware::PeResource& resource : read.bin) {
    const auto& expected = kResources.at(resource.id);
    EXPECT_EQ(std::vector<uint8_t>(resource.bytes.begin(), resource.bytes.end()), expected)
        << resource.id;
  }
}

TEST(PeResources, ReadsBothProgramFormsInAnyLanguageAndATypeNameInAnyCase) {
  ExpectResources(ReadBinResources(BuildPe(kResources, true).bytes));
  ExpectResources(ReadBinResources(BuildPe(kResources, false).bytes));
  ExpectResources(ReadBinResources(BuildPe(kResources, true, "BIN", 0x411).bytes));
  ExpectResources(ReadBinResources(BuildPe(kResources, true, "bin").bytes));
}

struct Refusal {
  const char* name;
  std::function<void(BuiltPe&)> damage;
  PeError error;
};

using test::PrintTo;

class PeRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(PeRefusal, IsRefusedWithItsReason) {
  BuiltPe pe = BuildPe(kResources, true);
  GetParam().damage(pe);
  // An exact copy, so that AddressSanitizer sees any read past its end.
  const std::vector<uint8_t> file(pe.bytes);
  EXPECT_EQ(ReadBinResources(file).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PeRefusal,
    testing::Values(
        Refusal{"empty", [](BuiltPe& pe) { pe.bytes.clear(); }, PeError::kNotWindowsProgram},
        Refusal{"text", [](BuiltPe& pe) { pe.bytes.assign(300, 'x'); },
                PeError::kNotWindowsProgram},
        Refusal{"mz_alone", [](BuiltPe& pe) { pe.bytes.resize(0x40); },
                PeError::kNotWindowsProgram},
        Refusal{"pe_offset_past_end", [](BuiltPe& pe) { Put32(pe.bytes, 0x3C, 0xFFFFFFF0u); },
                PeError::kNotWindowsProgram},
        Refusal{"rom_image_magic", [](BuiltPe& pe) { Put16(pe.bytes, pe.optionalHeader, 0x107); },
                PeError::kNotWindowsProgram},
        Refusal{"no_resource_directory",
                [](BuiltPe& pe) { Put32(pe.bytes, pe.resourceDirectory, 0); },
                PeError::kNoBinResources},
        Refusal{"other_type_name", [](BuiltPe& pe) { pe = BuildPe(kResources, true, "BIM"); },
                PeError::kNoBinResources},
        Refusal{"resources_outside_every_section",
                [](BuiltPe& pe) { Put32(pe.bytes, pe.resourceDirectory, 0x900000); },
                PeError::kDamaged},
        Refusal{"too_many_sections", [](BuiltPe& pe) { Put16(pe.bytes, pe.sectionCount, 200); },
                PeError::kDamaged},
        Refusal{"cut_in_the_tree", [](BuiltPe& pe) { pe.bytes.resize(pe.typeEntry + 4); },
                PeError::kDamaged},
        Refusal{"type_directory_past_the_section",
                [](BuiltPe& pe) { Put32(pe.bytes, pe.typeEntry + 4, 0xFFFFFFF0u); },
                PeError::kDamaged},
        Refusal{"data_past_the_end",
                [](BuiltPe& pe) { Put32(pe.bytes, pe.firstDataEntry + 4, 0x7FFFFFFF); },
                PeError::kDamaged},
        Refusal{"data_address_wraps",
                [](BuiltPe& pe) { Put32(pe.bytes, pe.firstDataEntry, 0xFFFFFFFFu); },
                PeError::kDamaged}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::test
