// The main window: its controls and menu, the commands, saving, help,
// printing and export, and runs seen from the window (with a fake simulator).

#include "CCWGraph.h"
#include "CHelpWindow.h"
#include "CAboutDlg.h"
#include "CModelSelectDlg.h"
#include "CSimulatorDlg.h"
#include "CTerminationWatcher.h"
#include "CConstCurrentDlg.h"
#include "CVarCurrentDlg.h"
#include "PrintLayout.h"
#include "RunLock.h"
#include "Scrambler.h"
#include "TempDir.h"
#include "UiHelpers.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace {

const char* const kCatalog =
    "[COMMON]\nNUMBER=2\n"
    "[MODEL_0]\nMODEL_NAME=Cell A\nMODEL_DESCR=first\nMODEL_FILE=a.CIR\nPARAM_FILE=a_par.CIR\nOUTPUT_FILE=a.FIG\n"
    "IRAT=0.85\nEMAX=4.1\nEMIN=3\n"
    "[MODEL_1]\nMODEL_NAME=Cell B\nMODEL_DESCR=second\nMODEL_FILE=b.CIR\nPARAM_FILE=b_par.CIR\nOUTPUT_FILE=b.FIG\n"
    "IRAT=2\nEMAX=1.4\nEMIN=1\n";

int PdfPages(const std::string& bytes)
{
    int pages = 0;
    for (std::size_t at = bytes.find("/Type /Page"); at != std::string::npos; at = bytes.find("/Type /Page", at + 1)) {
        if (bytes.compare(at, 12, "/Type /Pages") != 0)
            ++pages;
    }
    return pages;
}

class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char here[4096];
        m_oldDir = getcwd(here, sizeof here);
        WriteFile(work / "models.md", kCatalog);
        ASSERT_EQ(chdir(work.Path().c_str()), 0);
        m_oldPath = getenv("PATH");
        setenv("PATH", (std::string(BATTSIM_FAKES_DIR) + ":" + m_oldPath).c_str(), 1);
        window = std::make_unique<CSimulatorDlg>();
        window->show();
    }
    void TearDown() override
    {
        window.reset();
        setenv("PATH", m_oldPath.c_str(), 1);
        unsetenv("BATTSIM_FAKE_MODE");
        ASSERT_EQ(chdir(m_oldDir.c_str()), 0);
    }

    void WriteModelFiles(const std::string& stem)
    {
        WriteFile(work / (stem + ".CIR"), "x");
        WriteFile(work / (stem + "_par.CIR"), "y");
    }

    void SelectModel(int line)
    {
        SelectModelInWindow(*window, line);
        ASSERT_NE(window->m_pSelectedModel, nullptr);
    }

    // Runs `command`, accepting its dialog as proposed, and records boxes.
    std::vector<CModalScript::Box> AcceptAnalysis(int command, const std::function<void(CTemplateDialog&)>& edit = {})
    {
        return AcceptAnalysisInWindow(*window, command, edit);
    }

    bool WaitForRunEnd(int milliseconds)
    {
        return WaitUntil([this] { return !window->RunInProgress(); }, milliseconds);
    }

    CTestDir work;
    std::unique_ptr<CSimulatorDlg> window;
    std::string m_oldDir;
    std::string m_oldPath;
};

struct MenuCase
{
    int command;
    const char* text;
    bool enabled;
};

TEST_F(MainWindow, MenuTreeHasEveryItemWithItsNumberAndState)
{
    const std::vector<MenuCase> items{
        {32771, "&Select battery", true}, {0, "Save &model list", true}, {32797, "&Print", true},
        {32801, "Export graph as PN&G...", true}, {32802, "Export graph as S&VG...", true},
        {32803, "Export graph as P&DF...", true}, {32804, "Export data as &CSV...", true}, {2, "E&xit", true},
        {32776, "&Constant current", true}, {32777, "&Variable current", true}, {32778, "Constant &load", true},
        {32779, "Constant &power", false}, {32780, "Energy", false}, {32781, "Power", false}, {32782, "Charge", false},
        {32783, "Discharge", false}, {32784, "Rate capability", false}, {32785, "Charge retention", false},
        {32786, "Ragone plot", false}, {32787, "Temperature dependence", false}, {32788, "DC motor operation", false},
        {32789, "EV driving simulation", false}, {32790, "Illumination", false},
        {32791, "Multimedia real-time test", false}, {32800, "St&op simulation", false},
        {32792, "&Battery builder", false}, {32793, "&Circuit editor", false}, {32794, "&Load pattern editor", false},
        {65535, "&Windows", true}, {32798, "&Help...", true}, {32796, "&About...", true}};
    for (const MenuCase& item : items) {
        QAction* action = window->Action(item.command);
        ASSERT_NE(action, nullptr) << item.command;
        EXPECT_EQ(action->text().toStdString(), item.text);
        EXPECT_EQ(action->isEnabled(), item.enabled) << item.text;
        EXPECT_EQ(action->data().toInt(), item.command);
    }
    QStringList bar;
    for (QAction* action : window->m_menu->actions())
        bar << action->text();
    EXPECT_EQ(bar, (QStringList{"&File", "&Analysis", "&Tool", "&Windows", "&Help"}));
    const auto basic = window->m_menu->actions()[1]->menu()->actions();
    EXPECT_EQ(basic[0]->text(), "&Basic");
    EXPECT_EQ(basic[1]->text(), "&Standard");
    EXPECT_EQ(basic[2]->text(), "&Application");
}

TEST_F(MainWindow, OpensWithItsTemplateAndState)
{
    EXPECT_EQ(window->windowTitle(), "Vantellaris battery simulator 1.00");
    EXPECT_EQ(window->focusWidget(), window->Control(1011));
    EXPECT_FALSE(window->m_progressBar->isVisible());
    EXPECT_FALSE(window->m_progressText->isVisible());
    EXPECT_EQ(window->m_progressText->text(), "Simulation going on...");
    EXPECT_FALSE(window->Control(1012)->isEnabled());
    EXPECT_FALSE(window->Control(1014)->isEnabled());
    EXPECT_TRUE(window->Control(1016)->isEnabled());
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(230, 230, 230));
    EXPECT_EQ(window->m_szStartDir, work.Path());
    EXPECT_EQ(window->m_pSelectedModel, nullptr);
    EXPECT_EQ(window->m_pCatalog->GetCount(), 2u);
    EXPECT_TRUE(window->m_strCircuitTempPath.ends_with("/~~~00~~11.tmp"));
    EXPECT_TRUE(window->m_strParamTempPath.ends_with("/~~~00~~12.tmp"));
    EXPECT_FALSE(window->windowIcon().isNull());
    // Button 1013 and "&Windows" do nothing before an analysis exists but say so.
    CModalScript script;
    script.ThenCloseBox();
    Click(*window, 1013);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].text, "No model selected!");
    window->Action(CSimulatorDlg::ID_WINDOWS)->trigger();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, StartedWithoutACatalogueHasAnEmptyOne)
{
    window.reset();
    std::filesystem::remove(work / "models.md");
    window = std::make_unique<CSimulatorDlg>();
    window->show();
    EXPECT_EQ(window->m_pCatalog->GetCount(), 0u);
    EXPECT_FALSE(FileExists(work / "models.md"));
}

TEST_F(MainWindow, EachAnalysisWithoutAModelSaysSoAndOpensNothing)
{
    for (const int command : {CSimulatorDlg::ID_CONSTANT_CURRENT, CSimulatorDlg::ID_VARIABLE_CURRENT,
                              CSimulatorDlg::ID_CONSTANT_LOAD}) {
        CModalScript script;
        script.ThenCloseBox();
        window->OnCommand(command);
        ASSERT_EQ(script.Boxes().size(), 1u) << command;
        EXPECT_EQ(script.Boxes()[0].text, "No model selected!");
        EXPECT_EQ(script.Boxes()[0].caption, "ERROR");
        EXPECT_EQ(script.Boxes()[0].icon, static_cast<int>(QMessageBox::NoIcon));
    }
}

TEST_F(MainWindow, SelectionSetsProposalsAndCaptionEveryTimeAndCancelChangesNothing)
{
    SelectModel(1);
    ASSERT_EQ(window->m_pSelectedModel, window->m_pCatalog->GetAt(1));
    EXPECT_EQ(window->m_settings.duration, 5.0);
    EXPECT_EQ(window->m_settings.timeStep, 1.0);
    EXPECT_EQ(window->m_settings.loadResistance, 100.0);
    EXPECT_EQ(window->m_graph->Caption(), "Simulation of Cell B");

    window->m_settings.duration = 9.0;
    window->m_settings.loadResistance = 0.000001;
    window->m_settings.constantCurrent = 7.0;
    SelectModel(1);
    EXPECT_EQ(window->m_settings.duration, 5.0);
    EXPECT_EQ(window->m_settings.loadResistance, 100.0);
    EXPECT_EQ(window->m_settings.constantCurrent, 7.0);

    window->m_settings.duration = 9.0;
    const std::string elsewhere = work / "elsewhere";
    std::filesystem::create_directory(elsewhere);
    CModalScript script;
    script.Then([&](QWidget* dialog) {
        ASSERT_EQ(chdir(elsewhere.c_str()), 0);
        static_cast<CModelSelectDlg*>(dialog)->ControlAs<QListWidget>(1000)->setCurrentRow(0);
        Click(*static_cast<CTemplateDialog*>(dialog), 2);
    });
    window->OnCommand(CSimulatorDlg::ID_SELECT_BATTERY);
    EXPECT_EQ(window->m_pSelectedModel, window->m_pCatalog->GetAt(1));
    EXPECT_EQ(window->m_settings.duration, 9.0);
    EXPECT_EQ(window->m_graph->Caption(), "Simulation of Cell B");
    EXPECT_EQ(std::filesystem::current_path().string(), work.Path());
}

TEST_F(MainWindow, DeletingTheSelectedModelClearsTheSelection)
{
    SelectModel(0);
    CModalScript script;
    script.Then([](QWidget* dialog) {
        auto* select = static_cast<CModelSelectDlg*>(dialog);
        select->ControlAs<QListWidget>(1000)->setCurrentRow(0);
        Click(*select, 5);
        Click(*select, 2);
    });
    window->OnCommand(CSimulatorDlg::ID_SELECT_BATTERY);
    EXPECT_EQ(window->m_pSelectedModel, nullptr);
    EXPECT_EQ(window->m_pCatalog->GetCount(), 1u);
    CModalScript refusal;
    refusal.ThenCloseBox();
    window->OnCommand(CSimulatorDlg::ID_CONSTANT_CURRENT);
    ASSERT_EQ(refusal.Boxes().size(), 1u);
    EXPECT_EQ(refusal.Boxes()[0].text, "No model selected!");
}

struct SettingsCase
{
    const char* label;
    int command;
    double constantCurrent;
    double pwlTime1;
    double pwlCurrent1;
    double loadResistance;
    double switchLevel;
    const char* title;
};

class AnalysisSettingsStored : public MainWindow, public ::testing::WithParamInterface<SettingsCase>
{
};

TEST_P(AnalysisSettingsStored, WritesEveryFieldEvenWhenTheModelFileIsMissing)
{
    const SettingsCase& c = GetParam();
    SelectModel(0);
    window->m_settings.constantCurrent = 99;
    window->m_settings.pwlTime.fill(99);
    window->m_settings.pwlCurrent.fill(99);
    window->m_settings.switchLevel = 99;
    const auto boxes = AcceptAnalysis(c.command);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Model file a.CIR not found!");
    EXPECT_EQ(boxes[0].caption, "ERROR");
    EXPECT_EQ(boxes[0].icon, static_cast<int>(QMessageBox::Critical));
    const battsim::AnalysisSettings& s = window->m_settings;
    EXPECT_EQ(s.constantCurrent, c.constantCurrent);
    EXPECT_EQ(s.pwlTime[1], c.pwlTime1);
    EXPECT_EQ(s.pwlCurrent[1], c.pwlCurrent1);
    EXPECT_EQ(s.pwlTime[9], c.pwlTime1 == 0 ? 0 : 40001);
    EXPECT_EQ(s.loadResistance, c.loadResistance);
    EXPECT_EQ(s.switchLevel, c.switchLevel);
    EXPECT_EQ(s.initialVoltage, 4.1);
    EXPECT_EQ(s.duration, 5.0);
    EXPECT_EQ(s.timeStep, 1.0);
    EXPECT_EQ(s.title, c.title);
    EXPECT_FALSE(window->RunInProgress());
    EXPECT_FALSE(FileExists(work / "Analyz.cir"));
}

INSTANTIATE_TEST_SUITE_P(
    Analyses, AnalysisSettingsStored,
    ::testing::Values(
        SettingsCase{"constant_current", 32776, 0.85, 0, 0, 0.000001, 0, "Constant current analysis"},
        SettingsCase{"constant_load", 32778, 0, 0, 0, 100.0, 1.0, "Constant load analysis"},
        SettingsCase{"variable_current", 32777, 0, 1, 0.065, 0.000001, 0, "Variable current analysis"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(MainWindow, ProposalsFollowWhatTheLastAnalysisStored)
{
    SelectModel(0);
    AcceptAnalysis(CSimulatorDlg::ID_CONSTANT_CURRENT, [](CTemplateDialog& dialog) {
        EXPECT_EQ(Text(dialog, 1005), "4.1");
        EXPECT_EQ(Text(dialog, 1004), "0.85");
        SetText(dialog, 1006, "2.5");
    });
    QString resistance;
    QString duration;
    AcceptAnalysis(CSimulatorDlg::ID_CONSTANT_LOAD, [&](CTemplateDialog& dialog) {
        resistance = Text(dialog, 1014);
        duration = Text(dialog, 1006);
    });
    EXPECT_EQ(resistance, "1e-06");
    EXPECT_EQ(duration, "2.5");

    // Cancel stores nothing; the profile dialog always opens on the default profile.
    CModalScript cancel;
    cancel.Then([](QWidget* dialog) {
        SetText(*static_cast<CTemplateDialog*>(dialog), 1029, "123");
        SetText(*static_cast<CTemplateDialog*>(dialog), 1006, "77");
        Click(*static_cast<CTemplateDialog*>(dialog), 2);
    });
    const battsim::AnalysisSettings before = window->m_settings;
    window->OnCommand(CSimulatorDlg::ID_VARIABLE_CURRENT);
    EXPECT_EQ(window->m_settings, before);
    AcceptAnalysis(CSimulatorDlg::ID_VARIABLE_CURRENT, [](CTemplateDialog& dialog) {
        EXPECT_EQ(Text(dialog, 1029), "1");
        SetText(dialog, 1029, "5");
    });
    EXPECT_EQ(window->m_settings.pwlTime[1], 5.0);
    AcceptAnalysis(CSimulatorDlg::ID_VARIABLE_CURRENT, [](CTemplateDialog& dialog) { EXPECT_EQ(Text(dialog, 1029), "1"); });
}

TEST_F(MainWindow, SaveIsSilentOnSuccessAndReportsAFailure)
{
    window->m_pCatalog->GetAt(0)->m_strName = "Saved name";
    CModalScript script;
    script.ThenCloseBox();
    window->OnCommand(CSimulatorDlg::ID_SAVE_MODEL_LIST);
    QTest::qWait(50);
    EXPECT_TRUE(script.Boxes().empty());
    EXPECT_NE(ReadFile(work / "models.md").find("MODEL_NAME=Saved name"), std::string::npos);

    std::filesystem::remove(work / "models.md");
    std::filesystem::create_directory(work / "models.md");
    window->OnCommand(CSimulatorDlg::ID_SAVE_MODEL_LIST);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].caption, "ERROR");
    EXPECT_TRUE(script.Boxes()[0].text.startsWith("The model list could not be saved."));
}

TEST_F(MainWindow, EscapeEndsAtOnceWithoutSaving)
{
    window->m_pCatalog->GetAt(0)->m_strName = "Unsaved";
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ReadFile(work / "models.md"), kCatalog);
}

TEST_F(MainWindow, AboutBoxShowsItsTextsAndSystemCommandsOpenIt)
{
    CAboutDlg about;
    about.show();
    EXPECT_EQ(about.windowTitle(), "About Vantellaris Battery Simulator");
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("Toward 21th century battery specification & standartization !"));
    EXPECT_TRUE(texts.contains("VANTELLARIS DIGITIZES YOUR BATTERY !"));
    EXPECT_TRUE(texts.contains("Vantellaris Battery Simulator"));
    for (const unsigned command : {16u, 31u}) {
        CModalScript script;
        script.Then([](QWidget* box) {
            EXPECT_NE(qobject_cast<CAboutDlg*>(box), nullptr);
            box->close();
        });
        window->OnSysCommand(command);
        EXPECT_TRUE(script.Done()) << command;
    }
}

TEST_F(MainWindow, HelpOpensAtTheRightTopicOrSaysItCannot)
{
    const QString helpFile = CHelpWindow::HelpFilePath();
    QFile::remove(helpFile);
    CModalScript script;
    script.ThenCloseBox();
    window->OnCommand(CSimulatorDlg::ID_HELP);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].text, "Failed to launch help.");
    EXPECT_EQ(script.Boxes()[0].caption, QCoreApplication::applicationName());

    ASSERT_TRUE(QFile::copy(QStringLiteral(BATTSIM_BIN_DIR "/battsim.html"), helpFile));
    window->OnCommand(CSimulatorDlg::ID_HELP);
    auto* help = window->findChild<CHelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->Browser()->source().fragment(), "20004");
    EXPECT_FALSE(help->Browser()->toPlainText().isEmpty());
    QTest::keyClick(window->Control(1011), Qt::Key_F1);
    EXPECT_EQ(help->Browser()->source().fragment(), "131174");
    CAboutDlg about(window.get());
    about.show();
    QTest::keyClick(about.Control(1), Qt::Key_F1);
    auto* aboutHelp = about.findChild<CHelpWindow*>();
    ASSERT_NE(aboutHelp, nullptr);
    EXPECT_EQ(aboutHelp->Browser()->source().fragment(), "131172");
    QFile::remove(helpFile);
}

TEST(PrintLayout, TheWorkedExample)
{
    const PrintLayout layout = ComputePrintLayout(203, QRect(10, 20, 700, 374), 96, 96, 600, 600);
    EXPECT_DOUBLE_EQ(layout.widthInches, 203 / 25.4);
    EXPECT_DOUBLE_EQ(layout.heightInches, 203 / 25.4 * 374 / 700);
    EXPECT_EQ(layout.captureSize, QSize(767, 409));
    EXPECT_EQ(layout.printRect, QRect(QPoint(0, 0), QPoint(4794, 2561)));
    EXPECT_EQ(layout.printRect.width(), 4795);
    EXPECT_EQ(layout.printRect.height(), 2562);
}

TEST_F(MainWindow, PrintsOnePageToPdfAndPutsTheGraphBack)
{
    window->m_graph->SetCaption("Printed graph");
    WriteFile(work / "a.FIG", "0 0 4.1\n1 3600 3.7\n2 7200 2.9\n3 9000 3.1\n");
    window->PlotResultFile(work / "a.FIG");
    const QRect before = window->m_graph->geometry();
    const int backColor = window->m_graph->BackColor();
    const int area = window->m_graph->GetProperty(CCWGraph::kPlotAreaColor);
    const int style = window->m_graph->GetProperty(CCWGraph::kFrameStyle);

    window->m_fnChoosePrinter = [](QPrinter&) { return false; };
    window->OnCommand(CSimulatorDlg::ID_PRINT);
    EXPECT_EQ(window->m_graph->geometry(), before);

    const std::string pdf = work / "page.pdf";
    QString docName;
    window->m_fnChoosePrinter = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return true;
    };
    window->OnCommand(CSimulatorDlg::ID_PRINT);
    const std::string bytes = ReadFile(pdf);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(PdfPages(bytes), 1);
    EXPECT_EQ(std::system(("pdfinfo " + pdf + " | grep -q '^Title: *test run$'").c_str()), 0);
    EXPECT_EQ(window->m_graph->geometry(), before);
    EXPECT_EQ(window->m_graph->BackColor(), backColor);
    EXPECT_EQ(window->m_graph->GetProperty(CCWGraph::kPlotAreaColor), area);
    EXPECT_EQ(window->m_graph->GetProperty(CCWGraph::kFrameStyle), style);

    // The page itself: white, with dark ink across the full printable width at the top.
    const std::string png = work / "page";
    ASSERT_EQ(std::system(("pdftoppm -r 40 -png -singlefile " + pdf + " " + png).c_str()), 0);
    QImage page(QString::fromStdString(png + ".png"));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.pixel(page.width() / 2, page.height() - 5), qRgb(255, 255, 255));
    int darkTop = 0;
    int darkBottom = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            (y < page.height() / 2 ? darkTop : darkBottom) += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(darkTop, 200);
    EXPECT_EQ(darkBottom, 0);
}

TEST_F(MainWindow, ExportsTheGraphAndTheDataInEveryFormat)
{
    WriteFile(work / "a.FIG", "0 0 4.1\n1 1800 3.7\n2 3600 2.9\n3 5400 3.1\n");
    SelectModel(0);
    window->PlotResultFile(work / "a.FIG");
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the de_DE.UTF-8 locale is needed (locales-all)";
    std::map<QString, QString> chosen{{"Export graph as PNG", "graph"}, {"Export graph as SVG", "graph.svg"},
                                      {"Export graph as PDF", "graph.pdf"}, {"Export data as CSV", "data"}};
    window->m_fnChooseSaveFile = [&](const QString& title, const QString&) {
        return QString::fromStdString(work / chosen.at(title).toStdString());
    };
    for (const int command : {CSimulatorDlg::ID_EXPORT_PNG, CSimulatorDlg::ID_EXPORT_SVG, CSimulatorDlg::ID_EXPORT_PDF,
                              CSimulatorDlg::ID_EXPORT_CSV})
        window->OnCommand(command);
    std::setlocale(LC_ALL, "C");
    std::setlocale(LC_NUMERIC, "C");

    const QImage image(QString::fromStdString(work / "graph.png"));
    EXPECT_EQ(image.size(), window->m_graph->size() * 2);
    EXPECT_TRUE(QSvgRenderer(QString::fromStdString(work / "graph.svg")).isValid());
    EXPECT_EQ(PdfPages(ReadFile(work / "graph.pdf")), 1);
    // The table ends at the first point below the minimum voltage.
    EXPECT_EQ(ReadFile(work / "data.csv"), "time_h,time_s,voltage_V\n0,0,4.0999999\n0.5,1800,3.70000005\n"
                                           "1,3600,2.9000001\n");
}

// Runs through the window with the fake simulator on PATH.
TEST_F(MainWindow, StopEndsAHangingSimulatorAtOnceAndTheWindowIsUsable)
{
    WriteModelFiles("a");
    SelectModel(0);
    setenv("BATTSIM_FAKE_MODE", "hang", 1);
    window->m_startWindow = std::chrono::milliseconds(1200);
    const auto boxes = AcceptAnalysis(CSimulatorDlg::ID_CONSTANT_CURRENT);
    EXPECT_TRUE(boxes.empty());
    ASSERT_TRUE(window->RunInProgress());
    EXPECT_TRUE(WaitUntil([this] { return window->m_progressBar->isVisible() && !window->isEnabled(); }, 3000));
    const int first = window->m_progressBar->value();
    QTest::qWait(700);
    EXPECT_NE(window->m_progressBar->value(), first) << "the bar moves while the window is disabled";
    EXPECT_FALSE(window->isEnabled());

    // A second analysis is refused while the run goes on.
    CModalScript refusal;
    refusal.ThenCloseBox();
    window->OnCommand(CSimulatorDlg::ID_CONSTANT_LOAD);
    ASSERT_EQ(refusal.Boxes().size(), 1u);
    EXPECT_TRUE(refusal.Boxes()[0].text.startsWith("A simulation is already running."));

    // The user reaches Stop once the start window is over.
    ASSERT_TRUE(WaitUntil([this] { return window->isEnabled(); }, 3000));
    auto* stop = window->ControlAs<QPushButton>(1019);
    ASSERT_TRUE(stop->isEnabled());
    EXPECT_TRUE(window->Action(CSimulatorDlg::ID_STOP_SIMULATION)->isEnabled());
    CModalScript noBox;
    noBox.ThenCloseBox();
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(WaitForRunEnd(1000));
    EXPECT_LT(timer.elapsed(), 1000);
    QTest::qWait(50);
    EXPECT_TRUE(noBox.Boxes().empty());
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(window->m_progressBar->isVisible());
    EXPECT_TRUE(window->m_graph->Note().startsWith("Simulation stopped."));
    for (const char* name : {"Analyz.cir", "spice0_0.bat", "tmp0x1x0.$$$"})
        EXPECT_FALSE(FileExists(work / name)) << name;
    EXPECT_FALSE(FileExists(window->m_strCircuitTempPath));
}

TEST_F(MainWindow, AFailingSimulatorIsReportedWithItsOwnWords)
{
    WriteModelFiles("a");
    SelectModel(0);
    setenv("BATTSIM_FAKE_MODE", "fail", 1);
    CModalScript script;
    script.Then([](QWidget* dialog) { Click(*static_cast<CTemplateDialog*>(dialog), 1); });
    script.ThenCloseBox();
    window->OnCommand(CSimulatorDlg::ID_CONSTANT_CURRENT);
    ASSERT_TRUE(WaitUntil([&] { return script.Done() && !window->RunInProgress(); }, 10000));
    QTest::qWait(50);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].caption, "ERROR");
    EXPECT_TRUE(script.Boxes()[0].text.contains("unknown subckt")) << script.Boxes()[0].text.toStdString();
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(MainWindow, SimulateRunsTheLastAcceptedAnalysisAgain)
{
    WriteModelFiles("a");
    SelectModel(0);
    setenv("BATTSIM_FAKE_MODE", "ok", 1);
    AcceptAnalysis(CSimulatorDlg::ID_CONSTANT_CURRENT, [](CTemplateDialog& dialog) { SetText(dialog, 1004, "0.5"); });
    ASSERT_TRUE(WaitForRunEnd(10000));
    EXPECT_EQ(window->LastSeries().Size(), 3u);
    std::filesystem::remove(work / "a.FIG");
    window->m_settings.constantCurrent = 42;
    Click(*window, 1013);
    ASSERT_TRUE(window->RunInProgress());
    ASSERT_TRUE(WaitForRunEnd(10000));
    EXPECT_EQ(window->m_settings.constantCurrent, 0.5);
    EXPECT_TRUE(FileExists(work / "a.FIG"));
}

// The results note names the load of the analysis that ran, a constant
// current of 0 A included.
TEST_F(MainWindow, ResultNoteNamesTheLoadOfTheAnalysisThatRan)
{
    WriteModelFiles("a");
    SelectModel(0);
    setenv("BATTSIM_FAKE_MODE", "ok", 1);
    const struct
    {
        int command;
        std::function<void(CTemplateDialog&)> edit;
        const char* load;
    } cases[] = {
        {CSimulatorDlg::ID_CONSTANT_CURRENT, [](CTemplateDialog& dialog) { SetText(dialog, 1004, "0"); }, "I = 0.00 A"},
        {CSimulatorDlg::ID_CONSTANT_CURRENT, {}, "I = "},
        {CSimulatorDlg::ID_VARIABLE_CURRENT, {}, "10-point current profile"},
        {CSimulatorDlg::ID_CONSTANT_LOAD, {}, "R = "},
    };
    for (const auto& c : cases) {
        AcceptAnalysis(c.command, c.edit);
        ASSERT_TRUE(WaitForRunEnd(10000));
        const QString note = window->m_graph->Note();
        EXPECT_TRUE(note.contains(QString::fromUtf8(c.load))) << c.load << " in " << note.toStdString();
        EXPECT_EQ(note.contains(QStringLiteral("profile")), c.command == CSimulatorDlg::ID_VARIABLE_CURRENT) << note.toStdString();
    }
}

TEST_F(MainWindow, AnotherInstanceRunningInTheFolderIsRefused)
{
    WriteModelFiles("a");
    SelectModel(0);
    battsim::CRunLock other;
    ASSERT_TRUE(other.Acquire({work.Path()}, nullptr));
    const auto boxes = AcceptAnalysis(CSimulatorDlg::ID_CONSTANT_CURRENT);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith("Another battsim run is using the work files"));
    EXPECT_FALSE(window->RunInProgress());
    EXPECT_FALSE(FileExists(work / "Analyz.cir"));
}

class ClosingDuringARun : public MainWindow, public ::testing::WithParamInterface<bool>
{
};

TEST_P(ClosingDuringARun, EndsTheSimulatorAndTheWindowAtOnce)
{
    const bool pastTheStartWindow = GetParam();
    std::random_device seed;
    const std::string marker = std::to_string(seed()) + std::to_string(seed());
    setenv("BATTSIM_FAKE_MARKER", marker.c_str(), 1);
    WriteModelFiles("a");
    SelectModel(0);
    window->m_startWindow = std::chrono::milliseconds(pastTheStartWindow ? 300 : 10000);
    setenv("BATTSIM_FAKE_MODE", "hang", 1);
    AcceptAnalysis(CSimulatorDlg::ID_CONSTANT_CURRENT);
    ASSERT_TRUE(window->RunInProgress());
    ASSERT_TRUE(WaitUntil([&] { return ProcessesWithMarker(marker) > 0; }, 3000));
    if (pastTheStartWindow)
        ASSERT_TRUE(WaitUntil([this] { return window->isEnabled(); }, 3000));
    else
        EXPECT_FALSE(window->isEnabled());
    QElapsedTimer timer;
    timer.start();
    window->close();
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->RunInProgress());
    EXPECT_TRUE(NoProcessLeft(marker));
    unsetenv("BATTSIM_FAKE_MARKER");
    EXPECT_FALSE(FileExists(work / "spice0_0.bat"));
    EXPECT_FALSE(FileExists(window->m_strCircuitTempPath));
}

INSTANTIATE_TEST_SUITE_P(Waits, ClosingDuringARun, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "unbounded_wait" : "start_window"; });

TEST_F(MainWindow, ATerminationSignalClosesTheWindowAndEndsTheRun)
{
    std::random_device seed;
    const std::string marker = std::to_string(seed()) + std::to_string(seed());
    setenv("BATTSIM_FAKE_MARKER", marker.c_str(), 1);
    WriteModelFiles("a");
    SelectModel(0);
    const CTerminationWatcher watcher([this] { window->reject(); });
    setenv("BATTSIM_FAKE_MODE", "hang", 1);
    AcceptAnalysis(CSimulatorDlg::ID_CONSTANT_CURRENT);
    ASSERT_TRUE(WaitUntil([&] { return ProcessesWithMarker(marker) > 0; }, 3000));
    ASSERT_EQ(raise(SIGTERM), 0);
    EXPECT_TRUE(WaitUntil([this] { return !window->isVisible(); }, 2000));
    EXPECT_FALSE(window->RunInProgress());
    EXPECT_TRUE(NoProcessLeft(marker));
    unsetenv("BATTSIM_FAKE_MARKER");
    for (const char* name : {"Analyz.cir", "spice0_0.bat", "tmp0x1x0.$$$"})
        EXPECT_FALSE(FileExists(work / name)) << name;
}

TEST_F(MainWindow, CopiesLeftByACrashedRunGoAtTheNextStart)
{
    const std::string circuit = window->m_strCircuitTempPath;
    const std::string params = window->m_strParamTempPath;
    window.reset();
    for (const std::string& path : {circuit, params, work / "Analyz.cir", work / "spice0_0.bat", work / "tmp0x1x0.$$$"})
        WriteFile(path, "left over");
    window = std::make_unique<CSimulatorDlg>();
    window->show();
    for (const std::string& path : {circuit, params, work / "Analyz.cir", work / "spice0_0.bat", work / "tmp0x1x0.$$$"})
        EXPECT_FALSE(FileExists(path)) << path;
}

} // namespace
