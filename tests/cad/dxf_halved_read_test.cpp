// A big file is read and split into tags in two halves at once. Whatever the
// file holds and wherever its middle falls, the tags, the flags of its end,
// the counts and the errors are those of splitting it front to back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cad/dxf/tokenizer.hpp"
#include "cad/error.hpp"
#include "cad/platform.hpp"
#include "dxf_test_util.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;
using namespace cad;
using dxftest::Tags;

namespace {

class HalvedRead : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kv-halved-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& bytes) {
        fs::path p = dir_ / "plan.dxf";
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }

    // What splitting in halves gives, as text: the tags and every flag, or
    // the error. `extra` bytes more than the file holds are asked for.
    static std::string halved(const fs::path& p, std::size_t extra = 0) {
        try {
            RegularFile in(p);
            return describe(
                readTokenized(in, static_cast<std::size_t>(in.size()) + extra, "plan.dxf", 0));
        } catch (const FileReadError& e) {
            return std::string("file: ") + e.what();
        } catch (const Error& e) {
            return std::string("error: ") + e.what();
        }
    }
    static std::string sequential(const std::string& bytes) {
        try {
            return describe(tokenizeDxf(bytes));
        } catch (const Error& e) {
            return std::string("error: ") + e.what();
        }
    }
    static std::string describe(const TokenizedDxf& t) {
        std::string s =
            "tags " + std::to_string(t.tags.size()) + " binary " + std::to_string(t.binary) +
            " crlf " + std::to_string(t.crlf) + " eof " + std::to_string(t.sawEof) + " junk " +
            std::to_string(t.junkAfterEof) + " dropped " + std::to_string(t.droppedCode) + " cut " +
            std::to_string(t.cutCode) + " first " + std::to_string(t.firstLine) + " zeros " +
            std::to_string(t.zeros) + " handle " + std::to_string(t.maxHandle) + "\n";
        for (std::size_t i = 0; i < t.tags.size(); ++i) {
            s += std::to_string(t.tags.code(i)) + "|" + std::string(t.tags.value(i)) + "\n";
        }
        return s;
    }

    void expectSame(const std::string& bytes) {
        const std::string want = sequential(bytes);
        const std::string got = halved(write(bytes));
        ASSERT_EQ(got.substr(0, 300), want.substr(0, 300));
        EXPECT_TRUE(got == want) << "differs past the start, sizes " << got.size() << " and "
                                 << want.size();
    }

    fs::path dir_;
};

// Enough lines around the middle for a split: points with handles, on a layer.
Tags points(int n, int firstHandle) {
    Tags t;
    for (int i = 0; i < n; ++i) {
        char h[16];
        std::snprintf(h, sizeof h, "%X", firstHandle + i);
        t.insert(t.end(), {{0, "POINT"},
                           {5, h},
                           {8, "0"},
                           {10, std::to_string(i) + ".5"},
                           {20, "2.25"},
                           {30, "0"}});
    }
    return t;
}

std::string plan(const Tags& body, const char* eol = "\n") {
    return dxftest::dxf(dxftest::concat({dxftest::header("AC1015", "ANSI_1251", "1FFFFF"),
                                         dxftest::entities(body), dxftest::eof()}),
                        eol);
}

TEST_F(HalvedRead, AWholeFileAsFrontToBack) {
    // The largest handle stands in the back half; $HANDSEED (a 5 after a 9)
    // is larger still and is no handle in use.
    expectSame(plan(points(8000, 0x100)));
    expectSame(plan(points(8000, 0x100), "\r\n"));
    expectSame("\xEF\xBB\xBF" + plan(points(8000, 0x100)));
}

TEST_F(HalvedRead, TheEndOfTheFileAsFrontToBack) {
    const std::string whole = plan(points(8000, 0x100));
    // Junk after EOF, blanks after EOF, the end cut inside a value, inside a
    // code and after one.
    expectSame(whole + "  0\nSECTION\n  2\nENTITIES\n");
    expectSame(whole + "\n\n  \r\n");
    const std::string noEof = whole.substr(0, whole.rfind("  0\nEOF"));
    expectSame(noEof.substr(0, noEof.size() - 3));
    expectSame(noEof + " 1");
    expectSame(noEof + " 10\n");
    // EOF in the front half, a whole second drawing behind it.
    expectSame(whole + whole);
    expectSame(plan(points(2, 0x100)) + std::string(400000, '\n'));
}

TEST_F(HalvedRead, ABrokenFileGivesTheSameErrorAsFrontToBack) {
    // A broken line in the back half, where the second thread splits.
    std::string file = plan(points(8000, 0x100));
    const std::size_t at = file.find("  8\n0\n", file.size() / 2 + 1000);
    ASSERT_NE(at, std::string::npos);
    file.insert(at + 6, "Не код\n");
    expectSame(file);

    // Past the middle, a value "0" and a line with a capital letter look
    // like a tag's start, though the "0" is a value, and the back half reads
    // as tags when split from there: the front must read it again itself.
    auto numbers = [](int n) {
        Tags t;
        for (int i = 0; i < n; ++i) t.push_back({70, std::to_string(i % 90)});
        return t;
    };
    const std::string front = dxftest::dxf(dxftest::concat(
        {dxftest::header("AC1015"), {{0, "SECTION"}, {2, "ENTITIES"}}, numbers(60000)}));
    const std::string bad = front + " 70\n0\nX\n" + dxftest::dxf(numbers(40000));
    ASSERT_GT(front.size(), bad.size() / 2) << "the middle falls after the trap";
    expectSame(bad);
}

TEST_F(HalvedRead, AFileShorterThanItsSizeIsAFileError) {
    // Short in the back half, and in the first read of a small file.
    EXPECT_EQ(halved(write(plan(points(8000, 0x100))), 1000),
              "file: Не удалось прочитать файл «plan.dxf»: он стал короче при чтении");
    EXPECT_EQ(halved(write(plan(points(1, 0x100))), 10),
              "file: Не удалось прочитать файл «plan.dxf»: он стал короче при чтении");
}

TEST_F(HalvedRead, EveryCorpusFileAsFrontToBack) {
    const fs::path own = fs::path(KV_SOURCE_DIR) / "tests" / "data" / "corpus";
    fs::path shared = std::getenv("KV_CORPUS_DIR") ? std::getenv("KV_CORPUS_DIR") : KV_CORPUS_DIR;
    std::vector<fs::path> files;
    for (const fs::path& dir : {own, shared}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            if (e.path().extension() == ".dxf") files.push_back(e.path());
        }
    }
    if (!fs::is_directory(shared)) {
        std::cout << "[ NOTE ] нет общего корпуса " << shared
                  << ": проверены только файлы tests/data/corpus\n";
    }
    ASSERT_FALSE(files.empty());
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const std::string bytes = testutil::readText(f);
        const std::string want = sequential(bytes);
        const std::string got = halved(f);
        EXPECT_TRUE(got == want) << got.substr(0, 200) << "\nvs\n" << want.substr(0, 200);
    }
}

}  // namespace
