// Helpers for the tests of what the engine writes: a scratch folder, an
// independent reader (ezdxf, through tests/cad/ezdxf_check.py) and a
// comparison of two tag streams that names every tag that differs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cad/drawing_data.hpp"
#include "cad/handle.hpp"
#include "shell_util.hpp"

namespace kvtest {

inline std::filesystem::path scratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    auto dir = std::filesystem::temp_directory_path() / "kernavisto-tests" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// What ezdxf read from a file (see ezdxf_check.py), or nullopt when ezdxf is
// not installed. A file ezdxf cannot read at all fails the test.
inline std::optional<nlohmann::json> inspectWithEzdxf(const std::filesystem::path& file) {
    const auto [code, out] = testutil::shell(
        "/usr/bin/python3 " + testutil::quote(KV_SOURCE_DIR "/tests/cad/ezdxf_check.py") + " " +
        testutil::quote(file.string()));
    if (code == 3 || code == 127) return std::nullopt;
    EXPECT_EQ(code, 0) << "ezdxf could not read " << file << ":\n" << out;
    if (code != 0) return nlohmann::json::object();
    return nlohmann::json::parse(out);
}

// In CI ezdxf is installed by scripts/deps.sh, so its absence is a failure there.
#define KV_EZDXF_OR_SKIP(var, file)                                  \
    auto var##Opt = ::kvtest::inspectWithEzdxf(file);                \
    if (!var##Opt) {                                                 \
        if (std::getenv("CI")) FAIL() << "python3-ezdxf is missing"; \
        GTEST_SKIP() << "python3-ezdxf is not installed";            \
    }                                                                \
    const nlohmann::json& var = *var##Opt

struct TagLine {
    int code;
    std::string value;  // without the padding CAD programs put before numbers
    friend bool operator==(const TagLine&, const TagLine&) = default;
};

inline std::vector<TagLine> tagLines(const cad::TagStore& tags) {
    std::vector<TagLine> out;
    out.reserve(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        std::string_view v = tags.value(i);
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\r')) v.remove_suffix(1);
        out.push_back({tags.code(i), std::string(v)});
    }
    return out;
}

// The differences between two tag streams that differ in a few places:
// "~code:old>new" for a rewritten value, "+code:value" for an inserted tag,
// "-code:value" for a dropped one.
inline std::vector<std::string> tagDiff(const std::vector<TagLine>& a,
                                        const std::vector<TagLine>& b) {
    constexpr std::size_t kWindow = 12;
    std::vector<std::string> diff;
    std::size_t i = 0, j = 0;
    auto same = [&](std::size_t ia, std::size_t jb, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) {
            if (ia + k >= a.size() || jb + k >= b.size() || !(a[ia + k] == b[jb + k])) return false;
        }
        return true;
    };
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ++i, ++j;
            continue;
        }
        if (i < a.size() && j < b.size() && a[i].code == b[j].code &&
            (i + 1 == a.size() || same(i + 1, j + 1, 1))) {
            diff.push_back("~" + std::to_string(a[i].code) + ":" + a[i].value + ">" + b[j].value);
            ++i, ++j;
            continue;
        }
        bool resolved = false;
        for (std::size_t k = 1; k <= kWindow && !resolved; ++k) {
            if (same(i, j + k, 2)) {  // b has k more tags here
                for (std::size_t n = 0; n < k; ++n) {
                    diff.push_back("+" + std::to_string(b[j + n].code) + ":" + b[j + n].value);
                }
                j += k;
                resolved = true;
            } else if (same(i + k, j, 2)) {  // a had k tags that b dropped
                for (std::size_t n = 0; n < k; ++n) {
                    diff.push_back("-" + std::to_string(a[i + n].code) + ":" + a[i + n].value);
                }
                i += k;
                resolved = true;
            }
        }
        if (resolved) continue;
        if (i < a.size() && j < b.size() && a[i].code == b[j].code) {
            diff.push_back("~" + std::to_string(a[i].code) + ":" + a[i].value + ">" + b[j].value);
            ++i, ++j;
        } else if (j < b.size()) {
            diff.push_back("+" + std::to_string(b[j].code) + ":" + b[j].value);
            ++j;
        } else {
            diff.push_back("-" + std::to_string(a[i].code) + ":" + a[i].value);
            ++i;
        }
    }
    return diff;
}

// The largest handle the tags give an object ($HANDSEED itself left out).
inline cad::Handle largestHandle(const cad::TagStore& tags) {
    cad::Handle top = 0;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        int code = tags.code(i);
        if (code != 5 && code != 105) continue;
        if (i > 0 && tags.code(i - 1) == 9) continue;  // $HANDSEED itself
        cad::Handle h = 0;
        if (cad::parseHandle(tags.value(i), h)) top = std::max(top, h);
    }
    return top;
}

}  // namespace kvtest
