// SPDX-License-Identifier: MIT
// Project file: writer order and texts, reader rules and defaults, Save/Open, round trips, hostile input.
#include <gtest/gtest.h>

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

Project Read(const std::string& text) {
    Project p;
    p.programDir = "/opt/turnlet";
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
    p.sources = {"C:\\shots\\a01.jpg", "C:\\shots\\a02.jpg"};
    p.rotationIndex = 1;
    p.lastFrame = 1;
    AddKeyframe(p.keyframes, "C:\\shots\\a02.jpg", {3.5, -2, 1, 0, 10, 0, 0});
    p.exportSettings.directory = "C:\\out\\result";
    p.exportSettings.widthText = "800";
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
    for (const auto& [index, name] : {std::pair{3, "WEBP"}, {4, "AVIF"}, {5, "JPEG"}}) {
        Project typed = p;
        typed.exportSettings.typeIndex = index;
        EXPECT_NE(WriteProjectText(typed).find(std::string("\r\nEXPORT_TYPE=") + name + "\r\n"), std::string::npos);
    }
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
    EXPECT_EQ(p.crop, CropTexts{});
    EXPECT_FALSE(p.cropOutlineVisible);
    EXPECT_EQ(p.firstFrame, 0);
    EXPECT_EQ(p.lastFrame, 1);
    EXPECT_EQ(p.backgroundColor, 16777215u);
    ASSERT_EQ(p.keyframes.rowCount(), 2);
    EXPECT_EQ(p.keyframes.row(1),
              (std::vector<std::string>{"C:\\shots\\a02.jpg", "3.5", "-2", "1", "0", "10", "0", "0"}));
    EXPECT_EQ(p.exportSettings, (ExportSettings{"100", "C:\\out\\result", 0, 90, "800", "", true, true}));
    EXPECT_TRUE(p.imagesLoaded);
    // Derived tables: the one keyframe holds on both frames, the slider and list follow.
    ASSERT_EQ(p.frames.rowCount(), 3);
    EXPECT_EQ(p.frames.row(1), (std::vector<std::string>{"0", "", "3.5", "-2", "1", "0", "10", "0", "0"}));
    EXPECT_EQ(p.frames.row(2), (std::vector<std::string>{"1", "Y", "3.5", "-2", "1", "0", "10", "0", "0"}));
    EXPECT_EQ(p.interlaceEntries, (std::vector<std::string>{" ", "0", "1"}));
    EXPECT_EQ(p.sliderMaximum, 1);
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
    EXPECT_EQ(writerOrder.frames.rowCount(), 27);
    EXPECT_EQ(writerOrder.sliderMaximum, 25);

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
    const std::string dir = "/opt/turnlet/result";
    const Case cases[] = {
        {{}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_FRAMES=abc"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_FRAMES=007"}, {"7", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_FRAMES=-3"}, {"-3", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_TYPE=png"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_TYPE=PNG"}, {"100", dir, 1, 90, "", "", true, true}},
        {{"EXPORT_TYPE=BMP"}, {"100", dir, 2, 90, "", "", true, true}},
        {{"EXPORT_TYPE=WEBP"}, {"100", dir, 3, 90, "", "", true, true}},
        {{"EXPORT_TYPE=AVIF"}, {"100", dir, 4, 90, "", "", true, true}},
        {{"EXPORT_TYPE=avif"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_TYPE=PNG "}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_TYPE=BMP", "EXPORT_TYPE=JPEG"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"JPEG_QUALITY=abc"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"JPEG_QUALITY=0"}, {"100", dir, 0, 1, "", "", true, true}},
        {{"JPEG_QUALITY=500"}, {"100", dir, 0, 100, "", "", true, true}},
        {{"EXPORT_DIR=", "EXPORT_WIDTH=abc", "EXPORT_HEIGHT= 5"}, {"100", "", 0, 90, "abc", " 5", true, true}},
        {{"HTML5_VIEWER=0"}, {"100", dir, 0, 90, "", "", true, false}},
        {{"HTML5_VIEWER=00"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"HTML5_VIEWER=no"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"HTML5_VIEWER=0 "}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_PROPORTIONAL=0"}, {"100", dir, 0, 90, "", "", false, true}},
        {{"EXPORT_PROPORTIONAL=false"}, {"100", dir, 0, 90, "", "", true, true}},
        // The later options: only the exact line turns one on.
        {{"EXPORT_EXTRA_SIZES=1"}, {"100", dir, 0, 90, "", "", true, true, true, false}},
        {{"EXPORT_SMOOTH=1"}, {"100", dir, 0, 90, "", "", true, true, false, true}},
        {{"EXPORT_SMOOTH=1", "EXPORT_EXTRA_SIZES=1"}, {"100", dir, 0, 90, "", "", true, true, true, true}},
        {{"EXPORT_SMOOTH=0"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_SMOOTH=yes"}, {"100", dir, 0, 90, "", "", true, true}},
        {{"EXPORT_EXTRA_SIZES=1 "}, {"100", dir, 0, 90, "", "", true, true}},
    };
    for (const auto& c : cases) {
        Project p = Read(Lines(c.lines));
        EXPECT_EQ(p.exportSettings, c.expected) << (c.lines.empty() ? "" : c.lines[0]);
    }
}

TEST(ProjectReader, BackgroundColour) {
    EXPECT_EQ(Read(Lines({"BACKGROUND_COLOR=255"})).backgroundColor, 255u);
    EXPECT_EQ(Read(Lines({"BACKGROUND_COLOR=-1"})).backgroundColor, 0xFFFFFFFFu);
    EXPECT_EQ(Read(Lines({"BACKGROUND_COLOR=abc"})).backgroundColor, 0u);
    // Missing: the colour is not part of what New resets.
    Project p;
    p.backgroundColor = 0x123;
    ReadProjectText("", p);
    EXPECT_EQ(p.backgroundColor, 0x123u);
}

TEST(ProjectReader, TunePointFields) {
    struct Case {
        const char* line;
        std::vector<std::string> cells;
    };
    const Case cases[] = {
        {"TUNE_POINT=/a.jpg,1,2", {"/a.jpg", "1", "2", "", "", "", "", ""}},
        {"TUNE_POINT=", {"", "", "", "", "", "", "", ""}},
        {"TUNE_POINT=/a.jpg,1,2,3,4,5,6,7", {"/a.jpg", "1", "2", "3", "4", "5", "6", "7"}},
        {"TUNE_POINT=/x,y/a.jpg,1,2,3,4,5,6,7", {"/x,y/a.jpg", "1", "2", "3", "4", "5", "6", "7"}},
        {"TUNE_POINT=a,b,,c,1,2,3,4,5,6,7", {"a,b,,c", "1", "2", "3", "4", "5", "6", "7"}},
        {"TUNE_POINT=,,,,,,,,", {",", "", "", "", "", "", "", ""}},
        {"TUNE_POINT=p,1,2,3", {"p", "1", "2", "3", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        Project p = Read(Lines({c.line}));
        ASSERT_EQ(p.keyframes.rowCount(), 2) << c.line;
        EXPECT_EQ(p.keyframes.row(1), c.cells) << c.line;
    }
}

TEST(ProjectReader, RepeatedKeysLastWinsListsAccumulate) {
    Project p = Read(Lines({"SOURCE=a", "CROP_LEFT=1", "SOURCE=b", "CROP_LEFT=2", "TUNE_POINT=a,1", "TUNE_POINT=a,2",
                            "EXPORT_DIR=/x", "EXPORT_DIR=/y"}));
    EXPECT_EQ(p.sources, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(p.crop.left, "2");
    EXPECT_EQ(p.keyframes.rowCount(), 3);
    EXPECT_EQ(p.exportSettings.directory, "/y");
    // Both rows share frame 0; the later one's values show.
    EXPECT_EQ(p.frames.at(1, 2), "2");
}

TEST(ProjectReader, CropRectangleOnlyWhenAllFourAreSet) {
    Project p;
    p.cropRect = {1, 2, 3, 4};
    p.cropOutlineVisible = true;
    ReadProjectText(Lines({"SOURCE=a", "CROP_LEFT=10", "CROP_TOP=20", "CROP_WIDTH=", "CROP_HEIGHT=30"}), p);
    EXPECT_EQ(p.cropRect, (CropRect{1, 2, 3, 4}));
    EXPECT_FALSE(p.cropOutlineVisible);

    ReadProjectText(Lines({"SOURCE=a", "CROP_LEFT=10", "CROP_TOP=20", "CROP_WIDTH=abc", "CROP_HEIGHT=30"}), p);
    EXPECT_EQ(p.cropRect, (CropRect{10, 20, 109, 49}));
    EXPECT_TRUE(p.cropOutlineVisible);
    EXPECT_EQ(p.crop.width, "abc");  // the text itself is kept as it is
}

TEST(ProjectReader, OpenResetsTheExportPresetsFirst) {
    Project p;
    p.exportSettings = {"5", "/d", 1, 33, "640", "480", false, false, true, true};
    ReadProjectText(Lines({"SOURCE=a"}), p);
    EXPECT_FALSE(p.exportSettings.extraSizes);
    EXPECT_FALSE(p.exportSettings.smooth);
    EXPECT_EQ(p.exportSettings.jpegQuality, 90);
    EXPECT_EQ(p.exportSettings.widthText, "");
    EXPECT_EQ(p.exportSettings.heightText, "");
    EXPECT_TRUE(p.exportSettings.proportional);
    EXPECT_TRUE(p.exportSettings.html5Viewer);
    EXPECT_EQ(p.exportSettings.framesText, "100");
    EXPECT_EQ(p.exportSettings.typeIndex, 0);
}

TEST(ProjectReader, NoSourcesLeavesTheViewsOff) {
    Project p = Read(Lines({"ROTATE=90", "LAST_FRAME=5", "FIRST_FRAME=3", "TUNE_POINT=a,1,2,3,4,5,6,7"}));
    EXPECT_TRUE(p.sources.empty());
    EXPECT_FALSE(p.imagesLoaded);
    EXPECT_EQ(p.firstFrame, 0);
    EXPECT_EQ(p.lastFrame, 0);
    EXPECT_EQ(p.frames.rowCount(), 2);
    EXPECT_EQ(p.frames.row(1), (std::vector<std::string>{"0", "", "0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(p.keyframes.rowCount(), 2);  // kept for when its image comes back
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

TEST(ProjectReader, NeverFails) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 4096), '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        // Mix in real keys so that the value parsers see garbage too.
        if (round % 2) bytes = "SOURCE=x\nLAST_FRAME=" + bytes + "\nTUNE_POINT=" + bytes + "\nROTATE=" + bytes;
        Project p;
        EXPECT_NO_THROW(ReadProjectText(bytes, p));
        EXPECT_GE(p.rotationIndex, 0);
        EXPECT_LE(p.rotationIndex, 3);
        EXPECT_LE(p.firstFrame, p.lastFrame);
    }
}

TEST(ProjectReader, TenMegabyteLines) {
    const std::string big(10 << 20, 'x');
    Project p = Read("SOURCE=" + big + "\r\nTUNE_POINT=" + std::string(10 << 20, ',') +
                     "\r\nEXPORT_FRAMES=" + std::string(10 << 20, '9') + "\r\nROTATE=" + std::string(10 << 20, '1'));
    ASSERT_EQ(p.sources.size(), 1u);
    EXPECT_EQ(p.sources[0].size(), big.size());
    EXPECT_EQ(p.keyframes.at(1, 0).size(), (10u << 20) - 7);
    EXPECT_EQ(p.exportSettings.framesText, "100");
    EXPECT_EQ(p.rotationIndex, 0);
}

// A project with every value away from its default, paths with commas, spaces and Cyrillic letters.
Project RichProject() {
    Project p;
    p.programDir = "/opt/turnlet";
    p.sources = {"/home/юзер/фото 1/кадр,01.jpg", "/tmp/b b.png", "/tmp/c.bmp", "/tmp/b b.png", "/d/e,f,g.JPG"};
    p.rotationIndex = 3;
    p.crop = {"12", "7", "640", "480"};
    p.firstFrame = 1;
    p.lastFrame = 4;
    p.backgroundColor = 0x00102030;
    AddKeyframe(p.keyframes, p.sources[0], {1, 2, 3, 4, 5, 6, 7});  // out of range, still stored
    AddKeyframe(p.keyframes, p.sources[1], {6.66667, -2.5, 0.1 + 0.2, -1000, 100, -100, 2.0 / 3.0});
    AddKeyframe(p.keyframes, p.sources[4], {12.5, 1e-7, -180, 0, 0.00001, 33, -33});
    p.exportSettings = {"250", "/out/рез ультат,1", 1, 77, "1024", "768", false, false};
    p.imagesLoaded = true;
    RestoreKeyframes(p);
    Recalculatepositions1Click(p);
    ApplyCropTexts(p);
    return p;
}

void ExpectSameProject(const Project& a, const Project& b) {
    EXPECT_EQ(a.sources, b.sources);
    EXPECT_EQ(a.rotationIndex, b.rotationIndex);
    EXPECT_EQ(a.crop, b.crop);
    EXPECT_EQ(a.cropRect, b.cropRect);
    EXPECT_EQ(a.cropOutlineVisible, b.cropOutlineVisible);
    EXPECT_EQ(a.firstFrame, b.firstFrame);
    EXPECT_EQ(a.lastFrame, b.lastFrame);
    EXPECT_EQ(a.backgroundColor, b.backgroundColor);
    EXPECT_EQ(a.keyframes, b.keyframes);
    EXPECT_EQ(a.frames, b.frames);
    EXPECT_EQ(a.exportSettings, b.exportSettings);
    EXPECT_EQ(a.imagesLoaded, b.imagesLoaded);
    EXPECT_EQ(a.interlaceEntries, b.interlaceEntries);
    EXPECT_EQ(a.sliderMaximum, b.sliderMaximum);
}

TEST(ProjectFile, SaveOpenRoundTrip) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    Project saved = RichProject();
    ASSERT_TRUE(SaveProject(saved, folder.file("тур, 1")).ok());
    const std::string name = folder.file("тур, 1.trn.prj");
    EXPECT_EQ(saved.saveFileName, name);
    EXPECT_EQ(saved.currentProjectFile, name);
    EXPECT_EQ(saved.caption, "Turnlet - " + name);

    Project opened;
    opened.programDir = "/opt/turnlet";
    opened.backgroundColor = 0;
    opened.cropRect = {9, 9, 9, 9};
    Status status = OpenProject(opened, name);
    ASSERT_TRUE(status.ok()) << status.message();
    ExpectSameProject(saved, opened);
    EXPECT_EQ(opened.saveFileName, name);
    EXPECT_EQ(opened.currentProjectFile, name);
    EXPECT_EQ(opened.caption, "Turnlet - " + name);
    EXPECT_EQ(opened.keyframes.at(2, 0), "/tmp/b b.png");
    EXPECT_EQ(opened.keyframes.at(3, 0), "/d/e,f,g.JPG");
    // The same bytes come out again.
    EXPECT_EQ(WriteProjectText(opened), ReadBytes(name));
}

TEST(ProjectFile, SaveWritesCrLfLinesUnderTheForcedName) {
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
    EXPECT_EQ(lf, 5u + 3u + 16u);  // sources, keyframes, the sixteen fixed keys
}

TEST(ProjectFile, FailedSaveKeepsCaptionAndCurrentFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    WriteBytes(folder.file("plain"), "a file, not a folder");
    Project p = RichProject();
    p.currentProjectFile = "/old.trn.prj";
    p.caption = "Turnlet - /old.trn.prj";
    const std::string target = folder.file("plain/shot");
    Status status = SaveProject(p, target);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), target + ".trn.prj");
    EXPECT_NE(status.message().find(target), std::string::npos);
    EXPECT_EQ(p.currentProjectFile, "/old.trn.prj");
    EXPECT_EQ(p.caption, "Turnlet - /old.trn.prj");
    EXPECT_EQ(p.saveFileName, target + ".trn.prj");
    EXPECT_FALSE(SaveProject(p, "").ok());
}

TEST(ProjectFile, LineBreaksInValuesAreRefusedNotWritten) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string name = folder.file("p.trn.prj");
    WriteBytes(name, "old");
    Project p = RichProject();
    p.sources[2] = "/tmp/evil\r\nFIRST_FRAME=9.jpg";
    Status status = SaveProject(p, name);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), name);
    EXPECT_EQ(ReadBytes(name), "old");

    p = RichProject();
    p.exportSettings.directory = "/out\nSOURCE=/x";
    EXPECT_FALSE(SaveProject(p, name).ok());
    p = RichProject();
    p.keyframes.set(1, 0, "k\n");
    EXPECT_FALSE(SaveProject(p, name).ok());
    EXPECT_EQ(ReadBytes(name), "old");
}

TEST(ProjectFile, UnreadableFileLeavesTheProjectUntouched) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    Project p = RichProject();
    p.saveFileName = "/keep.trn.prj";
    const std::string before = WriteProjectText(p);
    for (const std::string& path : {folder.file("missing.trn.prj"), folder.path()}) {
        Status status = OpenProject(p, path);
        EXPECT_FALSE(status.ok()) << path;
        EXPECT_EQ(status.file(), path);
        EXPECT_EQ(WriteProjectText(p), before);
        EXPECT_EQ(p.saveFileName, "/keep.trn.prj");
    }
    const std::string huge = folder.file("huge.trn.prj");
    WriteBytes(huge, std::string(kMaxProjectFileBytes + 1, '\n'));
    EXPECT_FALSE(OpenProject(p, huge).ok());
    EXPECT_EQ(WriteProjectText(p), before);
}

TEST(ProjectFile, SaveRightAfterNewHasNoName) {
    Project p = RichProject();
    p.saveFileName = "/last.trn.prj";
    New(p);
    EXPECT_TRUE(p.saveFileName.empty());
    EXPECT_EQ(WriteProjectText(p), WriteProjectText(Read(WriteProjectText(p))));
}

}  // namespace
}  // namespace turnlet
