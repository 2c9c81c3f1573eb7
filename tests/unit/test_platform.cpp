// The stand-in layers: the private temporary folder, the run lock, the
// atomic file replacement and the rules by which dialog fields take numbers.

#include "AtomicFile.h"
#include "DataExchangeRules.h"
#include "PrivateTempDir.h"
#include "RunLock.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace battsim;

namespace {

class TempDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", root.Path().c_str(), 1);
        fallback = root / ("battsim-" + std::to_string(getuid()));
    }
    void TearDown() override { unsetenv("TMPDIR"); }

    static mode_t Mode(const std::string& path)
    {
        struct stat info {};
        lstat(path.c_str(), &info);
        return info.st_mode & 07777;
    }

    CTestDir root;
    std::string fallback;
};

TEST_F(TempDirTest, WithoutRuntimeDirUsesAPrivateFolderInTmpdir)
{
    const mode_t old = umask(0);
    std::string path;
    std::string error;
    ASSERT_TRUE(PrivateTempDirectory(&path, &error)) << error;
    umask(old);
    EXPECT_EQ(path, fallback + "/");
    EXPECT_EQ(Mode(fallback), 0700u);
}

TEST_F(TempDirTest, UsesAPrivateRuntimeDir)
{
    std::filesystem::create_directory(root / "run");
    chmod((root / "run").c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    std::string path;
    ASSERT_TRUE(PrivateTempDirectory(&path, nullptr));
    EXPECT_EQ(path, root / "run/battsim/");
    EXPECT_EQ(Mode(root / "run/battsim"), 0700u);
}

TEST_F(TempDirTest, UnfitRuntimeDirsFallBack)
{
    std::filesystem::create_directory(root / "open");
    chmod((root / "open").c_str(), 0755);
    std::filesystem::create_directory(root / "good");
    chmod((root / "good").c_str(), 0700);
    std::filesystem::create_directory_symlink(root / "good", root / "link");
    WriteFile(root / "file", "");
    std::vector<std::string> unfit{root / "open", root / "link", root / "file", "relative/dir"};
    if (geteuid() == 0) {
        std::filesystem::create_directory(root / "foreign");
        chmod((root / "foreign").c_str(), 0700);
        ASSERT_EQ(chown((root / "foreign").c_str(), 65534, 65534), 0);
        unfit.push_back(root / "foreign");
    }
    for (const std::string& runtime : unfit) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        std::string path;
        ASSERT_TRUE(PrivateTempDirectory(&path, nullptr)) << runtime;
        EXPECT_EQ(path, fallback + "/") << runtime;
    }
}

TEST_F(TempDirTest, PlantedLinkOrForeignFolderIsRefused)
{
    std::filesystem::create_directory(root / "victim");
    std::filesystem::create_directory_symlink(root / "victim", fallback);
    std::string path;
    std::string error;
    EXPECT_FALSE(PrivateTempDirectory(&path, &error));
    EXPECT_NE(error.find(fallback), std::string::npos) << error;
    std::filesystem::remove(fallback);

    WriteFile(fallback, "not a folder");
    EXPECT_FALSE(PrivateTempDirectory(&path, &error));
    std::filesystem::remove(fallback);

    if (geteuid() == 0) {
        std::filesystem::create_directory(fallback);
        ASSERT_EQ(chown(fallback.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(PrivateTempDirectory(&path, &error));
        EXPECT_NE(error.find("another user"), std::string::npos) << error;
    }
}

TEST_F(TempDirTest, AnOpenFolderOfOursIsMadePrivate)
{
    std::filesystem::create_directory(fallback);
    chmod(fallback.c_str(), 0777);
    std::string path;
    ASSERT_TRUE(PrivateTempDirectory(&path, nullptr));
    EXPECT_EQ(Mode(fallback), 0700u);
}

TEST(RunLock, SecondHolderIsRefusedUntilTheFirstLetsGo)
{
    CTestDir work;
    CRunLock first;
    ASSERT_TRUE(first.Acquire({work.Path()}, nullptr));
    CRunLock second;
    std::string error;
    EXPECT_FALSE(second.Acquire({work.Path()}, &error));
    EXPECT_NE(error.find("Another battsim run"), std::string::npos);
    CRunLock moved(std::move(first));
    EXPECT_FALSE(second.Acquire({work.Path()}, nullptr));
    moved.Release();
    EXPECT_TRUE(second.Acquire({work.Path()}, nullptr));
}

TEST(AtomicFile, ReplacesAndLeavesNoSiblingBehind)
{
    CTestDir dir;
    WriteFile(dir / "f", "old");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir / "f", "new", &error)) << error;
    EXPECT_EQ(ReadFile(dir / "f"), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_FALSE(WriteFileAtomically(dir / "missing/f", "x", &error));
    EXPECT_FALSE(error.empty());
}

struct FieldCase
{
    const char* text;
    std::optional<double> value;
};

class FieldRules : public ::testing::TestWithParam<FieldCase>
{
};

TEST_P(FieldRules, TakeAsTheDialogsDo)
{
    const FieldCase& c = GetParam();
    const auto taken = TakeDouble(c.text);
    ASSERT_EQ(taken.has_value(), c.value.has_value()) << '"' << c.text << '"';
    if (c.value) {
        EXPECT_EQ(*taken, *c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FieldRules,
    ::testing::Values(FieldCase{"1", 1.0}, FieldCase{"  2.5\t", 2.5}, FieldCase{"1e3", 1000.0},
                      FieldCase{"-0.065", -0.065}, FieldCase{"+4", 4.0}, FieldCase{"0", 0.0}, FieldCase{"0.0", 0.0},
                      FieldCase{"00", 0.0}, FieldCase{".5", 0.5}, FieldCase{"5.", 5.0}, FieldCase{"1E-12", 1e-12},
                      FieldCase{"", std::nullopt}, FieldCase{"   ", std::nullopt}, FieldCase{".0", std::nullopt},
                      FieldCase{"-0", std::nullopt}, FieldCase{"+0.0", std::nullopt}, FieldCase{"abc", std::nullopt},
                      FieldCase{"1.5 V", std::nullopt}, FieldCase{"1,5", std::nullopt}, FieldCase{"0x10", std::nullopt},
                      FieldCase{"inf", std::nullopt}, FieldCase{"nan", std::nullopt}, FieldCase{"1e", std::nullopt},
                      FieldCase{"1e400", HUGE_VAL},
                      // Only the first 31 characters count.
                      FieldCase{"1                              x", 1.0},
                      FieldCase{"1234567890123456789012345678901234", 1234567890123456789012345678901.0}));

TEST(FieldRules, ShowsFifteenDigitsAndFormatsTheRangeMessage)
{
    EXPECT_EQ(ShowDouble(0.1), "0.1");
    EXPECT_EQ(ShowDouble(1e-6), "1e-06");
    EXPECT_EQ(ShowDouble(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(ShowDouble(18000), "18000");
    EXPECT_EQ(RangeMessage(1e-12, 1e6), "Please enter a number between 1e-12 and 1000000.");
    EXPECT_EQ(RangeMessage(0, 1000), "Please enter a number between 0 and 1000.");
}

} // namespace
