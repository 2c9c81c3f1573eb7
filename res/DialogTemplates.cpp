#include "DialogTemplates.h"

#include <stdexcept>

namespace battsim {

namespace {

using K = ControlKind;

const DialogTemplate kAbout{
    IDD_ABOUTBOX, "About Vantellaris Battery Simulator", 235, 140, "MS Sans Serif", 8,
    {
        {-1, K::Icon, ":/art/icon128.svg", 7, 7, 20, 23, CF_NONE},
        {-1, K::Label, "Vantellaris Battery Simulator", 30, 10, 141, 8, CF_NOPREFIX},
        {1, K::DefPushButton, "OK", 178, 7, 50, 14, CF_NONE},
        {-1, K::CenteredLabel, "VANTELLARIS DIGITIZES YOUR BATTERY !", 7, 66, 221, 8, CF_NONE},
        {-1, K::CenteredLabel, "Toward 21th century battery specification && standartization !", 36, 96, 162, 37, CF_NONE},
    }};

const DialogTemplate kSimulator{
    IDD_SIMULATOR, "Vantellaris battery simulator 1.00", 515, 300, "Arial", 8,
    {
        {1011, K::PushButton, "&Select battery", 11, 153, 83, 14, CF_NONE},
        {1012, K::PushButton, "&Load sequence", 11, 173, 83, 14, CF_DISABLED},
        {1013, K::DefPushButton, "&Simulate", 11, 196, 83, 34, CF_NONE},
        {1014, K::PushButton, "&Real time demo", 11, 239, 83, 34, CF_DISABLED},
        {-1, K::Picture, ":/art/bitmap135.svg", 11, 9, 109, 20, CF_NATURALSIZE},
        {-1, K::Picture, ":/art/bitmap139.svg", 217, 9, 280, 48, CF_SUNKEN},
        {1016, K::HScrollBar, "", 217, 57, 280, 10, CF_NONE},
        {1017, K::ProgressBar, "Progress1", 12, 122, 73, 10, CF_BORDER | CF_HIDDEN},
        {1018, K::CenteredLabel, "Simulation going on...", 12, 107, 72, 10, CF_BORDER | CF_HIDDEN},
        {-1, K::GroupBox, "", 5, 140, 96, 144, CF_NONE},
        {-1, K::GroupBox, "", 5, 0, 498, 74, CF_NONE},
        {1015, K::Graph, "", 105, 81, 404, 216, CF_NONE},
        // Added beside the progress indicator: ends a run under way.
        {1019, K::PushButton, "St&op simulation", 12, 86, 73, 14, CF_DISABLED},
    }};

const DialogTemplate kConstantLoad{
    IDD_CONSTANT_LOAD, "Constant Load Analysis", 271, 156, "MS Sans Serif", 8,
    {
        {1, K::DefPushButton, "&Run Analysis", 123, 114, 50, 14, CF_NONE},
        {2, K::PushButton, "Cancel", 180, 114, 50, 14, CF_NONE},
        {-1, K::Picture, ":/art/bitmap137.svg", 7, 18, 103, 132, CF_NONE},
        {-1, K::Label, "Circuit of analysis", 7, 7, 103, 8, CF_NONE},
        {1014, K::Edit, "", 193, 19, 61, 13, CF_BORDER},
        {-1, K::Label, "Resistor's value (Ohm)", 113, 19, 79, 8, CF_NONE},
        {1005, K::Edit, "", 193, 40, 61, 13, CF_BORDER},
        {-1, K::Label, "Battery's voltage (V)", 113, 40, 68, 8, CF_NONE},
        {1006, K::Edit, "", 193, 62, 61, 13, CF_BORDER},
        {-1, K::Label, "Duration of analysis (hr)", 113, 62, 79, 8, CF_NONE},
        {1007, K::Edit, "", 193, 85, 61, 13, CF_BORDER},
        {-1, K::Label, "Time step (s)", 113, 85, 59, 8, CF_NONE},
    }};

const DialogTemplate kModelSelect{
    IDD_MODEL_SELECT, "Battary model selection", 252, 138, "Arial", 8,
    {
        {1, K::DefPushButton, "OK", 187, 7, 58, 14, CF_NONE},
        {2, K::PushButton, "Cancel", 187, 24, 58, 14, CF_NONE},
        {1000, K::ListBox, "", 7, 16, 167, 115, CF_BORDER},
        {-1, K::Label, "Battary models list:", 7, 7, 144, 8, CF_NONE},
        {3, K::PushButton, "&New model...", 187, 54, 58, 14, CF_NONE},
        {4, K::PushButton, "&Edit model...", 187, 74, 58, 14, CF_NONE},
        {5, K::PushButton, "&Delete model...", 187, 94, 58, 14, CF_NONE},
    }};

// The three number fields below "Output" are additions; OK and Cancel move
// below them.
const DialogTemplate kModelEdit{
    IDD_MODEL_EDIT, "Add New Battery", 282, 160, "Arial", 8,
    {
        {1, K::DefPushButton, "OK", 172, 139, 50, 14, CF_NONE},
        {2, K::PushButton, "Cancel", 225, 139, 50, 14, CF_NONE},
        {-1, K::Label, "Name", 7, 7, 43, 12, CF_NONE},
        {1003, K::Edit, "", 55, 7, 193, 12, CF_BORDER},
        {-1, K::Label, "Description", 7, 23, 43, 12, CF_NONE},
        {1004, K::Edit, "", 55, 23, 193, 12, CF_BORDER},
        {-1, K::Label, "Circuit", 7, 40, 43, 12, CF_NONE},
        {1006, K::Edit, "", 55, 40, 193, 12, CF_BORDER},
        {-1, K::Label, "Parameters", 7, 56, 43, 12, CF_NONE},
        {1007, K::Edit, "", 55, 56, 193, 12, CF_BORDER},
        {-1, K::Label, "Output", 7, 72, 43, 12, CF_NONE},
        {1008, K::Edit, "", 55, 72, 193, 12, CF_BORDER},
        {1010, K::PushButton, "...", 252, 40, 23, 12, CF_NONE},
        {1011, K::PushButton, "...", 252, 56, 23, 12, CF_NONE},
        {1012, K::PushButton, "...", 252, 72, 23, 12, CF_NONE},
        {-1, K::Label, "Rated current (A)", 7, 90, 80, 12, CF_NONE},
        {1020, K::Edit, "", 90, 90, 70, 12, CF_BORDER},
        {-1, K::Label, "Maximum voltage (V)", 7, 106, 80, 12, CF_NONE},
        {1021, K::Edit, "", 90, 106, 70, 12, CF_BORDER},
        {-1, K::Label, "Minimum voltage (V)", 7, 122, 80, 12, CF_NONE},
        {1022, K::Edit, "", 90, 122, 70, 12, CF_BORDER},
    }};

const DialogTemplate kConstantCurrent{
    IDD_CONSTANT_CURRENT, "Constant Current Analysis", 271, 156, "MS Sans Serif", 8,
    {
        {1, K::DefPushButton, "&Run Analysis", 123, 114, 50, 14, CF_NONE},
        {2, K::PushButton, "Cancel", 180, 114, 50, 14, CF_NONE},
        {-1, K::Picture, ":/art/bitmap136.svg", 7, 17, 103, 132, CF_NONE},
        {-1, K::Label, "Circuit of analysis", 7, 7, 103, 8, CF_NONE},
        {1004, K::Edit, "", 193, 19, 61, 13, CF_BORDER},
        {-1, K::Label, "Current's value (A)", 113, 19, 62, 8, CF_NONE},
        {1005, K::Edit, "", 193, 40, 61, 13, CF_BORDER},
        {-1, K::Label, "Battery's voltage (V)", 113, 40, 68, 8, CF_NONE},
        {1006, K::Edit, "", 193, 62, 61, 13, CF_BORDER},
        {-1, K::Label, "Duration of analysis (hr)", 113, 62, 79, 8, CF_NONE},
        {1007, K::Edit, "", 193, 85, 61, 13, CF_BORDER},
        {-1, K::Label, "Time step (s)", 113, 85, 58, 8, CF_NONE},
    }};

const DialogTemplate kVariableCurrent{
    IDD_VARIABLE_CURRENT, "Constant Puls Analysis", 271, 227, "MS Sans Serif", 8,
    {
        {1, K::DefPushButton, "&Run Analysis", 154, 199, 50, 14, CF_NONE},
        {2, K::PushButton, "Cancel", 211, 199, 50, 14, CF_NONE},
        {-1, K::Picture, ":/art/bitmap137.svg", 5, 17, 52, 66, CF_NONE},
        {-1, K::Label, "Circuit of analysis", 7, 7, 103, 8, CF_NONE},
        {1005, K::Edit, "", 85, 155, 61, 13, CF_BORDER},
        {-1, K::Label, "Battery's voltage (V)", 5, 155, 68, 8, CF_NONE},
        {1006, K::Edit, "", 85, 177, 61, 13, CF_BORDER},
        {-1, K::Label, "Duration of analysis (hr)", 5, 177, 79, 8, CF_NONE},
        {1007, K::Edit, "", 85, 199, 61, 13, CF_BORDER},
        {-1, K::Label, "Time step (s)", 5, 199, 60, 8, CF_NONE},
        {1002, K::Edit, "", 179, 27, 33, 12, CF_BORDER},
        {1003, K::Edit, "", 221, 27, 34, 12, CF_BORDER},
        {-1, K::Label, "Time (s)", 179, 13, 36, 8, CF_NONE},
        {-1, K::Label, "Current (A)", 220, 13, 45, 9, CF_NONE},
        {-1, K::Label,
         "Variable current is defined by a number of time-current points. Current value between the points is lineary interpolated.",
         118, 16, 54, 79, CF_NONE},
        {1029, K::Edit, "", 179, 43, 33, 12, CF_BORDER},
        {1030, K::Edit, "", 221, 43, 34, 12, CF_BORDER},
        {1031, K::Edit, "", 179, 59, 33, 12, CF_BORDER},
        {1032, K::Edit, "", 221, 59, 34, 12, CF_BORDER},
        {1033, K::Edit, "", 179, 75, 33, 12, CF_BORDER},
        {1034, K::Edit, "", 221, 75, 34, 12, CF_BORDER},
        {1035, K::Edit, "", 179, 91, 33, 12, CF_BORDER},
        {1036, K::Edit, "", 221, 91, 34, 12, CF_BORDER},
        {1037, K::Edit, "", 179, 107, 33, 12, CF_BORDER},
        {1038, K::Edit, "", 221, 107, 34, 12, CF_BORDER},
        {1039, K::Edit, "", 179, 123, 33, 12, CF_BORDER},
        {1040, K::Edit, "", 221, 123, 34, 12, CF_BORDER},
        {1041, K::Edit, "", 179, 139, 33, 12, CF_BORDER},
        {1042, K::Edit, "", 221, 139, 34, 12, CF_BORDER},
        {1043, K::Edit, "", 179, 155, 33, 12, CF_BORDER},
        {1044, K::Edit, "", 221, 155, 34, 12, CF_BORDER},
        {1045, K::Edit, "", 179, 171, 33, 12, CF_BORDER},
        {1046, K::Edit, "", 221, 171, 34, 12, CF_BORDER},
    }};

} // namespace

const DialogTemplate& GetDialogTemplate(int number)
{
    for (const DialogTemplate* dialog :
         {&kAbout, &kSimulator, &kConstantLoad, &kModelSelect, &kModelEdit, &kConstantCurrent, &kVariableCurrent}) {
        if (dialog->number == number)
            return *dialog;
    }
    throw std::out_of_range("no dialog template " + std::to_string(number));
}

} // namespace battsim
