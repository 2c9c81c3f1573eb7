#pragma once

#include <vector>

namespace battsim {

// Dialog templates: each control with its number, kind, text and place in
// dialog units, in creation (and tab) order.
enum class ControlKind {
    PushButton,
    DefPushButton,
    Edit,
    Label,        // static text, left-aligned
    CenteredLabel,
    Picture,      // text = resource path of the art
    Icon,         // text = resource path of the icon
    GroupBox,
    ListBox,
    HScrollBar,
    ProgressBar,
    Graph,
};

enum ControlFlags : unsigned {
    CF_NONE = 0,
    CF_DISABLED = 1u << 0,
    CF_HIDDEN = 1u << 1,
    CF_BORDER = 1u << 2,
    CF_SUNKEN = 1u << 3,
    CF_NOPREFIX = 1u << 4,
    CF_NOTABSTOP = 1u << 5,
    CF_NATURALSIZE = 1u << 6, // a picture that takes its art's own size in pixels
};

struct ControlTemplate
{
    int id;          // -1 for none
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
    unsigned flags;
};

struct DialogTemplate
{
    int number;
    const char* caption;
    int cx, cy;
    const char* fontFamily;
    int pointSize;
    std::vector<ControlTemplate> controls;
};

enum DialogNumber : int {
    IDD_ABOUTBOX = 100,
    IDD_SIMULATOR = 102,
    IDD_CONSTANT_LOAD = 103,
    IDD_MODEL_SELECT = 130,
    IDD_MODEL_EDIT = 131,
    IDD_CONSTANT_CURRENT = 132,
    IDD_VARIABLE_CURRENT = 134,
};

// The template of a dialog; throws std::out_of_range for an unknown number.
const DialogTemplate& GetDialogTemplate(int number);

} // namespace battsim
