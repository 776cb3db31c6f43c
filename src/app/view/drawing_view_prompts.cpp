#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <charconv>
#include <cmath>
#include <string_view>

#include "app/view/drawing_view.hpp"
#include "cad/error.hpp"
#include "cad/text_util.hpp"

// The drawing view's prompts: the command line, the nested event loop a
// prompt waits in, and what answers or cancels it.

namespace app {

namespace {

// "X,Y" or "X,Y,Z" with a point as the decimal separator, spaces allowed.
std::optional<cad::Point3> parsePoint(const QString& text) {
    std::string s = text.toStdString();
    double v[3] = {0, 0, 0};
    int n = 0;
    std::size_t at = 0;
    while (true) {
        std::size_t comma = s.find(',', at);
        std::string_view part = std::string_view(s).substr(
            at, comma == std::string::npos ? std::string::npos : comma - at);
        part = cad::trim(part);
        if (!part.empty() && part.front() == '+') part.remove_prefix(1);
        if (part.empty() || n == 3) return std::nullopt;
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v[n]);
        if (ec != std::errc() || end != part.data() + part.size() || !std::isfinite(v[n])) {
            return std::nullopt;
        }
        ++n;
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (n < 2) return std::nullopt;
    return cad::Point3{v[0], v[1], v[2]};
}

}  // namespace

// ---- prompts ----------------------------------------------------------------

void DrawingView::showPrompt(const QString& text) {
    promptLabel_->setText(text.isEmpty() ? QStringLiteral("Команда:") : text);
    emit promptChanged(text);
}

void DrawingView::markPicked(const std::vector<cad::EntityRef>& picked) {
    marked_.clear();
    for (const cad::EntityRef& r : picked) {
        if (!r.isNull() && r.drawing() == drawing_) marked_.push_back(r.id());
    }
    drawingArea()->update();
}

void DrawingView::note(const std::string& text) {
    commandLine_->setPlaceholderText(QString::fromStdString(text));
}

void DrawingView::runPrompt(Prompt& prompt) {
    if (prompt_) throw cad::Error("Запрос уже идёт: ответьте на него или нажмите Esc");
    QEventLoop loop;
    prompt.loop = &loop;
    prompt_ = &prompt;
    QPointer<DrawingView> self(this);
    dragFrom_.reset();
    dragTo_.reset();
    commandLine_->clear();
    commandLine_->setPlaceholderText(QString());
    showPrompt(prompt.text);
    if (cursor_) mouseMovedTo(*cursor_);
    drawingArea()->setFocus();
    // Esc ends the prompt wherever in the window the focus is.
    QPointer<QShortcut> esc = new QShortcut(
        QKeySequence(Qt::Key_Escape), window(), [this] { finishPrompt(false); },
        Qt::WindowShortcut);
    loop.exec();
    delete esc.data();
    if (!self) throw cad::Cancelled();
    prompt_ = nullptr;
    hover_.reset();
    takeSnaps({});
    commandLine_->clear();
    showPrompt(QString());
    drawingArea()->update();
}

void DrawingView::finishPrompt(bool answered) {
    if (!prompt_) return;
    prompt_->answered = answered;
    if (prompt_->loop) prompt_->loop->quit();
}

cad::Point3 DrawingView::getPoint(const std::string& text) {
    Prompt prompt;
    prompt.kind = PromptKind::Point;
    prompt.text = QString::fromStdString(text);
    runPrompt(prompt);
    if (!prompt.answered) throw cad::Cancelled();
    return prompt.point;
}

cad::Point3 DrawingView::getEndPoint(const std::string& text,
                                     const std::vector<std::string>& layers) {
    Prompt prompt;
    prompt.kind = PromptKind::Point;
    prompt.text = QString::fromStdString(text);
    prompt.prefer.endLayers = layers;
    runPrompt(prompt);
    if (!prompt.answered) throw cad::Cancelled();
    return prompt.point;
}

cad::PickedEntity DrawingView::getEntity(const std::string& text) {
    Prompt prompt;
    prompt.kind = PromptKind::Entity;
    prompt.text = QString::fromStdString(text);
    runPrompt(prompt);
    if (!prompt.answered || !prompt.entity) throw cad::Cancelled();
    return *prompt.entity;
}

void DrawingView::commandEntered() {
    QString text = commandLine_->text().trimmed();
    if (text.isEmpty()) {
        if (prompt_) finishPrompt(false);
        return;
    }
    if (!prompt_) {
        commandLine_->clear();
        return;
    }
    if (prompt_->kind == PromptKind::Point) {
        if (auto p = parsePoint(text)) {
            prompt_->point = *p;
            finishPrompt(true);
            return;
        }
        note("Неверная точка «" + text.toStdString() + "»: введите X,Y");
    } else {
        note("Укажите объект на чертеже");
    }
    commandLine_->clear();
}

void DrawingView::cancelPrompt() {
    if (prompt_) finishPrompt(false);
}

void DrawingView::cancelOrClear() {
    if (prompt_) {
        finishPrompt(false);
        return;
    }
    dragFrom_.reset();
    dragTo_.reset();
    if (drawing_ && drawing_->isOpen() && !drawing_->pickFirst().empty()) {
        drawing_->setPickFirst({});
    }
    drawingArea()->update();
}

// ---- mouse ------------------------------------------------------------------

}  // namespace app
