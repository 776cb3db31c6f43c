// Drawings cut off at a random byte, as an interrupted copy or download
// leaves them: each is repaired (or refused with a message), and what the
// repair saves must be a file another program reads: only whole tags, every
// group closed, no half of a binary chunk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/dxf_check_support.hpp"
#include "cad/error.hpp"

using namespace cad;
namespace fs = std::filesystem;

namespace {

// Runs one of the ezdxf helpers; its exit code, or -1 when ezdxf is missing.
int runEzdxf(const std::string& script, const fs::path& folder, std::string* output = nullptr) {
    const auto [code, out] = testutil::shell(
        "/usr/bin/python3 " + testutil::quote(std::string(KV_SOURCE_DIR "/tests/cad/") + script) +
        " " + testutil::quote(folder.string()));
    if (output) *output = out;
    return code == 3 || code == 127 ? -1 : code;
}

TEST(Truncated, RepairedFilesAreReadByAnIndependentReader) {
    const fs::path dir = kvtest::scratchDir();
    const fs::path sources = dir / "sources";
    const fs::path repaired = dir / "repaired";
    fs::create_directories(sources);
    fs::create_directories(repaired);
    // Drawings with {APP} groups, XDATA, binary chunks, in ASCII and binary.
    if (runEzdxf("ezdxf_binary_pair.py", sources) < 0) {
        if (std::getenv("CI")) FAIL() << "python3-ezdxf is missing";
        GTEST_SKIP() << "python3-ezdxf is not installed";
    }
    std::vector<fs::path> files{fs::path(KV_SOURCE_DIR) / "examples" / "plan.dxf"};
    for (const char* name : {"R12.dxf", "R12_binary.dxf", "R2010.dxf", "R2010_binary.dxf"}) {
        files.push_back(sources / name);
    }
    std::mt19937 rng(20261208);
    int saved = 0;
    for (const fs::path& file : files) {
        const std::string whole = testutil::readText(file);
        ASSERT_FALSE(whole.empty()) << file;
        // Cut among the entities, where nearly all of a real drawing's bytes
        // are. (A cut among the objects loses the layouts, which every
        // reader of R2000 and later needs and no repair can bring back.)
        std::size_t from = whole.find("ENTITIES");
        ASSERT_NE(from, std::string::npos) << file;
        std::size_t to = std::min(whole.find("OBJECTS"), whole.size());
        std::uniform_int_distribution<std::size_t> cutAt(from + 8, to - 1);
        for (int k = 0; k < 40; ++k) {
            std::size_t cut = cutAt(rng);
            std::string name = file.stem().string() + "-" + std::to_string(cut);
            DrawingData d;
            try {
                d = readDxf(std::string_view(whole).substr(0, cut));
            } catch (const Error& e) {
                continue;  // refused with a message: allowed, nothing is written
            }
            bool reported = false;
            for (const Issue& is : d.issues) reported |= is.code == "truncated";
            EXPECT_TRUE(reported) << name;
            writeDxfFile(d, repaired / (name + ".dxf"));
            ++saved;
        }
    }
    EXPECT_GT(saved, 150);
    std::string failures;
    EXPECT_EQ(runEzdxf("ezdxf_read_all.py", repaired, &failures), 0) << failures;
}

}  // namespace
