// Qt's painting needs a QGuiApplication (fonts, image formats). The command
// line and the tests have none of their own: this makes one, once.
#pragma once

namespace render {

// Creates a QGuiApplication when none exists. Without a display it chooses the
// offscreen platform. Throws cad::Error when a non-GUI Qt application is running.
void ensureGuiApplication();

}  // namespace render
