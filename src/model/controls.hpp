// The main window's state as plain data: what its panels show and what the
// operations read from and write to them. The window mirrors this both ways;
// tests assert on it directly. Members are named after the window components
// whose objectName they carry.
#pragma once

#include <string>
#include <vector>

namespace model {

enum class PanelId { Project, InitialParameters, Types, Pikets, Editor };

struct PiketRow {
    std::string caption;  // "Пикет N"
    int stateIndex = 0;   // index into Workspace::pikets
};

struct Controls {
    // Type layer lists (route, connections, communications, other crossings).
    std::vector<std::string> comboBox2{"Трасса - Kernavisto"};
    std::vector<std::string> comboBox3{"Подводы - Kernavisto"};
    std::vector<std::string> comboBox4{"Водопровод - Kernavisto", "Теплотрасса - Kernavisto"};
    std::vector<std::string> comboBox5{"Асфальт - Kernavisto"};
    // Selected item of each list, -1 when none; each list shows its first item at start.
    int comboBox2ItemIndex = 0;
    int comboBox3ItemIndex = 0;
    int comboBox4ItemIndex = 0;
    int comboBox5ItemIndex = 0;

    // Initial parameters.
    std::string edit2 = "1";    // depth of the pipe top, m
    std::string edit8 = "110";  // pipe diameter, mm
    std::string edit4 = "0";    // bedding, m (nothing reads it)

    bool checkBox1 = false;  // "Скрывать элементы"
    std::string edit1;       // file name of the project drawing

    // Picket list.
    std::vector<PiketRow> listView1;
    int selectedRow = -1;  // index into listView1, -1 when none

    std::string statusText;  // StatusBar1 panel 0

    // Crossing editor.
    std::string label16 = "0";  // point count
    std::string label11 = "0";  // current point number (1-based)
    std::string edit3;          // relief height
    std::string edit6;          // casing diameter
    std::string edit7;          // pipe diameter

    PanelId front = PanelId::Project;

    // Enabled flags of the buttons the operations switch.
    bool speedButton1 = false;  // "Выбор типов коммуникаций"
    bool speedButton2 = false;  // "Пикеты"
    bool speedButton3 = false;  // "Построить профиль"
    bool speedButton4 = false;  // "Параметры пересечений пикета"
    bool speedButton6 = true;   // "Взять в работу"
    bool speedButton7 = false;  // "Первоначальные параметры"
    bool speedButton8 = true;   // "Скрыть выбранное"
    bool speedButton19 = true;  // "Показать все"
};

}  // namespace model
