// DWG import: every sample DWG converted and compared with the DXF the same
// drawing was saved as (entities by kind and by layer, layer names and
// colours, bounds); the DXF is written beside the DWG and never over
// anything; failures name the file and the reason. A DWG given where a DXF is
// read is recognised by its signature, and no message quotes raw bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "cad/drawing.hpp"
#include "cad/error.hpp"
#include "dwg/dwg_import.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;
using testutil::readText;

namespace {

const fs::path kSamples = fs::path(KV_SOURCE_DIR) / ".." / "shared" / "dwg-samples";
const fs::path kConverter = fs::path(KV_SOURCE_DIR) / "tools" / "dwg";

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string dirs = path;
    for (std::size_t begin = 0; begin <= dirs.size();) {
        std::size_t colon = dirs.find(':', begin);
        if (colon == std::string::npos) colon = dirs.size();
        fs::path p = fs::path(dirs.substr(begin, colon - begin)) / program;
        if (::access(p.c_str(), X_OK) == 0) return true;
        begin = colon + 1;
    }
    return false;
}

// Why the conversion cannot be tried here, or empty when it can.
std::string missingConverter() {
    if (!onPath("node") && !onPath("nodejs")) return "Node.js не установлен (scripts/deps.sh)";
    if (!fs::exists(kConverter / "node_modules" / "@mlightcad" / "libredwg-web")) {
        return "конвертер DWG не установлен (scripts/deps.sh, npm ci в tools/dwg)";
    }
    return {};
}

// Why the sample drawings cannot be converted here, or empty when they can.
std::string cannotConvertSamples() {
    if (!fs::exists(kSamples)) return "нет " + kSamples.string() + " (../shared отсутствует)";
    return missingConverter();
}

using testutil::isUtf8;

// What the cad::Error that `act` throws says; a failure when it throws none.
template <class Act>
std::string errorOf(Act&& act, const std::string& unexpected) {
    return testutil::messageOf<cad::Error>(std::forward<Act>(act), unexpected);
}

struct Counts {
    std::map<std::string, int> byKind, byLayer;
    std::map<std::string, int> layerColours;
    cad::Box2 bounds;
    std::size_t all = 0;  // entities anywhere: model space, paper space, blocks
};

Counts countsOf(const fs::path& dxf) {
    auto d = cad::Drawing::open(dxf);
    Counts c;
    for (const cad::EntityRef& e : d->modelSpace()) {
        ++c.byKind[e.dxfType()];
        ++c.byLayer[e.layer()];
    }
    for (cad::EntityId id : d->data().paperSpace) {
        const cad::Entity& e = d->data().entities[id.v];
        if (!e.erased) ++c.byKind["paper space " + e.dxfType];
    }
    for (const cad::Layer& l : d->data().layers) c.layerColours[l.name] = l.color;
    c.bounds = d->extents();
    c.all = d->data().entities.size();
    return c;
}

struct Dir : testutil::ScratchDir {
    explicit Dir(const std::string& name) : ScratchDir("kv_dwg_" + name) {}
    // Nothing but the files named is in the folder (no temporary leftovers).
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// What the converter is known to lose or move, as the twin minus the
// conversion; everything else must agree exactly.
struct Known {
    std::map<std::string, int> kinds, layers;
};
const std::map<std::string, Known> kKnownDifferences = {
    // R14: the proxy entity, the two wipeouts and two of the inserts are not converted.
    {"example_r14", {{{"ACAD_PROXY_ENTITY", 1}, {"WIPEOUT", 2}, {"INSERT", 2}}, {{"TAVOLO_3", 5}}}},
    // 2010 and 2018: one entity of layer "Tavolo 3" comes out on layer "0".
    {"example_2010", {{}, {{"Tavolo 3", 1}, {"0", -1}}}},
    {"example_2018", {{}, {{"Tavolo 3", 1}, {"0", -1}}}},
};

class Sample : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(Sample, ConvertsBesideTheDwgAndMatchesItsDxfTwin) {
    if (std::string why = cannotConvertSamples(); !why.empty()) GTEST_SKIP() << why;
    const std::string name = GetParam();
    Dir dir(name);
    const fs::path dwgPath = dir.path / (name + ".dwg");
    fs::copy_file(kSamples / (name + ".dwg"), dwgPath);
    const std::string dwgBytes = readText(dwgPath);

    dwg::Opened opened = dwg::openable(dwgPath);
    EXPECT_TRUE(opened.converted);
    EXPECT_EQ(opened.dxf, dir.path / (name + ".dxf"));
    EXPECT_NE(opened.notice.find(name + ".dxf"), std::string::npos) << opened.notice;
    EXPECT_EQ(readText(dwgPath), dwgBytes);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{name + ".dwg", name + ".dxf"}));

    Counts got = countsOf(opened.dxf);
    ASSERT_GT(got.all, 0u);
    for (const auto& [layer, colour] : got.layerColours) {
        EXPECT_GT(colour, 0) << "layer " << layer << " is off";
    }
    const fs::path twinPath = kSamples / (name + ".dxf");
    if (!fs::exists(twinPath)) return;  // no twin: read and all layers on is what can be said
    Counts twin = countsOf(twinPath);
    auto known = kKnownDifferences.find(name);
    for (const auto& [kind, n] :
         known == kKnownDifferences.end() ? std::map<std::string, int>{} : known->second.kinds) {
        got.byKind[kind] += n;
    }
    for (const auto& [layer, n] :
         known == kKnownDifferences.end() ? std::map<std::string, int>{} : known->second.layers) {
        got.byLayer[layer] += n;
    }
    std::erase_if(got.byKind, [](const auto& kv) { return kv.second == 0; });
    std::erase_if(got.byLayer, [](const auto& kv) { return kv.second == 0; });
    EXPECT_EQ(got.byKind, twin.byKind);
    EXPECT_EQ(got.byLayer, twin.byLayer);
    // Names and colours (sign: on or off) of every layer, as the DWG has them.
    EXPECT_EQ(got.layerColours, twin.layerColours);
    ASSERT_EQ(got.bounds.empty(), twin.bounds.empty());
    if (twin.bounds.empty()) return;
    const double tol =
        1e-9 * std::max({std::abs(twin.bounds.minX), std::abs(twin.bounds.maxX),
                         std::abs(twin.bounds.minY), std::abs(twin.bounds.maxY), 1.0});
    EXPECT_NEAR(got.bounds.minX, twin.bounds.minX, tol);
    EXPECT_NEAR(got.bounds.minY, twin.bounds.minY, tol);
    EXPECT_NEAR(got.bounds.maxX, twin.bounds.maxX, tol);
    EXPECT_NEAR(got.bounds.maxY, twin.bounds.maxY, tol);
}

INSTANTIATE_TEST_SUITE_P(Samples, Sample,
                         testing::Values("example_r14", "example_2000", "example_2007",
                                         "example_2010", "example_2018", "sample_2018",
                                         "polyline2d_2000", "arc_2013"));

TEST(DwgImport, AnEarlierDxfIsOpenedAgainAndNeverOverwritten) {
    if (std::string why = cannotConvertSamples(); !why.empty()) GTEST_SKIP() << why;
    Dir dir("again");
    const fs::path dwgPath = dir.path / "plan.dwg";
    fs::copy_file(kSamples / "sample_2018.dwg", dwgPath);
    dwg::Opened first = dwg::convertToDxf(dwgPath);
    // The user worked on the DXF: the next opening of the DWG finds that work.
    std::ofstream(first.dxf, std::ios::app) << "";
    const std::string worked = readText(first.dxf);
    dwg::Opened second = dwg::openable(dwgPath);
    EXPECT_FALSE(second.converted);
    EXPECT_EQ(second.dxf, first.dxf);
    EXPECT_NE(second.notice.find("ранее"), std::string::npos) << second.notice;

    // The DWG changed afterwards: a new DXF under a free name, the old one kept.
    fs::last_write_time(dwgPath, fs::last_write_time(first.dxf) + std::chrono::hours(1));
    dwg::Opened third = dwg::openable(dwgPath);
    EXPECT_TRUE(third.converted);
    EXPECT_EQ(third.dxf, dir.path / "plan-1.dxf");
    EXPECT_EQ(readText(first.dxf), worked);
}

TEST(DwgImport, ADwgNamedLikeADxfIsRecognisedAndKept) {
    if (std::string why = cannotConvertSamples(); !why.empty()) GTEST_SKIP() << why;
    Dir dir("misnamed");
    const fs::path misnamed = dir.path / "plan.dxf";
    fs::copy_file(kSamples / "sample_2018.dwg", misnamed);
    const std::string bytes = readText(misnamed);
    dwg::Opened opened = dwg::openable(misnamed);
    EXPECT_TRUE(opened.converted);
    EXPECT_EQ(opened.dxf, dir.path / "plan-1.dxf");
    EXPECT_EQ(readText(misnamed), bytes);
    EXPECT_NO_THROW(cad::Drawing::open(opened.dxf));
}

TEST(DwgImport, ADamagedDwgNamesTheFileAndTheConvertersReasonAndLeavesNothing) {
    if (std::string why = cannotConvertSamples(); !why.empty()) GTEST_SKIP() << why;
    Dir dir("damaged");
    const fs::path dwgPath = dir.path / "обрезан.dwg";
    std::ofstream(dwgPath, std::ios::binary)
        << readText(kSamples / "example_2000.dwg").substr(0, 3000);
    const std::string m = errorOf([&] { dwg::openable(dwgPath); }, "a damaged DWG was converted");
    EXPECT_NE(m.find("«обрезан.dwg»"), std::string::npos) << m;
    EXPECT_NE(m.find("LibreDWG"), std::string::npos) << m;
    EXPECT_TRUE(isUtf8(m)) << m;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"обрезан.dwg"});
}

TEST(DwgImport, MissingNodeOrConverterSaysWhatToInstall) {
    Dir dir("missing");
    const fs::path dwgPath = dir.path / "plan.dwg";
    std::ofstream(dwgPath, std::ios::binary) << "AC1015" << std::string(200, '\0');
    dwg::Options noNode;
    noNode.node = "/nonexistent/node";
    noNode.converterDir = kConverter;
    if (missingConverter().empty()) {
        const std::string m =
            errorOf([&] { dwg::convertToDxf(dwgPath, noNode); }, "converted without Node.js");
        EXPECT_NE(m.find("nodejs"), std::string::npos) << m;
    }
    dwg::Options noConverter;
    noConverter.converterDir = dir.path / "nowhere";
    const std::string m = errorOf([&] { dwg::convertToDxf(dwgPath, noConverter); },
                                  "converted without the converter");
    EXPECT_NE(m.find("scripts/deps.sh"), std::string::npos) << m;
    EXPECT_NE(m.find("«plan.dwg»"), std::string::npos) << m;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"plan.dwg"});
}

TEST(DwgSignature, OnlyAcVersionDigitsAtTheStartMakeADwg) {
    EXPECT_EQ(dwg::signature("AC1015\0\0\0"), "AC1015");
    EXPECT_EQ(dwg::signature("AC1032"), "AC1032");
    EXPECT_FALSE(dwg::signature("AC10"));
    EXPECT_FALSE(dwg::signature("AC10X5"));
    EXPECT_FALSE(dwg::signature("  0\nSECTION\n"));
    EXPECT_FALSE(dwg::signature("AutoCAD Binary DXF\r\n\x1a"));
}

TEST(DwgSignature, OpeningADwgAsDxfSaysSoWithoutItsBytes) {
    Dir dir("as_dxf");
    const fs::path p = dir.path / "plan.dwg";
    std::string bytes = "AC1018";
    for (int i = 0; i < 400; ++i) bytes += static_cast<char>((i * 37 + 128) & 0xFF);
    std::ofstream(p, std::ios::binary) << bytes;
    const std::string m = errorOf([&] { cad::Drawing::open(p); }, "a DWG was read as DXF");
    EXPECT_NE(m.find("DWG"), std::string::npos) << m;
    EXPECT_NE(m.find("AC1018"), std::string::npos) << m;
    EXPECT_TRUE(isUtf8(m)) << m;
}

TEST(DwgSignature, ABrokenDxfIsQuotedAsTextOnly) {
    Dir dir("broken_dxf");
    const fs::path p = dir.path / "plan.dxf";
    std::ofstream(p, std::ios::binary) << "  0\nSECTION\n\xd0\x9f\xff\xfe\x01\xd0\n";
    const std::string m = errorOf([&] { cad::Drawing::open(p); }, "a broken DXF was read");
    EXPECT_TRUE(isUtf8(m)) << m;
    EXPECT_NE(m.find("«П"), std::string::npos) << m;  // whole letters stay
    EXPECT_EQ(m.find('\x01'), std::string::npos) << m;
}

TEST(DwgCli, InfoAndRoundtripTakeADwg) {
    if (std::string why = cannotConvertSamples(); !why.empty()) GTEST_SKIP() << why;
    Dir dir("cli");
    fs::copy_file(kSamples / "example_2000.dwg", dir.path / "plan.dwg");
    const std::string dwgArg = (dir.path / "plan.dwg").string();
    auto run = [&](const std::vector<std::string>& words) {
        return testutil::runProgram(KV_CLI, words, dir);
    };
    testutil::CliResult r = run({"info", "--json", dwgArg});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("plan.dxf"), std::string::npos) << r.err;
    const std::string info = r.out;
    r = run({"info", "--json", (kSamples / "example_2000.dxf").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string twin = r.out;
    auto entities = [](const std::string& j) {
        std::size_t at = j.find("\"entities\":");
        return at == std::string::npos ? std::string() : j.substr(at, j.find(',', at) - at);
    };
    EXPECT_FALSE(entities(info).empty());
    EXPECT_EQ(entities(info), entities(twin));

    const fs::path copy = dir.path / "copy.dxf";
    r = run({"roundtrip", dwgArg, copy.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readText(copy), readText(dir.path / "plan.dxf"));  // opened again, not converted
    EXPECT_EQ(r.err.find("преобразован в"), std::string::npos) << r.err;
}

// The converter's DXF has every layer off; the script gives each layer the
// state the DWG records for it (by handle) and turns on the ones it cannot tell.
TEST(DwgConverter, LayersGetTheirStateFromTheDwgByHandle) {
    if (std::string why = missingConverter(); !why.empty()) GTEST_SKIP() << why;
    Dir dir("mend");
    const std::string dxf =
        "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1021\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n  5\n2\n 70\n     3\n"
        "  0\nLAYER\n  5\n10\n  2\n0\n 70\n     0\n 62\n    -7\n  6\nContinuous\n"
        "  0\nLAYER\n  5\n1A\n  2\nСети\n 70\n     0\n 62\n    -2\n  6\nContinuous\n"
        "  0\nLAYER\n  5\n1B\n  2\nОтметки\n 70\n     0\n 62\n     4\n  6\nContinuous\n"
        "  0\nENDTAB\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  5\n20\n  8\n0\n"
        " 62\n    -1\n 10\n0\n 20\n0\n 11\n1\n 21\n1\n  0\nENDSEC\n  0\nEOF\n";
    std::ofstream(dir.path / "in.dxf", std::ios::binary) << dxf;
    const std::string script = (kConverter / "dwg2dxf.mjs").string();
    const std::string program =
        "import fs from 'node:fs'; import {mendLayers} from '" + script +
        "'; const d = fs.readFileSync(process.argv[1], 'latin1');"
        " fs.writeFileSync(process.argv[2], mendLayers(d, new Map([['1A', true], ['10', false]])),"
        " 'latin1');";
    const std::string cmd = std::string(onPath("node") ? "node" : "nodejs") +
                            " --input-type=module -e " + testutil::quote(program) + " " +
                            testutil::quote((dir.path / "in.dxf").string()) + " " +
                            testutil::quote((dir.path / "out.dxf").string());
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto d = cad::Drawing::open(dir.path / "out.dxf");
    std::map<std::string, int> colours;
    for (const cad::Layer& l : d->data().layers) colours[l.name] = l.color;
    EXPECT_EQ(colours["0"], 7);        // on in the DWG
    EXPECT_EQ(colours["Сети"], -2);    // off in the DWG, and its name kept
    EXPECT_EQ(colours["Отметки"], 4);  // unknown: on
    // Only layer colours change: an entity's colour is the entity's own.
    EXPECT_EQ(d->modelSpace().at(0).color(), -1);
}

// A name whose bytes are not UTF-8 ("План" in CP1251): the converter is given
// the files open, not their names, and converts it like any other; a DWG
// that cannot be read is refused with the system's reason.
TEST(DwgImport, ANameThatIsNotUtf8ConvertsAndAnUnreadableDwgSaysWhy) {
    if (std::string why = cannotConvertSamples(); !why.empty()) GTEST_SKIP() << why;
    Dir dir("cp1251");
    const fs::path dwgPath = dir.path / "\xCF\xEB\xE0\xED.dwg";
    fs::copy_file(kSamples / "example_2000.dwg", dwgPath);
    const dwg::Opened opened = dwg::convertToDxf(dwgPath);
    EXPECT_EQ(opened.dxf, dir.path / "\xCF\xEB\xE0\xED.dxf");
    EXPECT_TRUE(isUtf8(opened.notice)) << opened.notice;
    EXPECT_EQ(countsOf(opened.dxf).byKind, countsOf(kSamples / "example_2000.dxf").byKind);

    fs::create_directory(dir.path / "папка.dwg");
    const std::string m =
        errorOf([&] { dwg::convertToDxf(dir.path / "папка.dwg"); }, "a folder converted");
    EXPECT_NE(m.find("папка"), std::string::npos) << m;
    if (::geteuid() == 0) return;  // the administrator reads every file
    const fs::path locked = dir.path / "закрыт.dwg";
    fs::copy_file(kSamples / "example_2000.dwg", locked);
    fs::permissions(locked, fs::perms::none);
    const std::string why =
        errorOf([&] { dwg::convertToDxf(locked); }, "an unreadable DWG converted");
    EXPECT_NE(why.find(std::strerror(EACCES)), std::string::npos) << why;
}

namespace {

// A converter that only waits: Node.js stood in for by a script that notes
// its process and sleeps, in a folder that looks like the converter's.
struct WaitingConverter {
    Dir dir{"waiting"};
    fs::path converter = dir.path / "converter";
    fs::path node = dir.path / "node";
    fs::path pidFile = dir.path / "converter.pid";
    fs::path drawings = dir.path / "drawings";
    fs::path dwgPath = drawings / "plan.dwg";

    WaitingConverter() {
        fs::create_directories(converter / "node_modules" / "@mlightcad" / "libredwg-web" / "wasm");
        std::ofstream(converter / "dwg2dxf.mjs") << "";
        std::ofstream(converter / "node_modules" / "@mlightcad" / "libredwg-web" / "wasm" /
                      "libredwg-web.js")
            << "";
        std::ofstream(node) << "#!/bin/sh\necho $$ > " << testutil::quote(pidFile.string())
                            << ".tmp\nmv " << testutil::quote(pidFile.string()) << ".tmp "
                            << testutil::quote(pidFile.string()) << "\nexec sleep 60\n";
        fs::permissions(node, fs::perms::owner_all);
        fs::create_directories(drawings);
        std::ofstream(dwgPath, std::ios::binary) << "AC1015" << std::string(200, '\0');
    }
    ~WaitingConverter() {
        if (pid_t p = converterPid(); p > 0) ::kill(p, SIGKILL);
    }
    dwg::Options options() const {
        dwg::Options o;
        o.converterDir = converter;
        o.node = node.string();
        return o;
    }
    // The converter's process once it has started, 0 before.
    pid_t converterPid() const {
        std::ifstream in(pidFile);
        long pid = 0;
        in >> pid;
        return static_cast<pid_t>(pid);
    }
    pid_t waitForConverter() const {
        for (int i = 0; i < 1000 && converterPid() == 0; ++i) ::usleep(20000);
        return converterPid();
    }
    // Whether the process has ended (a zombie nobody has reaped has too).
    static bool gone(pid_t pid) {
        for (int i = 0; i < 250; ++i) {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string text((std::istreambuf_iterator<char>(stat)), {});
            const std::size_t close = text.rfind(')');
            if (text.empty() || (close != std::string::npos && text.substr(close + 2, 1) == "Z")) {
                return true;
            }
            ::usleep(20000);
        }
        return false;
    }
    std::vector<std::string> left() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(drawings)) names.push_back(e.path().filename());
        return names;
    }
};

}  // namespace

// Stopped during a conversion — by a signal to the program, or by the window
// closing — the program leaves no temporary file and no converter running.
TEST(DwgImport, AStoppedConversionLeavesNothingAndNoConverterRunning) {
    {
        WaitingConverter w;
        const pid_t cli = ::fork();
        ASSERT_GE(cli, 0);
        if (cli == 0) {
            ::setenv("KERNAVISTO_NODE", w.node.c_str(), 1);
            ::setenv("KERNAVISTO_DWG_CONVERTER", w.converter.c_str(), 1);
            ::freopen("/dev/null", "w", stderr);
            ::execl(KV_CLI, KV_CLI, "info", w.dwgPath.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const pid_t converter = w.waitForConverter();
        ASSERT_GT(converter, 0) << "the converter did not start";
        ::kill(cli, SIGTERM);
        int status = 0;
        ::waitpid(cli, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_TRUE(WaitingConverter::gone(converter)) << "the converter runs on";
        EXPECT_EQ(w.left(), std::vector<std::string>{"plan.dwg"});
    }
    {
        WaitingConverter w;
        dwg::Options o = w.options();
        o.stopRequested = [&w] { return w.converterPid() > 0; };
        const std::string m =
            errorOf([&] { dwg::convertToDxf(w.dwgPath, o); }, "a stopped conversion went on");
        EXPECT_NE(m.find("прервано"), std::string::npos) << m;
        EXPECT_TRUE(WaitingConverter::gone(w.converterPid())) << "the converter runs on";
        EXPECT_EQ(w.left(), std::vector<std::string>{"plan.dwg"});
    }
}
