#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>

class CTemplateDialog;
class QWidget;

// Answers the modal windows that open while a test runs code that blocks in
// exec(): each time another modal window becomes the active one, the next
// step runs on it. Message boxes are recorded with their caption and text.
class CModalScript final : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString caption;
        QString text;
        int icon;
    };

    CModalScript();
    ~CModalScript() override;

    CModalScript& Then(std::function<void(QWidget*)> step);
    // A step that records a message box and closes it.
    CModalScript& ThenCloseBox();

    bool Done() const { return m_steps.empty(); }
    const std::vector<Box>& Boxes() const { return m_boxes; }

private:
    void Poll();

    QTimer m_timer;
    QPointer<QWidget> m_last;
    std::deque<std::function<void(QWidget*)>> m_steps;
    std::vector<Box> m_boxes;
};

// Closes any message box that opens, recording it; for code that may show one.
void RecordBox(QWidget* window, std::vector<CModalScript::Box>* boxes);

void SetText(CTemplateDialog& dialog, int id, const QString& text);
QString Text(const CTemplateDialog& dialog, int id);
void Click(CTemplateDialog& dialog, int id);

class CSimulatorDlg;

// Picks catalogue line `line` in the window's model selection and presses OK.
void SelectModelInWindow(CSimulatorDlg& window, int line);

// Runs analysis `command` in the window, accepting its dialog (after `edit`,
// if given), then spins the event loop until `done` holds (at most
// `milliseconds`; without `done`, a short while); returns the message boxes
// that opened meanwhile, each closed.
std::vector<CModalScript::Box> AcceptAnalysisInWindow(CSimulatorDlg& window, int command,
                                                      const std::function<void(CTemplateDialog&)>& edit,
                                                      const std::function<bool()>& done = {}, int milliseconds = 0);

// Spins the event loop until `condition` holds or `milliseconds` pass.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds);
