#ifndef NUVARO_QT_SHELL_PREFERENCESCONTROLLER_H
#define NUVARO_QT_SHELL_PREFERENCESCONTROLLER_H

#include <QObject>

#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QSlider;
class UserPreferences;

// The Preferences window: four check boxes, the multisampling pop-up and the
// bookmark animation slider, each bound to one setting of UserPreferences.
// A control writes its setting when the user changes it; filling the
// controls from the settings writes nothing. There is no OK or Cancel.
// The window is built the first time it is shown. Main thread only.
class PreferencesController : public QObject
{
    Q_OBJECT

public:
    // The slider shows MAX_SPEED minus the animation speed (the transition's
    // duration in seconds), so moving it right makes bookmark moves faster.
    static constexpr double MAX_SPEED = 10.0;
    // The slider counts tenths.
    static constexpr int kSliderStepsPerUnit = 10;

    explicit PreferencesController(QObject* parent = nullptr);
    ~PreferencesController() override;

    // The process-wide controller, made on first use and deleted when the
    // application object goes away.
    static PreferencesController* sharedController();
    // A "Preferences…" action (preferences menu role) that shows the shared
    // controller's window.
    static QAction* createPreferencesAction(QObject* parent);

    // Shows the window with the current settings and brings it to the front.
    void showPreferences();

    // Null until the window is first shown.
    QDialog* window() const { return m_window.get(); }
    QCheckBox* autoCheckForUpdatesButton() const { return m_autoCheckForUpdatesButton; }
    QCheckBox* autoRotateButton() const { return m_autoRotateButton; }
    QCheckBox* fasterRenderingButton() const { return m_fasterRenderingButton; }
    QCheckBox* verticalSyncButton() const { return m_verticalSyncButton; }
    QComboBox* multiSamplingPopup() const { return m_multiSamplingPopup; }
    QSlider* bookmarkAnimationSlider() const { return m_bookmarkAnimationSlider; }

public slots:
    void toggleAutoCheckForUpdates();
    void toggleAutoRotate();
    void toggleRenderingMode();
    void toggleVerticalSync();
    void multiSamplingChanged();
    void bookmarkAnimationSpeedChanged();
    // The atlas grid-lines switch. The atlas draws no grid lines, so it
    // changes nothing; no control of the window sends it.
    void toggleAtlasGridLines();

private:
    void buildWindow();
    void refresh();
    // Stores a check box's state through one of the preferences' setters.
    void storeCheckBox(QCheckBox* box, void (UserPreferences::*setter)(bool));

    std::unique_ptr<QDialog> m_window;
    QCheckBox* m_autoCheckForUpdatesButton = nullptr;
    QCheckBox* m_autoRotateButton = nullptr;
    QCheckBox* m_fasterRenderingButton = nullptr;
    QCheckBox* m_verticalSyncButton = nullptr;
    QComboBox* m_multiSamplingPopup = nullptr;
    QSlider* m_bookmarkAnimationSlider = nullptr;
};

#endif
