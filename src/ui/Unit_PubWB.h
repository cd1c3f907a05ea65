#pragma once
// The browser-control helpers: the only place where the editors wait for a
// browser control or load text into one, and where the browser window that
// shows a page is found.
#include <memory>
#include <string>

class TWebBrowser;
class THtmlDocument;

// The top-level document of the browser window that shows Doc's page (the
// same URL, letter case counting); null when there is none, as for a page
// inside a frame. Never throws.
std::shared_ptr<THtmlDocument> WB_FindByDoc(const std::shared_ptr<THtmlDocument> &Doc);
// Navigates to "about:blank" and waits for it; false (and an Error line)
// when it is not complete after 6 seconds.
bool WB_SetBlank(TWebBrowser *Wb);
// Waits until the control's document is complete; false after Seconds + 1.
bool WaitWBRdy(TWebBrowser *Wb, int Seconds);
// Releases shown content (Tag above 0) by navigating to "about:blank",
// without waiting.
void WB_Clear(TWebBrowser *Wb);
// Puts Html into the control's document without a file; 0 on success, 1
// when it cannot be done. A control without a document is blanked first.
int WB_LoadHtml_Stream(TWebBrowser *Wb, const std::string &Html);
