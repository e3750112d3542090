// prefs render on Windows: the page is drawn with Cairo and Pango, which only
// the Linux host has.
#include "host/cli/page_window.h"

bool RenderPage(HWND, const std::string&, std::string& error)
{
    error = "prefs render is only in the Linux host (it draws with Cairo and Pango); on Windows use prefs show";
    return false;
}
