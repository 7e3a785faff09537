// The entry point of the web browser module (libtorvane_web.so): the program loads the module,
// and with it the web engine, only when the browser is first needed (web_browser_loader.h).

#include "submit/ui/web_engine_browser.h"

extern "C" Q_DECL_EXPORT QWidget* torvaneCreateWebBrowser(QWidget* parent, Browser** browser) {
    auto* view = new WebEngineBrowser(parent);
    *browser = view;
    return view;
}
