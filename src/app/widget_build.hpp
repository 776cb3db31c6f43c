// Small pieces the window's panels are built and written with: a widget
// named and placed, a picture button, a caption, a field rewritten only when
// its text differs, and the program's UTF-8 text as Qt's.
#pragma once

#include <QIcon>
#include <QLabel>
#include <QLatin1String>
#include <QLineEdit>
#include <QString>
#include <QToolButton>
#include <string>
#include <string_view>

namespace app {

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline QIcon icon(const char* name) {
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

// The component's name stays its objectName; the place is the panel's.
template <typename W>
W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(x, y, width, height);
    return w;
}

inline QToolButton* pictureButton(QWidget* parent, const char* name, const char* picture,
                                  const QString& hint, int x, int y, int size) {
    auto* b = place(new QToolButton(parent), name, x, y, size, size);
    b->setIcon(icon(picture));
    b->setIconSize(QSize(size - 8, size - 8));
    b->setToolTip(hint);
    b->setAutoRaise(true);
    return b;
}

// A caption longer than the panel widens it (fitPanels), in the panel's font.
inline QLabel* caption(QWidget* parent, const char* name, const QString& text, int x, int y,
                       int width = 169) {
    auto* l = place(new QLabel(text, parent), name, x, y, width, 16);
    l->setWordWrap(false);
    return l;
}

inline void writeField(QLineEdit& edit, const std::string& text) {
    // Rewriting an unchanged field would move the user's cursor.
    if (edit.text() != qs(text)) edit.setText(qs(text));
}

}  // namespace app
