#include "app/view/drawing_view.hpp"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "cad/error.hpp"
#include "cad/text_util.hpp"

namespace app {

namespace {

constexpr double kPickBox = 5.0;        // pixels either side of the cursor
constexpr double kSnapAperture = 10.0;  // pixels
constexpr double kDragThreshold = 4.0;  // pixels before a press becomes a window
constexpr double kWheelFactor = 1.25;   // per notch
// How long the wheel rests before a slow frame is drawn anew.
constexpr int kWheelRestMs = 150;

const QColor kHighlight(255, 200, 60);
const QColor kSelection(90, 170, 255);
const QColor kSnapColor(255, 220, 0);
const QColor kPickedColor(255, 90, 200);

// The square of half-side r about a world point.
cad::Box2 squareAbout(cad::Point3 w, double r) {
    cad::Box2 box;
    box.add(w.x - r, w.y - r);
    box.add(w.x + r, w.y + r);
    return box;
}

void drawSnapGlyph(QPainter& p, QPointF c, SnapKind kind) {
    const double r = 6;
    p.setPen(QPen(kSnapColor, 2));
    p.setBrush(Qt::NoBrush);
    switch (kind) {
        case SnapKind::End:
            p.drawRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r));
            break;
        case SnapKind::Mid:
            p.drawPolygon(QPolygonF({QPointF(c.x(), c.y() - r), QPointF(c.x() + r, c.y() + r),
                                     QPointF(c.x() - r, c.y() + r)}));
            break;
        case SnapKind::Center:
            p.drawEllipse(c, r, r);
            break;
        case SnapKind::Intersection:
            p.drawLine(QPointF(c.x() - r, c.y() - r), QPointF(c.x() + r, c.y() + r));
            p.drawLine(QPointF(c.x() - r, c.y() + r), QPointF(c.x() + r, c.y() - r));
            break;
        case SnapKind::Nearest:
            p.drawPolygon(
                QPolygonF({QPointF(c.x() - r, c.y() - r), QPointF(c.x() + r, c.y() - r),
                           QPointF(c.x() - r, c.y() + r), QPointF(c.x() + r, c.y() + r)}));
            break;
    }
}

QString snapKindName(SnapKind kind) {
    switch (kind) {
        case SnapKind::End:
            return QStringLiteral("Конец");
        case SnapKind::Intersection:
            return QStringLiteral("Пересечение");
        case SnapKind::Mid:
            return QStringLiteral("Середина");
        case SnapKind::Center:
            return QStringLiteral("Центр");
        case SnapKind::Nearest:
            return QStringLiteral("Ближайшая");
    }
    return {};
}

}  // namespace

// The drawing view's picture: the last frame is kept and shifted while
// panning, and drawn anew when the view or the drawing changes.
class DrawingArea : public QWidget {
  public:
    explicit DrawingArea(DrawingView* view) : QWidget(view), view_(view) {
        setObjectName(QStringLiteral("drawingArea"));
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::CrossCursor);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(64, 64);
        rest_.setSingleShot(true);
        rest_.setInterval(kWheelRestMs);
        connect(&rest_, &QTimer::timeout, this, [this] { invalidate(); });
    }

    void invalidate() {
        previewing_ = false;
        rest_.stop();
        dirty_ = true;
        update();
    }

    // The view was zoomed by the wheel: drawn at once when frames are quick,
    // else previewed from the last frame until the wheel rests.
    void zoomed() {
        if (cache_.isNull() || dirty_ || lastFrameMs_ < view_->slowFrameMs_) {
            invalidate();
            return;
        }
        previewing_ = true;
        rest_.start();
        update();
    }
    bool previewing() const { return previewing_; }

    // The current frame, rendered now if it is out of date.
    const QImage& frame() {
        QSize want = size() * devicePixelRatioF();
        if (dirty_ || cache_.size() != want) {
            if (cache_.size() != want) cache_ = QImage(want, QImage::Format_RGB32);
            render::ScreenMap m = view_->map_;
            double k = devicePixelRatioF();
            m.scale *= k;
            render::FrameOptions options;
            options.lineweights = view_->lineweights_;
            options.pixelsPerMm = logicalDpiX() / 25.4 * k;
            QElapsedTimer clock;
            clock.start();
            view_->scene_.render(cache_, m, options);
            lastFrameMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            cacheMap_ = view_->map_;
            dirty_ = false;
        }
        return cache_;
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (!panning_ && !previewing_) frame();
        if (cache_.isNull()) {
            p.fillRect(rect(), render::FrameOptions{}.background);
        } else if (previewing_) {
            // The last frame moved and scaled to the view as it now stands.
            const render::ScreenMap& now = view_->map_;
            const double k = now.scale / cacheMap_.scale;
            p.fillRect(rect(), render::FrameOptions{}.background);
            p.save();
            p.translate((cacheMap_.originX - now.originX) * now.scale,
                        (now.originY - cacheMap_.originY) * now.scale);
            p.scale(k, k);
            p.drawImage(QPointF(0, 0), cache_);
            p.restore();
        } else {
            // While panning, the last frame moves with the hand.
            QPointF at = view_->map_.toScreen(cacheMap_.originX, cacheMap_.originY);
            if (at != QPointF(0, 0)) p.fillRect(rect(), render::FrameOptions{}.background);
            p.drawImage(at, cache_);
        }
        view_->paintArea(p);
    }

    void resizeEvent(QResizeEvent*) override {
        view_->areaResized();
        invalidate();
    }

    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::MiddleButton) {
            panning_ = true;
            panLast_ = e->position();
            setCursor(Qt::ClosedHandCursor);
        } else if (e->button() == Qt::LeftButton) {
            view_->leftPressed(e->position(), e->modifiers() & Qt::ShiftModifier);
        }
    }

    void mouseMoveEvent(QMouseEvent* e) override {
        if (panning_) {
            QPointF delta = e->position() - panLast_;
            panLast_ = e->position();
            view_->panBy(delta);
        }
        view_->mouseMovedTo(e->position());
    }

    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::MiddleButton && panning_) {
            panning_ = false;
            setCursor(Qt::CrossCursor);
            view_->panFinished();
        } else if (e->button() == Qt::LeftButton) {
            view_->leftReleased(e->position(), e->modifiers() & Qt::ShiftModifier);
        }
    }

    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::MiddleButton) {
            view_->zoomExtents();
        } else {
            mousePressEvent(e);
        }
    }

    void wheelEvent(QWheelEvent* e) override {
        double steps = e->angleDelta().y() / 120.0;
        if (steps != 0) view_->wheelAt(e->position(), steps);
        e->accept();
    }

    void keyPressEvent(QKeyEvent* e) override {
        // Typing in the drawing goes to the command line, as in a CAD program.
        if (!e->text().isEmpty() && e->text().at(0).isPrint()) {
            QLineEdit* line = view_->commandLine();
            line->setFocus();
            line->insert(e->text());
            return;
        }
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            view_->commandEntered();
            return;
        }
        QWidget::keyPressEvent(e);
    }

    void leaveEvent(QEvent*) override {
        view_->cursor_.reset();
        view_->takeSnaps({});
        view_->hover_.reset();
        update();
    }

  private:
    DrawingView* view_;
    QImage cache_;
    render::ScreenMap cacheMap_;
    bool dirty_ = true;
    bool previewing_ = false;  // the wheel turns: the last frame is shown scaled
    double lastFrameMs_ = 0.0;
    QTimer rest_;
    bool panning_ = false;
    QPointF panLast_;
};

// What the drawing's notices reach: the view while it shows that drawing,
// nothing once the view has moved on or is gone (the drawing cannot forget
// its update handlers).
struct DrawingView::Link {
    DrawingView* view;
    cad::Drawing* drawing;
};

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("drawingView"));
    area_ = new DrawingArea(this);
    promptLabel_ = new QLabel(this);
    promptLabel_->setObjectName(QStringLiteral("promptLabel"));
    commandLine_ = new QLineEdit(this);
    commandLine_->setObjectName(QStringLiteral("commandLine"));
    auto* line = new QHBoxLayout;
    line->setContentsMargins(4, 2, 4, 2);
    line->addWidget(promptLabel_);
    line->addWidget(commandLine_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(area_, 1);
    layout->addLayout(line);
    connect(commandLine_, &QLineEdit::returnPressed, this, &DrawingView::commandEntered);
    commandLine_->installEventFilter(this);

    area_->installEventFilter(this);
    updateTimer_ = new QTimer(this);
    updateTimer_->setSingleShot(true);
    updateTimer_->setInterval(0);
    connect(updateTimer_, &QTimer::timeout, this, &DrawingView::drawingChanged);
    showPrompt(QString());
}

DrawingView::~DrawingView() {
    link_.reset();
    if (prompt_ && prompt_->loop) prompt_->loop->exit(1);
}

QWidget* DrawingView::drawingArea() const {
    return area_;
}

void DrawingView::setDrawing(cad::Drawing* drawing) {
    if (prompt_) finishPrompt(false);
    drawing_ = drawing;
    pending_.clear();
    hover_.reset();
    takeSnaps({});
    marked_.clear();
    extentsIgnored_.clear();
    link_ = std::make_shared<Link>(Link{this, drawing});
    if (drawing_) {
        std::weak_ptr<Link> weak = link_;
        drawing_->onUpdate([weak](cad::Drawing& d, cad::EntityId id) {
            if (auto link = weak.lock(); link && link->drawing == &d) link->view->pendingUpdate(id);
        });
        drawing_->onSelectionChanged([weak](cad::Drawing& d) {
            if (auto link = weak.lock(); link && link->drawing == &d) link->view->area_->update();
        });
    }
    rebuild();
    zoomExtents();
}

void DrawingView::rebuild() {
    pending_.clear();
    if (drawing_ && drawing_->isOpen()) {
        scene_.build(drawing_->data());
    } else {
        scene_.clear();
    }
    invalidate();
}

void DrawingView::pendingUpdate(cad::EntityId id) {
    pending_.push_back(id);
    if (!updateTimer_->isActive()) updateTimer_->start();
}

void DrawingView::drawingChanged() {
    updateTimer_->stop();
    if (!drawing_ || !drawing_->isOpen()) {
        pending_.clear();
        scene_.clear();
        invalidate();
        return;
    }
    std::vector<cad::EntityId> ids;
    ids.swap(pending_);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    // Hiding a whole type touches much of the drawing: building anew is
    // quicker than mending the index entity by entity.
    if (ids.size() > 1000 && ids.size() * 8 > scene_.itemCount()) {
        scene_.build(drawing_->data());
    } else {
        scene_.update(drawing_->data(), ids);
    }
    hover_.reset();
    invalidate();
}

void DrawingView::invalidate() {
    area_->invalidate();
}

void DrawingView::areaResized() {
    if (!zoomedOnce_ && area_->width() > 0 && area_->height() > 0) {
        zoomedOnce_ = true;
        zoomExtents();
    }
}

void DrawingView::zoomExtents() {
    cad::Box2 box = scene_.extentsWithout(extentsIgnored_);
    // A drawing of nothing but the ignored entities still shows them.
    if (box.empty()) box = scene_.extents();
    map_ = render::ScreenMap::fit(box, std::max(1, area_->width()), std::max(1, area_->height()));
    invalidate();
}

void DrawingView::zoomTo(const cad::Box2& box) {
    map_ = render::ScreenMap::fit(box, std::max(1, area_->width()), std::max(1, area_->height()));
    invalidate();
}

void DrawingView::zoomAll(cad::Drawing&) {
    zoomExtents();
}

void DrawingView::zoomCenter(cad::Drawing&, cad::Point3 center, double magnification) {
    double h = std::max(1, area_->height());
    if (magnification > 0 && std::isfinite(magnification)) map_.scale = h / magnification;
    map_.originX = center.x - std::max(1, area_->width()) / 2.0 / map_.scale;
    map_.originY = center.y + h / 2.0 / map_.scale;
    invalidate();
}

QPointF DrawingView::toScreen(cad::Point3 world) const {
    return map_.toScreen(world);
}

cad::Point3 DrawingView::toWorld(QPointF screen) const {
    return map_.toWorld(screen);
}

void DrawingView::setSnapEnabled(bool on) {
    if (snapEnabled_ == on) return;
    snapEnabled_ = on;
    if (!on) takeSnaps({});
    if (cursor_) mouseMovedTo(*cursor_);
    note(on ? "<Привязка вкл>" : "<Привязка откл>");
    emit snapToggled(on);
    area_->update();
}

void DrawingView::setLineweightsShown(bool on) {
    if (lineweights_ == on) return;
    lineweights_ = on;
    invalidate();
}

std::optional<std::uint32_t> DrawingView::itemAt(QPointF pos) const {
    cad::Point3 w = map_.toWorld(pos);
    double r = pixelsToWorld(kPickBox);
    const cad::Box2 box = squareAbout(w, r);
    std::optional<std::uint32_t> best;
    double bestDistance = 0;
    for (std::uint32_t i : scene_.query(box)) {
        double d = scene_.distance(i, w);
        // The later entity is drawn on top: it wins a tie.
        if (d <= r && (!best || d <= bestDistance)) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

std::vector<Snap> DrawingView::snapsAt(QPointF pos) const {
    if (!drawing_ || !drawing_->isOpen() || !snapEnabled_) return {};
    cad::Point3 w = map_.toWorld(pos);
    double r = pixelsToWorld(kSnapAperture);
    const cad::Box2 box = squareAbout(w, r);
    std::vector<cad::EntityId> ids;
    for (std::uint32_t i : scene_.query(box)) ids.push_back(scene_.entityOf(i));
    return findSnaps(drawing_->data(), ids, w, r, prompt_ ? prompt_->prefer : SnapPreference{});
}

namespace {

bool samePlaces(const std::vector<Snap>& a, const std::vector<Snap>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Snap& x, const Snap& y) {
        return x.point.x == y.point.x && x.point.y == y.point.y && x.kind == y.kind;
    });
}

}  // namespace

void DrawingView::takeSnaps(std::vector<Snap> snaps) {
    if (!samePlaces(snaps, snaps_)) snapIndex_ = 0;
    snaps_ = std::move(snaps);
    if (snaps_.empty()) {
        snap_.reset();
    } else {
        snapIndex_ %= snaps_.size();
        snap_ = snaps_[snapIndex_];
    }
}

void DrawingView::cycleSnap() {
    if (snaps_.size() < 2) return;
    snapIndex_ = (snapIndex_ + 1) % snaps_.size();
    snap_ = snaps_[snapIndex_];
    area_->update();
}

void DrawingView::mouseMovedTo(QPointF pos) {
    cursor_ = pos;
    cad::Point3 w = map_.toWorld(pos);
    emit cursorMoved(w.x, w.y);
    if (prompt_ && prompt_->kind == PromptKind::Point) {
        takeSnaps(snapsAt(pos));
    } else if (prompt_ && prompt_->kind == PromptKind::Entity) {
        hover_ = itemAt(pos);
    } else if (dragFrom_) {
        if (dragTo_ || QLineF(*dragFrom_, pos).length() >= kDragThreshold) dragTo_ = pos;
    }
    area_->update();
}

void DrawingView::leftPressed(QPointF pos, bool) {
    if (prompt_) return;
    dragFrom_ = pos;
    dragTo_.reset();
}

void DrawingView::leftReleased(QPointF pos, bool shift) {
    if (prompt_) {
        if (prompt_->kind == PromptKind::Point) {
            // The snap shown under the cursor, also the one Tab went to.
            takeSnaps(snapsAt(pos));
            prompt_->point = snap_ ? snap_->point : map_.toWorld(pos);
            finishPrompt(true);
        } else {
            std::optional<std::uint32_t> item = itemAt(pos);
            if (item && drawing_) {
                prompt_->entity = cad::PickedEntity{
                    cad::EntityRef(drawing_, scene_.entityOf(*item)), map_.toWorld(pos)};
            }
            // A pick on nothing ends the prompt, as Esc does.
            finishPrompt(item.has_value() && drawing_);
        }
        return;
    }
    if (!dragFrom_) return;
    QPointF from = *dragFrom_;
    bool window = dragTo_.has_value() || QLineF(from, pos).length() >= kDragThreshold;
    dragFrom_.reset();
    dragTo_.reset();
    if (window) {
        select(from, pos, shift);
    } else if (auto item = itemAt(pos)) {
        applySelection({scene_.entityOf(*item)}, shift);
    }
    area_->update();
}

void DrawingView::select(QPointF from, QPointF to, bool remove) {
    cad::Point3 a = map_.toWorld(from), b = map_.toWorld(to);
    cad::Box2 box;
    box.add(a.x, a.y);
    box.add(b.x, b.y);
    // Left to right: a window takes what lies wholly inside; right to left:
    // a crossing takes whatever it touches.
    bool crossing = to.x() < from.x();
    std::vector<cad::EntityId> ids;
    for (std::uint32_t i : scene_.query(box)) {
        if (crossing ? scene_.touches(i, box) : scene_.inside(i, box)) {
            ids.push_back(scene_.entityOf(i));
        }
    }
    applySelection(std::move(ids), remove);
}

void DrawingView::applySelection(std::vector<cad::EntityId> ids, bool remove) {
    if (!drawing_ || !drawing_->isOpen()) return;
    std::vector<cad::EntityRef> now;
    std::vector<cad::EntityId> had;
    for (const cad::EntityRef& r : drawing_->pickFirst()) {
        if (!r.isNull() && r.drawing() == drawing_) had.push_back(r.id());
    }
    std::sort(ids.begin(), ids.end());
    if (remove) {
        if (ids.empty()) return;
        for (cad::EntityId id : had) {
            if (!std::binary_search(ids.begin(), ids.end(), id)) now.emplace_back(drawing_, id);
        }
    } else {
        bool added = false;
        for (cad::EntityId id : had) now.emplace_back(drawing_, id);
        std::sort(had.begin(), had.end());
        for (cad::EntityId id : ids) {
            if (std::binary_search(had.begin(), had.end(), id)) continue;
            now.emplace_back(drawing_, id);
            added = true;
        }
        if (!added) return;
    }
    if (now.size() == had.size() && remove) return;
    drawing_->setPickFirst(std::move(now));
}

bool DrawingView::wheelPreviewing() const {
    return area_->previewing();
}

void DrawingView::wheelAt(QPointF pos, double steps) {
    cad::Point3 w = map_.toWorld(pos);
    double k = std::pow(kWheelFactor, steps);
    double scale = std::clamp(map_.scale * k, 1e-12, 1e12);
    map_.scale = scale;
    // The point under the cursor stays under it.
    map_.originX = w.x - pos.x() / scale;
    map_.originY = w.y + pos.y() / scale;
    area_->zoomed();
    mouseMovedTo(pos);
}

void DrawingView::panBy(QPointF delta) {
    map_.originX -= delta.x() / map_.scale;
    map_.originY += delta.y() / map_.scale;
    area_->update();
}

void DrawingView::panFinished() {
    invalidate();
}

std::vector<std::uint32_t> DrawingView::selectedItems() const {
    std::vector<std::uint32_t> out;
    if (!drawing_ || !drawing_->isOpen()) return out;
    for (const cad::EntityRef& r : drawing_->pickFirst()) {
        if (r.isNull() || r.drawing() != drawing_) continue;
        if (auto i = scene_.itemOf(r.id())) out.push_back(*i);
    }
    return out;
}

void DrawingView::paintArea(QPainter& p) {
    std::vector<std::uint32_t> selected = selectedItems();
    if (!selected.empty()) {
        QPen pen(kSelection, 1, Qt::DashLine);
        scene_.outline(p, map_, selected, pen);
    }
    std::vector<std::uint32_t> marked;
    for (cad::EntityId id : marked_) {
        if (auto i = scene_.itemOf(id)) marked.push_back(*i);
    }
    if (!marked.empty()) scene_.outline(p, map_, marked, QPen(kPickedColor, 3));
    if (hover_) {
        QPen pen(kHighlight, 2);
        scene_.outline(p, map_, {*hover_}, pen);
    }
    if (prompt_ && prompt_->kind == PromptKind::Entity && cursor_) {
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(
            QRectF(cursor_->x() - kPickBox, cursor_->y() - kPickBox, 2 * kPickBox, 2 * kPickBox));
    }
    if (snap_) {
        // Which point of which object a click takes: the object outlined,
        // the kind and layer beside the glyph, and how many Tab goes through.
        if (auto item = scene_.itemOf(snap_->entity)) {
            scene_.outline(p, map_, {*item}, QPen(kSnapColor, 1, Qt::DashLine));
        }
        const QPointF at = map_.toScreen(snap_->point);
        drawSnapGlyph(p, at, snap_->kind);
        QString label = snapKindName(snap_->kind);
        if (drawing_ && snap_->entity.v < drawing_->data().entities.size())
            label += QStringLiteral(": ") +
                     QString::fromStdString(drawing_->data().entities[snap_->entity.v].layer);
        if (snaps_.size() > 1)
            label += QStringLiteral("  (Tab: %1 из %2)").arg(snapIndex_ + 1).arg(snaps_.size());
        const QFontMetrics metrics(p.font());
        QRectF box(at + QPointF(12, 10),
                   QSizeF(metrics.horizontalAdvance(label) + 8, metrics.height() + 4));
        p.fillRect(box, QColor(30, 30, 30, 220));
        p.setPen(kSnapColor);
        p.drawText(box, Qt::AlignCenter, label);
    }
    if (dragFrom_ && dragTo_) {
        QRectF r = QRectF(*dragFrom_, *dragTo_).normalized();
        bool crossing = dragTo_->x() < dragFrom_->x();
        QColor fill = crossing ? QColor(80, 200, 80, 50) : QColor(80, 120, 255, 50);
        p.fillRect(r, fill);
        p.setPen(QPen(Qt::white, 1, crossing ? Qt::DashLine : Qt::SolidLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
    }
}

bool DrawingView::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        // Taken here, so that the hint of the frame around the view does not
        // pop up over the drawing while the user picks in it.
        e->accept();
        return true;
    }
    return QWidget::event(e);
}

bool DrawingView::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Escape) {
            cancelOrClear();
            return true;
        }
        if (k->key() == Qt::Key_F3) {
            setSnapEnabled(!snapEnabled_);
            return true;
        }
        // Tab goes through the snap points under the cursor, as in a CAD
        // program, instead of moving the focus.
        if (k->key() == Qt::Key_Tab && k->modifiers() == Qt::NoModifier && prompt_ &&
            prompt_->kind == PromptKind::Point) {
            cycleSnap();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

}  // namespace app
