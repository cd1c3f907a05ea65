#pragma once
// Support for tests that drive the real windows under the offscreen platform.
#include <QString>
#include <functional>

class QWidget;

// Chooses the offscreen platform when no display is set; call before the
// application object is made (test discovery runs the binary too).
void UseOffscreenWhenHeadless();
// Runs the event loop until Done() or Ms have passed.
bool SpinUntil(const std::function<bool()> &Done, int Ms = 5000);
// Answers the next modal box by pressing the button whose text is Button
// ("&Yes", "&No", "OK"...); the text the box showed goes to *Seen.
void AnswerNextBox(const QString &Button, QString *Seen = nullptr);

// The main() of a test binary that needs an event loop: the application
// object (with windows, offscreen when headless, or without), the
// main-thread hand-over attached for the run. BeforeApp runs before the
// application object is made, AfterTests before it goes.
int RunTestsWithEventLoop(int Argc, char **Argv, bool Windows, const std::function<void()> &BeforeApp = {},
                          const std::function<void()> &AfterTests = {});
