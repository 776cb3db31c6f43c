// New, empty drawings: the smallest DXF text of each version that CAD
// programs open without complaint, read back through the ordinary reader so
// that a new drawing is kept and saved exactly like one read from a file.
// R2000 and later share one structure (tables, the two layout blocks, the
// objects every CAD program expects); R12 has neither owners nor objects.
#include <algorithm>
#include <string>

#include "cad/dxf/emit.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"

namespace cad {

namespace {

constexpr const char* kCodepage = "ANSI_1251";

// Handles of the template's objects (R2000 and later).
enum : Handle {
    hLayerTable = 1,
    hLtypeTable,
    hVportTable,
    hStyleTable,
    hViewTable,
    hUcsTable,
    hAppidTable,
    hDimstyleTable,
    hBlockRecordTable,
    hRootDict,
    hGroupDict,
    hLayoutDict,
    hMlineStyleDict,
    hPlotStyleDict,
    hPlotStyleNormal,
    hVportActive,
    hLtypeByBlock,
    hLtypeByLayer,
    hLtypeContinuous,
    hLayer0,
    hStyleStandard,
    hAppidAcad,
    hDimstyleStandard,
    hModelRecord,
    hPaperRecord,
    hModelBlock,
    hModelEnd,
    hPaperBlock,
    hPaperEnd,
    hLayoutModel,
    hLayoutPaper,
    hMlineStyleStandard,
    hFirstFree,
};

class Template {
  public:
    Template(std::string_view version, const Box2& view)
        : version_(version), out_(text_, false), r2000_(version >= "AC1015") {
        if (!view.empty()) view_ = view;
    }

    std::string build() {
        header();
        if (r2000_) classes();
        tables();
        blocks();
        section("ENTITIES");
        endSection();
        if (r2000_) objects();
        out_.put(0, "EOF");
        return text_;
    }

  private:
    void section(const char* name) {
        out_.put(0, "SECTION");
        out_.put(2, name);
    }
    void endSection() { out_.put(0, "ENDSEC"); }
    void var(const char* name) { out_.put(9, name); }
    void point(int code, double x, double y, double z) {
        out_.putDouble(code, x);
        out_.putDouble(code + 10, y);
        out_.putDouble(code + 20, z);
    }
    void point2(int code, double x, double y) {
        out_.putDouble(code, x);
        out_.putDouble(code + 10, y);
    }
    void handle(Handle h) {
        if (r2000_) out_.putHandle(5, h);
    }
    void owner(Handle h) {
        if (r2000_) out_.putHandle(330, h);
    }
    void subclass(const char* name) {
        if (r2000_) out_.put(100, name);
    }

    void header() {
        section("HEADER");
        var("$ACADVER");
        out_.put(1, version_);
        if (version_ >= "AC1021") {
            var("$ACADMAINTVER");
            out_.putInt(70, version_ >= "AC1032" ? 105 : 6);
        }
        var("$DWGCODEPAGE");
        out_.put(3, kCodepage);
        var("$INSBASE");
        point(10, 0, 0, 0);
        var("$EXTMIN");
        point(10, view_.minX, view_.minY, 0);
        var("$EXTMAX");
        point(10, view_.maxX, view_.maxY, 0);
        var("$LIMMIN");
        point2(10, 0, 0);
        var("$LIMMAX");
        point2(10, 420, 297);
        var("$TEXTSIZE");
        out_.putDouble(40, 2.5);
        var("$TEXTSTYLE");
        out_.put(7, r2000_ ? "Standard" : "STANDARD");
        var("$CLAYER");
        out_.put(8, "0");
        var("$CELTYPE");
        out_.put(6, "BYLAYER");
        var("$CECOLOR");
        out_.putInt(62, 256);
        var("$DIMSTYLE");
        out_.put(2, r2000_ ? "Standard" : "STANDARD");
        var("$LUNITS");
        out_.putInt(70, 2);
        var("$LUPREC");
        out_.putInt(70, 4);
        var("$AUNITS");
        out_.putInt(70, 0);
        var("$AUPREC");
        out_.putInt(70, 0);
        if (r2000_) {
            var("$CELWEIGHT");
            out_.putInt(370, -1);
            var("$INSUNITS");
            out_.putInt(70, 4);  // millimetres
            var("$MEASUREMENT");
            out_.putInt(70, 1);  // metric
            var("$LWDISPLAY");
            out_.putInt(290, 1);
        } else {
            var("$HANDLING");
            out_.putInt(70, 1);
        }
        var("$HANDSEED");
        out_.putHandle(5, r2000_ ? Handle{hFirstFree} : Handle{0x20});
        endSection();
    }

    void classes() {
        section("CLASSES");
        auto cls = [&](const char* dxf, const char* cpp, int flags) {
            out_.put(0, "CLASS");
            out_.put(1, dxf);
            out_.put(2, cpp);
            out_.put(3, "ObjectDBX Classes");
            out_.putInt(90, flags);
            out_.putInt(280, 0);
            out_.putInt(281, 0);
        };
        cls("ACDBDICTIONARYWDFLT", "AcDbDictionaryWithDefault", 0);
        cls("ACDBPLACEHOLDER", "AcDbPlaceHolder", 0);
        cls("LAYOUT", "AcDbLayout", 0);
        endSection();
    }

    void tableHead(const char* name, Handle h, int count) {
        out_.put(0, "TABLE");
        out_.put(2, name);
        handle(h);
        if (r2000_) out_.put(330, "0");
        subclass("AcDbSymbolTable");
        out_.putInt(70, count);
    }
    void entryHead(const char* type, Handle h, Handle table, const char* subclassName) {
        out_.put(0, type);
        if (r2000_) {
            out_.putHandle(std::string_view(type) == "DIMSTYLE" ? 105 : 5, h);
            out_.putHandle(330, table);
            out_.put(100, "AcDbSymbolTableRecord");
            out_.put(100, subclassName);
        }
    }
    void endTable() { out_.put(0, "ENDTAB"); }

    void tables() {
        section("TABLES");
        tableHead("VPORT", hVportTable, 1);
        entryHead("VPORT", hVportActive, hVportTable, "AcDbViewportTableRecord");
        out_.put(2, "*ACTIVE");
        out_.putInt(70, 0);
        point2(10, 0, 0);
        point2(11, 1, 1);
        point2(12, (view_.minX + view_.maxX) / 2, (view_.minY + view_.maxY) / 2);  // view centre
        point2(13, 0, 0);
        point2(14, 10, 10);
        point2(15, 10, 10);
        point(16, 0, 0, 1);  // view direction
        point(17, 0, 0, 0);
        const double width = view_.maxX - view_.minX, height = view_.maxY - view_.minY;
        out_.putDouble(40, std::max(height, width / 1.5));  // view height
        out_.putDouble(41, 1.5);                            // aspect ratio
        out_.putDouble(42, 50);
        out_.putDouble(43, 0);
        out_.putDouble(44, 0);
        out_.putDouble(50, 0);
        out_.putDouble(51, 0);
        out_.putInt(71, 0);
        out_.putInt(72, 1000);
        out_.putInt(73, 1);
        out_.putInt(74, 3);
        out_.putInt(75, 0);
        out_.putInt(76, 0);
        out_.putInt(77, 0);
        out_.putInt(78, 0);
        endTable();

        if (r2000_) {
            tableHead("LTYPE", hLtypeTable, 3);
            linetype(hLtypeByBlock, "ByBlock");
            linetype(hLtypeByLayer, "ByLayer");
        } else {
            tableHead("LTYPE", hLtypeTable, 1);
        }
        linetype(hLtypeContinuous, r2000_ ? "Continuous" : "CONTINUOUS");
        endTable();

        tableHead("LAYER", hLayerTable, 1);
        entryHead("LAYER", hLayer0, hLayerTable, "AcDbLayerTableRecord");
        out_.put(2, "0");
        out_.putInt(70, 0);
        out_.putInt(62, 7);
        out_.put(6, r2000_ ? "Continuous" : "CONTINUOUS");
        if (r2000_) {
            out_.putInt(370, -3);
            out_.putHandle(390, hPlotStyleNormal);
        }
        endTable();

        tableHead("STYLE", hStyleTable, 1);
        entryHead("STYLE", hStyleStandard, hStyleTable, "AcDbTextStyleTableRecord");
        out_.put(2, r2000_ ? "Standard" : "STANDARD");
        out_.putInt(70, 0);
        out_.putDouble(40, 0);
        out_.putDouble(41, 1);
        out_.putDouble(50, 0);
        out_.putInt(71, 0);
        out_.putDouble(42, 2.5);
        out_.put(3, "txt");
        out_.put(4, "");
        endTable();

        tableHead("VIEW", hViewTable, 0);
        endTable();
        tableHead("UCS", hUcsTable, 0);
        endTable();

        tableHead("APPID", hAppidTable, 1);
        entryHead("APPID", hAppidAcad, hAppidTable, "AcDbRegAppTableRecord");
        out_.put(2, "ACAD");
        out_.putInt(70, 0);
        endTable();

        tableHead("DIMSTYLE", hDimstyleTable, 1);
        if (r2000_) {
            out_.put(100, "AcDbDimStyleTable");
            out_.putInt(71, 0);
        }
        entryHead("DIMSTYLE", hDimstyleStandard, hDimstyleTable, "AcDbDimStyleTableRecord");
        out_.put(2, r2000_ ? "Standard" : "STANDARD");
        out_.putInt(70, 0);
        // Metric sizes, as in the metric templates of CAD programs: text and
        // arrows 2.5, text above the dimension line and aligned with it.
        out_.putDouble(41, 2.5);     // DIMASZ
        out_.putDouble(42, 0.625);   // DIMEXO
        out_.putDouble(43, 3.75);    // DIMDLI
        out_.putDouble(44, 1.25);    // DIMEXE
        out_.putDouble(140, 2.5);    // DIMTXT
        out_.putDouble(141, 2.5);    // DIMCEN
        out_.putDouble(147, 0.625);  // DIMGAP
        out_.putInt(73, 0);          // DIMTIH
        out_.putInt(74, 0);          // DIMTOH
        out_.putInt(77, 1);          // DIMTAD
        out_.putInt(78, 8);          // DIMZIN
        if (r2000_) {
            out_.putInt(179, 0);   // DIMADEC
            out_.putInt(271, 2);   // DIMDEC
            out_.putInt(278, 44);  // DIMDSEP ','
        }
        endTable();

        if (r2000_) {
            tableHead("BLOCK_RECORD", hBlockRecordTable, 2);
            blockRecord(hModelRecord, "*Model_Space", hLayoutModel);
            blockRecord(hPaperRecord, "*Paper_Space", hLayoutPaper);
            endTable();
        }
        endSection();
    }

    void linetype(Handle h, const char* name) {
        entryHead("LTYPE", h, hLtypeTable, "AcDbLinetypeTableRecord");
        out_.put(2, name);
        out_.putInt(70, 0);
        out_.put(3, std::string_view(name) == "ByBlock" || std::string_view(name) == "ByLayer"
                        ? ""
                        : "Solid line");
        out_.putInt(72, 65);
        out_.putInt(73, 0);
        out_.putDouble(40, 0);
    }

    void blockRecord(Handle h, const char* name, Handle layout) {
        entryHead("BLOCK_RECORD", h, hBlockRecordTable, "AcDbBlockTableRecord");
        out_.put(2, name);
        out_.putHandle(340, layout);
        if (version_ >= "AC1021") {
            out_.putInt(70, 0);
            out_.putInt(280, 1);
            out_.putInt(281, 0);
        }
    }

    void blocks() {
        section("BLOCKS");
        // R12 keeps model and paper space entities in ENTITIES only.
        if (r2000_) {
            layoutBlock("*Model_Space", hModelBlock, hModelEnd, hModelRecord, false);
            layoutBlock("*Paper_Space", hPaperBlock, hPaperEnd, hPaperRecord, true);
        }
        endSection();
    }

    void layoutBlock(const char* name, Handle begin, Handle end, Handle record, bool paper) {
        // BLOCK and ENDBLK open alike: handle, owner, space and layer 0.
        auto head = [&](const char* type, Handle h, const char* marker) {
            out_.put(0, type);
            out_.putHandle(5, h);
            owner(record);
            subclass("AcDbEntity");
            if (paper && r2000_) out_.putInt(67, 1);
            out_.put(8, "0");
            subclass(marker);
        };
        head("BLOCK", begin, "AcDbBlockBegin");
        out_.put(2, name);
        out_.putInt(70, 0);
        point(10, 0, 0, 0);
        out_.put(3, name);
        out_.put(1, "");
        head("ENDBLK", end, "AcDbBlockEnd");
    }

    void dictionary(Handle h, Handle ownerHandle,
                    std::initializer_list<std::pair<const char*, Handle>> entries) {
        out_.put(0, "DICTIONARY");
        out_.putHandle(5, h);
        out_.putHandle(330, ownerHandle);
        out_.put(100, "AcDbDictionary");
        out_.putInt(281, 1);
        for (auto [name, value] : entries) {
            out_.put(3, name);
            out_.putHandle(350, value);
        }
    }

    void objects() {
        section("OBJECTS");
        out_.put(0, "DICTIONARY");
        out_.putHandle(5, hRootDict);
        out_.put(330, "0");
        out_.put(100, "AcDbDictionary");
        out_.putInt(281, 1);
        for (auto [name, value] :
             {std::pair{"ACAD_GROUP", hGroupDict}, std::pair{"ACAD_LAYOUT", hLayoutDict},
              std::pair{"ACAD_MLINESTYLE", hMlineStyleDict},
              std::pair{"ACAD_PLOTSTYLENAME", hPlotStyleDict}}) {
            out_.put(3, name);
            out_.putHandle(350, value);
        }
        dictionary(hGroupDict, hRootDict, {});
        dictionary(hLayoutDict, hRootDict, {{"Layout1", hLayoutPaper}, {"Model", hLayoutModel}});
        dictionary(hMlineStyleDict, hRootDict, {{"Standard", hMlineStyleStandard}});

        out_.put(0, "ACDBDICTIONARYWDFLT");
        out_.putHandle(5, hPlotStyleDict);
        out_.putHandle(330, hRootDict);
        out_.put(100, "AcDbDictionary");
        out_.putInt(281, 1);
        out_.put(3, "Normal");
        out_.putHandle(350, hPlotStyleNormal);
        out_.put(100, "AcDbDictionaryWithDefault");
        out_.putHandle(340, hPlotStyleNormal);

        out_.put(0, "ACDBPLACEHOLDER");
        out_.putHandle(5, hPlotStyleNormal);
        out_.putHandle(330, hPlotStyleDict);

        layout(hLayoutModel, "Model", hModelRecord, 0, true);
        layout(hLayoutPaper, "Layout1", hPaperRecord, 1, false);

        out_.put(0, "MLINESTYLE");
        out_.putHandle(5, hMlineStyleStandard);
        out_.putHandle(330, hMlineStyleDict);
        out_.put(100, "AcDbMlineStyle");
        out_.put(2, "Standard");
        out_.putInt(70, 0);
        out_.put(3, "");
        out_.putInt(62, 256);
        out_.putDouble(51, 90);
        out_.putDouble(52, 90);
        out_.putInt(71, 2);
        for (double offset : {0.5, -0.5}) {
            out_.putDouble(49, offset);
            out_.putInt(62, 256);
            out_.put(6, "BYLAYER");
        }
        endSection();
    }

    void layout(Handle h, const char* name, Handle record, int tab, bool model) {
        out_.put(0, "LAYOUT");
        out_.putHandle(5, h);
        out_.putHandle(330, hLayoutDict);
        out_.put(100, "AcDbPlotSettings");
        out_.put(1, "");
        out_.put(2, "none_device");
        out_.put(4, "ISO_A3_(420.00_x_297.00_MM)");
        out_.put(6, "");
        for (int code = 40; code <= 49; ++code) out_.putDouble(code, code == 44 ? 420 : 0);
        out_.putDouble(140, 0);
        out_.putDouble(141, 0);
        out_.putDouble(142, 1);
        out_.putDouble(143, 1);
        out_.putInt(70, model ? 1712 : 688);
        out_.putInt(72, 1);  // millimetres
        out_.putInt(73, 0);
        out_.putInt(74, 5);
        out_.put(7, "");
        out_.putInt(75, 16);
        out_.putDouble(147, 1);
        out_.putDouble(148, 0);
        out_.putDouble(149, 0);
        out_.put(100, "AcDbLayout");
        out_.put(1, name);
        out_.putInt(70, 1);
        out_.putInt(71, tab);
        point2(10, 0, 0);
        point2(11, 420, 297);
        point(12, 0, 0, 0);
        point(14, 0, 0, 0);
        point(15, 0, 0, 0);
        out_.putDouble(146, 0);
        point(13, 0, 0, 0);
        point(16, 1, 0, 0);
        point(17, 0, 1, 0);
        out_.putInt(76, 0);
        out_.putHandle(330, record);
    }

    std::string version_;
    Box2 view_{0.0, 0.0, 1000.0, 1000.0};
    std::string text_;
    TagOut out_;
    bool r2000_;
};

}  // namespace

std::string emptyDrawingText(std::string_view version, const Box2& view) {
    static constexpr std::string_view kVersions[] = {"AC1009", "AC1015", "AC1018", "AC1021",
                                                     "AC1024", "AC1027", "AC1032"};
    bool known = false;
    for (std::string_view v : kVersions) known = known || v == version;
    if (!known) {
        throw Error("Новый чертёж версии «" + std::string(version) +
                    "» создать нельзя: поддерживаются AC1009 (R12), AC1015 (R2000), AC1018, "
                    "AC1021, AC1024, AC1027, AC1032");
    }
    return Template(version, view).build();
}

DrawingData makeEmptyDrawing(std::string_view version) {
    return readDxf(emptyDrawingText(version));
}

}  // namespace cad
