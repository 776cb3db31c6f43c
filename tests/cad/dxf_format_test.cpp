// The file format below the model: ASCII line forms, binary DXF (R12 with
// one-byte group codes, later versions with two), code pages and escapes,
// and saving to disk (atomic, with the previous file kept as .bak).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

#include "cad/drawing.hpp"
#include "cad/dxf/encoding.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf/tokenizer.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/dxf_test_util.hpp"
#include "cad/error.hpp"
#include "cad/file_lock.hpp"
#include "cad/platform.hpp"
#include "shell_util.hpp"

using namespace cad;
using namespace dxftest;
namespace fs = std::filesystem;

namespace {

std::vector<std::pair<int, std::string>> tagsOf(const TagStore& s) {
    std::vector<std::pair<int, std::string>> out;
    for (std::size_t i = 0; i < s.size(); ++i) out.emplace_back(s.code(i), s.value(i));
    return out;
}

// Control characters and carets: read from their caret form, written back in it.
TEST(Carets, ControlCharactersAndCaretsUseTheCaretForm) {
    const std::string file = dxf(concat({header("AC1015", "ANSI_1251", "100"), layerTable({"0"}),
                                         entities({{0, "TEXT"},
                                                   {5, "A1"},
                                                   {8, "0"},
                                                   {10, "0"},
                                                   {20, "0"},
                                                   {40, "1"},
                                                   {1, "a^Ib^ c x^2 ^"}}),
                                         eof()}));
    Drawing d(readDxf(file));
    EntityRef t = d.entityByHandle("A1");
    EXPECT_EQ(t.textString(), "a\tb^c x^2 ^");
    EntityRef added = d.addText("5^2\tx", {0, 0, 0}, 1);
    const std::string saved = writeDxf(d.data());
    EXPECT_NE(saved.find("\n5^ 2^Ix\n"), std::string::npos);
    EXPECT_NE(saved.find("\na^Ib^ c x^2 ^\n"), std::string::npos);  // unchanged tags as read
    Drawing back(readDxf(saved));
    EXPECT_EQ(back.entityByHandle(added.handle()).textString(), "5^2\tx");
}

// ---- values longer than a short tag can measure -------------------------------

TEST(LongValues, SurviveReadingRepairAndSaving) {
    const std::string longText(70000, 'x');
    const std::string tail = std::string(65535, 'y');  // exactly the escape length
    // The second line has no handle: the repair pass copies the tags again.
    std::string file =
        dxf(concat({header("AC1015", "ANSI_1251", "100"), layerTable({"0"}),
                    entities({{0, "TEXT"}, {5, "A1"},     {8, "0"},     {10, "0"},  {20, "0"},
                              {40, "1"},   {1, longText}, {0, "MTEXT"}, {5, "A2"},  {8, "0"},
                              {10, "0"},   {20, "0"},     {3, tail},    {1, "end"}, {0, "LINE"},
                              {8, "0"},    {10, "0"},     {20, "0"},    {11, "1"},  {21, "1"}}),
                    eof()}));
    DrawingData d = readDxf(file);
    ASSERT_EQ(d.modelSpace.size(), 3u);
    EXPECT_EQ(geomAs<TextGeom>(d.entities[d.modelSpace[0].v].geom).text, longText);
    EXPECT_EQ(geomAs<MTextGeom>(d.entities[d.modelSpace[1].v].geom).text, tail + "end");
    const std::string saved = writeDxf(d);
    EXPECT_NE(saved.find("\n" + longText + "\n"), std::string::npos);
    DrawingData again = readDxf(saved);
    EXPECT_TRUE(again.issues.empty());
    EXPECT_EQ(writeDxf(again), saved);
}

// Values of every size side by side: short ones, a block that passes 64 KB
// half way through (its starts are kept whole from there), empty values at
// block ends; each tag must give back its own code and value.
TEST(LongValues, EveryTagKeepsItsValueAcrossBlocksOfEverySize) {
    TagStore s;
    std::vector<std::pair<int, std::string>> expected;
    for (int i = 0; i < 700; ++i) {
        std::size_t length = static_cast<std::size_t>((i * 37) % 11);
        if (i % 64 == 63) length = 0;
        if (i == 100 || i == 101) length = 40000;  // block 1 turns wide at its 38th tag
        if (i == 300) length = 70000;
        expected.emplace_back(i % 1072 - 5, std::string(length, static_cast<char>('a' + i % 26)));
        s.append(expected.back().first, expected.back().second);
    }
    ASSERT_EQ(s.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(s.code(i), expected[i].first) << i;
        ASSERT_EQ(s.value(i), expected[i].second) << i;
    }
}

// ---- ASCII line forms -------------------------------------------------------

struct AsciiCase {
    const char* name;
    std::string file;
    bool crlf;
};

class AsciiForms : public ::testing::TestWithParam<AsciiCase> {};

TEST_P(AsciiForms, GiveTheSameTagsWithValuesAsWritten) {
    TokenizedDxf t = tokenizeDxf(GetParam().file);
    EXPECT_EQ(t.crlf, GetParam().crlf);
    EXPECT_TRUE(t.sawEof);
    Tags expected{{0, "SECTION"},        {2, "ENTITIES"}, {0, "TEXT"},
                  {1, " два пробела  "}, {0, "ENDSEC"},   {0, "EOF"}};
    EXPECT_EQ(tagsOf(t.tags), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dxf, AsciiForms,
    ::testing::Values(
        AsciiCase{
            "Lf",
            "  0\nSECTION\n  2\nENTITIES\n  0\nTEXT\n  1\n два пробела  \n  0\nENDSEC\n  0\nEOF\n",
            false},
        AsciiCase{"Crlf",
                  "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nTEXT\r\n  1\r\n два пробела  \r\n"
                  "  0\r\nENDSEC\r\n  0\r\nEOF\r\n",
                  true},
        AsciiCase{"BomAndBlanksAroundCodes",
                  "\xEF\xBB\xBF"
                  "0 \nSECTION\n2\t\nENTITIES\n 0  \nTEXT\n   1\n два пробела  "
                  "\n0\nENDSEC\n0\nEOF",
                  false},
        AsciiCase{"BlankLinesAfterEof",
                  "0\nSECTION\n2\nENTITIES\n0\nTEXT\n1\n два пробела  \n0\nENDSEC\n0\nEOF\n\n\n",
                  false}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- binary DXF -------------------------------------------------------------

class Binary {
  public:
    explicit Binary(bool wideCodes) : wide_(wideCodes) { out_.assign(kBinarySentinel); }
    Binary& code(int c) {
        if (wide_) {
            put16(c);
        } else if (c < 255) {
            out_ += static_cast<char>(c);
        } else {
            out_ += '\xff';
            put16(c);
        }
        return *this;
    }
    Binary& str(int c, std::string_view v) {
        code(c);
        out_.append(v);
        out_ += '\0';
        return *this;
    }
    Binary& real(int c, double v) {
        code(c);
        char b[8];
        std::memcpy(b, &v, 8);
        out_.append(b, 8);
        return *this;
    }
    Binary& i16(int c, int v) {
        code(c);
        put16(v);
        return *this;
    }
    Binary& i32(int c, std::int32_t v) {
        code(c);
        for (int k = 0; k < 4; ++k) out_ += static_cast<char>((v >> (8 * k)) & 0xFF);
        return *this;
    }
    Binary& chunk(int c, std::string_view bytes) {
        code(c);
        out_ += static_cast<char>(bytes.size());
        out_.append(bytes);
        return *this;
    }
    const std::string& bytes() const { return out_; }

  private:
    void put16(int v) {
        out_ += static_cast<char>(v & 0xFF);
        out_ += static_cast<char>((v >> 8) & 0xFF);
    }
    bool wide_;
    std::string out_;
};

std::string binaryDrawing(bool wide, const char* version) {
    Binary b(wide);
    b.str(0, "SECTION").str(2, "HEADER").str(9, "$ACADVER").str(1, version);
    b.str(9, "$HANDSEED").str(5, "FF").str(0, "ENDSEC");
    b.str(0, "SECTION").str(2, "ENTITIES");
    b.str(0, "LINE").str(5, "1A").str(8, "0").i16(62, 3).real(10, 0.1).real(20, -2.5);
    b.real(30, 0).real(11, 1e20).real(21, 3).real(31, 0);
    b.i32(90, -7).str(1000 - 999 + 999, "c").chunk(310, "\x01\xAB");
    b.str(1001, "APP").str(1000, "a^b\nc").real(1040, 0.5);
    b.str(0, "ENDSEC").str(0, "EOF");
    return b.bytes();
}

class BinaryDxf : public ::testing::TestWithParam<bool> {};

TEST_P(BinaryDxf, ValuesBecomeTheTextOfAnAsciiFile) {
    bool wide = GetParam();
    DrawingData d = readDxf(binaryDrawing(wide, wide ? "AC1015" : "AC1009"));
    EXPECT_TRUE(d.binary);
    ASSERT_EQ(d.modelSpace.size(), 1u);
    const Entity& e = d.entities[d.modelSpace[0].v];
    EXPECT_EQ(e.handle, 0x1Au);
    EXPECT_EQ(e.color, 3);
    auto& g = geomAs<LineGeom>(e.geom);
    EXPECT_EQ(g.start, (Point3{0.1, -2.5, 0}));
    EXPECT_EQ(g.end, (Point3{1e20, 3, 0}));
    std::vector<std::string> values;
    for (std::size_t i = e.tagBegin; i < e.tagEnd; ++i) values.emplace_back(d.tags.value(i));
    std::vector<std::string> expected{"LINE", "1A", "0",  "3", "0.1",  "-2.5", "0",       "1e+20",
                                      "3",    "0",  "-7", "c", "01AB", "APP",  "a^ b^Jc", "0.5"};
    EXPECT_EQ(values, expected);

    // Saved as ASCII of the same version, the same tags.
    std::string ascii = writeDxf(d);
    TokenizedDxf back = tokenizeDxf(ascii);
    EXPECT_FALSE(back.binary);
    EXPECT_EQ(tagsOf(back.tags), tagsOf(d.tags));
    EXPECT_EQ(readDxf(ascii).version, wide ? "AC1015" : "AC1009");
}

TEST_P(BinaryDxf, CutShortIsRepaired) {
    std::string bytes = binaryDrawing(GetParam(), "AC1015");
    DrawingData d = readDxf(bytes.substr(0, bytes.size() - 9));
    ASSERT_FALSE(d.issues.empty());
    EXPECT_EQ(d.issues[0].code, "missing-endsec");
    EXPECT_EQ(d.issues[0].line, 0u);  // a binary file has no lines
    EXPECT_EQ(d.modelSpace.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Dxf, BinaryDxf, ::testing::Values(false, true), [](const auto& p) {
    return p.param ? "TwoByteCodes" : "R12OneByteCodes";
});

// ---- code pages -------------------------------------------------------------

struct DecodeCase {
    const char* name;
    std::string raw;
    const char* codepage;
    const char* utf8;
};

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, GivesUtf8) {
    EXPECT_EQ(decodeText(GetParam().raw, GetParam().codepage), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Dxf, Decoding,
    ::testing::Values(
        DecodeCase{"Ansi1251", "\xD2\xF0\xE0\xF1\xF1\xE0", "ANSI_1251", "Трасса"},
        DecodeCase{"Ansi1251LowerCaseName", "\xEA\xEE\xEB\xEE\xE4\xE5\xF6", "ansi_1251", "колодец"},
        DecodeCase{"Dos866", "\x8A\xAE\xAB\xAE\xA4\xA5\xE6", "DOS866", "Колодец"},
        DecodeCase{"Ansi1252", "trac\xE9", "ANSI_1252", "tracé"},
        DecodeCase{"MissingPageIsAnsi1252", "trac\xE9", "", "tracé"},
        DecodeCase{"MacRoman", "\x8E", "MAC-ROMAN", "é"},
        DecodeCase{"Dos932DoubleByte", "\x93\xFA\x96\x7B", "DOS932", "日本"},
        DecodeCase{"Utf8Kept", "Ø ∅ Ж", "UTF-8", "Ø ∅ Ж"},
        DecodeCase{"Utf8WithA1252ByteInside",
                   "a\xB0"
                   "b",
                   "UTF-8", "a°b"},
        DecodeCase{"UEscapes", "\\U+0422\\U+0440\\u+0430ssa", "ANSI_1252", "Траssa"},
        DecodeCase{"UEscapeSurrogatePair", "\\U+D83D\\U+DE00", "UTF-8", "\xF0\x9F\x98\x80"},
        DecodeCase{"UEscapeTooShortStays", "\\U+04", "UTF-8", "\\U+04"},
        DecodeCase{"MEscapeShiftJis", "\\M+193FA", "ANSI_1252", "日"},
        DecodeCase{"MEscapeUnknownPageStays", "\\M+993FA", "ANSI_1252", "\\M+993FA"}),
    [](const auto& p) { return std::string(p.param.name); });

struct EncodeCase {
    const char* name;
    const char* utf8;
    const char* codepage;
    std::string raw;
};

class Encoding : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Encoding, WritesThePageOrEscapes) {
    const EncodeCase& c = GetParam();
    std::string raw = encodeText(c.utf8, c.codepage);
    EXPECT_EQ(raw, c.raw);
    EXPECT_EQ(decodeText(raw, c.codepage), c.utf8);  // and back
}

INSTANTIATE_TEST_SUITE_P(
    Dxf, Encoding,
    ::testing::Values(EncodeCase{"Ansi1251", "Трасса", "ANSI_1251", "\xD2\xF0\xE0\xF1\xF1\xE0"},
                      EncodeCase{"CyrillicInto1252", "Ж-1", "ANSI_1252", "\\U+0416-1"},
                      EncodeCase{"DiameterInto1251", "∅110", "ANSI_1251", "\\U+2205110"},
                      EncodeCase{"OutsideTheBmp", "\xF0\x9F\x98\x80", "ANSI_1251",
                                 "\\U+D83D\\U+DE00"},
                      EncodeCase{"Utf8File", "Трасса ∅", "UTF-8", "Трасса ∅"},
                      EncodeCase{"ShiftJis", "日本", "DOS932", "\x93\xFA\x96\x7B"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CodePages, FileTextPageFollowsVersion) {
    EXPECT_EQ(fileTextCodepage("AC1021", "ANSI_1251"), "UTF-8");
    EXPECT_EQ(fileTextCodepage("AC1015", "ANSI_1251"), "ANSI_1251");
    EXPECT_EQ(fileTextCodepage("AC1015", "UNDEFINED"), "ANSI_1252");
    EXPECT_EQ(iconvName("ANSI_1251"), "CP1251");
    EXPECT_EQ(iconvName("dos866"), "CP866");
    EXPECT_EQ(iconvName("UNDEFINED"), "");
}

TEST(CodePages, AFileWithoutPageAndEightBitTextWarnsOnce) {
    std::string file =
        dxf(concat({header("AC1009"), layerTable({"0", "trac\xE9"}),
                    entities({{0, "TEXT"}, {8, "trac\xE9"}, {1, "\xE9t\xE9"}}), eof()}));
    // header() wrote no $DWGCODEPAGE
    DrawingData d = readDxf(file);
    ASSERT_EQ(d.issues.size(), 1u);
    EXPECT_EQ(d.issues[0].code, "no-codepage");
    EXPECT_EQ(d.codepage, "ANSI_1252");
    EXPECT_EQ(d.entities[d.modelSpace[0].v].layer, "tracé");
    EXPECT_EQ(geomAs<TextGeom>(d.entities[d.modelSpace[0].v].geom).text, "été");
}

TEST(CodePages, R2007AndLaterAreUtf8WhateverTheHeaderSays) {
    std::string file =
        dxf(concat({header("AC1021", "ANSI_1251"), layerTable({"0", "Трасса"}),
                    entities({{0, "TEXT"}, {5, "A"}, {8, "Трасса"}, {1, "∅110"}}), eof()}));
    DrawingData d = readDxf(file);
    EXPECT_TRUE(d.issues.empty());
    EXPECT_EQ(d.entities[d.modelSpace[0].v].layer, "Трасса");
    EXPECT_EQ(geomAs<TextGeom>(d.entities[d.modelSpace[0].v].geom).text, "∅110");
}

// ---- saving to disk ---------------------------------------------------------

class SaveFile : public ::testing::Test {
  protected:
    const testutil::ScratchDir dir_{"kv_save"};
};

TEST_F(SaveFile, KeepsThePreviousFileAsBakAndLeavesNoTemporaryFile) {
    std::string first = r12({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}});
    fs::path plan = dir_ / "plan.dxf";
    { std::ofstream(plan, std::ios::binary) << "old contents"; }
    DrawingData d = readDxf(first);
    writeDxfFile(d, plan);
    EXPECT_EQ(testutil::readText(plan), writeDxf(d));
    EXPECT_EQ(testutil::readText(dir_ / "plan.bak"), "old contents");
    writeDxfFile(d, plan);
    EXPECT_EQ(testutil::readText(dir_ / "plan.bak"), writeDxf(d));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.path)) ++files;
    EXPECT_EQ(files, 2u);  // plan.dxf and plan.bak, no temporary file left behind
}

TEST_F(SaveFile, SaveAsToANewNameMakesNoBak) {
    DrawingData d = readDxf(r12({}));
    writeDxfFile(d, dir_ / "new.dxf");
    EXPECT_TRUE(fs::exists(dir_ / "new.dxf"));
    EXPECT_FALSE(fs::exists(dir_ / "new.bak"));
}

TEST_F(SaveFile, FailuresAreClearAndLoseNothing) {
    DrawingData d = readDxf(r12({}));
    fs::path plan = dir_ / "plan.dxf";
    { std::ofstream(plan, std::ios::binary) << "precious"; }
    DrawingData empty;  // made in memory, never read: nothing to write from
    EXPECT_THROW(writeDxfFile(empty, plan), Error);
    EXPECT_EQ(testutil::readText(plan), "precious");
    try {
        writeDxfFile(d, dir_ / "missing-folder" / "plan.dxf");
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Не удалось сохранить"), std::string::npos);
    }
    EXPECT_EQ(testutil::readText(plan), "precious");
}

TEST_F(SaveFile, TheBackupIsNeverTheFileItself) {
    DrawingData d = readDxf(r12({}));
    const std::string text = writeDxf(d);
    // Saving a drawing over itself under a .bak name.
    fs::path bak = dir_ / "drawing.bak";
    { std::ofstream(bak, std::ios::binary) << "only copy"; }
    writeDxfFile(d, bak);
    EXPECT_EQ(testutil::readText(bak), text);
    EXPECT_EQ(testutil::readText(dir_ / "drawing.bak.bak"), "only copy");
    // The same whatever the case of the extension.
    fs::path upper = dir_ / "OLD.BAK";
    { std::ofstream(upper, std::ios::binary) << "upper"; }
    writeDxfFile(d, upper);
    EXPECT_EQ(testutil::readText(upper), text);
    EXPECT_EQ(testutil::readText(dir_ / "OLD.BAK.bak"), "upper");
    EXPECT_EQ(backupPath("a/plan.dxf"), fs::path("a/plan.bak"));
    EXPECT_EQ(backupPath("plan"), fs::path("plan.bak"));
}

TEST_F(SaveFile, AFailedSaveChangesNoFile) {
    DrawingData d = readDxf(r12({}));
    Block b;  // a new block, and the file has no BLOCKS section to take it
    b.name = "B";
    d.blocks.push_back(b);
    fs::path plan = dir_ / "plan.dxf";
    { std::ofstream(plan, std::ios::binary) << "current"; }
    { std::ofstream(dir_ / "plan.bak", std::ios::binary) << "previous"; }
    EXPECT_THROW(writeDxfFile(d, plan), Error);
    EXPECT_EQ(testutil::readText(plan), "current");
    EXPECT_EQ(testutil::readText(dir_ / "plan.bak"), "previous");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.path)) ++files;
    EXPECT_EQ(files, 2u);
}

TEST_F(SaveFile, KeepsModeAndWritesThroughLinks) {
    DrawingData d = readDxf(r12({}));
    fs::path plan = dir_ / "private.dxf";
    { std::ofstream(plan, std::ios::binary) << "old"; }
    fs::permissions(plan, fs::perms::owner_read | fs::perms::owner_write);
    writeDxfFile(d, plan);
    EXPECT_EQ(fs::status(plan).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write);

    fs::create_directory(dir_ / "real");
    fs::path target = dir_ / "real" / "plan.dxf";
    { std::ofstream(target, std::ios::binary) << "target"; }
    fs::path link = dir_ / "link.dxf";
    fs::create_symlink(fs::path("real") / "plan.dxf", link);
    writeDxfFile(d, link);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(testutil::readText(target), writeDxf(d));
    EXPECT_EQ(testutil::readText(dir_ / "real" / "plan.bak"), "target");
    EXPECT_FALSE(fs::exists(dir_ / "link.bak"));
}

TEST_F(SaveFile, RefusesAReadOnlyFile) {
    DrawingData d = readDxf(r12({}));
    fs::path plan = dir_ / "locked.dxf";
    { std::ofstream(plan, std::ios::binary) << "locked"; }
    fs::permissions(plan, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    try {
        writeDxfFile(d, plan);
        FAIL() << "a read-only file was replaced";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("защищён от записи"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testutil::readText(plan), "locked");
    EXPECT_FALSE(fs::exists(dir_ / "locked.bak"));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.path)) ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(SaveFile, ANameAtTheFileSystemLimitSaves) {
    DrawingData d = readDxf(r12({}));
    fs::path plan = dir_ / (std::string(250, 'p') + ".dxf");  // 254 bytes
    writeDxfFile(d, plan);
    writeDxfFile(d, plan);
    EXPECT_EQ(testutil::readText(plan), writeDxf(d));
    EXPECT_TRUE(fs::exists(dir_ / (std::string(250, 'p') + ".bak")));
}

// Killed in the middle (no destructor runs): a save and a conversion leave
// their temporary files, and the save its lock file.
void killedWhileWriting(const fs::path& plan) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* file = new FileReplacement(plan);
        file->write("half a drawing");
        auto* conversion = new HeldTemporary(plan.parent_path(), "plan.dwg");
        (void)conversion;
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(SaveFile, WhatAKilledSaveLeftGoesWithTheNextSaveOrOpeningThere) {
    DrawingData d = readDxf(r12({}));
    const fs::path plan = dir_ / "plan.dxf";
    killedWhileWriting(plan);
    ASSERT_EQ(namesIn(dir_.path).size(), 3u);  // two temporaries and the stale lock
    // A save of another file leaves them alone; a save of the same file takes
    // its own temporary's place and the stale lock, and leaves nothing.
    writeDxfFile(d, dir_ / "other.dxf");
    EXPECT_EQ(namesIn(dir_.path).size(), 4u);
    writeDxfFile(d, plan);
    const std::vector<std::string> left = namesIn(dir_.path);
    EXPECT_EQ(left.size(), 3u) << ::testing::PrintToString(left);  // the conversion's temporary
    // Opening any drawing of the folder takes what nobody holds, and only that.
    killedWhileWriting(plan);
    FileReplacement running(dir_ / "third.dxf");
    (void)Drawing::open(dir_ / "other.dxf");
    EXPECT_EQ(namesIn(dir_.path),
              (std::vector<std::string>{namesIn(dir_.path)[0], "other.dxf", "plan.dxf",
                                        "~plan.dxf.lock", "~third.dxf.lock"}))
        << "only the running save's temporary and lock, and the killed save's stale lock";
    EXPECT_TRUE(isTemporaryName(namesIn(dir_.path)[0]));
}

TEST_F(SaveFile, TwoSavesOfOneFileAtOnceAreRefusedNotBothDone) {
    DrawingData d = readDxf(r12({}));
    const fs::path plan = dir_ / "plan.dxf";
    writeDxfFile(d, plan);
    {
        FileReplacement first(plan);
        const std::string why = testutil::messageOf<FileLocked>(
            [&] { FileReplacement second(plan); }, "a second save of one file was let through");
        EXPECT_NE(why.find("«" + plan.string() + "»"), std::string::npos) << why;
        // Through a link it is the same file.
        fs::create_symlink("plan.dxf", dir_ / "link.dxf");
        EXPECT_THROW(writeDxfFile(d, dir_ / "link.dxf"), FileLocked);
        first.write("first");
        first.commit(true);
    }
    EXPECT_EQ(testutil::readText(plan), "first");
    EXPECT_EQ(testutil::readText(dir_ / "plan.bak"), writeDxf(d));
    EXPECT_FALSE(fs::exists(lockFilePath(plan)));
    writeDxfFile(d, plan);  // one after the other is fine
}

TEST(DxfWriter, RewritesHandseedAndCurrentLayerOnlyWhenNeeded) {
    std::string file = encodeText(
        dxf(concat(
            {header("AC1009", "ANSI_1251", "30"), layerTable({"0", "Трасса"}),
             entities(
                 {{0, "LINE"}, {5, "2E"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}}),
             eof()})),
        "ANSI_1251");
    DrawingData d = readDxf(file);
    EXPECT_EQ(writeDxf(d), file);  // unchanged: byte for byte, as the file used the same form
    d.currentLayer = "Трасса";
    d.currentLayerChanged = true;
    d.layout.maxHandle = 0x40;  // as if a handle above the seed were in the tags
    DrawingData back = readDxf(writeDxf(d));
    EXPECT_EQ(back.currentLayer, "Трасса");
    EXPECT_EQ(back.tags.value(back.layout.clayerValue), encodeText("Трасса", "ANSI_1251"));
    EXPECT_EQ(back.tags.value(back.layout.handseedValue), "41");
}

TEST(DxfWriter, ErasedEntitiesAreLeftOut) {
    DrawingData d = readDxf(r12({{0, "LINE"},
                                 {5, "A1"},
                                 {8, "0"},
                                 {10, "0"},
                                 {20, "0"},
                                 {11, "1"},
                                 {21, "0"},
                                 {0, "CIRCLE"},
                                 {5, "A2"},
                                 {8, "0"},
                                 {10, "0"},
                                 {20, "0"},
                                 {40, "1"}}));
    d.entities[d.modelSpace[0].v].erased = true;
    DrawingData back = readDxf(writeDxf(d));
    ASSERT_EQ(back.modelSpace.size(), 1u);
    EXPECT_EQ(back.entities[back.modelSpace[0].v].dxfType, "CIRCLE");
    EXPECT_EQ(back.entities[back.modelSpace[0].v].handle, 0xA2u);
}

}  // namespace
