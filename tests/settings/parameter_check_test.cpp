#include "settings/parameter_check.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "settings/memory_controls.h"
#include "settings/movie_spec.h"
#include "settings/settings_file.h"

namespace zr {
namespace {

// Values a parameter must refuse: below its range, above it, of the wrong type and, for lists, a
// malformed line after a good one.
std::vector<std::string> refusedValues(const Parameter& parameter) {
    switch (parameter.kind) {
        case ParameterKind::kWholeNumber: {
            std::vector<std::string> values = {"1e3", "30abc", "abc",
                                               " 5",  "2.5",   std::to_string(parameter.min - 1)};
            if (parameter.max != INT_MAX)
                values.push_back(std::to_string(parameter.max + 1));
            return values;
        }
        case ParameterKind::kDecimal:
            return {"abc",
                    "1.5x",
                    "nan",
                    "inf",
                    std::to_string(parameter.low - 1),
                    std::to_string(parameter.high + 1)};
        case ParameterKind::kCheck:
            return {"5", "-1", "yes", "2", ""};
        case ParameterKind::kChoice:
            return {"-1", std::to_string(parameter.choices.size()), "1x", ""};
        case ParameterKind::kColorBits:
            return {"16", "8", "24x", ""};
        case ParameterKind::kInsideColor:
            return {"1,2", "1,2,256", "a,b,c"};
        case ParameterKind::kSpecList:
            return {"0\tabc", "0 25", "0\t-2000", "x\t1", "0\t1,5\t1\t2", "-1\t1"};
        case ParameterKind::kWaveList:
            return {"Q\t10", "H\t0", "H\tabc", "H", "H\t10,S"};
        case ParameterKind::kLongWaveList:
            return {"255,0,0\t100", "256,0,0\t100\t50", "1,2,3\t0\t50", "1,2,3\t10\t101",
                    "1,2,3\t10\t50:x"};
        case ParameterKind::kFolder:
        case ParameterKind::kText:
        case ParameterKind::kTextureFile:
            if (parameter.maxLength != 0)
                return {std::string(parameter.maxLength + 1, 'a')};
            return {std::string("a\0b", 3)};
    }
    return {};
}

// A value the parameter takes that no fresh dialog holds.
std::string acceptedValue(const Parameter& parameter) {
    switch (parameter.kind) {
        case ParameterKind::kWholeNumber:
            return std::to_string(parameter.max == INT_MAX ? 7 : parameter.max);
        case ParameterKind::kDecimal:
            return parameter.low == 0.0 && parameter.high == 0.0 ? "2.5" : "3";
        case ParameterKind::kCheck:
            return parameter.defaultValue == "1" ? "0" : "1";
        case ParameterKind::kChoice:
            return "1";
        case ParameterKind::kColorBits:
            return "32";
        case ParameterKind::kInsideColor:
            return "1,2,3";
        case ParameterKind::kSpecList:
            switch (parameter.lineFormat) {
                case ListLineFormat::kSpeed:
                    return "0\t40,3\t16777216";
                case ListLineFormat::kRotation:
                    return "0\t-360,2\tR";
                default:
                    return "0\t3,4\t2";
            }
        case ParameterKind::kWaveList:
            return "H\t100,S\t-50\t3,W\t20";
        case ParameterKind::kLongWaveList:
            return "255,128,0\t1000\t50:0,0,255\t1\t0";
        case ParameterKind::kFolder:
        case ParameterKind::kText:
        case ParameterKind::kTextureFile:
            return "/some/where";
    }
    return {};
}

TEST(ParameterCheckTest, EveryParameterRefusesWhatItCannotUseAndNamesItself) {
    for (const Parameter& parameter : parameters()) {
        const std::string name(parameterName(parameter));
        const std::string allowed = allowedValues(parameter);
        EXPECT_NE(allowed.find(name), std::string::npos) << allowed;
        for (const std::string& value : refusedValues(parameter)) {
            const std::optional<ValueProblem> problem = checkParameterValue(parameter, value);
            ASSERT_TRUE(problem.has_value()) << name << " took \"" << visibleText(value) << "\"";
            EXPECT_NE(valueProblemText(parameter, *problem).find(name), std::string::npos);
        }
        EXPECT_FALSE(checkParameterValue(parameter, acceptedValue(parameter)))
            << name << " refused " << visibleText(acceptedValue(parameter));
        if (!parameter.defaultValue.empty()) {
            EXPECT_FALSE(checkParameterValue(parameter, parameter.defaultValue)) << name;
        }
    }
}

TEST(ParameterCheckTest, EveryAcceptedValueReachesTheMovie) {
    MemoryControls fresh;
    fresh.setText(kIdDirectory, "/keys");
    fresh.setText(kIdMovieWidth, "640");
    const MovieSpecResult before = buildMovieSpec(fresh);
    ASSERT_TRUE(before.ok()) << before.error.message;
    // What Start reads from elsewhere: the time type only changes how the speed list reads, the
    // wave list counts only with wave colouring, the multi-texture flag only with pictures.
    const std::vector<std::string_view> notInTheMovie = {"TimeType", "TEXTURE_MULTI", "WAVES"};
    for (const Parameter& parameter : parameters()) {
        if (std::find(notInTheMovie.begin(), notInTheMovie.end(), parameterName(parameter)) !=
            notInTheMovie.end())
            continue;
        MemoryControls controls;
        controls.setText(kIdDirectory, "/keys");
        controls.setText(kIdMovieWidth, "640");
        applyParameterValue(controls, parameter, acceptedValue(parameter), nullptr);
        const MovieSpecResult after = buildMovieSpec(controls);
        ASSERT_TRUE(after.ok()) << parameterName(parameter) << ": " << after.error.message;
        EXPECT_FALSE(after.spec == before.spec) << parameterName(parameter);
    }
}

TEST(ParameterCheckTest, ListLinesAreNamedByNumber) {
    const Parameter& speed = *parameterWithKey("SPEED");
    const std::optional<ValueProblem> problem = checkParameterValue(speed, "0\t25,100\tabc,7\t3");
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->line, 2);
    EXPECT_EQ(valueProblemText(speed, *problem).rfind("line 2 \"100<TAB>abc\": a SPEED line is", 0),
              0u);
    // Time stamps and speeds both read; the time type decides later which it must be.
    EXPECT_FALSE(checkParameterValue(speed, "0\t00:00,5\t01:30,9\t01:02:03"));
    EXPECT_TRUE(checkParameterValue(speed, "0\t1:30"));
    EXPECT_TRUE(checkParameterValue(speed, "0\t16777217"));
    EXPECT_FALSE(checkParameterValue(*parameterWithKey("CYCLE"), ""));  // no line at all

    EXPECT_EQ(allowedValues(*parameterWithKey("FPS")),
              "FPS is a whole number of frames a second, 1 to 1000");
    EXPECT_EQ(visibleText(std::string("a\tb\x01", 4)), "a<TAB>b\\x01");
}

TEST(ParameterCheckTest, SettingsFileLinesAreCheckedWithTheirNumbers) {
    int known = 0;
    const std::string text =
        std::string("FPS: 30abc\r\nFps: 12\r\nFOO: 1\r\ngarbage\r\nMSZ: 640\r\n") +
        "MSZ: 800\r\nSPEED: 0\t25\r\n" + std::string("x\0y", 3);
    const std::vector<SettingsLineFinding> findings = checkSettingsText(text, &known);
    EXPECT_EQ(known, 4);
    const std::vector<std::pair<int, SettingsLineIssue>> expected = {
        {1, SettingsLineIssue::kBadValue},    {2, SettingsLineIssue::kKeyLetterCase},
        {3, SettingsLineIssue::kUnknownKey},  {4, SettingsLineIssue::kNoKey},
        {6, SettingsLineIssue::kRepeatedKey}, {8, SettingsLineIssue::kNoKey},
        {8, SettingsLineIssue::kZeroByte}};
    ASSERT_EQ(findings.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(findings[i].line, expected[i].first) << findings[i].message;
        EXPECT_EQ(findings[i].issue, expected[i].second) << findings[i].message;
    }
    EXPECT_EQ(findings[0].message,
              "FPS: 30abc: FPS is a whole number of frames a second, 1 to 1000");
    EXPECT_NE(findings[1].message.find("FPS?"), std::string::npos);

    // What the program writes checks clean.
    MemoryControls controls;
    controls.setText(kIdMovieWidth, "640");
    EXPECT_TRUE(checkSettingsText(settingsText(controls)).empty());
}

TEST(ParameterCheckTest, LoadingResetsTheKeysFilesLeaveOutAtTheirDefault) {
    MemoryControls fresh;
    applySettingsText(fresh, "FPS: 24\r\n");
    MemoryControls used;
    applySettingsText(used,
                      "SubpixelZoom: 1\r\nSupersample: 3\r\nMOVIEFILE: a.mp4\r\nSOUND: "
                      "b.ogg\r\nCRF: 20\r\n");
    applySettingsText(used, "FPS: 24\r\n");
    EXPECT_EQ(settingsText(used), settingsText(fresh));
    EXPECT_FALSE(used.checked(kIdSubpixelZoom));
    EXPECT_EQ(used.text(kIdSoundFile), "");
}

TEST(ParameterCheckTest, MoviePicturesFitWithinOneGigabyte) {
    EXPECT_TRUE(moviePicturesFit(1920, 1080, 2.0));
    EXPECT_TRUE(moviePicturesFit(9459, 9459, 2.0));  // 1073.7 million bytes composed, just fits
    EXPECT_FALSE(moviePicturesFit(9460, 9460, 2.0));
    EXPECT_FALSE(moviePicturesFit(16384, 9216, 2.0));  // the largest movie at zoom 2
    EXPECT_TRUE(moviePicturesFit(16384, 9216, 1.0));
}

}  // namespace
}  // namespace zr
