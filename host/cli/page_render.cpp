// Draws the preferences page as it would look on screen: the controls at
// their template positions (dialog units through the shell font's base
// units), with their texts and states, the combo box closed. Cairo draws,
// Pango sets the text.
#include "host/cli/page_window.h"

#include <cairo.h>
#include <commctrl.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Drawn at twice the screen's pixels, so the picture stays sharp.
constexpr double scale = 2.0;
// The shell font: 8 points at 96 dots per inch.
// Condensed, since the shell font is narrower than most Linux fonts.
const char* const fontDescription = "DejaVu Sans Condensed, Tahoma, Sans 7.5";

struct CColour {
    double r, g, b;
};
const CColour face = {0.941, 0.941, 0.941};
const CColour white = {1, 1, 1};
const CColour ink = {0, 0, 0};
const CColour grey = {0.43, 0.43, 0.43};
const CColour border = {0.48, 0.48, 0.48};
const CColour accent = {0.0, 0.47, 0.84};

void SetColour(cairo_t* cr, const CColour& colour) { cairo_set_source_rgb(cr, colour.r, colour.g, colour.b); }

std::string TextOf(HWND control)
{
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), length + 1)));
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;  // a CR LF pair is one line break
    return out;
}

struct CBox {
    double x, y, w, h;
};

// Sets text in the box: wrapped to its width when wrap, clipped to it.
void DrawText(cairo_t* cr, const std::string& text, const CBox& box, const CColour& colour, bool wrap,
              bool centre = false, bool middle = false)
{
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_clip(cr);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string(fontDescription);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.c_str(), -1);
    if (wrap) {
        pango_layout_set_width(layout, static_cast<int>(box.w * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    double x = centre ? box.x + (box.w - width) / 2 : box.x;
    double y = middle ? box.y + (box.h - height) / 2 : box.y;
    SetColour(cr, colour);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    cairo_restore(cr);
}

void Frame(cairo_t* cr, const CBox& box, const CColour& fill, const CColour& line)
{
    cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, box.w - 1, box.h - 1);
    SetColour(cr, fill);
    cairo_fill_preserve(cr);
    SetColour(cr, line);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void DrawCheckBox(cairo_t* cr, HWND control, const CBox& box, bool enabled)
{
    double size = 13;
    CBox square = {box.x, box.y + (box.h - size) / 2, size, size};
    Frame(cr, square, enabled ? white : face, border);
    if (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        SetColour(cr, enabled ? ink : grey);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, square.x + 3, square.y + 6.5);
        cairo_line_to(cr, square.x + 5.5, square.y + 9.5);
        cairo_line_to(cr, square.x + 10, square.y + 3.5);
        cairo_stroke(cr);
    }
    DrawText(cr, TextOf(control), {box.x + size + 4, box.y, box.w - size - 4, box.h}, enabled ? ink : grey, false,
             false, true);
}

void DrawGroupBox(cairo_t* cr, HWND control, const CBox& box, bool enabled)
{
    double top = box.y + 7;
    cairo_rectangle(cr, box.x + 0.5, top + 0.5, box.w - 1, box.h - 7 - 1);
    SetColour(cr, {0.86, 0.86, 0.86});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    std::string text = TextOf(control);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string(fontDescription);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.c_str(), -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    cairo_rectangle(cr, box.x + 6, box.y, width + 4, height);
    SetColour(cr, face);
    cairo_fill(cr);
    DrawText(cr, text, {box.x + 8, box.y, box.w - 8, static_cast<double>(height)}, enabled ? ink : grey, false);
}

void DrawButton(cairo_t* cr, HWND control, const CBox& box, bool enabled)
{
    Frame(cr, box, {0.88, 0.88, 0.88}, enabled ? border : CColour{0.75, 0.75, 0.75});
    DrawText(cr, TextOf(control), box, enabled ? ink : grey, false, true, true);
}

void DrawEdit(cairo_t* cr, HWND control, const CBox& box, bool enabled, bool multiLine, bool readOnly)
{
    Frame(cr, box, enabled && !readOnly ? white : face, border);
    CBox inside = {box.x + 3, box.y + 2, box.w - 6 - (multiLine ? 17 : 0), box.h - 4};
    DrawText(cr, TextOf(control), inside, enabled ? ink : grey, multiLine, false, !multiLine);
    if (multiLine) {
        // The vertical scroll bar.
        CBox bar = {box.x + box.w - 18, box.y + 1, 17, box.h - 2};
        cairo_rectangle(cr, bar.x, bar.y, bar.w, bar.h);
        SetColour(cr, {0.94, 0.94, 0.94});
        cairo_fill(cr);
        cairo_rectangle(cr, bar.x + 4, bar.y + 17, bar.w - 8, std::max(10.0, bar.h / 3));
        SetColour(cr, {0.75, 0.75, 0.75});
        cairo_fill(cr);
    }
}

void DrawComboBox(cairo_t* cr, HWND control, const CBox& box, bool enabled)
{
    // Closed: the height of its selection field, not of the dropped list.
    CBox field = {box.x, box.y, box.w, 21};
    Frame(cr, field, enabled ? white : face, border);
    std::string text = TextOf(control);
    DrawText(cr, text, {field.x + 4, field.y, field.w - 24, field.h}, enabled ? ink : grey, false, false, true);
    double cx = field.x + field.w - 10, cy = field.y + field.h / 2;
    SetColour(cr, enabled ? ink : grey);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, cx - 4, cy - 2);
    cairo_line_to(cr, cx, cy + 2);
    cairo_line_to(cr, cx + 4, cy - 2);
    cairo_stroke(cr);
}

void DrawTrackbar(cairo_t* cr, HWND control, const CBox& box, bool enabled)
{
    int low = static_cast<int>(SendMessageA(control, TBM_GETRANGEMIN, 0, 0));
    int high = static_cast<int>(SendMessageA(control, TBM_GETRANGEMAX, 0, 0));
    int position = static_cast<int>(SendMessageA(control, TBM_GETPOS, 0, 0));
    double left = box.x + 8, right = box.x + box.w - 8;
    double channel = box.y + 5;
    Frame(cr, {left, channel, right - left, 4}, {0.9, 0.9, 0.9}, {0.7, 0.7, 0.7});
    double span = high > low ? static_cast<double>(high - low) : 1;
    // Ticks below the channel, every tenth of the range as the page asks.
    SetColour(cr, grey);
    cairo_set_line_width(cr, 1);
    for (int tick = low; tick <= high; tick += std::max(1, (high - low) / 10)) {
        double x = left + (tick - low) / span * (right - left);
        cairo_move_to(cr, std::round(x) + 0.5, box.y + box.h - 3);
        cairo_line_to(cr, std::round(x) + 0.5, box.y + box.h);
        cairo_stroke(cr);
    }
    double x = left + (position - low) / span * (right - left);
    cairo_rectangle(cr, x - 5, box.y, 11, box.h - 4);
    SetColour(cr, enabled ? accent : grey);
    cairo_fill(cr);
}

}  // namespace

bool RenderPage(HWND page, const std::string& path, std::string& error)
{
    RECT client{};
    RECT pageRect{};
    if (!GetClientRect(page, &client) || !GetWindowRect(page, &pageRect)) {
        error = "the page has no window";
        return false;
    }
    int width = static_cast<int>(client.right * scale), height = static_cast<int>(client.bottom * scale);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    cairo_scale(cr, scale, scale);
    SetColour(cr, face);
    cairo_paint(cr);

    for (HWND control = GetWindow(page, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(control, &rect);
        CBox box = {static_cast<double>(rect.left - pageRect.left), static_cast<double>(rect.top - pageRect.top),
                    static_cast<double>(rect.right - rect.left), static_cast<double>(rect.bottom - rect.top)};
        char name[64] = "";
        GetClassNameA(control, name, sizeof name);
        std::string className = name;
        DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
        bool enabled = IsWindowEnabled(control);
        if (className == "Button") {
            DWORD type = style & BS_TYPEMASK;
            if (type == BS_GROUPBOX)
                DrawGroupBox(cr, control, box, enabled);
            else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX)
                DrawCheckBox(cr, control, box, enabled);
            else
                DrawButton(cr, control, box, enabled);
        } else if (className == "Static") {
            DrawText(cr, TextOf(control), box, enabled ? ink : grey, true);
        } else if (className == "Edit") {
            DrawEdit(cr, control, box, enabled, (style & ES_MULTILINE) != 0, (style & ES_READONLY) != 0);
        } else if (className == "ComboBox") {
            DrawComboBox(cr, control, box, enabled);
        } else if (className == TRACKBAR_CLASSA) {
            DrawTrackbar(cr, control, box, enabled);
        }
    }
    cairo_surface_flush(surface.get());
    cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "cannot write " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}
