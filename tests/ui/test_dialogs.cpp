// The analysis dialogs, the model selection and the model editor, driven as
// a user drives them.

#include "CConstCurrentDlg.h"
#include "CConstLoadDlg.h"
#include "CModelEditDlg.h"
#include "CModelSelectDlg.h"
#include "CVarCurrentDlg.h"
#include "ModelCatalog.h"
#include "TempDir.h"
#include "UiHelpers.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using battsim::CBatteryModel;
using battsim::CModelCatalog;

namespace {

enum class Kind { ConstantCurrent, ConstantLoad, VariableCurrent };

std::unique_ptr<CTemplateDialog> MakeDialog(Kind kind)
{
    switch (kind) {
    case Kind::ConstantCurrent: {
        auto dialog = std::make_unique<CConstCurrentDlg>();
        dialog->m_dVoltage = 4.1;
        dialog->m_dCurrent = 0.85;
        dialog->m_dDuration = 5.0;
        dialog->m_dTimeStep = 1.0;
        return dialog;
    }
    case Kind::ConstantLoad: {
        auto dialog = std::make_unique<CConstLoadDlg>();
        dialog->m_dVoltage = 4.1;
        dialog->m_dResistance = 100.0;
        dialog->m_dDuration = 5.0;
        dialog->m_dTimeStep = 1.0;
        return dialog;
    }
    case Kind::VariableCurrent: {
        auto dialog = std::make_unique<CVarCurrentDlg>();
        dialog->m_dVoltage = 4.1;
        dialog->m_dDuration = 5.0;
        dialog->m_dTimeStep = 1.0;
        return dialog;
    }
    }
    return nullptr;
}

struct Entry
{
    int id;
    const char* text;
};

struct ValidationCase
{
    const char* label;
    Kind kind;
    std::vector<Entry> entries;
    const char* message; // nullptr: the dialog accepts
    int focusId;         // the edit that gets the focus after the message
};

void PrintTo(const ValidationCase& c, std::ostream* out)
{
    *out << c.label;
}

std::vector<ValidationCase> ValidationCases()
{
    using K = Kind;
    return {
        {"cc_proposals_accepted", K::ConstantCurrent, {}, nullptr, 0},
        {"cc_voltage_1001_refused", K::ConstantCurrent, {{1005, "1001"}}, "Please enter a number between 0 and 1000.", 1005},
        {"cc_voltage_1000_accepted", K::ConstantCurrent, {{1005, "1000"}}, nullptr, 0},
        {"cc_empty_current", K::ConstantCurrent, {{1004, ""}}, "Please enter a number.", 1004},
        {"cc_current_range", K::ConstantCurrent, {{1004, "-1000001"}}, "Please enter a number between -1000000 and 1000000.", 1004},
        {"cc_zero_duration_accepted", K::ConstantCurrent, {{1006, "0"}}, nullptr, 0},
        {"cc_zero_step_refused", K::ConstantCurrent, {{1007, "0"}}, "Please enter a number between 1e-12 and 1000000.", 1007},
        {"cc_point_zero_refused", K::ConstantCurrent, {{1007, ".0"}}, "Please enter a number.", 1007},
        {"cc_exponent_and_blanks", K::ConstantCurrent, {{1006, " 1e3 "}, {1007, "\t0.5"}}, nullptr, 0},
        {"cc_voltage_reported_before_current", K::ConstantCurrent, {{1004, "x"}, {1005, "2000"}},
         "Please enter a number between 0 and 1000.", 1005},
        {"cl_voltage_1001_accepted", K::ConstantLoad, {{1005, "1001"}}, nullptr, 0},
        {"cl_voltage_above_1e7", K::ConstantLoad, {{1005, "10000001"}}, "Please enter a number between 0 and 10000000.", 1005},
        {"cl_zero_resistance", K::ConstantLoad, {{1014, "0"}}, "Please enter a number between 1e-09 and 100000000000.", 1014},
        {"cl_zero_step", K::ConstantLoad, {{1007, "0"}}, "Please enter a number between 1e-09 and 10000000.", 1007},
        {"cl_zero_duration_accepted", K::ConstantLoad, {{1006, "0"}}, nullptr, 0},
        {"vc_any_voltage_accepted", K::VariableCurrent, {{1005, "-5e9"}}, nullptr, 0},
        {"vc_empty_voltage", K::VariableCurrent, {{1005, ""}}, "Please enter a number.", 1005},
        {"vc_current_row_3", K::VariableCurrent, {{1032, "2e8"}}, "Please enter a number between -100000000 and 100000000.", 1032},
        {"vc_currents_before_duration", K::VariableCurrent, {{1006, "-1"}, {1046, "abc"}}, "Please enter a number.", 1046},
        {"vc_step_before_times", K::VariableCurrent, {{1002, "-1"}, {1007, "0"}},
         "Please enter a number between 1e-10 and 10000000000.", 1007},
        {"vc_first_time_negative", K::VariableCurrent, {{1002, "-1"}}, "Please enter a number between 0 and 1000000000.", 1002},
        {"vc_decreasing_times_accepted", K::VariableCurrent, {{1029, "500"}, {1031, "100"}}, nullptr, 0},
        {"vc_zero_step_refused", K::VariableCurrent, {{1007, "0"}}, "Please enter a number between 1e-10 and 10000000000.", 1007},
    };
}

class AnalysisValidation : public ::testing::TestWithParam<ValidationCase>
{
};

TEST_P(AnalysisValidation, AcceptsOrNamesTheFirstFailingField)
{
    const ValidationCase& c = GetParam();
    auto dialog = MakeDialog(c.kind);
    dialog->show();
    // The dialog opens with the focus on its default button.
    EXPECT_EQ(dialog->focusWidget(), dialog->Control(1));
    for (const Entry& entry : c.entries)
        SetText(*dialog, entry.id, QString::fromUtf8(entry.text));

    CModalScript script;
    script.ThenCloseBox();
    Click(*dialog, 1);
    if (!c.message) {
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_TRUE(script.Boxes().empty());
        return;
    }
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].text.toStdString(), c.message);
    EXPECT_EQ(script.Boxes()[0].caption, QCoreApplication::applicationName());
    EXPECT_EQ(script.Boxes()[0].icon, static_cast<int>(QMessageBox::Warning));
    auto* failed = dialog->ControlAs<QLineEdit>(c.focusId);
    EXPECT_EQ(dialog->focusWidget(), failed);
    EXPECT_EQ(failed->selectedText(), failed->text());
    EXPECT_TRUE(dialog->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Fields, AnalysisValidation, ::testing::ValuesIn(ValidationCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(AnalysisDialogs, DrivenByKeysEnterAcceptsAndTheRefusedFieldIsRetyped)
{
    CConstCurrentDlg dialog;
    dialog.m_dVoltage = 4.1;
    dialog.m_dCurrent = 0.85;
    dialog.m_dDuration = 5.0;
    dialog.m_dTimeStep = 1.0;
    dialog.show();
    dialog.activateWindow();
    // Tab from "Run Analysis" past Cancel to the current, then the voltage.
    QTest::keyClick(&dialog, Qt::Key_Tab);
    QTest::keyClick(&dialog, Qt::Key_Tab);
    QTest::keyClick(&dialog, Qt::Key_Tab);
    QWidget* voltage = dialog.Control(1005);
    ASSERT_EQ(dialog.focusWidget(), voltage);
    auto* edit = static_cast<QLineEdit*>(voltage);
    edit->selectAll();
    QTest::keyClicks(edit, "1001");
    CModalScript script;
    script.ThenCloseBox();
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].text, "Please enter a number between 0 and 1000.");
    EXPECT_EQ(dialog.focusWidget(), voltage);
    // The text is selected, so typing replaces it.
    QTest::keyClicks(edit, "3.7");
    EXPECT_EQ(edit->text(), "3.7");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_dVoltage, 3.7);
}

TEST(AnalysisDialogs, ShowValuesWithFifteenDigitsAndOpenOnTheDefaultProfile)
{
    CVarCurrentDlg dialog;
    dialog.m_dVoltage = 1.0 / 3.0;
    dialog.m_dDuration = 5.0;
    dialog.m_dTimeStep = 1e-6;
    dialog.show();
    EXPECT_EQ(Text(dialog, 1005), "0.333333333333333");
    EXPECT_EQ(Text(dialog, 1007), "1e-06");
    EXPECT_EQ(Text(dialog, 1029), "1");
    EXPECT_EQ(Text(dialog, 1030), "0.065");
    EXPECT_EQ(Text(dialog, 1037), "20001");
    EXPECT_EQ(Text(dialog, 1038), "-0.065");
    EXPECT_EQ(Text(dialog, 1045), "40001");
    EXPECT_EQ(dialog.windowTitle(), "Constant Puls Analysis");
    for (int i = 0; i < CVarCurrentDlg::kPoints; ++i) {
        EXPECT_EQ(dialog.m_pTime[i], &dialog.m_dTime[i]);
        EXPECT_EQ(dialog.m_pCurrent[i], &dialog.m_dCurrent[i]);
    }
}

TEST(AnalysisDialogs, TemplatesCarryTheirTextsAndTabOrder)
{
    CConstCurrentDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Constant Current Analysis");
    EXPECT_EQ(dialog.ControlAs<QPushButton>(1)->text(), "&Run Analysis");
    EXPECT_TRUE(dialog.ControlAs<QPushButton>(1)->isDefault());
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            labels << label->text();
    }
    EXPECT_TRUE(labels.contains("Current's value (A)"));
    EXPECT_TRUE(labels.contains("Duration of analysis (hr)"));
    // Tab visits the controls in template order.
    QWidget* widget = dialog.Control(1);
    std::vector<QString> order;
    for (int i = 0; i < 6; ++i) {
        order.push_back(widget->objectName());
        widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus))
            widget = widget->nextInFocusChain();
    }
    const std::vector<QString> expected{"id1", "id2", "id1004", "id1005", "id1006", "id1007"};
    EXPECT_EQ(order, expected);
}

// The selection dialog over a catalogue of named entries.
class ModelSelection : public ::testing::Test
{
protected:
    void Load(const std::vector<std::string>& names)
    {
        std::string file = "[COMMON]\nNUMBER=" + std::to_string(names.size()) + "\n";
        for (std::size_t i = 0; i < names.size(); ++i)
            file += "[MODEL_" + std::to_string(i) + "]\nMODEL_NAME=" + names[i] + "\nEMAX=" + std::to_string(i + 1) + "\n";
        WriteFile(dir / "models.md", file);
        catalog = std::make_unique<CModelCatalog>(dir / "models.md");
        dialog = std::make_unique<CModelSelectDlg>(nullptr, catalog.get());
        dialog->show();
        list = dialog->ControlAs<QListWidget>(1000);
    }
    QStringList Lines() const
    {
        QStringList lines;
        for (int i = 0; i < list->count(); ++i)
            lines << list->item(i)->text();
        return lines;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < catalog->GetCount(); ++i)
            names.push_back(catalog->GetAt(i)->m_strName);
        return names;
    }
    void Select(int line) { list->setCurrentRow(line); }

    CTestDir dir;
    std::unique_ptr<CModelCatalog> catalog;
    std::unique_ptr<CModelSelectDlg> dialog;
    QListWidget* list = nullptr;
};

TEST_F(ModelSelection, EmptyCatalogShowsNothingAndOnlyNewDoesSomething)
{
    Load({});
    EXPECT_EQ(list->count(), 0);
    Click(*dialog, 1);
    Click(*dialog, 4);
    Click(*dialog, 5);
    EXPECT_TRUE(dialog->isVisible());
    CModalScript script;
    script.Then([](QWidget* editor) {
        auto* edit = static_cast<CModelEditDlg*>(editor);
        SetText(*edit, 1003, "First cell");
        Click(*edit, 1);
    });
    Click(*dialog, 3);
    EXPECT_EQ(Lines(), QStringList{"First cell"});
    ASSERT_EQ(catalog->GetCount(), 1u);
    EXPECT_EQ(catalog->GetAt(0)->m_strName, "First cell");
}

TEST_F(ModelSelection, OkNeedsASelectedLineAndHandsOverThatEntry)
{
    Load({"a", "b", "c"});
    EXPECT_EQ(Lines(), (QStringList{"a", "b", "c"}));
    EXPECT_TRUE(list->selectedItems().isEmpty());
    Click(*dialog, 1);
    EXPECT_TRUE(dialog->isVisible());
    Select(2);
    Click(*dialog, 1);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->m_pSelected, catalog->GetAt(2));
}

// The list has the focus when the dialog opens: the arrow keys pick a line
// and Enter takes it.
TEST_F(ModelSelection, KeyboardPicksALineAndEnterTakesIt)
{
    Load({"a", "b", "c"});
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QWidget* focused = QApplication::focusWidget();
    ASSERT_EQ(focused, list) << (focused ? qPrintable(focused->objectName()) : "no focus");
    QTest::keyClick(focused, Qt::Key_Down);
    const int picked = list->currentRow();
    ASSERT_GE(picked, 0);
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->m_pSelected, catalog->GetAt(static_cast<std::size_t>(picked)));
}

TEST_F(ModelSelection, EditingLineZeroOfThreeChangesOnlyItAndSelectsNothing)
{
    Load({"a", "b", "c"});
    Select(0);
    CModalScript script;
    script.Then([](QWidget* editor) {
        auto* edit = static_cast<CModelEditDlg*>(editor);
        EXPECT_EQ(Text(*edit, 1003), "a");
        EXPECT_EQ(Text(*edit, 1021), "1");
        SetText(*edit, 1003, "renamed");
        SetText(*edit, 1004, "new description");
        Click(*edit, 1);
    });
    Click(*dialog, 4);
    EXPECT_EQ(Lines(), (QStringList{"renamed", "b", "c"}));
    EXPECT_EQ(catalog->GetAt(0)->m_strDescr, "new description");
    EXPECT_EQ(catalog->GetAt(0)->m_dEmax, 1.0);
    EXPECT_TRUE(list->selectedItems().isEmpty());
}

TEST_F(ModelSelection, DeleteRemovesTheLineAndEntryWithoutAsking)
{
    Load({"a", "b", "c", "b"});
    const CBatteryModel* third = catalog->GetAt(2);
    std::vector<const CBatteryModel*> deleted;
    QObject::connect(dialog.get(), &CModelSelectDlg::entryDeleting, [&](const CBatteryModel* entry) { deleted.push_back(entry); });
    Select(1);
    const CBatteryModel* second = catalog->GetAt(1);
    CModalScript script;
    Click(*dialog, 5);
    EXPECT_TRUE(script.Boxes().empty());
    EXPECT_EQ(Lines(), (QStringList{"a", "c", "b"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(catalog->GetAt(1), third);
    EXPECT_EQ(deleted, std::vector<const CBatteryModel*>{second});
    EXPECT_TRUE(list->selectedItems().isEmpty());
}

TEST_F(ModelSelection, NewThenCancelKeepsTheEntryButNotTheFile)
{
    Load({"a"});
    const std::string before = ReadFile(dir / "models.md");
    CModalScript script;
    script.Then([](QWidget* editor) { Click(*static_cast<CModelEditDlg*>(editor), 1); });
    Click(*dialog, 3);
    Click(*dialog, 2);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(catalog->GetAt(1)->m_strModelFile, "");
    EXPECT_EQ(ReadFile(dir / "models.md"), before);
    CModelSelectDlg again(nullptr, catalog.get());
    again.show();
    EXPECT_EQ(again.ControlAs<QListWidget>(1000)->count(), 2);
}

TEST_F(ModelSelection, EditorCancelAfterABrowseLeavesTheEntry)
{
    Load({"a"});
    Select(0);
    CModelEditDlg::SetFileChooser([](QWidget*, const QString& title, const QString& filter) {
        EXPECT_EQ(title, "Select a model circuit file");
        EXPECT_EQ(filter, "Circuit file (*.CIR);;All files (*.*)");
        return QStringLiteral("/models/chosen.CIR");
    });
    CModalScript script;
    script.Then([](QWidget* editor) {
        auto* edit = static_cast<CModelEditDlg*>(editor);
        Click(*edit, 1010);
        EXPECT_EQ(Text(*edit, 1006), "/models/chosen.CIR");
        Click(*edit, 2);
    });
    Click(*dialog, 4);
    CModelEditDlg::SetFileChooser(nullptr);
    EXPECT_EQ(catalog->GetAt(0)->m_strModelFile, "Default");
}

struct BrowseCase
{
    int button;
    int edit;
    const char* title;
    const char* filter;
};

class EditorBrowse : public ::testing::TestWithParam<BrowseCase>
{
};

TEST_P(EditorBrowse, PutsTheChosenFullPathIntoItsField)
{
    const BrowseCase& c = GetParam();
    QString seenTitle;
    QString seenFilter;
    CModelEditDlg::SetFileChooser([&](QWidget*, const QString& title, const QString& filter) {
        seenTitle = title;
        seenFilter = filter;
        return QStringLiteral("/data/picked.file");
    });
    CModelEditDlg editor;
    editor.m_strModelFile = "old";
    editor.show();
    Click(editor, c.button);
    CModelEditDlg::SetFileChooser([](QWidget*, const QString&, const QString&) { return QString(); });
    Click(editor, c.button);
    CModelEditDlg::SetFileChooser(nullptr);
    EXPECT_EQ(Text(editor, c.edit), "/data/picked.file");
    EXPECT_EQ(seenTitle.toStdString(), c.title);
    EXPECT_EQ(seenFilter.toStdString(), c.filter);
    Click(editor, 1);
    EXPECT_EQ(editor.result(), QDialog::Accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, EditorBrowse,
    ::testing::Values(BrowseCase{1010, 1006, "Select a model circuit file", "Circuit file (*.CIR);;All files (*.*)"},
                      BrowseCase{1011, 1007, "Select a model parameter file", "Parameter file (*.CIR);;All files (*.*)"},
                      BrowseCase{1012, 1008, "Select a model output file", "Output file (*.FIG);;All files (*.*)"}));

TEST(ModelEditor, NumberFieldsAreValidated)
{
    CModelEditDlg editor;
    editor.show();
    EXPECT_EQ(Text(editor, 1020), "1");
    EXPECT_EQ(Text(editor, 1021), "4.2");
    EXPECT_EQ(Text(editor, 1022), "3");
    SetText(editor, 1021, "3");
    CModalScript script;
    script.ThenCloseBox();
    Click(editor, 1);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].text, "The minimum voltage must be below the maximum voltage.");
    EXPECT_EQ(editor.focusWidget(), editor.Control(1022));
    SetText(editor, 1022, "-1");
    script.ThenCloseBox();
    Click(editor, 1);
    ASSERT_EQ(script.Boxes().size(), 2u);
    EXPECT_EQ(script.Boxes()[1].text, "Please enter a number between 0 and 10000000.");
    SetText(editor, 1022, "2.5");
    Click(editor, 1);
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(editor.m_dEmax, 3.0);
    EXPECT_EQ(editor.m_dEmin, 2.5);
}

TEST(ModelEditor, FilterTextsBecomeChooserFilters)
{
    const auto filters = CModelEditDlg::PrepareFilter("Circuit file (*.CIR)#*.CIR#All files (*.*)#*.*#");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0], (std::pair<std::string, std::string>{"Circuit file (*.CIR)", "*.CIR"}));
    EXPECT_EQ(filters[1], (std::pair<std::string, std::string>{"All files (*.*)", "*.*"}));
    EXPECT_EQ(CModelEditDlg::QtFilter("Plain#*.x#"), "Plain (*.x)");
}

} // namespace
