// --firmware PATH: a folder or a Windows program accepted with what the set is, and one table
// of the sets that are refused, each with the text that names the image and the reason.
#include "firmware/set_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "firmware/embedded_images.h"
#include "tests/firmware/pe_builder.h"
#include "tests/support/firmware_files.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

using Images = std::map<int32_t, std::vector<uint8_t>>;

class SetLoaderTest : public testing::Test {
 protected:
  SetLoaderTest()
      : m_folder(fs::temp_directory_path() / ("tarn-set-test-" + std::to_string(getpid()))) {
    fs::remove_all(m_folder);
    fs::create_directories(m_folder);
  }
  ~SetLoaderTest() override { fs::remove_all(m_folder); }

  std::string Path(const std::string& name) const { return (m_folder / name).string(); }

  static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  static std::map<uint32_t, std::vector<uint8_t>> AsResources(const Images& images) {
    return {images.begin(), images.end()};
  }

  fs::path m_folder;
};

void ExpectTheImages(const FirmwareSet& set, const Images& images) {
  EXPECT_FALSE(set.IsStandIn());
  EXPECT_EQ(set.SystemVersion(), "3.10");
  EXPECT_EQ(set.BootVersion(), "1.05");
  ASSERT_EQ(set.Facts().size(), images.size());
  for (const ImageFacts& facts : set.Facts()) {
    const auto& bytes = images.at(facts.id);
    EXPECT_EQ(facts.size, bytes.size());
    EXPECT_EQ(facts.sha256, firmware::Sha256Of(bytes)) << facts.id;
    const auto found = set.Find(facts.id);
    ASSERT_TRUE(found);
    EXPECT_TRUE(std::equal(found->begin(), found->end(), bytes.begin(), bytes.end()));
  }
}

TEST_F(SetLoaderTest, AFolderAndAProgramWithTheSameImagesAreTheSameSet) {
  const Images images = RandomImages(7);
  WriteImageFolder(Path("set"), images);
  const LoadedSet folder = LoadFirmwareSet(Path("set"));
  ASSERT_TRUE(folder.set) << folder.error;
  EXPECT_EQ(folder.set->Source(), SetSource::kFolder);
  ExpectTheImages(*folder.set, images);
  EXPECT_EQ(DescribeSet(*folder.set),
            "system 3.10, boot 1.05, image set (folder " + Path("set") + ")");

  WriteFile(Path("set.exe"), BuildPe(AsResources(images), true).bytes);
  const LoadedSet program = LoadFirmwareSet(Path("set.exe"));
  ASSERT_TRUE(program.set) << program.error;
  EXPECT_EQ(program.set->Source(), SetSource::kWindowsProgram);
  ExpectTheImages(*program.set, images);
}

TEST_F(SetLoaderTest, AProgramBuiltWithWindresIsRead) {
  const Images images = RandomImages(11);
  WriteImageFolder(Path("set"), images);
  std::string error;
  if (!BuildBinProgram(Path("set"), Path("windres.exe"), &error)) GTEST_SKIP() << error;
  const LoadedSet program = LoadFirmwareSet(Path("windres.exe"));
  ASSERT_TRUE(program.set) << program.error;
  ExpectTheImages(*program.set, images);
}

TEST_F(SetLoaderTest, TheStandInBytesGivenAtRunTimeAreTheStandInSet) {
  Images standIn;
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    const auto image = *EmbeddedImages().Find(info.id);
    standIn[info.id].assign(image.begin(), image.end());
  }
  WriteImageFolder(Path("set"), standIn);
  const LoadedSet folder = LoadFirmwareSet(Path("set"));
  ASSERT_TRUE(folder.set) << folder.error;
  EXPECT_TRUE(folder.set->IsStandIn());
  // One byte changed is no stand-in set any more.
  standIn[136][4000] ^= 1;
  WriteImageFolder(Path("set"), standIn);
  const LoadedSet changed = LoadFirmwareSet(Path("set"));
  ASSERT_TRUE(changed.set) << changed.error;
  EXPECT_FALSE(changed.set->IsStandIn());
}

struct BadSet {
  const char* name;
  // Makes the set under `path` from good images; returns what to give --firmware.
  std::function<std::string(const std::string& path, Images images)> make;
  std::string error;  // after "--firmware <path>: "
};

using test::PrintTo;

class BadSets : public SetLoaderTest, public testing::WithParamInterface<BadSet> {};

TEST_P(BadSets, AreRefusedWithTheImageAndTheReason) {
  const std::string given = GetParam().make(Path("bad"), RandomImages(3));
  const LoadedSet loaded = LoadFirmwareSet(given);
  EXPECT_FALSE(loaded.set);
  EXPECT_EQ(loaded.error, "--firmware " + given + ": " + GetParam().error);
}

std::string Folder(const std::string& path, Images images) {
  WriteImageFolder(path, images);
  return path;
}

std::string Program(const std::string& path, std::map<uint32_t, std::vector<uint8_t>> resources) {
  std::ofstream file(path, std::ios::binary);
  const auto bytes = BuildPe(resources, true).bytes;
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSets,
    testing::Values(BadSet{"nothing_there",
                           [](const std::string& path, Images) { return path + "/none"; },
                           "cannot be read: No such file or directory"},
                    BadSet{"image_missing",
                           [](const std::string& path, Images images) {
                             images.erase(136);
                             return Folder(path, images);
                           },
                           "image 136 is missing (no 136.bin)"},
                    BadSet{"image_a_byte_short",
                           [](const std::string& path, Images images) {
                             images[133].pop_back();
                             return Folder(path, images);
                           },
                           "image 133 is 118783 bytes; it must be 118784"},
                    BadSet{"image_a_byte_long",
                           [](const std::string& path, Images images) {
                             images[129].push_back(0);
                             return Folder(path, images);
                           },
                           "image 129 is 501409 bytes; it must be 501408"},
                    BadSet{"boot_version_not_a_version",
                           [](const std::string& path, Images images) {
                             std::memcpy(images[142].data() + images[142].size() - 4, "v1\n0", 4);
                             return Folder(path, images);
                           },
                           "image 142 carries the version text \"v1?0\", not one of the form d.dd"},
                    BadSet{"system_version_erased",
                           [](const std::string& path, Images images) {
                             std::memset(images[139].data() + 0xFE0, 0xFF, 4);
                             return Folder(path, images);
                           },
                           "image 139 carries the version text \"????\", not one of the form d.dd"},
                    BadSet{"text_file",
                           [](const std::string& path, Images) {
                             std::ofstream(path) << "129 133 136 139 142\n";
                             return path;
                           },
                           "not a folder of images and not a Windows program"},
                    BadSet{"program_without_bin",
                           [](const std::string& path, Images) {
                             std::ofstream file(path, std::ios::binary);
                             const auto bytes = BuildPe({{1, {1}}}, true, "ICO").bytes;
                             file.write(reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<std::streamsize>(bytes.size()));
                             return path;
                           },
                           "a Windows program without BIN resources"},
                    BadSet{"program_without_one_image",
                           [](const std::string& path, Images images) {
                             images.erase(139);
                             return Program(path, {images.begin(), images.end()});
                           },
                           "image 139 is missing (no BIN resource 139)"},
                    BadSet{"program_with_a_short_image",
                           [](const std::string& path, Images images) {
                             images[142].resize(1000);
                             return Program(path, {images.begin(), images.end()});
                           },
                           "image 142 is 1000 bytes; it must be 143360"},
                    BadSet{"program_cut_short",
                           [](const std::string& path, Images images) {
                             Program(path, {images.begin(), images.end()});
                             fs::resize_file(path, 0x214);  // inside the tree's root
                             return path;
                           },
                           "a damaged Windows program: its resource directory is cut short"}),
    [](const testing::TestParamInfo<BadSet>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::test
