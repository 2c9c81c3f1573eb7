// The catalogue file: reading entries, writing them back without disturbing
// anything else, and saving safely.

#include "IniFile.h"
#include "ModelCatalog.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <limits>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using battsim::CBatteryModel;
using battsim::CIniFile;
using battsim::CModelCatalog;

namespace {

struct ExpectedEntry
{
    std::string name;
    std::string descr;
    std::string modelFile;
    double irat;
    double emax;
    double emin;
};

struct LoadCase
{
    const char* label;
    std::string file;
    std::vector<ExpectedEntry> entries;
};

const std::string kExample = "[COMMON]\nNUMBER=1\n\n[MODEL_0]\nMODEL_NAME=Cell A\nMODEL_DESCR=Example cell\n"
                             "MODEL_FILE=cell_a.cir\nPARAM_FILE=cell_a_par.cir\nOUTPUT_FILE=cell_a.fig\n"
                             "IRAT=1.5\nEMAX=4.2\nEMIN=2.75\n";

std::vector<LoadCase> LoadCases()
{
    return {
        {"example", kExample, {{"Cell A", "Example cell", "cell_a.cir", 1.5, 4.2, 2.75}}},
        {"missing_section_gives_defaults", "[COMMON]\nNUMBER=2\n[MODEL_0]\nMODEL_NAME=A\nIRAT=1\n",
         {{"A", "Default", "Default", 1, 0, 0}, {"Default", "Default", "Default", 0, 0, 0}}},
        {"empty_value_is_empty", "[COMMON]\nNUMBER=1\n[MODEL_0]\nMODEL_NAME=A\nMODEL_DESCR=\n",
         {{"A", "", "Default", 0, 0, 0}}},
        {"number_with_unit_and_garbage", "[COMMON]\nNUMBER=1\n[MODEL_0]\nEMAX=4.2 V\nEMIN=abc\nIRAT=  -0.5e1A\n",
         {{"Default", "Default", "Default", -5, 4.2, 0}}},
        // scanf, unlike strtod, gives up on "infI" once it has read past "inf".
        {"number_read_as_scanf_reads_it", "[COMMON]\nNUMBER=1\n[MODEL_0]\nEMAX=infIRAT=4\nEMIN=inf V\n",
         {{"Default", "Default", "Default", 0, 0, std::numeric_limits<double>::infinity()}}},
        {"lower_case_names", "[common]\nnumber=1\n[model_0]\nmodel_name=low\nemax=3.7\n",
         {{"low", "Default", "Default", 0, 3.7, 0}}},
        {"crlf_bom_no_final_newline", "\xEF\xBB\xBF[COMMON]\r\nNUMBER=1\r\n[MODEL_0]\r\nMODEL_NAME=Crlf\r\nEMIN=1.1",
         {{"Crlf", "Default", "Default", 0, 0, 1.1}}},
        {"keys_before_first_section_ignored", "NUMBER=3\nMODEL_NAME=x\n[COMMON]\nNUMBER=1\n[MODEL_0]\nMODEL_NAME=ok\n",
         {{"ok", "Default", "Default", 0, 0, 0}}},
        {"first_duplicate_wins",
         "[COMMON]\nNUMBER=1\n[MODEL_0]\nMODEL_NAME=first\nMODEL_NAME=second\n[MODEL_0]\nMODEL_NAME=third\nEMAX=9\n",
         {{"first", "Default", "Default", 0, 0, 0}}},
        {"quotes_and_blanks_trimmed", "[ COMMON ]\n NUMBER = 1 \n[MODEL_0]\nMODEL_NAME = \"Quoted name\" \n",
         {{"Quoted name", "Default", "Default", 0, 0, 0}}},
        {"comment_lines_are_not_keys", "[COMMON]\nNUMBER=1\n[MODEL_0]\n;MODEL_NAME=commented\nMODEL_NAME=real\n",
         {{"real", "Default", "Default", 0, 0, 0}}},
        {"stale_sections_not_read", "[COMMON]\nNUMBER=1\n[MODEL_0]\nMODEL_NAME=a\n[MODEL_1]\nMODEL_NAME=stale\n",
         {{"a", "Default", "Default", 0, 0, 0}}},
        {"number_exponent_reads_leading_integer", "[COMMON]\nNUMBER=1e9\n[MODEL_0]\nMODEL_NAME=one\n",
         {{"one", "Default", "Default", 0, 0, 0}}},
        {"no_number", "[COMMON]\n[MODEL_0]\nMODEL_NAME=a\n", {}},
        {"number_zero", "[COMMON]\nNUMBER=0\n[MODEL_0]\nMODEL_NAME=a\n", {}},
        {"number_negative", "[COMMON]\nNUMBER=-1\n[MODEL_0]\nMODEL_NAME=a\n", {}},
        {"number_text", "[COMMON]\nNUMBER=abc\n[MODEL_0]\nMODEL_NAME=a\n", {}},
        {"binary_garbage", std::string("\x00\xff[\x01=\n\n==]]\x80\x81\n[COMMON\nNUMBER\n", 27), {}},
    };
}

class CatalogLoad : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(CatalogLoad, GivesTheExpectedEntries)
{
    const LoadCase& c = GetParam();
    CTestDir dir;
    WriteFile(dir / "models.md", c.file);
    const CModelCatalog catalog(dir / "models.md");
    ASSERT_EQ(catalog.GetCount(), c.entries.size());
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
        const CBatteryModel& entry = *catalog.GetAt(i);
        const ExpectedEntry& expected = c.entries[i];
        EXPECT_EQ(entry.m_strName, expected.name) << i;
        EXPECT_EQ(entry.m_strDescr, expected.descr) << i;
        EXPECT_EQ(entry.m_strModelFile, expected.modelFile) << i;
        EXPECT_DOUBLE_EQ(entry.m_dIrat, expected.irat) << i;
        EXPECT_DOUBLE_EQ(entry.m_dEmax, expected.emax) << i;
        EXPECT_DOUBLE_EQ(entry.m_dEmin, expected.emin) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CatalogLoad, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Catalog, MissingFileGivesEmptyCatalogAndSaveCreatesIt)
{
    CTestDir dir;
    const CModelCatalog catalog(dir / "models.md");
    EXPECT_EQ(catalog.GetCount(), 0u);
    EXPECT_FALSE(FileExists(dir / "models.md"));
    ASSERT_TRUE(catalog.Save());
    EXPECT_EQ(ReadFile(dir / "models.md"), "[COMMON]\nNUMBER=0\n");
}

TEST(Catalog, LongValuesAreCutTo255Characters)
{
    CTestDir dir;
    const std::string name(300, 'n');
    WriteFile(dir / "models.md", "[COMMON]\nNUMBER=1\n[MODEL_0]\nMODEL_NAME=" + name + "\nEMAX=" + std::string(300, '7') + "\n");
    const CModelCatalog catalog(dir / "models.md");
    ASSERT_EQ(catalog.GetCount(), 1u);
    EXPECT_EQ(catalog.GetAt(0)->m_strName, std::string(255, 'n'));
    EXPECT_GT(catalog.GetAt(0)->m_dEmax, 7e253);
}

TEST(Catalog, HugeNumberIsBounded)
{
    CTestDir dir;
    WriteFile(dir / "models.md", "[COMMON]\nNUMBER=2000000000\n");
    const CModelCatalog catalog(dir / "models.md");
    EXPECT_EQ(catalog.GetCount(), static_cast<std::size_t>(CModelCatalog::kMaxEntries));
}

TEST(Catalog, RoundTripKeepsEntriesAndNumbersExactly)
{
    CTestDir dir;
    WriteFile(dir / "models.md", kExample);
    {
        CModelCatalog catalog(dir / "models.md");
        catalog.GetAt(0)->m_strName = "Renamed";
        auto added = std::make_unique<CBatteryModel>();
        added->m_strName = "Second";
        added->m_dIrat = 0.1;
        added->m_dEmax = 1.0 / 3.0;
        added->m_dEmin = 1e-300;
        catalog.AddTail(std::move(added));
        ASSERT_TRUE(catalog.Save());
    }
    // Numbers are written with the fewest digits that read back exactly.
    const std::string saved = ReadFile(dir / "models.md");
    for (const char* line : {"IRAT=0.1\n", "EMAX=0.3333333333333333\n", "EMIN=1e-300\n", "IRAT=1.5\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << " in\n" << saved;
    const CModelCatalog reloaded(dir / "models.md");
    ASSERT_EQ(reloaded.GetCount(), 2u);
    EXPECT_EQ(reloaded.GetAt(0)->m_strName, "Renamed");
    EXPECT_EQ(reloaded.GetAt(0)->m_dIrat, 1.5);
    EXPECT_EQ(reloaded.GetAt(0)->m_dEmin, 2.75);
    EXPECT_EQ(reloaded.GetAt(1)->m_strName, "Second");
    EXPECT_EQ(reloaded.GetAt(1)->m_strDescr, "");
    EXPECT_EQ(reloaded.GetAt(1)->m_dIrat, 0.1);
    EXPECT_EQ(reloaded.GetAt(1)->m_dEmax, 1.0 / 3.0);
    EXPECT_EQ(reloaded.GetAt(1)->m_dEmin, 1e-300);
}

TEST(Catalog, RemovedEntryDoesNotLeaveItsNumbersToTheNextOne)
{
    CTestDir dir;
    WriteFile(dir / "models.md", "[COMMON]\nNUMBER=2\n[MODEL_0]\nMODEL_NAME=a\nEMAX=4.2\n[MODEL_1]\nMODEL_NAME=b\nEMAX=1.4\n");
    {
        CModelCatalog catalog(dir / "models.md");
        catalog.RemoveAt(0);
        ASSERT_TRUE(catalog.Save());
    }
    const CModelCatalog reloaded(dir / "models.md");
    ASSERT_EQ(reloaded.GetCount(), 1u);
    EXPECT_EQ(reloaded.GetAt(0)->m_strName, "b");
    EXPECT_EQ(reloaded.GetAt(0)->m_dEmax, 1.4);
}

TEST(Catalog, SavingFewerEntriesLeavesLaterSectionsByteForByte)
{
    CTestDir dir;
    std::string file = "; the lab's cells\r\n[COMMON]\r\nNUMBER=5\r\n";
    for (int i = 0; i < 5; ++i) {
        file += "[MODEL_" + std::to_string(i) + "]\r\nMODEL_NAME=m" + std::to_string(i) + "\r\nVENDOR=x\r\nEMAX=4\r\n\r\n";
    }
    WriteFile(dir / "models.md", file);
    {
        CModelCatalog catalog(dir / "models.md");
        catalog.RemoveAt(4);
        catalog.RemoveAt(3);
        ASSERT_TRUE(catalog.Save());
    }
    const std::string saved = ReadFile(dir / "models.md");
    const auto tail = file.substr(file.find("[MODEL_3]"));
    EXPECT_EQ(saved.substr(saved.find("[MODEL_3]")), tail);
    EXPECT_EQ(saved.substr(0, 39), "; the lab's cells\r\n[COMMON]\r\nNUMBER=3\r\n");
    const CModelCatalog reloaded(dir / "models.md");
    EXPECT_EQ(reloaded.GetCount(), 3u);
}

TEST(IniFile, WritesInPlaceAppendsAndKeepsEveryOtherByte)
{
    const std::string original = "\xEF\xBB\xBF; comment\r\n[A]\r\nkey = old ; not a comment\r\nOther=1\r\n\r\n[B]\r\nx=\x80\xfe\r\n";
    CIniFile file(original);
    file.SetValue("a", "KEY", "new");
    file.SetValue("A", "added", "2");
    file.SetValue("C", "k", "v");
    EXPECT_EQ(file.Bytes(), "\xEF\xBB\xBF; comment\r\n[A]\r\nkey=new\r\nOther=1\r\nadded=2\r\n\r\n[B]\r\nx=\x80\xfe\r\n[C]\r\nk=v\r\n");
    EXPECT_EQ(file.Value("B", "x"), std::string("\x80\xfe"));
}

TEST(IniFile, EmptyUpdateGivesTheBytesBack)
{
    const std::string original = "odd line\n[S]\nk=v\n[S]\nk=w\n  [T] trailing\nz\n\n\n;end";
    EXPECT_EQ(CIniFile(original).Bytes(), original);
}

TEST(IniFile, AppendsAfterALastLineWithoutNewline)
{
    CIniFile file("[S]\nk=v");
    file.SetValue("S", "n", "1");
    file.SetValue("T", "m", "2");
    EXPECT_EQ(file.Bytes(), "[S]\nk=v\nn=1\n[T]\nm=2\n");
}

TEST(IniFile, LineBreaksInAValueCannotAddKeys)
{
    CIniFile file;
    file.SetValue("S", "name", "evil\n[COMMON]\r\nNUMBER=99");
    const CIniFile reread(file.Bytes());
    EXPECT_EQ(reread.Value("COMMON", "NUMBER"), std::nullopt);
    EXPECT_EQ(reread.Value("S", "name"), std::string("evil [COMMON]  NUMBER=99"));
}

TEST(CatalogSave, KeepsTheLinkAndRewritesItsTarget)
{
    CTestDir dir;
    std::filesystem::create_directory(dir / "real");
    WriteFile(dir / "real/models.md", kExample);
    chmod((dir / "real/models.md").c_str(), 0640);
    std::filesystem::create_symlink("real/models.md", dir / "models.md");
    CModelCatalog catalog(dir / "models.md");
    catalog.GetAt(0)->m_strName = "Through the link";
    ASSERT_TRUE(catalog.Save());
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "models.md"));
    EXPECT_NE(ReadFile(dir / "real/models.md").find("MODEL_NAME=Through the link"), std::string::npos);
    struct stat info {};
    stat((dir / "real/models.md").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "real"), {}), 1);
}

class CatalogSaveFailure : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to mount a small tmpfs";
    }
};

TEST_F(CatalogSaveFailure, ReadOnlyFolderLeavesTheOldFile)
{
    CTestDir dir;
    CTinyMount mount(dir / "ro", 256);
    ASSERT_TRUE(mount.Mounted());
    WriteFile(dir / "ro/models.md", kExample);
    CModelCatalog catalog(dir / "ro/models.md");
    catalog.GetAt(0)->m_strName = "changed";
    mount.Remount(true);
    std::string error;
    EXPECT_FALSE(catalog.Save(&error));
    EXPECT_NE(error.find("Read-only"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir / "ro/models.md"), kExample);
}

TEST_F(CatalogSaveFailure, FullDiskLeavesTheOldFileAndNoStrayFile)
{
    CTestDir dir;
    CTinyMount mount(dir / "full", 64);
    ASSERT_TRUE(mount.Mounted());
    WriteFile(dir / "full/models.md", kExample);
    CModelCatalog catalog(dir / "full/models.md");
    // A long description that no longer fits once the disk is nearly full.
    catalog.GetAt(0)->m_strDescr = std::string(250, 'd');
    for (int i = 0; i < 200; ++i) {
        auto entry = std::make_unique<CBatteryModel>();
        entry->m_strDescr = std::string(250, 'x');
        catalog.AddTail(std::move(entry));
    }
    WriteFile(dir / "full/filler", std::string(40 * 1024, 'f'));
    std::string error;
    EXPECT_FALSE(catalog.Save(&error));
    EXPECT_NE(error.find("No space"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir / "full/models.md"), kExample);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "full"), {}), 2);
}

} // namespace
