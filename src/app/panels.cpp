#include "app/panels.hpp"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/crossed_fields.hpp"
#include "app/widget_build.hpp"

namespace app {

namespace {

QToolButton* textButton(QWidget* parent, const char* name, const QString& text, int x, int y,
                        int width, int height) {
    auto* b = place(new QToolButton(parent), name, x, y, width, height);
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

QLineEdit* field(QWidget* parent, const char* name, int x, int y, int width) {
    return place(new QLineEdit(parent), name, x, y, width, 21);
}

QWidget* panel(QStackedWidget* stack, const char* name, PanelWidgets& w, model::PanelId id) {
    auto* p = new QFrame(stack);
    p->setObjectName(QLatin1String(name));
    stack->addWidget(p);
    w.panels[static_cast<std::size_t>(id)] = p;
    return p;
}

void projectPanel(QStackedWidget* stack, PanelWidgets& w) {
    QWidget* p = panel(stack, "Panel1", w, model::PanelId::Project);
    caption(p, "Label1", QStringLiteral("Проект"), 8, 8);
    w.projectFile = field(p, "Edit1", 8, 24, 161);
    w.projectFile->setEnabled(false);
}

void initialParametersPanel(QStackedWidget* stack, PanelWidgets& w) {
    QWidget* p = panel(stack, "Panel2", w, model::PanelId::InitialParameters);
    caption(p, "Label2", QStringLiteral("Глубина верха трубопровода, м"), 8, 8);
    w.depth = field(p, "Edit2", 8, 24, 161);
    caption(p, "Label3", QStringLiteral("Трубы, мм"), 8, 56);
    w.pipe = field(p, "Edit8", 8, 72, 161);
    caption(p, "Label4", QStringLiteral("Подсыпка, м"), 8, 104);
    w.bedding = field(p, "Edit4", 8, 120, 161);
    // Surveys are often drawn in metres; what the plan measures is converted.
    caption(p, "LabelUnits", QStringLiteral("Единицы плана"), 8, 152);
    auto* units = place(new QComboBox(p), "ComboBoxUnits", 8, 168, 161, 22);
    units->addItems({QStringLiteral("мм"), QStringLiteral("см"), QStringLiteral("м")});
    units->setToolTip(QStringLiteral("В каких единицах начерчен план: мм, см или м"));
    w.planUnits = units;
}

void typesPanel(QStackedWidget* stack, PanelWidgets& w) {
    QWidget* p = panel(stack, "Panel3", w, model::PanelId::Types);
    struct Type {
        const char* label;
        QString caption;
        const char* list;
        const char* add;
        const char* remove;
        int captionY;
        int listY;
    };
    const Type types[] = {
        {"Label5", QStringLiteral("Трасса"), "ComboBox2", "SpeedButton9", "SpeedButton10", 8, 32},
        {"Label6", QStringLiteral("Подводы"), "ComboBox3", "SpeedButton11", "SpeedButton12", 64,
         80},
        {"Label7", QStringLiteral("Коммуникации"), "ComboBox4", "SpeedButton13", "SpeedButton14",
         112, 128},
        {"Label8", QStringLiteral("Другие пересечения"), "ComboBox5", "SpeedButton15",
         "SpeedButton16", 160, 176},
    };
    for (std::size_t n = 0; n < std::size(types); ++n) {
        const Type& t = types[n];
        QLabel* title = caption(p, t.label, t.caption, 0, t.captionY, 118);
        // A long caption gets a smaller font rather than lose its end under
        // the buttons.
        QFont font = title->font();
        while (QFontMetrics(font).horizontalAdvance(t.caption) > 116 && font.pointSizeF() > 6)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        title->setFont(font);
        // The buttons stand beside the caption and end where the list begins.
        const int buttonY = t.listY - 23;
        auto* add = place(new QToolButton(p), t.add, 120, buttonY, 23, 22);
        add->setIcon(icon("add"));
        add->setToolTip(QStringLiteral("Добавить"));
        auto* remove = place(new QToolButton(p), t.remove, 144, buttonY, 23, 22);
        remove->setIcon(icon("remove"));
        remove->setToolTip(QStringLiteral("Удалить"));
        auto* list = place(new QComboBox(p), t.list, 0, t.listY, 169, 22);
        list->setEditable(true);
        // Typing into the list never adds an item: only picking objects does.
        list->setInsertPolicy(QComboBox::NoInsert);
        // A layer name longer than the list is read whole under the pointer.
        QObject::connect(list, &QComboBox::currentTextChanged, list, &QWidget::setToolTip);
        w.typeLists[n] = list;
        w.addType[n] = add;
        w.removeType[n] = remove;
    }
    w.hideSelected =
        textButton(p, "SpeedButton8", QStringLiteral("Скрыть выбранное"), 0, 200, 169, 22);
    w.showAll = textButton(p, "SpeedButton19", QStringLiteral("Показать все"), 0, 224, 169, 22);
}

void piketsPanel(QStackedWidget* stack, PanelWidgets& w) {
    QWidget* p = panel(stack, "Panel4", w, model::PanelId::Pikets);
    w.addByEnds = pictureButton(p, "SpeedButton17", "piket_ends",
                                QStringLiteral("Добавить пикет по конечным точкам"), 0, 16, 23);
    w.addByEnds->setIconSize(QSize(16, 16));
    w.addBySequence =
        pictureButton(p, "SpeedButton33", "piket_sequence",
                      QStringLiteral("Добавить пикет последовательным выбором трассы"), 24, 16, 23);
    w.addBySequence->setIconSize(QSize(16, 16));
    auto* hide =
        place(new QCheckBox(QStringLiteral("Скрывать элементы"), p), "CheckBox1", 48, 24, 129, 17);
    hide->setChecked(false);
    // The caption has to fit the place beside the two buttons.
    QFont small = hide->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    hide->setFont(small);
    w.hideWhilePicking = hide;

    auto* list = place(new QTreeWidget(p), "ListView1", 0, 48, 177, 296);
    list->setColumnCount(1);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setSectionResizeMode(QHeaderView::Stretch);
    w.piketList = list;

    auto* remove = textButton(p, "SpeedButton18", QStringLiteral("Удалить"), 0, 352, 177, 33);
    remove->setIcon(icon("delete"));
    remove->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    remove->setToolTip(QStringLiteral("Удалить"));
    w.deletePiket = remove;
    w.takeIntoWork =
        textButton(p, "SpeedButton6", QStringLiteral("Взять в работу"), 0, 392, 177, 33);
}

// The editor holds more rows than a small screen at a large font has room
// for: its fields stand on a page that scrolls up and down.
QWidget* scrollingPanel(QStackedWidget* stack, const char* name, PanelWidgets& w,
                        model::PanelId id) {
    auto* area = new QScrollArea(stack);
    area->setObjectName(QLatin1String(name));
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(false);
    auto* fields = new QFrame;
    fields->setObjectName(QLatin1String(name) + QStringLiteral("Fields"));
    area->setWidget(fields);
    stack->addWidget(area);
    w.panels[static_cast<std::size_t>(id)] = area;
    return fields;
}

void editorPanel(QStackedWidget* stack, PanelWidgets& w) {
    QWidget* p = scrollingPanel(stack, "Panel5", w, model::PanelId::Editor);
    // The count stands after the caption, however wide the system font makes it.
    QLabel* total = caption(p, "Label15", QStringLiteral("Всего точек:"), 8, 0, 72);
    total->adjustSize();
    const int countAt = std::max(80, 8 + total->width() + 4);
    w.pointCount = caption(p, "Label16", QStringLiteral("0"), countAt, 0, 177 - countAt);
    // The step buttons as wide as their arrows need, the number between them.
    // They stand where they are; a row wider than the panel widens it.
    QToolButton* first = textButton(p, "SpeedButton22", QStringLiteral("<<"), 8, 16, 23, 22);
    const int step = std::max(23, first->sizeHint().width());
    first->resize(step, 22);
    const int numberAt = 10 + 2 * step;
    QWidget* row[] = {
        first,
        textButton(p, "SpeedButton20", QStringLiteral("<"), 9 + step, 16, step, 22),
        place(new QLabel(QStringLiteral("0"), p), "Label11", numberAt, 16,
              std::max(32, 167 - 2 * step - 1 - numberAt), 25),
        nullptr,
        nullptr,
    };
    auto* number = static_cast<QLabel*>(row[2]);
    number->setAlignment(Qt::AlignCenter);
    const int nextAt = numberAt + number->width() + 1;
    row[3] = textButton(p, "SpeedButton21", QStringLiteral(">"), nextAt, 16, step, 22);
    row[4] = textButton(p, "SpeedButton23", QStringLiteral(">>"), nextAt + step + 1, 16, step, 22);
    for (QWidget* stays : row) stays->setProperty("kvStays", true);
    w.firstPoint = first;
    w.previousPoint = static_cast<QToolButton*>(row[1]);
    w.pointNumber = number;
    w.nextPoint = static_cast<QToolButton*>(row[3]);
    w.lastPoint = static_cast<QToolButton*>(row[4]);

    caption(p, "Label12", QStringLiteral("Высота рельефа, м"), 8, 48);
    w.relief = field(p, "Edit3", 8, 64, 81);
    w.takeOverRelief =
        pictureButton(p, "SpeedButton24", "edit", QStringLiteral("Изменить"), 97, 64, 23);
    w.setAuto = pictureButton(p, "SpeedButton25", "auto", QStringLiteral("Авто"), 120, 64, 23);
    w.pickRelief =
        pictureButton(p, "SpeedButton26", "pick", QStringLiteral("Указать"), 144, 64, 23);

    caption(p, "Label14", QStringLiteral("Диаметр трубы, мм"), 8, 88);
    w.pointPipe = field(p, "Edit7", 8, 104, 129);
    w.takeOverPipe =
        pictureButton(p, "SpeedButton30", "edit", QStringLiteral("Изменить"), 145, 104, 23);

    caption(p, "Label13", QStringLiteral("Диаметр футляра, мм"), 8, 128);
    w.casing = field(p, "Edit6", 8, 144, 129);
    w.takeOverCasing =
        pictureButton(p, "SpeedButton29", "edit", QStringLiteral("Изменить"), 145, 144, 23);

    // The crossed utility under the point's own values; the rest moves down.
    const int d = buildCrossedFields(p, w, 168) - 176;
    w.addPoint =
        textButton(p, "SpeedButton27", QStringLiteral("Добавить пересечение"), 0, 176 + d, 177, 33);
    w.addPoint->setFont(QFont(QStringLiteral("Times New Roman")));
    w.deletePoint =
        textButton(p, "SpeedButton31", QStringLiteral("Удалить пересечение"), 0, 216 + d, 177, 33);
    w.build = textButton(p, "SpeedButton28", QStringLiteral("Построить\\Перестроить"), 0, 256 + d,
                         177, 33);

    auto* ground = w.ground =
        textButton(p, "GroundButton", QStringLiteral("Отметки по съёмке"), 0, 296 + d, 177, 33);
    ground->setToolTip(
        QStringLiteral("Высоты рельефа точек пикета — по отметкам съёмки в чертеже"));

    w.crossSurvey = textButton(p, "CrossSurveyButton", QStringLiteral("Верх сетей по съёмке"), 0,
                               336 + d, 177, 33);
    w.crossSurvey->setToolTip(
        QStringLiteral("Верх пересекаемых сетей — по отметкам на их слоях рядом с пересечениями"));
    const int e = d + 40;

    // How the profile is laid out: by default one sheet at 1:500 and 1:100.
    caption(p, "LabelSheets", QStringLiteral("Листы профиля"), 8, 336 + e);
    w.sheetSplit = place(new QCheckBox(QStringLiteral("Несколько листов"), p), "SheetSplit", 8,
                         354 + e, 169, 17);
    w.sheetSplit->setToolTip(
        QStringLiteral("Длинный пикет — на нескольких листах, один под другим"));
    caption(p, "LabelScales", QStringLiteral("Масштабы: гориз. / верт."), 8, 376 + e);
    auto* along = place(new QComboBox(p), "SheetScaleH", 8, 394 + e, 84, 22);
    along->setToolTip(QStringLiteral("Горизонтальный масштаб"));
    for (int scale : {500, 1000, 2000}) along->addItem(QStringLiteral("1:%1").arg(scale), scale);
    along->resize(std::max(84, along->sizeHint().width()), 22);
    w.scaleAlong = along;
    const int heightAt = 8 + along->width() + 4;
    auto* height =
        place(new QComboBox(p), "SheetScaleV", heightAt, 394 + e, std::max(77, 173 - heightAt), 22);
    height->setToolTip(QStringLiteral("Вертикальный масштаб"));
    for (int scale : {100, 200}) height->addItem(QStringLiteral("1:%1").arg(scale), scale);
    height->resize(std::max(height->width(), height->sizeHint().width()), 22);
    height->setProperty("kvStays", true);
    w.scaleHeight = height;
    w.datumPerSheet = place(new QCheckBox(QStringLiteral("Горизонт по листам"), p),
                            "SheetDatumPerSheet", 8, 424 + e, 169, 17);
    w.datumPerSheet->setToolTip(
        QStringLiteral("Условный горизонт каждого листа — по его отметкам"));
    w.liveRebuild = place(new QCheckBox(QStringLiteral("Перестраивать сразу"), p), "LiveRebuild", 8,
                          441 + e, 169, 17);
    w.liveRebuild->setToolTip(
        QStringLiteral("После каждого изменения значений профиль строится заново"));
}

}  // namespace

QGroupBox* buildToolPanel(QWidget* parent, PanelWidgets& w) {
    auto* box = new QGroupBox(parent);
    box->setObjectName(QStringLiteral("GroupBox1"));
    box->setToolTip(QStringLiteral("Панель инструментов"));
    box->setFixedWidth(44);
    w.open = pictureButton(box, "openbutton", "open", QStringLiteral("Открыть проект"), 2, 8, 40);
    w.initialParameters = pictureButton(box, "SpeedButton7", "parameters",
                                        QStringLiteral("Первоначальные параметры"), 2, 48, 40);
    w.types = pictureButton(box, "SpeedButton1", "types",
                            QStringLiteral("Выбор типов коммуникаций"), 2, 88, 40);
    w.pikets = pictureButton(box, "SpeedButton2", "pikets", QStringLiteral("Пикеты"), 2, 128, 40);
    auto* separator = place(new QFrame(box), "Bevel1", 2, 176, 40, 3);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    w.editor = pictureButton(box, "SpeedButton4", "editor",
                             QStringLiteral("Параметры пересечений пикета"), 2, 184, 40);
    w.buildHidden = pictureButton(box, "SpeedButton3", "profile",
                                  QStringLiteral("Построить профиль"), 2, 224, 40);
    w.buildHidden->setVisible(false);
    return box;
}

namespace {

constexpr int kPanelWidth = 177;  // the panels' own width, as laid out above

// Whether a component reaches the panel's right edge (it grows with the
// panel), or is a small button standing at that edge (it moves with it).
bool reachesRight(const QWidget* w) {
    return w->geometry().right() >= kPanelWidth - 18;
}
bool smallAtRight(const QWidget* w) {
    return w->width() <= 30 && w->x() > kPanelWidth / 2;
}

// What a component needs to show its text whole.
QSize needed(const QWidget* w) {
    if (qobject_cast<const QLineEdit*>(w)) return {0, w->sizeHint().height()};
    if (qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
        qobject_cast<const QComboBox*>(w))
        return w->sizeHint();
    return {0, 0};
}

}  // namespace

QWidget* panelFields(QWidget* page) {
    if (auto* area = qobject_cast<QScrollArea*>(page)) return area->widget();
    return page;
}

namespace {

// The panels were laid out for a small system font: with a larger one (a
// font of its own, or a screen scaled to 150 %) every row grows as tall as
// its texts need, and the panel as wide as its widest text, so that no
// caption, button or list loses its end.
int fitPanels(QStackedWidget* stack) {
    double taller = 1.0;
    int wider = 0;
    for (int i = 0; i < stack->count(); ++i) {
        for (QWidget* w :
             panelFields(stack->widget(i))->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QToolButton*>(w) && static_cast<QToolButton*>(w)->text().isEmpty())
                continue;  // a picture button
            const QSize want = needed(w);
            if (w->height() > 0 && want.height() > w->height())
                taller = std::max(taller, double(want.height()) / w->height());
            if (w->property("kvStays").toBool()) {
                wider = std::max(wider, w->geometry().right() + 1 - kPanelWidth);
            } else if (reachesRight(w) && !smallAtRight(w)) {
                wider = std::max(wider, want.width() - w->width());
                wider = std::max(wider, w->geometry().right() + 1 - kPanelWidth);
            }
        }
    }
    for (int i = 0; i < stack->count(); ++i) {
        QWidget* fields = panelFields(stack->widget(i));
        QRect all;
        for (QWidget* w : fields->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QRect g = w->geometry();
            const bool stays = w->property("kvStays").toBool();
            const bool moves = !stays && smallAtRight(w);
            const bool grows = !stays && reachesRight(w) && !moves;
            g = QRect(g.x() + (moves ? wider : 0), qRound(g.y() * taller),
                      g.width() + (grows ? wider : 0), qRound(g.height() * taller));
            w->setGeometry(g);
            all |= g;
        }
        // A scrolling page is as large as what it holds.
        if (fields != stack->widget(i)) fields->resize(kPanelWidth + wider, all.bottom() + 5);
    }
    return wider;
}

}  // namespace

QGroupBox* buildAuxiliaryPanel(QWidget* parent, PanelWidgets& w) {
    auto* box = new QGroupBox(parent);
    box->setObjectName(QStringLiteral("GroupBox2"));
    box->setToolTip(QStringLiteral("Вспомогательная панель"));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* stack = new QStackedWidget(box);
    stack->setObjectName(QStringLiteral("PanelStack"));
    layout->addWidget(stack);
    w.stack = stack;
    projectPanel(stack, w);
    initialParametersPanel(stack, w);
    typesPanel(stack, w);
    piketsPanel(stack, w);
    editorPanel(stack, w);
    const int wider = fitPanels(stack);
    // The group's frame and the scroll bar of a page that scrolls come on top
    // of the panels' width: they are never cut at the right.
    const QMargins frame = box->contentsMargins();
    const int scrollBar = box->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    box->setFixedWidth(
        std::max(181, kPanelWidth + wider + frame.left() + frame.right() + 4 + scrollBar));
    return box;
}

QWidget* buildBusyPanel(QWidget* parent, PanelWidgets& w) {
    auto* busy = place(new QFrame(parent), "Panel6", 0, 0, 98, 98);
    busy->setFrameShape(QFrame::Box);
    for (const char* name : {"Image1", "Image2"}) {
        auto* image = place(new QLabel(busy), name, 1, 1, 96, 96);
        image->setPixmap(icon(name[5] == '1' ? "busy1" : "busy2").pixmap(96, 96));
        w.busyBlink = image;  // the second, over the first
    }
    busy->hide();
    w.busy = busy;
    return busy;
}

}  // namespace app
