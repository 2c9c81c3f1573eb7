#pragma once

#include "AnalysisSettings.h"
#include "CTemplateDialog.h"
#include "ModelCatalog.h"
#include "ResultReader.h"
#include "RunLock.h"
#include "SimulationRun.h"

#include <QColor>
#include <QIcon>
#include <QPixmap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CCWGraph;
class CRunBridge;
class QAction;
class QLabel;
class QMenuBar;
class QPrinter;
class QProgressBar;
class QPushButton;

// The main window (template 102, menu 129): holds the catalogue, the
// selected model, the analysis values, the temporary paths and the graph,
// and runs every command of the program.
class CSimulatorDlg final : public CTemplateDialog
{
    Q_OBJECT

public:
    // Command numbers of the menu and the buttons.
    enum Command : int {
        ID_SAVE_MODEL_LIST = 0,
        ID_EXIT = 2,
        ID_SELECT_BATTERY = 32771,
        ID_CONSTANT_CURRENT = 32776,
        ID_VARIABLE_CURRENT = 32777,
        ID_CONSTANT_LOAD = 32778,
        ID_ABOUT = 32796,
        ID_PRINT = 32797,
        ID_HELP = 32798,
        ID_STOP_SIMULATION = 32800,
        ID_EXPORT_PNG = 32801,
        ID_EXPORT_SVG = 32802,
        ID_EXPORT_PDF = 32803,
        ID_EXPORT_CSV = 32804,
        ID_WINDOWS = 65535,
    };
    static constexpr int kHelpContents = 20004;
    static constexpr int kProgressTimer = 100;

    explicit CSimulatorDlg(QWidget* parent = nullptr);
    ~CSimulatorDlg() override;

    // Closes the window (Escape, Exit, the close box), ending any run first.
    void reject() override;

    // Runs command `id` as its menu item or button would.
    void OnCommand(int id);
    // The system menu's commands: 16 to 31 open the About box.
    void OnSysCommand(unsigned command);

    // Ways for tests (and other front ends) to answer the program's choosers:
    // the printer (false = Cancel) and the file to export to (empty = Cancel).
    std::function<bool(QPrinter&)> m_fnChoosePrinter;
    std::function<QString(const QString& title, const QString& filter)> m_fnChooseSaveFile;
    // How long the window stays disabled while the simulator starts, at most.
    std::chrono::milliseconds m_startWindow{10000};

    // The state of the window, in the order it was declared.
    std::string m_strParamTempPath;
    QPixmap m_bmpSimulate;
    quint32 m_nProgressTick = 0;
    std::string m_strCircuitTempPath;
    std::string m_szStartDir;
    battsim::AnalysisSettings m_settings;
    battsim::CBatteryModel* m_pSelectedModel = nullptr;
    std::unique_ptr<battsim::CModelCatalog> m_pCatalog;
    QColor m_brBackground;
    QMenuBar* m_menu = nullptr;
    QPushButton* m_btnSimulate = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_progressText = nullptr;
    CCWGraph* m_graph = nullptr;
    QIcon m_hIcon;

    bool RunInProgress() const { return m_pRun != nullptr; }
    const battsim::CResultSeries& LastSeries() const { return m_lastSeries; }
    QAction* Action(int command) const;

    // The steps of an analysis, callable on their own.
    bool WriteNetlist();
    void StartSimulation();
    void ShowProgress();
    void HideProgress();
    void OnTimer(unsigned timerId);
    void PlotResultFile(const std::string& path);

signals:
    // A run has ended and its results (if any) are shown.
    void runFinished();

protected:
    void OnInitDialog() override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void BuildMenu();
    void OnSelectBattery();
    void OnSaveModelList();
    void OnConstantCurrent();
    void OnVariableCurrent();
    void OnConstantLoad();
    void OnSimulate();
    void OnStopSimulation();
    void OnAbout();
    void OnShowHelp();
    void OnPrintGraph();
    void OnExportGraph(int command);
    void OnExportData();

    // A model is selected and no run is under way; the user is told otherwise.
    bool CanStartAnalysis();
    // Takes the work-file locks, which no other instance may hold.
    bool ReadyForRun();
    // Writes the netlist for the accepted values and starts the run.
    void RunAccepted();
    void PlotSeries(battsim::CResultSeries& series);
    void OnRunFinished(const battsim::RunOutcome& outcome);
    void StopRun();
    void ShowResultNote(const QString& status);
    QString ChooseSaveFile(const QString& title, const QString& filter, const QString& suffix);
    void WithPrintColors(const std::function<void()>& work);

    std::unique_ptr<battsim::CSimulationRun> m_pRun;
    std::unique_ptr<CRunBridge> m_pBridge;
    battsim::CRunLock m_pendingLock;
    std::string m_strTempError;
    int m_nTimerId = 0;
    std::optional<battsim::AnalysisSettings> m_lastAccepted;
    battsim::AnalysisSettings m_runSettings;
    bool m_bRunValues = false; // m_runSettings hold the values of the plotted run
    battsim::CResultSeries m_lastSeries;
    double m_dRunMinimum = 0.0;
};

// The main window, while a run is set up and under way.
extern CSimulatorDlg* g_pSimulatorDlg;
