#include "sheet/sheet.hpp"

#include <vector>

#include <numbers>
#include <span>
#include <string>

#include "model/primitives.hpp"
#include "model/runner.hpp"
#include "model/units.hpp"
#include "model/value_checks.hpp"
#include "sheet/sheets.hpp"

namespace sheet {

namespace {

struct SheetLine {
    double x1, y1, x2, y2;
};

// Where the stamp boxes, the approval block and the "Отметки" group end.
constexpr double kStampRight = 4000.0;
constexpr double kStampDivider = 6500.0;
constexpr double kMarksGroupRight = 15000.0;
constexpr double kRulerTickLeft = 36000.0;
constexpr double kRulerTop = kDatumY + 6.5 * kUnitsPerMetreUp;

constexpr SheetLine captionRowTop(const Row& row) {
    return {kFrameLeft, row.top, kCaptionRight, row.top};
}

constexpr SheetLine rulerTick(int metres) {
    const double y = kDatumY + metres * kUnitsPerMetreUp;
    return {kRulerTickLeft, y, kCaptionRight, y};
}

// Drawing order matters to users who pick the sheet apart: keep it.
constexpr SheetLine kFixedLines[kFixedLineCount] = {
    {0, 0, kWidth, 0},  // outer frame
    {0, 0, 0, kHeight},
    {kWidth, 0, kWidth, kHeight},
    {0, kHeight, kWidth, kHeight},
    {kFrameLeft, kFrameBottom, kFrameRight, kFrameBottom},  // inner frame
    {kFrameLeft, kFrameBottom, kFrameLeft, kFrameTop},
    {kFrameRight, kFrameBottom, kFrameRight, kFrameTop},
    {kFrameLeft, kFrameTop, kFrameRight, kFrameTop},
    {kFrameLeft, kFrameBottom, kStampRight, kFrameBottom},    // stamp boxes: bottom (right to left)
    {kStampRight, kFrameBottom, kStampRight, 45000},          //   left edge
    {kStampDivider, kFrameBottom, kStampDivider, 45000},      //   label / entry divider
    {kCaptionRight, kFrameBottom, kCaptionRight, kRulerTop},  // caption column edge, ruler axis
    {2500, 45000, 2500, 110000},                              // approval block columns
    {5000, 45000, 5000, 110000},
    {7500, 45000, 7500, 110000},
    {kStampRight, 15000, kFrameLeft, 15000},  // stamp box dividers
    {kStampRight, 32500, kFrameLeft, 32500},
    {0, 45000, kFrameLeft, 45000},  // approval block: bottom, rows, top
    {0, 77500, kFrameLeft, 77500},
    {0, 87500, kFrameLeft, 87500},
    {0, 97500, kFrameLeft, 97500},
    {0, 105000, kFrameLeft, 105000},
    {0, 110000, kFrameLeft, 110000},
    {2500, 55000, kFrameLeft, 55000},  //   rows of the entry columns only
    {2500, 65000, kFrameLeft, 65000},
    {2500, 72500, kFrameLeft, 72500},
    captionRowTop(kPlanRow),  // caption column: tops of the rows up to the depth row
    captionRowTop(kPiketRow),
    captionRowTop(kDistanceRow),
    captionRowTop(kSlopeRow),
    captionRowTop(kBaseRow),
    captionRowTop(kBallastRow),
    captionRowTop(kPipeTypeRow),
    captionRowTop(kDepthRow),
    {kFrameLeft, kSlopeRow.bottom, kCaptionRight, kSlopeRow.top},  //   diagonal of the slope row
    captionRowTop(kTrenchBottomRow),  //   the top of the geology row is the datum line
    captionRowTop(kGroundRow),
    captionRowTop(kGeologyRow),
    rulerTick(1),  // height ruler ticks, 1 m apart
    rulerTick(2),
    rulerTick(3),
    rulerTick(4),
    rulerTick(5),
    {kMarksGroupRight, kPipeTopRow.top, kCaptionRight, kPipeTopRow.top},  // right of "Отметки"
    {kMarksGroupRight, kPipeTopRow.bottom, kMarksGroupRight, kTrenchBottomRow.top},
};

constexpr double kUp = std::numbers::pi / 2;  // reads upwards

struct SheetText {
    const char* text;
    double x, y, height, rotation, widthFactor;
};

constexpr std::size_t kVerticalScaleText = 19;
constexpr std::size_t kHorizontalScaleText = 20;

// The "N" of the stamp texts is the Latin letter; the "М" of the scales is Cyrillic.
const SheetText kFixedTexts[kFixedTextCount] = {
    {"инв. N    подп.", 5925, 4470, 1000, kUp, 0.7},
    {"Подпись и дата", 5925, 18060, 1000, kUp, 0.7},
    {"Взамен инв. N", 5925, 33325, 1000, kUp, 0.7},
    {"Согласовано:", 1860, 46310, 1000, kUp, 0.7},
    {"Развернутый план", 16150, 13540, 1500, 0, 0.7},
    {"Пикет", 21360, 28090, 1250, 0, 0.7},
    {"Расстояние, м", 18480, 34380, 1250, 0, 0.7},
    {"Уклоны,    %", 11020, 40480, 1250, 0, 0.7},
    {"Длина, м", 29090, 38500, 1250, 0, 0.7},
    {"Основание", 20100, 44260, 1250, 0, 0.7},
    {"Балластировка", 19060, 49360, 1250, 0, 0.7},
    {"Обозначение трубы и тип изоляции", 11360, 54540, 1250, 0, 0.6},
    {"Глубина траншеи, м", 16260, 59290, 1250, 0, 0.7},
    {"верха трубопровода", 15790, 64235, 1250, 0, 0.7},
    {"дна траншеи", 16200, 69340, 1250, 0, 0.7},
    {"Отметка земли фактическая, м", 12500, 74465, 1250, 0, 0.7},
    {"характеристика", 18420, 78540, 1250, 0, 0.7},
    {"Инженерно-геологическая", 15880, 80505, 1250, 0, 0.7},
    {"Условный горизонт", 13775, 83360, 1250, 0, 0.7},
    {"М 1:100 по вертикали", 12785, 86855, 1250, 0, 0.7},    // kVerticalScaleText
    {"М 1:500 по горизонтали", 12785, 88780, 1250, 0, 0.7},  // kHorizontalScaleText
    {"Отметки", 13135, 64640, 1250, kUp, 0.7},
};

// The drawing the sheet goes into: the active one (the project drawing once
// opened), else the project drawing.
cad::Drawing& sheetTarget(model::Workspace& ws) {
    if (cad::Drawing* d = ws.app.active(); d && d->isOpen()) return *d;
    if (ws.doc && ws.doc->isOpen()) return *ws.doc;
    throw cad::Error("Нет открытого чертежа: откройте проект");
}

// The selection event of the sheet drawing goes to the workspace's handler,
// connected afresh each time a picket is taken into work.
void reconnectSelection(model::Workspace& ws, cad::Drawing& target) {
    if (ws.sheetDoc && ws.selectionConnection != 0) {
        ws.sheetDoc->disconnectSelectionChanged(ws.selectionConnection);
        ws.selectionConnection = 0;
    }
    ws.sheetDoc = &target;
    ws.selectionConnection = target.onSelectionChanged([&ws](cad::Drawing&) {
        if (!ws.selectionHandler) return;
        // A selection made by a running action belongs to that action;
        // one made by the user is an action of its own.
        if (ws.operationRunning) {
            ws.selectionHandler(ws);
        } else {
            model::runOperation(ws, [&ws] { ws.selectionHandler(ws); });
        }
    });
}

}  // namespace

void drawBlankSheet(model::Workspace& ws, double offsetY) {
    for (const SheetLine& l : kFixedLines) {
        model::AddLineEntity(ws, l.x1, l.y1 + offsetY, l.x2, l.y2 + offsetY);
    }
    const model::SheetOptions& o = ws.sheetOptions;
    for (const SheetText& t : kFixedTexts) {
        std::string text = t.text;
        // The scale captions name the scales in force.
        if (&t == &kFixedTexts[kVerticalScaleText] && o.verticalScale != 100.0) {
            text = "М 1:" + model::formatNumber(o.verticalScale, '.') + " по вертикали";
        } else if (&t == &kFixedTexts[kHorizontalScaleText] && o.horizontalScale != 500.0) {
            text = "М 1:" + model::formatNumber(o.horizontalScale, '.') + " по горизонтали";
        }
        model::AddTextEntity(ws, text, t.x, t.y + offsetY, t.rotation, t.widthFactor, t.height);
    }
}

void drawSheetGrid(model::Workspace& ws, double length, double offsetY) {
    const double x2 = kDataAreaX + length;
    for (const Row& row : std::span(kTableRows).subspan(1)) {
        model::AddLineEntity(ws, kDataAreaX, row.top + offsetY, x2, row.top + offsetY);
    }
    model::AddLineEntity(ws, kDataAreaX, kPlanRow.top + offsetY, x2, kPlanRow.top + offsetY);
    cad::EntityRef planLine =
        model::AddLineEntity(ws, kDataAreaX, kPlanY + offsetY, x2, kPlanY + offsetY);
    planLine.setLineweight(50);
}

namespace {

// Each element in millimetres of terrain, rounded to a whole one before the
// sum. cad::Error for an element that has no length.
double lengthOf(const model::Piket& piket, double millimetres) {
    double length = 0.0;
    for (const cad::EntityRef& element : piket.elements) {
        length += model::roundHalfEven(element.length() * millimetres);
    }
    return length;
}

}  // namespace

void takeIntoWork(model::Workspace& ws) {
    ws.ui.processEvents();
    model::Controls& c = ws.controls;
    if (c.selectedRow >= 0 && c.selectedRow < static_cast<int>(c.piketRows.size())) {
        const model::PiketRow row = c.piketRows[static_cast<std::size_t>(c.selectedRow)];
        if (row.stateIndex < 0 || row.stateIndex >= static_cast<int>(ws.pikets.size())) {
            throw cad::Error("Строка «" + row.caption + "» не ведёт к пикету");
        }
        if (auto b = c.brokenPikets.find(row.stateIndex); b != c.brokenPikets.end()) {
            throw cad::Error("«" + row.caption + "» нельзя взять в работу: " + b->second);
        }
        const double millimetres = model::millimetresPerUnit(c.planUnits);
        const model::Piket& piket = ws.pikets[static_cast<std::size_t>(row.stateIndex)];
        double length = 0.0;
        try {
            length = lengthOf(piket, millimetres);
        } catch (const cad::Error&) {
            // An element without a length is said where it always was, after the
            // fixed part of the sheet.
        }
        if (!(length <= model::kLongestPiketMm)) {
            throw cad::Error("«" + row.caption +
                             "» нельзя взять в работу: его элементы длиннее 1000 км. Проверьте "
                             "единицы плана.");
        }
        ws.workPiket = row.stateIndex;
        c.statusText = "В работе " + row.caption;
        c.showAllEnabled = true;
        c.buildEnabled = true;
        c.editorEnabled = true;
        ws.profileBuilt = false;

        cad::Drawing& target = sheetTarget(ws);
        reconnectSelection(ws, target);
        target.addLayer("Kernavisto");
        drawBlankSheet(ws);
        ws.piketLength = lengthOf(piket, millimetres);
        // Split over sheets, the first sheet's grid ends where its part does.
        const std::vector<SheetSpan> spans = sheetSpans(ws.piketLength, ws.sheetOptions);
        drawSheetGrid(ws, spans.front().end * alongFactor(ws.sheetOptions));
    }
    ws.app.zoomAll();
    if (ws.doc && ws.doc->isOpen()) ws.app.activate(*ws.doc);
}

}  // namespace sheet
