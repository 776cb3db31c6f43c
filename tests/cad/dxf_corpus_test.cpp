// Every real-world file of the project's own small corpus and of the large
// shared one (when it is there): it loads, and saving it without a change
// gives back the same tag stream (binary files come back as ASCII of the same
// version). Files the reader had to repair come back with exactly those
// repairs, and reading the result again finds nothing left to repair.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cad/dxf/reader.hpp"
#include "cad/dxf/tokenizer.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;
using namespace cad;

namespace {

fs::path corpusDir() {
    if (const char* env = std::getenv("KV_CORPUS_DIR")) return env;
    return KV_CORPUS_DIR;
}

// The corpus kept in the tree, there on every clone.
fs::path ownCorpusDir() {
    return fs::path(KV_SOURCE_DIR) / "tests" / "data" / "corpus";
}

bool sharedCorpusPresent() {
    return fs::is_directory(corpusDir());
}

std::vector<std::string> dxfNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.path().extension() == ".dxf") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// "own/NAME" for the tree's files, "shared/NAME" for the shared corpus's.
std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    for (const std::string& n : dxfNames(ownCorpusDir())) files.push_back("own/" + n);
    for (const std::string& n : dxfNames(corpusDir())) files.push_back("shared/" + n);
    return files;
}

fs::path corpusPath(const std::string& file) {
    const std::string own = "own/";
    if (file.rfind(own, 0) == 0) return ownCorpusDir() / file.substr(own.size());
    return corpusDir() / file.substr(file.find('/') + 1);
}

// Where two tag streams first differ, or npos.
std::size_t firstDifference(const TagStore& a, const TagStore& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a.code(i) != b.code(i) || a.value(i) != b.value(i)) return i;
    }
    return a.size() == b.size() ? std::string::npos : n;
}

bool isRepair(const Issue& is) {
    return is.code != "no-codepage";  // a warning only: nothing in the tags changes
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST(CorpusFiles, TheTreeHoldsItsOwn) {
    EXPECT_GE(dxfNames(ownCorpusDir()).size(), 6u) << ownCorpusDir();
}

TEST(CorpusFiles, TheSharedCorpusIsPresent) {
    if (!sharedCorpusPresent()) {
        GTEST_SKIP() << "нет общего корпуса " << corpusDir()
                     << ": проверены только файлы tests/data/corpus";
    }
    EXPECT_GE(dxfNames(corpusDir()).size(), 40u) << corpusDir();
}

TEST_P(Corpus, LoadsAndSavesTheSameTagStream) {
    const fs::path path = corpusPath(GetParam());
    const std::string original = testutil::readText(path);
    DrawingData d = readDxfFile(path);
    EXPECT_FALSE(d.version.empty());
    EXPECT_NE(d.layout.eof, kNoIndex);

    const std::string written = writeDxf(d);
    TokenizedDxf before = tokenizeDxf(original);
    TokenizedDxf after = tokenizeDxf(written);
    EXPECT_FALSE(after.binary);
    EXPECT_EQ(after.crlf, before.crlf);

    bool repaired = std::any_of(d.issues.begin(), d.issues.end(), isRepair);
    if (!repaired) {
        std::size_t diff = firstDifference(before.tags, after.tags);
        EXPECT_EQ(diff, std::string::npos)
            << "tag " << diff << ": " << before.tags.code(diff) << " «" << before.tags.value(diff)
            << "» vs «" << (diff < after.tags.size() ? after.tags.value(diff) : "") << "»";
        EXPECT_EQ(before.tags.size(), after.tags.size());
        return;
    }
    // Repaired: the result needs no repair any more and is stable.
    EXPECT_NE(firstDifference(before.tags, after.tags), std::string::npos);
    DrawingData again = readDxf(written);
    for (const Issue& is : again.issues)
        EXPECT_FALSE(isRepair(is)) << is.code << ": " << is.message;
    EXPECT_EQ(writeDxf(again), written);
    EXPECT_EQ(again.modelSpace.size() + again.paperSpace.size(),
              d.modelSpace.size() + d.paperSpace.size());
}

INSTANTIATE_TEST_SUITE_P(Dxf, Corpus, ::testing::ValuesIn(corpusFiles()), [](const auto& p) {
    std::string n = p.param;
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return n;
});

// What the corpus catalogue says each file holds, checked on a few.
struct Expected {
    const char* file;
    const char* version;
    std::size_t modelSpace;
    bool binary;
};

class CorpusCounts : public ::testing::TestWithParam<Expected> {};

TEST_P(CorpusCounts, ModelSpaceAsCatalogued) {
    const Expected& x = GetParam();
    if (!fs::exists(corpusDir() / x.file)) {
        GTEST_SKIP() << "нет общего корпуса " << corpusDir() << ": " << x.file << " не проверен";
    }
    DrawingData d = readDxfFile(corpusDir() / x.file);
    EXPECT_EQ(d.version, x.version);
    EXPECT_EQ(d.binary, x.binary);
    EXPECT_EQ(d.modelSpace.size(), x.modelSpace);
}

INSTANTIATE_TEST_SUITE_P(
    Dxf, CorpusCounts,
    ::testing::Values(Expected{"acad2018_sample_ascii.dxf", "AC1032", 163, false},
                      Expected{"acad2004_sample_binary.dxf", "AC1018", 163, true},
                      Expected{"acad_r12_sample_binary.dxf", "AC1009", 157, true},
                      Expected{"acad2010_ru_topo_survey.dxf", "AC1024", 3584, false},
                      Expected{"acad2013_arch_details.dxf", "AC1027", 1372, false},
                      Expected{"openscad_r12_noheader.dxf", "AC1009", 452, false},
                      Expected{"netdxf_r2018_binary.dxf", "AC1032", 59, true},
                      Expected{"r12_entities_only_broken.dxf", "AC1009", 1504, false}),
    [](const auto& p) {
        std::string n = p.param.file;
        n = n.substr(0, n.find('.'));
        return n;
    });

}  // namespace
