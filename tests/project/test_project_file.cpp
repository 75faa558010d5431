// SPDX-License-Identifier: MIT
// Project file: writer order and texts, reader rules and defaults, Save/Open, round trips, hostile input.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "project/project.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

const std::string kNewExportDirectory = "/opt/turnlet/result";

// The text applied as Open applies it.
Project Read(const std::string& text) {
    Project p;
    New(p, kNewExportDirectory);
    ReadProjectText(text, p);
    return p;
}

std::vector<std::string> ManySources(int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) lines.push_back("SOURCE=/s/" + std::to_string(i) + ".jpg");
    return lines;
}

const std::vector<std::string> kExampleLines = {
    "SOURCE=C:\\shots\\a01.jpg",
    "SOURCE=C:\\shots\\a02.jpg",
    "ROTATE=90",
    "CROP_LEFT=",
    "CROP_TOP=",
    "CROP_WIDTH=",
    "CROP_HEIGHT=",
    "LAST_FRAME=1",
    "FIRST_FRAME=0",
    "BACKGROUND_COLOR=16777215",
    "TUNE_POINT=C:\\shots\\a02.jpg,3.5,-2,1,0,10,0,0",
    "EXPORT_FRAMES=100",
    "EXPORT_DIR=C:\\out\\result",
    "EXPORT_TYPE=JPEG",
    "JPEG_QUALITY=90",
    "EXPORT_WIDTH=800",
    "EXPORT_HEIGHT=",
    "EXPORT_PROPORTIONAL=1",
    "HTML5_VIEWER=1",
};

TEST(SplitField, Fields) {
    struct Case {
        const char* text;
        const char* separator;
        int n;
        const char* field;
    };
    const Case cases[] = {
        {"a,b,c", ",", 0, "a"},    {"a,b,c", ",", 2, "c"},
        {"a,b,c", ",", 3, ""},     {"a,b,c", ",", -1, ""},
        {"", ",", 0, ""},          {",,x", ",", 2, "x"},
        {"a,", ",", 1, ""},        {"no separator", ",", 0, "no separator"},
        {"a::b::c", "::", 1, "b"}, {"a::b::c", "::", 2, "c"},
        {"abc", "", 0, "abc"},     {"abc", "", 1, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitField(c.text, c.separator, c.n), c.field) << c.text << " " << c.n;
}

TEST(ProjectFileNameForSave, ExtensionRule) {
    struct Case {
        const char* name;
        const char* result;
    };
    const Case cases[] = {
        {"shot", "shot.trn.prj"}, {"/d/X.TRN.PRJ", "/d/X.TRN.PRJ"}, {"/d/v.Trn.Prj", "/d/v.Trn.Prj"},
        {"a.b", "a.b.trn.prj"},   {"a.prj", "a.prj.trn.prj"},       {"trn.prj", "trn.prj.trn.prj"},
        {".trn.prj", ".trn.prj"}, {"/d/кадр", "/d/кадр.trn.prj"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProjectFileNameForSave(c.name), c.result);
}

TEST(ProjectWriter, ReproducesTheDocumentedExample) {
    Project p;
    New(p, "C:\\out\\result");
    p.sources = {"C:\\shots\\a01.jpg", "C:\\shots\\a02.jpg"};
    p.rotationIndex = 1;
    p.lastFrame = 1;
    ChangeKeyframe(p.keyframes, "C:\\shots\\a02.jpg", {3.5, -2, 1, 0, 10, 0, 0});
    p.exportSettings.width = 800;
    EXPECT_EQ(WriteProjectText(p), Lines(kExampleLines));
}

TEST(ProjectWriter, NumbersAndFlags) {
    Project p;
    p.backgroundColor = 0xFFFFFFFF;  // written as the signed 32-bit value
    p.exportSettings.typeIndex = 2;
    p.exportSettings.proportional = false;
    p.exportSettings.html5Viewer = false;
    std::string text = WriteProjectText(p);
    EXPECT_NE(text.find("\r\nBACKGROUND_COLOR=-1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nEXPORT_TYPE=BMP\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nEXPORT_PROPORTIONAL=0\r\nHTML5_VIEWER=0\r\n"), std::string::npos);
    EXPECT_TRUE(text.starts_with("ROTATE=0\r\n"));          // no sources, no SOURCE lines
    EXPECT_TRUE(text.ends_with("\r\nHTML5_VIEWER=0\r\n"));  // the later options only when on
    const struct {
        bool extraSizes, smooth;
        const char* end;
    } options[] = {{true, false, "\r\nHTML5_VIEWER=0\r\nEXPORT_EXTRA_SIZES=1\r\n"},
                   {false, true, "\r\nHTML5_VIEWER=0\r\nEXPORT_SMOOTH=1\r\n"},
                   {true, true, "\r\nHTML5_VIEWER=0\r\nEXPORT_EXTRA_SIZES=1\r\nEXPORT_SMOOTH=1\r\n"}};
    for (const auto& o : options) {
        p.exportSettings.extraSizes = o.extraSizes;
        p.exportSettings.smooth = o.smooth;
        text = WriteProjectText(p);
        EXPECT_TRUE(text.ends_with(o.end)) << text;
        EXPECT_EQ(Read(text).exportSettings, p.exportSettings);
    }
}

TEST(ProjectReader, ParsesTheDocumentedExample) {
    Project p = Read(Lines(kExampleLines));
    EXPECT_EQ(p.sources, (std::vector<std::string>{"C:\\shots\\a01.jpg", "C:\\shots\\a02.jpg"}));
    EXPECT_EQ(p.rotationIndex, 1);
    EXPECT_EQ(p.rotationDegrees(), 90);
    EXPECT_EQ(p.crop, std::nullopt);
    EXPECT_EQ(p.firstFrame, 0);
    EXPECT_EQ(p.lastFrame, 1);
    EXPECT_EQ(p.backgroundColor, 16777215u);
    EXPECT_EQ(p.keyframes, (Keyframes{{"C:\\shots\\a02.jpg", {3.5, -2, 1, 0, 10, 0, 0}}}));
    EXPECT_EQ(p.exportSettings, (ExportSettings{100, "C:\\out\\result", 0, 90, 800, 0, true, true}));
    EXPECT_TRUE(p.imagesLoaded());
    // The one keyframe holds on both frames.
    EXPECT_EQ(ProjectFrames(p), (FrameRows{{false, {3.5, -2, 1, 0, 10, 0, 0}}, {true, {3.5, -2, 1, 0, 10, 0, 0}}}));
}

TEST(ProjectReader, FrameLinesClampAgainstWhatCameBefore) {
    auto withFrames = [](std::vector<std::string> frameLines) {
        std::vector<std::string> lines = ManySources(40);
        lines.insert(lines.end(), frameLines.begin(), frameLines.end());
        return Read(Lines(lines));
    };
    Project writerOrder = withFrames({"LAST_FRAME=30", "FIRST_FRAME=5"});
    EXPECT_EQ(writerOrder.firstFrame, 5);
    EXPECT_EQ(writerOrder.lastFrame, 30);
    EXPECT_EQ(ProjectFrames(writerOrder).size(), 26u);

    Project swapped = withFrames({"FIRST_FRAME=5", "LAST_FRAME=30"});
    EXPECT_EQ(swapped.firstFrame, 0);
    EXPECT_EQ(swapped.lastFrame, 30);

    Project beyond = withFrames({"LAST_FRAME=99", "FIRST_FRAME=0"});
    EXPECT_EQ(beyond.lastFrame, 39);

    Project negative = withFrames({"LAST_FRAME=10", "FIRST_FRAME=-4"});
    EXPECT_EQ(negative.firstFrame, 0);

    // Sources after the frame line are not known when it is read.
    Project late = Read(Lines({"LAST_FRAME=3", "SOURCE=a", "SOURCE=b", "SOURCE=c", "SOURCE=d"}));
    EXPECT_EQ(late.lastFrame, 0);
}

TEST(ProjectReader, Rotation) {
    struct Case {
        const char* line;
        int index;
    };
    const Case cases[] = {{"ROTATE=0", 0},   {"ROTATE=90", 1},  {"ROTATE=180", 2}, {"ROTATE=270", 3}, {"ROTATE=135", 1},
                          {"ROTATE=359", 3}, {"ROTATE=abc", 0}, {"ROTATE=450", 0}, {"ROTATE=360", 0}, {"ROTATE=-90", 0},
                          {"ROTATE=-45", 0}, {"ROTATE=", 0},    {"ROTATE= 90", 0}, {"ROTATE=090", 1}, {"rotate=90", 0}};
    for (const auto& c : cases) {
        Project p = Read(Lines({"ROTATE=180", c.line}));
        EXPECT_EQ(p.rotationIndex, c.line == std::string("rotate=90") ? 2 : c.index) << c.line;
        EXPECT_EQ(p.rotationDegrees(), p.rotationIndex * 90);
    }
}

TEST(ProjectReader, ExportValues) {
    struct Case {
        std::vector<std::string> lines;
        ExportSettings expected;
    };
    const std::string dir = kNewExportDirectory;
    const Case cases[] = {
        {{}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_FRAMES=-3"}, {-3, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_TYPE=png"}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_TYPE=PNG"}, {100, dir, 1, 90, 0, 0, true, true}},
        {{"EXPORT_TYPE=BMP"}, {100, dir, 2, 90, 0, 0, true, true}},
        {{"EXPORT_TYPE=PNG "}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_TYPE=BMP", "EXPORT_TYPE=JPEG"}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_DIR=", "EXPORT_WIDTH=640", "EXPORT_HEIGHT=480"}, {100, "", 0, 90, 640, 480, true, true}},
        {{"HTML5_VIEWER=0"}, {100, dir, 0, 90, 0, 0, true, false}},
        {{"HTML5_VIEWER=00"}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"HTML5_VIEWER=no"}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"HTML5_VIEWER=0 "}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_PROPORTIONAL=0"}, {100, dir, 0, 90, 0, 0, false, true}},
        {{"EXPORT_PROPORTIONAL=false"}, {100, dir, 0, 90, 0, 0, true, true}},
        // The later options: only the exact line turns one on.
        {{"EXPORT_EXTRA_SIZES=1"}, {100, dir, 0, 90, 0, 0, true, true, true, false}},
        {{"EXPORT_SMOOTH=1"}, {100, dir, 0, 90, 0, 0, true, true, false, true}},
        {{"EXPORT_SMOOTH=1", "EXPORT_EXTRA_SIZES=1"}, {100, dir, 0, 90, 0, 0, true, true, true, true}},
        {{"EXPORT_SMOOTH=0"}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_SMOOTH=yes"}, {100, dir, 0, 90, 0, 0, true, true}},
        {{"EXPORT_EXTRA_SIZES=1 "}, {100, dir, 0, 90, 0, 0, true, true}},
    };
    for (const auto& c : cases) {
        Project p = Read(Lines(c.lines));
        EXPECT_EQ(p.exportSettings, c.expected) << (c.lines.empty() ? "" : c.lines[0]);
    }
}

// What the reader makes of values that are not what the writer writes, shown as the lines the
// project is then written with: every consumer reads one value, and the next save writes it.
TEST(ProjectReader, CanonicalisesWhatItCannotRead) {
    const struct {
        std::vector<std::string> lines;
        std::string written;  // the lines of the written text that tell
    } cases[] = {
        // The crop: a non-number gives 0 for left and top, 100 for width and height; one empty line no crop.
        {{"CROP_LEFT=x", "CROP_TOP=1.5", "CROP_WIDTH=abc", "CROP_HEIGHT= 7"},
         "CROP_LEFT=0\r\nCROP_TOP=0\r\nCROP_WIDTH=100\r\nCROP_HEIGHT=100"},
        {{"CROP_LEFT=-5", "CROP_TOP=007", "CROP_WIDTH=+20", "CROP_HEIGHT=0"},
         "CROP_LEFT=-5\r\nCROP_TOP=7\r\nCROP_WIDTH=20\r\nCROP_HEIGHT=0"},
        {{"CROP_LEFT=1", "CROP_TOP=2", "CROP_WIDTH=", "CROP_HEIGHT=4"},
         "CROP_LEFT=\r\nCROP_TOP=\r\nCROP_WIDTH=\r\nCROP_HEIGHT="},
        {{"CROP_LEFT=1", "CROP_TOP=2", "CROP_WIDTH=3"}, "CROP_LEFT=\r\nCROP_TOP=\r\nCROP_WIDTH=\r\nCROP_HEIGHT="},
        {{"CROP_LEFT=1", "CROP_TOP=2", "CROP_WIDTH=3", "CROP_HEIGHT=4", "CROP_HEIGHT="},
         "CROP_LEFT=\r\nCROP_TOP=\r\nCROP_WIDTH=\r\nCROP_HEIGHT="},
        {{"CROP_LEFT=2147483648", "CROP_TOP=-2147483648", "CROP_WIDTH=1e3", "CROP_HEIGHT=4"},
         "CROP_LEFT=0\r\nCROP_TOP=-2147483648\r\nCROP_WIDTH=100\r\nCROP_HEIGHT=4"},
        // The frame size: a non-number is 200, nothing or no positive size is "not set".
        {{"EXPORT_WIDTH=abc", "EXPORT_HEIGHT= 5"}, "EXPORT_WIDTH=200\r\nEXPORT_HEIGHT=200"},
        {{"EXPORT_WIDTH=0800", "EXPORT_HEIGHT=+6"}, "EXPORT_WIDTH=800\r\nEXPORT_HEIGHT=6"},
        {{"EXPORT_WIDTH=0", "EXPORT_HEIGHT=-5"}, "EXPORT_WIDTH=\r\nEXPORT_HEIGHT="},
        // The other numbers take their key's default.
        {{"EXPORT_FRAMES=abc"}, "EXPORT_FRAMES=100"},
        {{"EXPORT_FRAMES=007"}, "EXPORT_FRAMES=7"},
        {{"EXPORT_FRAMES="}, "EXPORT_FRAMES=100"},
        {{"JPEG_QUALITY=abc"}, "JPEG_QUALITY=90"},
        {{"JPEG_QUALITY=0"}, "JPEG_QUALITY=1"},
        {{"JPEG_QUALITY=500"}, "JPEG_QUALITY=100"},
        {{"BACKGROUND_COLOR=abc"}, "BACKGROUND_COLOR=0"},
        {{"BACKGROUND_COLOR=4294967295"}, "BACKGROUND_COLOR=0"},
        {{"BACKGROUND_COLOR=-16777216"}, "BACKGROUND_COLOR=-16777216"},
        {{"ROTATE=135"}, "ROTATE=90"},
        {{"EXPORT_TYPE=gif"}, "EXPORT_TYPE=JPEG"},
        // Keyframe values: the leading number of each cell, 0 for none, kept to 15 digits.
        {{"TUNE_POINT=a,junk, 3.50,1e7,,-0,12x,.5"}, "TUNE_POINT=a,0,3.5,10000000,0,0,12,0.5"},
        {{"TUNE_POINT=a,0.12345678901234567,-1e-400"}, "TUNE_POINT=a,0.123456789012346,0,0,0,0,0,0"},
        {{"TUNE_POINT=a,1"}, "TUNE_POINT=a,1,0,0,0,0,0,0"},
        {{"TUNE_POINT=a,1,2,3,4,5,6,7,8"}, "TUNE_POINT=a,1,2,3,4,5,6,7,8"},  // the path is "a,1"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines[0]);
        const Project p = Read(Lines(c.lines));
        const std::string written = WriteProjectText(p);
        EXPECT_NE(("\n" + written).find("\n" + c.written + "\r\n"), std::string::npos) << written;
        // Read once, the project is what its own file gives back.
        EXPECT_TRUE(Read(written) == p);
        EXPECT_EQ(WriteProjectText(Read(written)), written);
    }
}

TEST(ProjectReader, BackgroundColour) {
    EXPECT_EQ(Read(Lines({"BACKGROUND_COLOR=255"})).backgroundColor, 255u);
    EXPECT_EQ(Read(Lines({"BACKGROUND_COLOR=-1"})).backgroundColor, 0xFFFFFFFFu);
    EXPECT_EQ(Read(Lines({"BACKGROUND_COLOR=abc"})).backgroundColor, 0u);
    // Missing: the colour is not part of what New resets.
    Project p;
    p.backgroundColor = 0x123;
    New(p, "");
    ReadProjectText("", p);
    EXPECT_EQ(p.backgroundColor, 0x123u);
}

TEST(ProjectReader, TunePointFields) {
    struct Case {
        const char* line;
        Keyframe keyframe;
    };
    const Case cases[] = {
        {"TUNE_POINT=/a.jpg,1,2", {"/a.jpg", {1, 2, 0, 0, 0, 0, 0}}},
        {"TUNE_POINT=", {"", {}}},
        {"TUNE_POINT=/a.jpg,1,2,3,4,5,6,7", {"/a.jpg", {1, 2, 3, 4, 5, 6, 7}}},
        {"TUNE_POINT=/x,y/a.jpg,1,2,3,4,5,6,7", {"/x,y/a.jpg", {1, 2, 3, 4, 5, 6, 7}}},
        {"TUNE_POINT=a,b,,c,1,2,3,4,5,6,7", {"a,b,,c", {1, 2, 3, 4, 5, 6, 7}}},
        {"TUNE_POINT=,,,,,,,,", {",", {}}},
        {"TUNE_POINT=p,1,2,3", {"p", {1, 2, 3, 0, 0, 0, 0}}},
    };
    for (const auto& c : cases) EXPECT_EQ(Read(Lines({c.line})).keyframes, Keyframes{c.keyframe}) << c.line;
}

TEST(ProjectReader, RepeatedKeysLastWinsListsAccumulate) {
    Project p = Read(Lines({"SOURCE=a", "CROP_LEFT=1", "CROP_TOP=0", "CROP_WIDTH=5", "CROP_HEIGHT=5", "SOURCE=b",
                            "CROP_LEFT=2", "TUNE_POINT=a,1", "TUNE_POINT=a,2", "EXPORT_DIR=/x", "EXPORT_DIR=/y"}));
    EXPECT_EQ(p.sources, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(p.crop, (CropArea{2, 0, 5, 5}));
    EXPECT_EQ(p.keyframes.size(), 2u);
    EXPECT_EQ(p.exportSettings.directory, "/y");
    // Both keyframes land on frame 0; the later one's values show.
    EXPECT_EQ(ProjectFrames(p)[0].values[kDX], 2);
}

TEST(ProjectReader, OpenResetsTheExportPresetsFirst) {
    Project p;
    p.exportSettings = {5, "/d", 1, 33, 640, 480, false, false, true, true};
    New(p, "/new");
    ReadProjectText(Lines({"SOURCE=a"}), p);
    EXPECT_EQ(p.exportSettings, (ExportSettings{100, "/new", 0, 90, 0, 0, true, true, false, false}));
}

TEST(ProjectReader, NoSourcesLeavesTheViewsOff) {
    Project p = Read(Lines({"ROTATE=90", "LAST_FRAME=5", "FIRST_FRAME=3", "TUNE_POINT=a,1,2,3,4,5,6,7"}));
    EXPECT_TRUE(p.sources.empty());
    EXPECT_FALSE(p.imagesLoaded());
    EXPECT_EQ(p.firstFrame, 0);
    EXPECT_EQ(p.lastFrame, 0);
    EXPECT_EQ(ProjectFrames(p), FrameRows(1));
    EXPECT_EQ(p.keyframes.size(), 1u);  // kept for when its image comes back
}

TEST(ProjectReader, LineEndingsAndByteOrderMark) {
    const std::string expected = WriteProjectText(Read(Lines(kExampleLines)));
    std::string lf;
    for (const auto& line : kExampleLines) lf += line + "\n";
    EXPECT_EQ(WriteProjectText(Read(lf)), expected);
    std::string noFinalBreak = Lines(kExampleLines);
    noFinalBreak.resize(noFinalBreak.size() - 2);
    EXPECT_EQ(WriteProjectText(Read(noFinalBreak)), expected);
    EXPECT_EQ(WriteProjectText(Read("\xEF\xBB\xBF" + Lines(kExampleLines))), expected);
    // Only one trailing CR belongs to the line break.
    EXPECT_EQ(Read("SOURCE=a\r\r\n").sources, (std::vector<std::string>{"a\r"}));
}

// Any bytes open, and what they open to is what its own file gives back: the first save canonicalises,
// later ones write the same bytes.
TEST(ProjectReader, NeverFailsAndTheFirstWriteIsFinal) {
    std::mt19937 random(12345);
    const std::vector<std::string> keys = {
        "SOURCE=",       "ROTATE=",        "CROP_LEFT=",    "CROP_TOP=",        "CROP_WIDTH=",
        "CROP_HEIGHT=",  "FIRST_FRAME=",   "LAST_FRAME=",   "TUNE_POINT=",      "EXPORT_FRAMES=",
        "EXPORT_WIDTH=", "EXPORT_HEIGHT=", "JPEG_QUALITY=", "BACKGROUND_COLOR="};
    const std::string alphabet = "0123456789-+.eE ,x\r";
    for (int round = 0; round < 600; ++round) {
        std::string bytes;
        if (round % 3 == 0) {
            bytes.resize(static_cast<std::size_t>(random() % 4096));
            for (char& c : bytes) c = static_cast<char>(random());
        } else {
            // Real keys with values made of number characters, so the value parsers see near misses.
            for (int line = static_cast<int>(random() % 30); line > 0; --line) {
                bytes += keys[random() % keys.size()];
                for (int i = static_cast<int>(random() % 24); i > 0; --i) bytes += alphabet[random() % alphabet.size()];
                bytes += random() % 2 ? "\r\n" : "\n";
            }
        }
        SCOPED_TRACE(round);
        Project p;
        EXPECT_NO_THROW(p = Read(bytes));
        EXPECT_GE(p.rotationIndex, 0);
        EXPECT_LE(p.rotationIndex, 3);
        EXPECT_LE(p.firstFrame, p.lastFrame);
        const std::string written = WriteProjectText(p);
        ASSERT_TRUE(Read(written) == p) << written;
        ASSERT_EQ(WriteProjectText(Read(written)), written);
    }
}

TEST(ProjectReader, TenMegabyteLines) {
    const std::string big(10 << 20, 'x');
    Project p = Read("SOURCE=" + big + "\r\nTUNE_POINT=" + std::string(10 << 20, ',') +
                     "\r\nEXPORT_FRAMES=" + std::string(10 << 20, '9') + "\r\nROTATE=" + std::string(10 << 20, '1'));
    ASSERT_EQ(p.sources.size(), 1u);
    EXPECT_EQ(p.sources[0].size(), big.size());
    ASSERT_EQ(p.keyframes.size(), 1u);
    EXPECT_EQ(p.keyframes[0].path.size(), (10u << 20) - 7);
    EXPECT_EQ(p.exportSettings.frames, 100);
    EXPECT_EQ(p.rotationIndex, 0);
}

// A project with every value away from its default, paths with commas, spaces and Cyrillic letters.
Project RichProject() {
    Project p;
    New(p, "/out/рез ультат,1");
    p.sources = {"/home/юзер/фото 1/кадр,01.jpg", "/tmp/b b.png", "/tmp/c.bmp", "/tmp/b b.png", "/d/e,f,g.JPG"};
    p.rotationIndex = 3;
    p.crop = CropArea{12, 7, 640, 480};
    p.firstFrame = 1;
    p.lastFrame = 4;
    p.backgroundColor = 0x00102030;
    ChangeKeyframe(p.keyframes, p.sources[0], {1, 2, 3, 4, 5, 6, 7});  // out of range, still stored
    ChangeKeyframe(p.keyframes, p.sources[1], {6.66667, -2.5, 0.1 + 0.2, -1000, 100, -100, 2.0 / 3.0});
    ChangeKeyframe(p.keyframes, p.sources[4], {12.5, 1e-7, -180, 0, 0.00001, 33, -33});
    p.exportSettings = {250, "/out/рез ультат,1", 1, 77, 1024, 768, false, false, true, true};
    return p;
}

TEST(ProjectFile, SaveOpenRoundTrip) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const Project saved = RichProject();
    const std::string name = folder.file("тур, 1.trn.prj");
    ASSERT_TRUE(SaveProject(saved, name).ok());

    Project opened;
    opened.backgroundColor = 0;
    opened.keyframes = {{"left over", {}}};
    Status status = OpenProject(opened, name, "/elsewhere");
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(WriteProjectText(opened), WriteProjectText(saved));
    EXPECT_TRUE(opened == saved);
    EXPECT_EQ(opened.keyframes[1].path, "/tmp/b b.png");
    EXPECT_EQ(opened.keyframes[2].path, "/d/e,f,g.JPG");
    // The same bytes come out again.
    ASSERT_TRUE(SaveProject(opened, folder.file("again.trn.prj")).ok());
    EXPECT_EQ(ReadBytes(folder.file("again.trn.prj")), ReadBytes(name));

    // So does a new project's file.
    Project fresh;
    New(fresh, "/opt/turnlet/result");
    EXPECT_TRUE(Read(WriteProjectText(fresh)) == fresh);
}

// Projects made of random values the editor can hold: written and read back, each is itself again.
TEST(ProjectFile, RandomProjectsReadBackAsWritten) {
    std::mt19937 random(99);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const std::vector<std::string> names = {"/a/x.jpg", "/a/y,z.png", "C:\\p\\q.bmp", "/фото/к 1.JPG", "", " ", "="};
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        Project p;
        New(p, names[static_cast<std::size_t>(pick(0, 6))]);
        for (int i = pick(0, 8); i > 0; --i) p.sources.push_back(names[static_cast<std::size_t>(pick(0, 6))]);
        p.rotationIndex = pick(0, 3);
        if (pick(0, 1)) p.crop = CropArea{pick(-10, 5000), pick(INT_MIN, INT_MAX), pick(0, 9000), pick(-1, 9000)};
        SetLastFrame(p, pick(0, 9));
        SetFirstFrame(p, pick(0, 9));
        p.backgroundColor = static_cast<Color>(random());
        for (int i = pick(0, 5); i > 0; --i) {
            KeyframeValues values;
            for (double& v : values)
                v = std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random), pick(-40, 60));
            ChangeKeyframe(p.keyframes, names[static_cast<std::size_t>(pick(0, 6))] + std::to_string(pick(0, 2)),
                           values);
        }
        ExportSettings& ex = p.exportSettings;
        ex = {pick(-5, 100000),
              ex.directory,
              pick(0, 2),
              pick(1, 100),
              pick(0, 1) ? pick(1, 8000) : 0,
              pick(0, 1) ? pick(1, 8000) : 0,
              pick(0, 1) == 1,
              pick(0, 1) == 1,
              pick(0, 1) == 1,
              pick(0, 1) == 1};
        const std::string written = WriteProjectText(p);
        ASSERT_TRUE(Read(written) == p) << written;
        ASSERT_EQ(WriteProjectText(Read(written)), written);
    }
}

TEST(ProjectFile, SaveWritesCrLfLinesUnderTheGivenName) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    Project p = RichProject();
    ASSERT_TRUE(SaveProject(p, folder.file("X.TRN.PRJ")).ok());
    const std::string bytes = ReadBytes(folder.file("X.TRN.PRJ"));
    EXPECT_EQ(bytes, WriteProjectText(p));
    std::size_t lf = 0, crlf = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') continue;
        ++lf;
        if (i > 0 && bytes[i - 1] == '\r') ++crlf;
    }
    EXPECT_EQ(lf, crlf);
    EXPECT_EQ(lf, 5u + 3u + 16u + 2u);  // sources, keyframes, the sixteen fixed keys, the two later options
    // The caller chooses the name: no extension is added here.
    ASSERT_TRUE(SaveProject(p, folder.file("plain")).ok());
    EXPECT_EQ(ReadBytes(folder.file("plain")), bytes);
    EXPECT_FALSE(std::filesystem::exists(folder.file("plain.trn.prj")));
}

TEST(ProjectFile, FailedSaveNamesTheFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    WriteBytes(folder.file("plain"), "a file, not a folder");
    const std::string target = folder.file("plain/shot.trn.prj");
    Status status = SaveProject(RichProject(), target);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), target);
    EXPECT_NE(status.message().find(target), std::string::npos);
    EXPECT_FALSE(SaveProject(RichProject(), "").ok());
}

TEST(ProjectFile, LineBreaksInValuesAreRefusedNotWritten) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string name = folder.file("p.trn.prj");
    WriteBytes(name, "old");
    const std::function<void(Project&)> breaks[] = {
        [](Project& p) { p.sources[2] = "/tmp/evil\r\nFIRST_FRAME=9.jpg"; },
        [](Project& p) { p.exportSettings.directory = "/out\nSOURCE=/x"; },
        [](Project& p) { p.keyframes[0].path = "k\n"; },
        [](Project& p) { p.sources[0] = "a\r"; },
    };
    for (const auto& spoil : breaks) {
        Project p = RichProject();
        spoil(p);
        Status status = SaveProject(p, name);
        EXPECT_FALSE(status.ok());
        EXPECT_EQ(status.file(), name);
        EXPECT_EQ(ReadBytes(name), "old");
    }
}

TEST(ProjectFile, UnreadableFileLeavesTheProjectUntouched) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    Project p = RichProject();
    const Project before = p;
    const std::string huge = folder.file("huge.trn.prj");
    WriteBytes(huge, std::string(kMaxProjectFileBytes + 1, '\n'));
    for (const std::string& path : {folder.file("missing.trn.prj"), folder.path(), huge}) {
        Status status = OpenProject(p, path, "/elsewhere");
        EXPECT_FALSE(status.ok()) << path;
        EXPECT_EQ(status.file(), path);
        EXPECT_TRUE(p == before);
    }
}

}  // namespace
}  // namespace turnlet
