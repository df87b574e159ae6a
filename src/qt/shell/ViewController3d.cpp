#include "shell/ViewController3d.h"

#include "model/BrainExpressionModel.h"

#include <QFormLayout>
#include <QSignalBlocker>
#include <QSlider>

namespace shell
{
namespace
{
// Sets a slider from code: no signal, so nothing writes back.
void SetQuietly(QSlider* slider, int value)
{
    const QSignalBlocker blocker(slider);
    slider->setValue(value);
}

// Runs the model write with the flag set. It runs in a slot, so nothing may
// escape into the event loop; the model's listeners report their own failures.
template <typename F>
void WithFlag(bool& flag, F&& call)
{
    flag = true;
    try
    {
        call();
    }
    catch (...)
    {
    }
    flag = false;
}
} // namespace

ViewController3d::ViewController3d(QWidget* parent)
    : QWidget(parent), m_zoom(new QSlider(Qt::Horizontal, this)), m_blend(new QSlider(Qt::Horizontal, this))
{
    setObjectName(QStringLiteral("viewSettings"));
    m_zoom->setRange(15, 250);
    m_zoom->setValue(40);
    m_blend->setRange(0, 100);
    auto* layout = new QFormLayout(this);
    layout->addRow(tr("Zoom"), m_zoom);
    layout->addRow(tr("Image Blend"), m_blend);
    // User moves only: a drag reports every step, a click or a key once.
    connect(m_zoom, &QSlider::valueChanged, this, &ViewController3d::changeZoom);
    connect(m_blend, &QSlider::valueChanged, this, &ViewController3d::changeImageBlending);
}

void ViewController3d::setDocument(BrainExpressionModel* model)
{
    m_model = model;
    m_zoomUpdating = false;
    m_imageAlphaUpdating = false;
    notifyImageAlphaChanged();
    notifyZoomChanged();
}

void ViewController3d::setZoomEnabled(bool enabled)
{
    m_zoom->setEnabled(enabled);
}

void ViewController3d::changeZoom(int value)
{
    if (m_model != nullptr)
        WithFlag(m_zoomUpdating, [&] { m_model->SetZoom(static_cast<float>(value), true); });
}

void ViewController3d::changeImageBlending(int value)
{
    if (m_model != nullptr)
        WithFlag(m_imageAlphaUpdating, [&] { m_model->SetImageAlpha(value / 100.0f, true); });
}

void ViewController3d::notifyZoomChanged()
{
    if (m_model != nullptr && !m_zoomUpdating)
        SetQuietly(m_zoom, static_cast<int>(m_model->GetZoom()));
}

void ViewController3d::notifyImageAlphaChanged()
{
    if (m_model != nullptr && !m_imageAlphaUpdating)
        SetQuietly(m_blend, static_cast<int>(100.0f * m_model->GetImageAlpha()));
}
} // namespace shell
