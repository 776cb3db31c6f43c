// The road of the sample picket is told in several places: the list the road
// test and the guide's screenshots walk (sample_road.hpp), the options
// ./run.sh and scripts/screenshots.sh give the batch run, the command and the
// table of heights in the user guide, the command in the README. A person who
// follows the guide must get run.sh's profile, so they must all say the same.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cad/drawing.hpp"
#include "sample_road.hpp"
#include "shell_util.hpp"

namespace {

const std::filesystem::path kSource = KV_SOURCE_DIR;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return out;
}

// A command as the shell splits it: words apart at blanks, double quotes
// keeping blanks inside and dropped, a backslash at a line's end joining it
// to the next.
std::vector<std::string> words(const std::vector<std::string>& commandLines) {
    std::vector<std::string> out;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::string line : commandLines) {
        if (!line.empty() && line.back() == '\\') line.pop_back();
        for (char c : line + ' ') {
            if (c == '"') {
                quoted = !quoted;
                inWord = true;
            } else if (c == ' ' && !quoted) {
                if (inWord) out.push_back(word);
                word.clear();
                inWord = false;
            } else {
                word += c;
                inWord = true;
            }
        }
    }
    return out;
}

// The options a Markdown file's command for the sample gives, between the
// plan and the output: from the fenced block that runs
// `kernavisto-cli profile examples/plan.dxf`.
std::vector<std::string> documentedOptions(const std::filesystem::path& file) {
    std::vector<std::string> block;
    bool inBlock = false;
    for (const std::string& line : lines(testutil::readText(file))) {
        if (line.rfind("```", 0) == 0) {
            if (inBlock && !block.empty()) break;
            inBlock = !inBlock;
            block.clear();
            continue;
        }
        if (!inBlock) continue;
        if (block.empty() &&
            line.find("kernavisto-cli profile examples/plan.dxf") == std::string::npos) {
            continue;
        }
        block.push_back(line);
        if (line.empty() || line.back() != '\\') break;
    }
    std::vector<std::string> all = words(block);
    std::vector<std::string> options;
    for (std::size_t i = 3; i < all.size() && all[i] != "-o"; ++i) options.push_back(all[i]);
    return options;
}

TEST(SampleRoad, TheScriptsGiveTheBatchRunTheListedSteps) {
    const testutil::ShellResult listed = testutil::shell(
        "cd " + testutil::quote(kSource.string()) +
        " && bash -c 'source scripts/sample_road.sh && printf \"%s\\n\" \"${kv_sample_road[@]}\"'");
    ASSERT_EQ(listed.code, 0) << listed.out;
    EXPECT_EQ(lines(listed.out), sample_road::cliOptions());

    // Both scripts pass exactly that list between the plan and the outputs.
    for (const char* script : {"run.sh", "scripts/screenshots.sh"}) {
        const std::string text = testutil::readText(kSource / script);
        EXPECT_NE(text.find("source scripts/sample_road.sh\n"), std::string::npos) << script;
        EXPECT_NE(text.find("profile examples/plan.dxf \"${kv_sample_road[@]}\" \\\n  -o "),
                  std::string::npos)
            << script;
    }
}

TEST(SampleRoad, TheGuideAndTheReadmeShowTheSameCommand) {
    EXPECT_EQ(documentedOptions(kSource / "docs/guide.md"), sample_road::cliOptions());
    EXPECT_EQ(documentedOptions(kSource / "README.md"), sample_road::cliOptions());
}

// The guide's table gives each point's height as the user sets it in the
// window: "Указать" on the survey text with its number, or "Авто".
TEST(SampleRoad, TheGuideTellsEachPointsHeight) {
    auto plan = cad::Drawing::open(kSource / "examples/plan.dxf");
    std::map<int, std::string> expected;
    for (int k = 1; k <= sample_road::kPointCount; ++k) {
        const char* handle = sample_road::kHeightTexts[static_cast<std::size_t>(k - 1)];
        if (!handle) {
            expected[k] = "«Авто»";
            continue;
        }
        const cad::EntityRef text = plan->entityByHandle(handle);
        ASSERT_FALSE(text.isNull()) << handle;
        ASSERT_EQ(text.layer(), "Отметки") << handle;
        expected[k] = "«Указать»: текст " + text.textString();
    }

    std::map<int, std::string> table;
    for (const std::string& line : lines(testutil::readText(kSource / "docs/guide.md"))) {
        // | N | what |
        if (line.size() < 5 || line.rfind("| ", 0) != 0 || line.back() != '|') continue;
        const std::size_t bar = line.find(" | ", 2);
        if (bar == std::string::npos) continue;
        int k = 0;
        const char* first = line.data() + 2;
        const char* last = line.data() + bar;
        auto [end, ec] = std::from_chars(first, last, k);
        if (ec != std::errc() || end != last) continue;
        EXPECT_EQ(table.count(k), 0u) << "point " << k << " twice";
        table[k] = line.substr(bar + 3, line.size() - bar - 3 - 2);
    }
    EXPECT_EQ(table, expected);
}

}  // namespace
