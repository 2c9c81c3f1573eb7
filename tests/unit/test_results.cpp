// From listing to curve: the listing filter, the result reader and its fast
// conversion, the array holder and the run's summary figures.

#include "GraphArray.h"
#include "ListingFilter.h"
#include "ResultReader.h"
#include "ResultSummary.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace battsim;

namespace {

std::string Filtered(const std::string& listing, ListingStats* stats = nullptr)
{
    CTestDir dir;
    WriteFile(dir / "listing", listing);
    std::string error;
    EXPECT_TRUE(FilterListing(dir / "listing", dir / "out.FIG", stats, &error)) << error;
    return ReadFile(dir / "out.FIG");
}

struct FilterCase
{
    const char* label;
    std::string listing;
    std::string output;
};

std::vector<FilterCase> FilterCases()
{
    const std::string longLine = "1" + std::string(253, 'x') + "2" + std::string(45, 'y') + "\n";
    const std::string longLineNoDigit = "1" + std::string(253, 'x') + "a" + std::string(45, 'y') + "\n";
    return {
        {"headings_blank_and_data",
         "\nCircuit: x\n\nNo. of Data Rows : 2\nIndex   time   v(aa)\n-----\n0\t0.0e+00\t4.1e+00\t\n\n"
         "                  Transient\n1\t1.0e+00\t4.0e+00\t\n",
         "0\t0.0e+00\t4.1e+00\t\n1\t1.0e+00\t4.0e+00\t\n"},
        {"last_line_with_newline_once", "0 1 2\n", "0 1 2\n"},
        {"last_line_without_newline", "x\n7 1 2", "7 1 2"},
        {"empty", "", ""},
        {"blank_or_sign_first_left_out", " 1 2 3\n-1 2 3\n+1 2 3\n\t1 2 3\n9 ok\n", "9 ok\n"},
        {"300_character_line_split_at_254", longLine, longLine.substr(0, 254) + longLine.substr(254)},
        {"300_character_line_remainder_dropped", longLineNoDigit, longLineNoDigit.substr(0, 254)},
        {"crlf_kept", "1 2 3\r\nx\r\n", "1 2 3\r\n"},
        {"nul_ends_what_is_written", std::string("1 a\0b\n2 c\n", 10), "1 a2 c\n"},
        {"254_character_line_is_one_piece", "1" + std::string(252, 'x') + "\n2 b\n", "1" + std::string(252, 'x') + "\n2 b\n"},
        {"255_character_line_newline_is_a_piece_alone", "1" + std::string(253, 'x') + "\n2 b\n",
         "1" + std::string(253, 'x') + "2 b\n"},
        {"digit_after_254_characters_opens_a_kept_piece", "x" + std::string(253, 'y') + "7 tail\n3 c\n", "7 tail\n3 c\n"},
        {"nul_in_a_heading", std::string("Index\0 time\n4 d\n", 16), "4 d\n"},
        {"form_feed_headings_between_data", "1 a\n\fCircuit\n\f\n2 b\n", "1 a\n2 b\n"},
    };
}

class ListingFilterCase : public ::testing::TestWithParam<FilterCase>
{
};

TEST_P(ListingFilterCase, CopiesExactlyTheDataPieces)
{
    EXPECT_EQ(Filtered(GetParam().listing), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Listings, ListingFilterCase, ::testing::ValuesIn(FilterCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ListingFilter, CountsRowsAndReadsTheAnnouncedCount)
{
    std::string listing = "title\n No. of Data Rows : 3\n";
    for (int i = 0; i < 3; ++i)
        listing += std::to_string(i) + "\t1e0\t2e0\n";
    ListingStats stats;
    Filtered(listing, &stats);
    EXPECT_EQ(stats.dataLines, 3u);
    ASSERT_TRUE(stats.declaredRows.has_value());
    EXPECT_EQ(*stats.declaredRows, 3u);
    Filtered("1 2 3\n", &stats);
    EXPECT_FALSE(stats.declaredRows.has_value());
}

TEST(ListingFilter, LargeListingAcrossChunkBoundaries)
{
    std::string listing;
    std::string expected;
    for (int i = 0; i < 200000; ++i) {
        const std::string line = std::to_string(i) + "\t" + std::to_string(i * 0.5) + "e+00\t4.000000e+00\t\n";
        listing += line;
        expected += line;
        if (i % 57 == 0)
            listing += "Index   time            v(aa)\n--------\n\n";
    }
    ListingStats stats;
    EXPECT_EQ(Filtered(listing, &stats), expected);
    EXPECT_EQ(stats.dataLines, 200000u);
}

// An earlier, longer output file is replaced by exactly the new data lines,
// in the same file.
TEST(ListingFilter, OverwritesALongerEarlierOutput)
{
    CTestDir dir;
    WriteFile(dir / "out.FIG", std::string(100000, 'z'));
    WriteFile(dir / "listing", "title\n1 2 3\nx\n4 5 6\n");
    struct stat before {};
    ASSERT_EQ(::stat((dir / "out.FIG").c_str(), &before), 0);
    std::string error;
    ASSERT_TRUE(FilterListing(dir / "listing", dir / "out.FIG", nullptr, &error)) << error;
    EXPECT_EQ(ReadFile(dir / "out.FIG"), "1 2 3\n4 5 6\n");
    struct stat after {};
    ASSERT_EQ(::stat((dir / "out.FIG").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

// A listing named as its own output file is refused and left as it was:
// the run deletes the listing afterwards, and the data with it.
TEST(ListingFilter, ListingAsItsOwnOutputIsRefused)
{
    CTestDir dir;
    const std::string listing = "heading\n1\t1e0\t2e0\n";
    WriteFile(dir / "listing", listing);
    ASSERT_EQ(::symlink("listing", (dir / "link").c_str()), 0);
    for (const char* output : {"listing", "link"}) {
        std::string error;
        EXPECT_FALSE(FilterListing(dir / "listing", dir / output, nullptr, &error)) << output;
        EXPECT_NE(error.find("is the simulator's listing"), std::string::npos) << error;
        EXPECT_EQ(ReadFile(dir / "listing"), listing);
    }
}

// An output that cannot be cut to its new length (here a memory file sealed
// against shrinking) is a failure that says so.
TEST(ListingFilter, OutputThatCannotBeCutIsAnError)
{
    const int sealed = ::memfd_create("earlier-output", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    ASSERT_GE(sealed, 0);
    const std::string earlier(1000, 'z');
    ASSERT_EQ(::write(sealed, earlier.data(), earlier.size()), static_cast<ssize_t>(earlier.size()));
    ASSERT_EQ(::fcntl(sealed, F_ADD_SEALS, F_SEAL_SHRINK), 0);
    CTestDir dir;
    WriteFile(dir / "listing", "1 2 3\n");
    std::string error;
    EXPECT_FALSE(FilterListing(dir / "listing", "/proc/self/fd/" + std::to_string(sealed), nullptr, &error));
    EXPECT_NE(error.find("cannot cut the output file"), std::string::npos) << error;
    ::close(sealed);
}

TEST(ListingFilter, MissingListingIsAnError)
{
    CTestDir dir;
    std::string error;
    EXPECT_FALSE(FilterListing(dir / "absent", dir / "out", nullptr, &error));
    EXPECT_NE(error.find("absent"), std::string::npos);
}

// The fast conversion must agree with sscanf(" %d %e %e") on every piece.
class ScanfAgreement : public ::testing::TestWithParam<const char*>
{
};

TEST_P(ScanfAgreement, SameConversionsAndValues)
{
    const std::string piece = GetParam();
    const CDataPoint fast = ParseDataPiece(piece);
    const CDataPoint reference = ParseDataPieceWithScanf(piece);
    ASSERT_EQ(fast.conversions, reference.conversions) << piece;
    const auto same = [](float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0; };
    if (reference.conversions >= 2) {
        EXPECT_TRUE(same(fast.seconds, reference.seconds)) << piece << ": " << fast.seconds << " vs " << reference.seconds;
    }
    if (reference.conversions >= 3) {
        EXPECT_TRUE(same(fast.volts, reference.volts)) << piece << ": " << fast.volts << " vs " << reference.volts;
    }
}

INSTANTIATE_TEST_SUITE_P(
    TrickyPieces, ScanfAgreement,
    ::testing::Values("0\t0.000000e+00\t4.100000e+00\t\n", "17 1.5 3.25", "1 +1.5 -2.5e-3", "1 1.5E+2 2E2",
                      "1 .5 5.", "1 1e 2", "1 1e+ 2", "1 1.0e-400 2", "1 1e40 2", "1 -1e40 2", "1 inf 2", "1 2 -INF",
                      "1 nan 2", "1 2 nan(123)", "1 0x1p3 2", "1 2 0X1.8P1", "1 2 3garbage", "1 2garbage 3",
                      "12.5 3 4", "1  \t 2 \v\f 3", "1 2", "1", "1 a b", "99999999999999999999 1 2",
                      "1 1.00000000000000000000000000000000000001 2", "1 0.000000000000000000000000000000000000000001 2",
                      "1 3.4028235e38 1.1754943e-38", "1 1.401298e-45 7e-46", "1 -0.0 0.0", "1 2\r\n", "1 2 3\r",
                      "1 0000000000000000000000000000000000000000000001.5 2", "1 1e0000000000000000000002 2",
                      "1 1.175494350822287507968736537222245677818665556772087521508751706278417259454727172851560500000e-38 2",
                      // The simulator's own layout and near misses of it.
                      "1\t1.000000e-04\t5.000000e-04\t\n", "1\t1.000000e-05\t4.100000e+00\t\n",
                      "1\t1.677721e+16\t9.999999e+16\t\n", "1\t1.677722e+17\t4.100000e+00\t\n",
                      "1\t-4.100000e+00\t-0.000000e+00\t\n", "1\t4.100000E+00\t4.100000e-00\t\n",
                      "1\t4.100000e+00\t4.1000000e+00\t\n", "1\t4.100000e+00\t4.100000e+00x",
                      "1\t4.100000e+00\t4.100000e+00", "1\t4.10000ae+00\t4.100000e+00\t\n", "1\t4,100000e+00\t4.1\n",
                      "12345678901\t1.000000e+00\t2.000000e+00\t\n", "1\t1.000000e+00\t2.000000e+0\t\n",
                      "1\t1.6777216e+07\t1.6777217e+07", "1\t16777217e0\t1677721.7e1", "1 \t 1.000000e+00 \t 2.000000e+00",
                      "1\t9.999999e-01\t1.000000e+10\n", "1\t+1.000000e+00\t+2.000000e+00\t\n"));

struct CutoffCase
{
    const char* label;
    std::vector<float> volts;
    double emin;
    std::vector<float> plotted;
    std::optional<std::size_t> cutoff;
};

class ReaderCutoff : public ::testing::TestWithParam<CutoffCase>
{
};

TEST_P(ReaderCutoff, FollowsTheFileDownToTheFirstPointBelowTheMinimum)
{
    const CutoffCase& c = GetParam();
    CTestDir dir;
    std::string file;
    for (std::size_t i = 0; i < c.volts.size(); ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "%zu\t%e\t%e\t\n", i, i * 10.0, static_cast<double>(c.volts[i]));
        file += line;
    }
    WriteFile(dir / "out.FIG", file);
    const CResultSeries series = ReadResultFile(dir / "out.FIG", c.emin);
    ASSERT_EQ(series.volts.size(), c.plotted.size());
    for (std::size_t i = 0; i < c.plotted.size(); ++i) {
        if (std::isnan(c.plotted[i]))
            EXPECT_TRUE(std::isnan(series.volts[i])) << i;
        else
            EXPECT_EQ(series.volts[i], c.plotted[i]) << i;
    }
    EXPECT_EQ(series.cutoffIndex, c.cutoff);
}

const float kNan = std::nanf("");

INSTANTIATE_TEST_SUITE_P(
    Curves, ReaderCutoff,
    ::testing::Values(CutoffCase{"example", {4.0f, 3.5f, 2.9f, 3.2f, 3.1f}, 3.0, {4.0f, 3.5f, 2.9f, 0, 0}, 2},
                      CutoffCase{"equality_does_not_cut", {3.5f, 3.0f, 3.0f}, 3.0, {3.5f, 3.0f, 3.0f}, std::nullopt},
                      CutoffCase{"nan_cuts_and_keeps_its_value", {3.5f, kNan, 3.5f}, 3.0, {3.5f, kNan, 0}, 1},
                      CutoffCase{"first_point_below", {2.0f, 4.0f}, 3.0, {2.0f, 0}, 0},
                      CutoffCase{"never_below", {4.0f, 3.9f}, 3.0, {4.0f, 3.9f}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Reader, TimesInHoursBySinglePrecisionProduct)
{
    CTestDir dir;
    WriteFile(dir / "out.FIG", "0 0 4\n1 1800 4\n2 3600 4\n3 7200 4\n4 1 4\n");
    const CResultSeries series = ReadResultFile(dir / "out.FIG", 0.0);
    ASSERT_EQ(series.hours.size(), 5u);
    EXPECT_EQ(series.hours[0], 0.0f);
    EXPECT_EQ(series.hours[1], 0.5f);
    EXPECT_EQ(series.hours[2], 1.0f);
    EXPECT_EQ(series.hours[3], 2.0f);
    EXPECT_EQ(series.hours[4], 2.7777778e-4f);
}

TEST(Reader, EveryDataLineIsAPointNotJustThe500First)
{
    CTestDir dir;
    std::string file;
    for (int i = 0; i < 600; ++i)
        file += std::to_string(i) + "\t" + std::to_string(i) + "\t4.0\n";
    WriteFile(dir / "out.FIG", file);
    const CResultSeries series = ReadResultFile(dir / "out.FIG", 3.0);
    ASSERT_EQ(series.Size(), 600u);
    EXPECT_EQ(series.hours[599], SecondsToHours(599.0f));
}

TEST(Reader, PiecesOf78AndMalformedLines)
{
    CTestDir dir;
    // A 100-character line: a piece of 78 characters and a remainder that
    // counts only because it begins with a digit.
    const std::string hundred = "5 10 4" + std::string(72, ' ') + "7 20 3.5" + std::string(13, ' ') + "\n";
    ASSERT_EQ(hundred.size(), 100u);
    WriteFile(dir / "out.FIG", "Index time v\n 1 2 3\n1 2\n3 x 4\n" + hundred + "6 30 3.25");
    const CResultSeries series = ReadResultFile(dir / "out.FIG", 0.0);
    ASSERT_EQ(series.Size(), 3u);
    EXPECT_EQ(series.volts[0], 4.0f);
    EXPECT_EQ(series.volts[1], 3.5f);
    EXPECT_EQ(series.volts[2], 3.25f);
}

TEST(Reader, UnreadableFileGivesNoPoint)
{
    CTestDir dir;
    EXPECT_EQ(ReadResultFile(dir / "absent.FIG", 3.0).Size(), 0u);
    WriteFile(dir / "empty.FIG", "");
    EXPECT_EQ(ReadResultFile(dir / "empty.FIG", 3.0).Size(), 0u);
}

TEST(GraphArray, ShapesAndRefusals)
{
    const float data[] = {1, 2, 3};
    const CGraphArray array(data, 3, -1, -1);
    EXPECT_EQ(array.Type(), VT_ARRAY | VT_R4);
    EXPECT_EQ(array.GetDim(), 1u);
    EXPECT_EQ(array.GetDimSize(1), 3);
    EXPECT_EQ(array.GetElementCount(), 3);
    EXPECT_EQ(array.GetElemSize(), 4u);
    EXPECT_EQ(static_cast<const float*>(array.Data())[2], 3.0f);
    EXPECT_THROW(array.GetDimSize(2), CGraphArrayError);
    EXPECT_THROW(CGraphArray(data, 0, -1, -1), CGraphArrayError);

    CGraphArray shaped;
    shaped.Create(VT_R8, 2, 3, 0);
    EXPECT_EQ(shaped.GetDim(), 2u);
    EXPECT_EQ(shaped.GetElementCount(), 6);
    shaped.Clear();
    EXPECT_EQ(shaped.Type(), VT_EMPTY);
    EXPECT_THROW(shaped.AccessData(), CGraphArrayError);
}

CResultSeries Series(std::vector<float> hours, std::vector<float> volts, std::optional<std::size_t> cutoff)
{
    return CResultSeries{std::move(hours), std::move(volts), cutoff};
}

TEST(Summary, StraightLineDischargeAtConstantCurrent)
{
    AnalysisSettings settings;
    settings.constantCurrent = 2.0;
    // 4 V falling linearly to 3 V over 2 h, cut at the third point.
    const CResultSeries series = Series({0, 1, 2, 3}, {4.0f, 3.5f, 2.99f, 0}, 2);
    const CResultSummary summary = Summarize(series, settings);
    ASSERT_TRUE(summary.runtimeHours);
    EXPECT_DOUBLE_EQ(*summary.runtimeHours, 2.0);
    // The current ramps up over the first second: 2 A for 2 h less 1 A s.
    EXPECT_NEAR(summary.chargeAh, 4.0 - 1.0 / 3600.0, 1e-9);
    EXPECT_NEAR(summary.energyWh, 2.0 * (4.0 + 3.5) / 2 + 2.0 * (3.5 + 2.99f) / 2, 3e-3);
    EXPECT_NEAR(summary.meanVolts, (3.75 + 3.245) / 2, 1e-6);
}

TEST(Summary, ConstantLoadOnAConstantVoltageNeverCutsOff)
{
    AnalysisSettings settings;
    settings.loadResistance = 10.0;
    settings.switchLevel = 1.0;
    const CResultSeries series = Series({0, 0.5f, 1}, {4, 4, 4}, std::nullopt);
    const CResultSummary summary = Summarize(series, settings);
    EXPECT_FALSE(summary.runtimeHours);
    EXPECT_NEAR(summary.chargeAh, 0.4, 1e-9);
    EXPECT_NEAR(summary.energyWh, 1.6, 1e-9);
    EXPECT_NEAR(summary.meanVolts, 4.0, 1e-9);
}

TEST(Summary, DefaultProfileDeliversAndTakesBackTheSameCharge)
{
    AnalysisSettings settings;
    settings.pwlTime = {0, 1, 10000, 10001, 20000, 20001, 30000, 30001, 40000, 40001};
    settings.pwlCurrent = {0, 0.065, 0.065, 0, 0, -0.065, -0.065, 0, 0, 0};
    EXPECT_DOUBLE_EQ(CircuitCurrent(settings, 5000, 4), 0.065);
    EXPECT_DOUBLE_EQ(CircuitCurrent(settings, 0.5, 4), 0.0325);
    EXPECT_DOUBLE_EQ(CircuitCurrent(settings, 25000, 4), -0.065);
    EXPECT_DOUBLE_EQ(CircuitCurrent(settings, 50000, 4), 0.0);
    std::vector<float> hours;
    std::vector<float> volts;
    for (int s = 0; s <= 40001; s += 1)
        hours.push_back(static_cast<float>(s / 3600.0)), volts.push_back(1.0f);
    const CResultSummary summary = Summarize(Series(hours, volts, std::nullopt), settings);
    EXPECT_NEAR(summary.chargeAh, 0.0, 1e-5);
    const CResultSummary firstHalf = Summarize(Series({hours.begin(), hours.begin() + 10002}, {volts.begin(), volts.begin() + 10002}, std::nullopt), settings);
    EXPECT_NEAR(firstHalf.chargeAh, 0.065 * 9999.0 / 3600.0 + 0.065 / 3600.0, 1e-5);
}

TEST(Summary, EngineeringTexts)
{
    EXPECT_EQ(FormatEngineering(0.85, "Ah"), "850 mAh");
    EXPECT_EQ(FormatEngineering(3.456, "V"), "3.46 V");
    EXPECT_EQ(FormatEngineering(0.0009997, "A"), "1.00 mA");
    EXPECT_EQ(FormatEngineering(12500, "Ω"), "12.5 kΩ");
    EXPECT_EQ(FormatEngineering(0, "Wh"), "0.00 Wh");
    EXPECT_EQ(FormatEngineering(3e-16, "Ah"), "0.00 Ah");
    EXPECT_EQ(FormatEngineering(-3e-16, "Ah"), "0.00 Ah");
    EXPECT_EQ(FormatEngineering(4e-12, "Ah"), "4.00 pAh");
    EXPECT_EQ(FormatEngineering(-0.065, "A"), "-65.0 mA");
    EXPECT_EQ(FormatRuntime(1.9583), "1 h 57 min");
    EXPECT_EQ(FormatRuntime(0.75), "45 min");
    EXPECT_EQ(FormatRuntime(10.0 / 3600.0), "10.0 s");
}

} // namespace
