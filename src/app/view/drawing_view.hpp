// The drawing view: the project drawing shown as a CAD program shows it, the
// command line under it where prompts appear, navigation (wheel zoom about the
// cursor, middle-button pan, middle double-click to extents), prompts for a
// point with object snap or for an entity with a pick box, and selection by
// click, window and crossing into the drawing's pick-first selection.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/view/snap.hpp"
#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "render/scene.hpp"

class QEventLoop;
class QLabel;
class QLineEdit;
class QTimer;

namespace app {

class DrawingArea;

class DrawingView : public QWidget, public cad::View, public cad::Prompter {
    Q_OBJECT
  public:
    explicit DrawingView(QWidget* parent = nullptr);
    ~DrawingView() override;

    // nullptr: an empty view. Zooms to the drawing's extents.
    void setDrawing(cad::Drawing* drawing);
    cad::Drawing* drawing() const { return drawing_; }
    // Entities added, changed or erased: drawn again now. The view also
    // follows the drawing's own update notices without being told.
    void drawingChanged();
    // Layers or blocks changed: everything is drawn anew.
    void rebuild();

    // The extents of what the user drew: without the entities named here
    // (the program's marker cross at the origin).
    void zoomExtents();
    void setExtentsIgnored(std::vector<cad::EntityId> ids) { extentsIgnored_ = std::move(ids); }
    // Shows the box of the drawing, whole, centred.
    void zoomTo(const cad::Box2& box);
    void zoomAll(cad::Drawing& drawing) override;
    // magnification: the height of the view in drawing units, as the CAD
    // program's zoom to a centre takes it.
    void zoomCenter(cad::Drawing& drawing, cad::Point3 center, double magnification) override;

    // Prompts run a nested event loop until answered; Esc, Enter on an empty
    // command line or a pick on nothing throw cad::Cancelled.
    cad::Point3 getPoint(const std::string& prompt) override;
    cad::Point3 getEndPoint(const std::string& prompt,
                            const std::vector<std::string>& layers) override;
    cad::PickedEntity getEntity(const std::string& prompt) override;
    void note(const std::string& text) override;
    void markPicked(const std::vector<cad::EntityRef>& picked) override;
    const std::vector<cad::EntityId>& marked() const { return marked_; }
    bool prompting() const { return prompt_ != nullptr; }
    void cancelPrompt();  // as Esc: the waiting prompt throws cad::Cancelled
    // The snap point a click would take now, and how many there are under
    // the cursor (Tab goes to the next).
    std::optional<Snap> currentSnap() const { return snap_; }
    std::size_t snapCount() const { return snaps_.size(); }

    bool snapEnabled() const { return snapEnabled_; }
    void setSnapEnabled(bool on);
    bool lineweightsShown() const { return lineweights_; }
    // How long a frame may take before the wheel previews instead of drawing
    // every notch (milliseconds); whether it is previewing now.
    void setSlowFrameMs(double ms) { slowFrameMs_ = ms; }
    bool wheelPreviewing() const;
    void setLineweightsShown(bool on);

    // The parts, for the main window and tests.
    QWidget* drawingArea() const;
    QLineEdit* commandLine() const { return commandLine_; }
    QLabel* promptLabel() const { return promptLabel_; }
    // World and drawing-area coordinates.
    QPointF toScreen(cad::Point3 world) const;
    cad::Point3 toWorld(QPointF screen) const;
    const render::ScreenMap& screenMap() const { return map_; }
    const render::Scene& scene() const { return scene_; }

  signals:
    void cursorMoved(double x, double y);  // world coordinates, for the status bar
    void promptChanged(const QString& text);
    void snapToggled(bool on);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The hint of what holds the view never covers the drawing.
    bool event(QEvent* event) override;

  private:
    friend class DrawingArea;
    enum class PromptKind { Point, Entity };
    struct Prompt {
        PromptKind kind = PromptKind::Point;
        QString text;
        SnapPreference prefer;
        bool answered = false;
        cad::Point3 point;
        std::optional<cad::PickedEntity> entity;
        QEventLoop* loop = nullptr;
    };
    struct Link;

    void runPrompt(Prompt& prompt);
    void finishPrompt(bool answered);
    void showPrompt(const QString& text);
    void commandEntered();
    void cancelOrClear();

    // From the drawing area.
    void areaResized();
    void mouseMovedTo(QPointF pos);
    void leftPressed(QPointF pos, bool shift);
    void leftReleased(QPointF pos, bool shift);
    void wheelAt(QPointF pos, double steps);
    void panBy(QPointF delta);
    void panFinished();
    void paintArea(QPainter& painter);

    double pixelsToWorld(double pixels) const { return pixels / map_.scale; }
    std::optional<std::uint32_t> itemAt(QPointF pos) const;
    std::vector<Snap> snapsAt(QPointF pos) const;
    // The snap points under the cursor taken anew; the one Tab chose stays
    // while the same points are found.
    void takeSnaps(std::vector<Snap> snaps);
    void cycleSnap();
    void select(QPointF from, QPointF to, bool remove);
    void applySelection(std::vector<cad::EntityId> ids, bool remove);
    void pendingUpdate(cad::EntityId id);
    void invalidate();
    std::vector<std::uint32_t> selectedItems() const;

    cad::Drawing* drawing_ = nullptr;
    std::shared_ptr<Link> link_;
    render::Scene scene_;
    render::ScreenMap map_;
    std::vector<cad::EntityId> extentsIgnored_;
    std::vector<cad::EntityId> marked_;  // picked so far in a selection
    bool zoomedOnce_ = false;            // an empty area is zoomed when it first gets a size
    bool snapEnabled_ = true;
    bool lineweights_ = false;
    // A frame slower than this is not drawn for every notch of the wheel:
    // the last one is shown scaled while the wheel turns (about 10 frames a
    // second would stutter), and the new one is drawn once it rests.
    double slowFrameMs_ = 40.0;

    DrawingArea* area_ = nullptr;
    QLabel* promptLabel_ = nullptr;
    QLineEdit* commandLine_ = nullptr;
    QTimer* updateTimer_ = nullptr;
    std::vector<cad::EntityId> pending_;

    Prompt* prompt_ = nullptr;
    std::optional<QPointF> cursor_;
    std::optional<Snap> snap_;
    std::vector<Snap> snaps_;
    std::size_t snapIndex_ = 0;
    std::optional<std::uint32_t> hover_;
    std::optional<QPointF> dragFrom_;  // left button held outside prompts
    std::optional<QPointF> dragTo_;
};

}  // namespace app
