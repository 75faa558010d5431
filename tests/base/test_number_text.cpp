// SPDX-License-Identifier: MIT
// Number texts: printf-exact writers, tolerant readers, independent of the process locale.
#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <locale>
#include <string>
#include <unistd.h>

#include "base/number_text.h"

// glibc's newlocale keeps the LOCPATH list it splits for a generated locale; not ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__argz_add_sep\n";
}

namespace turnlet {
namespace {

std::string Printf(const char* format, double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

const double kSamples[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.5,
                           6.666666666666667,
                           1e-5,
                           1e-4,
                           0.0001,
                           0.00012345,
                           123456.0,
                           1234567.0,
                           999999.5,
                           999999.4,
                           1e6,
                           -1e6,
                           12.5,
                           2.0 / 3.0,
                           1e100,
                           -1e-300,
                           DBL_MAX,
                           DBL_MIN,
                           5e-324,
                           0.1 + 0.2,
                           100.0,
                           1e15,
                           123456789012345678.0,
                           -5.55112e-17,
                           3.14159265358979,
                           0.125,
                           2.5,
                           -2.5,
                           0.005,
                           1.005,
                           -0.004,
                           99.995,
                           1234.5678};

TEST(FormatG, EqualsCLocalePrintf) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    for (double v : kSamples) EXPECT_EQ(FormatG(v), Printf("%g", v)) << v;
}

TEST(FormatG, KnownTexts) {
    EXPECT_EQ(FormatG(-0.0), "-0");
    EXPECT_EQ(FormatG(1e-5), "1e-05");
    EXPECT_EQ(FormatG(0.0001), "0.0001");
    EXPECT_EQ(FormatG(123456), "123456");
    EXPECT_EQ(FormatG(1234567), "1.23457e+06");
    EXPECT_EQ(FormatG(20.0 / 3.0), "6.66667");
}

TEST(FormatFixed62, EqualsCLocalePrintf) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    for (double v : kSamples) EXPECT_EQ(FormatFixed62(v), Printf("%6.2f", v)) << v;
    EXPECT_EQ(FormatFixed62(3.5), "  3.50");
    EXPECT_EQ(FormatFixed62(-12.345), "-12.35");  // -12.3450000000000006394884621841
}

TEST(FormatKeyframeNumber, ShortestFifteenDigitForm) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {12, "12"},
        {-180, "-180"},
        {12.5, "12.5"},
        {6.66667, "6.66667"},
        {-3.9, "-3.9"},
        {0.1 + 0.2, "0.3"},  // 0.30000000000000004 has 17 digits
        {2.0 / 3.0, "0.666666666666667"},
        {1e-5, "0.00001"},
        {0.000012345, "0.000012345"},
        {9.99e-6, "9.99E-6"},
        {1e14, "100000000000000"},
        {1e15, "1E15"},
        {-1.5e20, "-1.5E20"},
        {5.55112e-17, "5.55112E-17"},
        {999999999999999.9, "1E15"},  // rounds up to 16 digits' worth
        {1000000, "1000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatKeyframeNumber(c.value), c.text) << c.value;
}

TEST(FormatKeyframeNumber, ReadsBackAsTheSameFifteenDigitValue) {
    for (double v : kSamples) {
        std::string text = FormatKeyframeNumber(v);
        EXPECT_EQ(Printf("%.14e", ParseLeadingReal(text)), Printf("%.14e", v == 0 ? 0.0 : v)) << text;
    }
    // Texts of the frames table come back unchanged.
    for (const char* text : {"6.66667", "12.5", "-2.66667", "1.33333", "100", "0.5"})
        EXPECT_EQ(FormatKeyframeNumber(ParseLeadingReal(text)), text);
    EXPECT_EQ(FormatKeyframeNumber(std::nan("")), "0");
    EXPECT_EQ(ParseLeadingReal(FormatKeyframeNumber(INFINITY)), ParseLeadingReal("1.79769313486232E308"));
}

TEST(ParseLeadingReal, LongestNumberPrefix) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"  1.50", 1.5},
        {"\t-3.9", -3.9},
        {"+2.5", 2.5},
        {"12.75", 12.75},
        {"5.", 5},
        {".5", 0.5},
        {".", 0},
        {"-.", 0},
        {"+", 0},
        {"1e3", 1000},
        {"1E+3x", 1000},
        {"1e", 1},
        {"1e+", 1},
        {"2e-x", 2},
        {"6.66667", 6.66667},
        {"  3.50", 3.5},
        {"1,5", 1},  // the comma is no decimal separator here
        {"0x1A", 0},
        {"inf", 0},
        {"nan", 0},
        {"-5.55112e-17", -5.55112e-17},
        {"1e+06", 1e6},
        {"  30x", 30},
        {"--1", 0},
        {"1e400", DBL_MAX},
        {"-1e400", -DBL_MAX},
        {"1e-400", 0},
        {"0.000e999999999999999999", 0},
        {"1e99999999999999999999", DBL_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseLeadingReal(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseLeadingReal, HugeDigitStringsAreFinite) {
    std::string digits(1'000'000, '9');
    EXPECT_EQ(ParseLeadingReal(digits), DBL_MAX);
    EXPECT_EQ(ParseLeadingReal("0." + digits), 1.0);
    EXPECT_EQ(ParseLeadingReal("0." + std::string(500, '0') + "1"), 0.0);
}

TEST(CellAsInteger, TruncatesAndSaturates) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"12.75", 12},
        {"-3.9", -3},
        {"-5.55112e-17", 0},
        {"1e+06", 1000000},
        {"  7", 7},
        {"", 0},
        {"x1", 0},
        {"2147483647.9", 2147483647},
        {"3e9", 2147483647},
        {"-3e9", -2147483647 - 1},
        {"1e400", 2147483647},
        {"-2147483648.5", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(CellAsInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseWholeInteger, WholeTextOnly) {
    EXPECT_EQ(ParseWholeInteger("007"), 7);
    EXPECT_EQ(ParseWholeInteger("-12"), -12);
    EXPECT_EQ(ParseWholeInteger("+12"), 12);
    EXPECT_EQ(ParseWholeInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseWholeInteger("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "+", "-", "abc", "12a", " 12", "12 ", "1.5", "+-5", "-+5", "--5", "2147483648",
                            "-2147483649", "99999999999999999999", "1e3", "0x10"})
        EXPECT_FALSE(ParseWholeInteger(bad).has_value()) << '"' << bad << '"';
    EXPECT_EQ(IntegerOr("abc", 100), 100);
    EXPECT_EQ(IntegerOr("0", 100), 0);
    EXPECT_EQ(FormatInteger(-180), "-180");
    EXPECT_EQ(FormatInteger(std::numeric_limits<long long>::min()), "-9223372036854775808");
}

// Makes the process use a locale whose decimal separator is a comma, as a desktop session with
// de_DE or ru_RU does. When none is installed, one is compiled from the system's locale sources
// into the test folder. Returns the locale's name, empty when that is impossible.
std::string UseDecimalCommaLocale() {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "ru_RU.UTF-8", "ru_RU.utf8", "fr_FR.UTF-8"};
    for (const char* name : names)
        if (std::setlocale(LC_ALL, name)) return name;

    const char* tmp = std::getenv("TURNLET_TEST_TMP");
    std::filesystem::path base = tmp ? tmp : std::filesystem::temp_directory_path().string();
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    std::filesystem::path folder = base / "locales";
    if (!std::filesystem::exists(folder / "de_DE.UTF-8" / "LC_NUMERIC")) {
        // Built aside and renamed into place so that test processes running side by side never
        // see half a locale.
        std::filesystem::path work = base / ("locales-" + std::to_string(::getpid()));
        std::filesystem::create_directories(work, ec);
        std::string command = "localedef -i de_DE -f UTF-8 '" + (work / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) std::filesystem::rename(work, folder, ec);
        std::filesystem::remove_all(work, ec);
    }
    ::setenv("LOCPATH", folder.c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") ? "de_DE.UTF-8" : "";
}

class DecimalCommaLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = UseDecimalCommaLocale();
        if (name.empty()) GTEST_SKIP() << "no locale with a decimal comma could be set up";
        // The C++ global locale too, as a Qt application's may be.
        std::locale::global(std::locale(name));
        ASSERT_EQ(Printf("%g", 1.5), "1,5") << "the locale does not use a decimal comma";
    }
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
    }
};

TEST_F(DecimalCommaLocale, WritersUseAPoint) {
    EXPECT_EQ(FormatG(1.5), "1.5");
    EXPECT_EQ(FormatG(20.0 / 3.0), "6.66667");
    EXPECT_EQ(FormatG(1234567), "1.23457e+06");
    EXPECT_EQ(FormatFixed62(-3.456), " -3.46");
    EXPECT_EQ(FormatKeyframeNumber(12.5), "12.5");
    EXPECT_EQ(FormatKeyframeNumber(-1.5e20), "-1.5E20");
    EXPECT_EQ(FormatInteger(1234567), "1234567");
}

TEST_F(DecimalCommaLocale, ReadersTakeAPointAndStopAtAComma) {
    EXPECT_EQ(ParseLeadingReal("  1.50"), 1.5);
    EXPECT_EQ(ParseLeadingReal("1,5"), 1.0);
    EXPECT_EQ(ParseLeadingReal("6.66667"), 6.66667);
    EXPECT_EQ(CellAsInteger("12.75"), 12);
    EXPECT_EQ(ParseWholeInteger("1234"), 1234);
}

}  // namespace
}  // namespace turnlet
