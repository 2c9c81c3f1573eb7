// battsim-scramble, the command-line tool that prepares model files.

#include "Scrambler.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/wait.h>

namespace {

const std::string kTool = BATTSIM_BIN_DIR "/battsim-scramble";

int RunTool(const std::string& arguments, std::string* errors = nullptr)
{
    CTestDir dir;
    const int status = std::system((kTool + " " + arguments + " 2>" + (dir / "err")).c_str());
    if (errors)
        *errors = ReadFile(dir / "err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ScrambleTool, AgreesWithTheLibraryAndIsItsOwnInverse)
{
    CTestDir dir;
    std::mt19937 random(7);
    std::string plain(70000, '\0');
    for (char& c : plain)
        c = static_cast<char>(random());
    WriteFile(dir / "plain", plain);
    ASSERT_EQ(RunTool(dir / "plain " + dir / "scrambled"), 0);
    std::string expected = plain;
    battsim::ScrambleBuffer(reinterpret_cast<unsigned char*>(expected.data()), expected.size());
    EXPECT_EQ(ReadFile(dir / "scrambled"), expected);
    ASSERT_EQ(RunTool(dir / "scrambled " + dir / "back"), 0);
    EXPECT_EQ(ReadFile(dir / "back"), plain);
}

TEST(ScrambleTool, MissingInputFailsClearlyAndWritesNothing)
{
    CTestDir dir;
    std::string errors;
    EXPECT_EQ(RunTool(dir / "absent " + dir / "out", &errors), 1);
    EXPECT_NE(errors.find("cannot read"), std::string::npos) << errors;
    EXPECT_NE(errors.find("absent"), std::string::npos) << errors;
    EXPECT_FALSE(FileExists(dir / "out"));
}

TEST(ScrambleTool, UnwritableOutputFailsAndKeepsNoPartialFile)
{
    CTestDir dir;
    WriteFile(dir / "plain", "data");
    std::string errors;
    EXPECT_EQ(RunTool(dir / "plain " + dir / "missing/out", &errors), 1);
    EXPECT_NE(errors.find("missing"), std::string::npos) << errors;
}

TEST(ScrambleTool, HelpAndUsage)
{
    std::string errors;
    EXPECT_EQ(RunTool("--help > /dev/null"), 0);
    EXPECT_EQ(RunTool("only-one", &errors), 2);
    EXPECT_NE(errors.find("Usage: battsim-scramble IN OUT"), std::string::npos);
}

} // namespace
