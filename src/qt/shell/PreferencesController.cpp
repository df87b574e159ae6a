#include "shell/PreferencesController.h"

#include "model/UserPreferences.h"
#include "shell/DialogWindow.h"
#include "shell/MultisampleChoices.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <exception>

namespace
{
// Runs a setter from a control's handler; a failure to write the setting
// must not reach the event loop.
template <typename Setter>
void ApplySetting(Setter setter)
{
    try
    {
        setter(*UserPreferences::GetPreferences());
    }
    catch (const std::exception& e)
    {
        std::printf("Preference not saved: %s\n", e.what());
    }
}

void SetChecked(QCheckBox* box, bool checked)
{
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}
} // namespace

PreferencesController::PreferencesController(QObject* parent) : QObject(parent) {}

PreferencesController::~PreferencesController() = default;

PreferencesController* PreferencesController::sharedController()
{
    return SharedDialogController<PreferencesController>();
}

QAction* PreferencesController::createPreferencesAction(QObject* parent)
{
    auto* action = new QAction(QObject::tr("Preferences…"), parent);
    action->setObjectName(QStringLiteral("preferencesAction"));
    action->setMenuRole(QAction::PreferencesRole);
    action->setShortcut(QKeySequence::Preferences);
    QObject::connect(action, &QAction::triggered, [] { sharedController()->showPreferences(); });
    return action;
}

void PreferencesController::showPreferences()
{
    const bool first = m_window == nullptr;
    if (first)
        buildWindow();
    refresh();
    PresentDialogWindow(m_window.get(), first);
}

void PreferencesController::buildWindow()
{
    m_window = std::make_unique<QDialog>();
    m_window->setWindowTitle(tr("Preferences"));
    m_window->setModal(false);

    m_autoCheckForUpdatesButton = new QCheckBox(tr("Check for updates automatically"));
    m_autoRotateButton = new QCheckBox(tr("Rotate the scene automatically"));
    m_fasterRenderingButton = new QCheckBox(tr("Faster, lower-quality expression drawing"));
    m_verticalSyncButton = new QCheckBox(tr("Vertical sync"));
    m_multiSamplingPopup = new QComboBox;
    m_bookmarkAnimationSlider = new QSlider(Qt::Horizontal);
    m_bookmarkAnimationSlider->setRange(0, static_cast<int>(MAX_SPEED) * kSliderStepsPerUnit);
    m_bookmarkAnimationSlider->setSingleStep(1);
    m_bookmarkAnimationSlider->setPageStep(kSliderStepsPerUnit);
    m_bookmarkAnimationSlider->setTickInterval(kSliderStepsPerUnit);
    m_bookmarkAnimationSlider->setTickPosition(QSlider::TicksBelow);
    m_bookmarkAnimationSlider->setMinimumWidth(220);

    auto* layout = new QVBoxLayout(m_window.get());
    for (QCheckBox* box : {m_autoCheckForUpdatesButton, m_autoRotateButton, m_fasterRenderingButton,
                           m_verticalSyncButton})
        layout->addWidget(box);

    auto* form = new QFormLayout;
    form->addRow(tr("Multisampling:"), m_multiSamplingPopup);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(new QLabel(tr("Slow")));
    sliderRow->addWidget(m_bookmarkAnimationSlider, 1);
    sliderRow->addWidget(new QLabel(tr("Fast")));
    form->addRow(tr("Bookmark animation:"), sliderRow);
    layout->addLayout(form);

    auto* note = new QLabel(tr("Multisampling and vertical sync apply from the next start."));
    note->setWordWrap(true);
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    note->setFont(small);
    layout->addWidget(note);

    // Only user signals write settings; refresh() fills the controls under
    // signal blockers.
    connect(m_autoCheckForUpdatesButton, &QCheckBox::clicked, this, &PreferencesController::toggleAutoCheckForUpdates);
    connect(m_autoRotateButton, &QCheckBox::clicked, this, &PreferencesController::toggleAutoRotate);
    connect(m_fasterRenderingButton, &QCheckBox::clicked, this, &PreferencesController::toggleRenderingMode);
    connect(m_verticalSyncButton, &QCheckBox::clicked, this, &PreferencesController::toggleVerticalSync);
    connect(m_multiSamplingPopup, &QComboBox::activated, this, &PreferencesController::multiSamplingChanged);
    connect(m_bookmarkAnimationSlider, &QSlider::valueChanged, this,
            &PreferencesController::bookmarkAnimationSpeedChanged);
}

void PreferencesController::refresh()
{
    const UserPreferences* preferences = nullptr;
    try
    {
        preferences = UserPreferences::GetPreferences();
    }
    catch (const std::exception& e)
    {
        std::printf("Preferences not available: %s\n", e.what());
        return;
    }
    SetChecked(m_autoCheckForUpdatesButton, preferences->GetAutoVersionCheck());
    SetChecked(m_autoRotateButton, preferences->GetAutoRotate());
    SetChecked(m_fasterRenderingButton, preferences->GetFasterDrawing());
    SetChecked(m_verticalSyncButton, preferences->GetVSync());
    {
        const QSignalBlocker blocker(m_bookmarkAnimationSlider);
        const double shown = MAX_SPEED - preferences->GetBookmarkAnimationSpeed();
        m_bookmarkAnimationSlider->setValue(static_cast<int>(std::lround(shown * kSliderStepsPerUnit)));
    }
    {
        const QSignalBlocker blocker(m_multiSamplingPopup);
        m_multiSamplingPopup->clear();
        for (const std::string& title : MultisampleChoices::ItemTitles(preferences->GetMaxSamples()))
            m_multiSamplingPopup->addItem(QString::fromStdString(title));
        m_multiSamplingPopup->setCurrentIndex(
            MultisampleChoices::ItemForStoredValue(preferences->GetNumSamples(), m_multiSamplingPopup->count()));
        m_multiSamplingPopup->setEnabled(m_multiSamplingPopup->count() > 0);
    }
}

void PreferencesController::toggleAutoCheckForUpdates()
{
    storeCheckBox(m_autoCheckForUpdatesButton, &UserPreferences::SetAutoVersionCheck);
}

void PreferencesController::toggleAutoRotate()
{
    storeCheckBox(m_autoRotateButton, &UserPreferences::SetAutoRotate);
}

void PreferencesController::toggleRenderingMode()
{
    storeCheckBox(m_fasterRenderingButton, &UserPreferences::SetFasterDrawing);
}

void PreferencesController::toggleVerticalSync()
{
    storeCheckBox(m_verticalSyncButton, &UserPreferences::SetVSync);
}

void PreferencesController::storeCheckBox(QCheckBox* box, void (UserPreferences::*setter)(bool))
{
    if (box == nullptr)
        return;
    const bool on = box->isChecked();
    ApplySetting([on, setter](UserPreferences& p) { (p.*setter)(on); });
}

void PreferencesController::multiSamplingChanged()
{
    if (m_multiSamplingPopup == nullptr)
        return;
    const int stored = MultisampleChoices::StoredValue(m_multiSamplingPopup->currentIndex());
    if (stored < 0)
        return;
    ApplySetting([stored](UserPreferences& p) { p.SetNumSamples(stored); });
}

void PreferencesController::bookmarkAnimationSpeedChanged()
{
    if (m_bookmarkAnimationSlider == nullptr)
        return;
    const double shown = static_cast<double>(m_bookmarkAnimationSlider->value()) / kSliderStepsPerUnit;
    const float speed = static_cast<float>(MAX_SPEED - shown);
    ApplySetting([speed](UserPreferences& p) { p.SetBookmarkAnimationSpeed(speed); });
}

void PreferencesController::toggleAtlasGridLines() {}
