// Number texts once a Qt application has set the C locale from an environment
// whose decimal separator is a comma: the general number text, the table text
// of the profile, the angle of a dimension and a saved drawing keep the point
// (or the separator asked for), and typed numbers still read; the separator
// in force is found from the environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cad/drawing.hpp"
#include "cad/dxf_reader.hpp"
#include "comma_locale.hpp"
#include "model/primitives.hpp"
#include "profile/build.hpp"
#include "render/gui_application.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

class CommaLocale : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        name_ = testutil::commaLocale();
        if (name_.empty()) return;
        ::setenv("LC_ALL", name_.c_str(), 1);
        render::ensureGuiApplication();  // Qt sets the C locale from LC_ALL here
    }

    void SetUp() override {
        if (name_.empty()) {
            GTEST_SKIP() << "no locale with a decimal comma: neither installed nor buildable "
                            "with localedef (package locales)";
        }
        // The premise: the process now formats with a comma.
        ASSERT_STREQ(std::localeconv()->decimal_point, ",") << name_;
    }

    static inline std::string name_;
};

TEST_F(CommaLocale, NumberTextsKeepTheSeparatorAskedFor) {
    EXPECT_EQ(model::formatNumber(154.32, '.'), "154.32");
    EXPECT_EQ(model::formatNumber(154.32, ','), "154,32");
    EXPECT_EQ(model::formatNumber(-0.5, '.'), "-0.5");
    EXPECT_EQ(model::formatNumber(123456789012345.6, '.'), "123456789012346");
    EXPECT_EQ(model::formatNumber(1.25e20, '.'), "1.25E20");
    EXPECT_EQ(model::formatNumber(1.5e-7, '.'), "1.5E-7");
    EXPECT_EQ(model::formatNumber(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(profile::TableNumberText(2.5, ','), "2,50");
    EXPECT_EQ(profile::TableNumberText(2.5, '.'), "2.5");
}

TEST_F(CommaLocale, TypedNumbersReadWithEitherSeparator) {
    EXPECT_EQ(model::systemDecimalSeparator(), ',');  // the user's own format
    EXPECT_EQ(model::readNumberField("154.32", '.', "поле"), 154.32);
    EXPECT_EQ(model::readNumberField("154,32", '.', "поле"), 154.32);
    EXPECT_EQ(model::readNumberField("154.32", ',', "поле"), 154.32);
}

TEST_F(CommaLocale, DimensionAngleAndSavedDrawingUseThePoint) {
    // An R12 drawing whose dimension style asks for one decimal of angles.
    constexpr const char* kDxf =
        "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n"
        "  9\n$DIMADEC\n 70\n     1\n  0\nENDSEC\n  0\nEOF\n";
    cad::Drawing d(cad::readDxf(kDxf));
    cad::EntityRef dim = d.addDimAngular({0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {50, 50, 0});
    const auto& g = cad::geomAs<cad::DimensionGeom>(dim.entity().geom);
    const cad::DrawingData& data = d.data();
    std::string angle;
    for (cad::EntityId id : data.blocks.at(data.blockIndex.at(g.blockName)).entities) {
        if (const auto* t = cad::geomIf<cad::TextGeom>(data.entities[id.v].geom)) angle = t->text;
    }
    EXPECT_EQ(angle, "90.0\xC2\xB0");

    auto drawing = cad::Drawing::create("AC1015");
    drawing->addLine({1.5, 2.25, 0}, {-0.125, 1e-3, 0});
    const fs::path file =
        fs::temp_directory_path() / ("kv_comma_" + std::to_string(::getpid()) + ".dxf");
    drawing->saveAs(file);
    const std::string text = testutil::readText(file);
    EXPECT_NE(text.find("\n1.5\n"), std::string::npos);
    EXPECT_NE(text.find("\n-0.125\n"), std::string::npos);
    EXPECT_EQ(text.find("\n1,5\n"), std::string::npos);
    auto back = cad::Drawing::open(file);
    fs::remove(file);
    fs::remove(fs::path(file).replace_extension(".bak"));
    ASSERT_FALSE(back->modelSpace().empty());
    EXPECT_EQ(back->modelSpace().back().startPoint(), (cad::Point3{1.5, 2.25, 0}));
    EXPECT_EQ(back->modelSpace().back().endPoint(), (cad::Point3{-0.125, 1e-3, 0}));
}

}  // namespace
