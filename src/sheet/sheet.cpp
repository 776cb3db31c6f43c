#include "sheet/sheet.hpp"

#include <numbers>
#include <string>

#include "model/primitives.hpp"
#include "model/runner.hpp"

namespace sheet {

namespace {

struct SheetLine {
    double x1, y1, x2, y2;
};

// Drawing order matters to users who pick the sheet apart: keep it.
constexpr SheetLine kFixedLines[kFixedLineCount] = {
    {0, 0, 630000, 0},                // outer frame
    {0, 0, 0, 148500},                //
    {630000, 0, 630000, 148500},      //
    {0, 148500, 630000, 148500},      //
    {10000, 2500, 627500, 2500},      // inner frame
    {10000, 2500, 10000, 146000},     //
    {627500, 2500, 627500, 146000},   //
    {10000, 146000, 627500, 146000},  //
    {10000, 2500, 4000, 2500},        // stamp boxes: bottom (right to left)
    {4000, 2500, 4000, 45000},        //   left edge
    {6500, 2500, 6500, 45000},        //   label / entry divider
    {38000, 2500, 38000, 115000},     // caption column right edge, up as the ruler axis
    {2500, 45000, 2500, 110000},      // approval block columns
    {5000, 45000, 5000, 110000},      //
    {7500, 45000, 7500, 110000},      //
    {4000, 15000, 10000, 15000},      // stamp box dividers
    {4000, 32500, 10000, 32500},      //
    {0, 45000, 10000, 45000},         // approval block: bottom, rows, top
    {0, 77500, 10000, 77500},         //
    {0, 87500, 10000, 87500},         //
    {0, 97500, 10000, 97500},         //
    {0, 105000, 10000, 105000},       //
    {0, 110000, 10000, 110000},       //
    {2500, 55000, 10000, 55000},      //   rows of the entry columns only
    {2500, 65000, 10000, 65000},      //
    {2500, 72500, 10000, 72500},      //
    {10000, 25000, 38000, 25000},     // caption column: tops of rows 1 .. 8
    {10000, 32500, 38000, 32500},     //
    {10000, 37500, 38000, 37500},     //
    {10000, 42500, 38000, 42500},     //
    {10000, 47500, 38000, 47500},     //
    {10000, 52500, 38000, 52500},     //
    {10000, 57500, 38000, 57500},     //
    {10000, 62500, 38000, 62500},     //
    {10000, 37500, 38000, 42500},     //   diagonal of the slope row
    {10000, 72500, 38000, 72500},     //   tops of rows 10 .. 12 (the last is the datum line)
    {10000, 77500, 38000, 77500},     //
    {10000, 82500, 38000, 82500},     //
    {36000, 87500, 38000, 87500},     // height ruler ticks, 1 m apart
    {36000, 92500, 38000, 92500},     //
    {36000, 97500, 38000, 97500},     //
    {36000, 102500, 38000, 102500},   //
    {36000, 107500, 38000, 107500},   //
    {15000, 67500, 38000, 67500},     // top of row 9, right of the "Отметки" group caption
    {15000, 62500, 15000, 72500},     // divider after "Отметки"
};

constexpr double kUp = std::numbers::pi / 2;  // reads upwards

struct SheetText {
    const char* text;
    double x, y, height, rotation, widthFactor;
};

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
    {"М 1:100 по вертикали", 12785, 86855, 1250, 0, 0.7},
    {"М 1:500 по горизонтали", 12785, 88780, 1250, 0, 0.7},
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

void drawBlankSheet(model::Workspace& ws) {
    for (const SheetLine& l : kFixedLines) model::AddLineEntity(ws, l.x1, l.y1, l.x2, l.y2);
    for (const SheetText& t : kFixedTexts) {
        model::AddTextEntity(ws, t.text, t.x, t.y, t.rotation, t.widthFactor, t.height);
    }
}

void drawSheetGrid(model::Workspace& ws, double length) {
    const double x2 = kDataAreaX + length;
    for (int i = 0; i <= 10; ++i) {
        const double y = 32500.0 + 5000.0 * i;
        model::AddLineEntity(ws, kDataAreaX, y, x2, y);
    }
    model::AddLineEntity(ws, kDataAreaX, 25000, x2, 25000);
    cad::EntityRef planLine = model::AddLineEntity(ws, kDataAreaX, 12500, x2, 12500);
    planLine.setLineweight(50);
}

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
        ws.workPiket = row.stateIndex;
        c.statusText = "В работе " + row.caption;
        c.showAllEnabled = true;
        c.buildEnabled = true;
        c.editorEnabled = true;
        ws.profileBuilt = 0;

        cad::Drawing& target = sheetTarget(ws);
        reconnectSelection(ws, target);
        target.addLayer("Kernavisto");
        drawBlankSheet(ws);
        // Each element rounded to a whole unit before the sum.
        ws.piketLength = 0.0;
        for (const cad::EntityRef& element : ws.piketInWork()->elements) {
            ws.piketLength += model::roundHalfEven(element.length());
        }
        drawSheetGrid(ws, ws.piketLength);
    }
    ws.app.zoomAll();
    if (ws.doc && ws.doc->isOpen()) ws.app.activate(*ws.doc);
}

}  // namespace sheet
